#include <cstdio>

#include "console/console.h"

namespace sectify::console {

std::vector<std::string> arguments_of(int argc, NativeChar** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool write_message(Stream stream, std::string_view text) {
  std::FILE* const file = stream == Stream::output ? stdout : stderr;
  return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

ConsoleFacts console_facts() { return {}; }

void wait_for_key() {}

}  // namespace sectify::console
