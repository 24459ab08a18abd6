// Runs convert_flight_text on arbitrary bytes and stops at the first input
// where it differs from the literal algorithm or breaks its own promises:
// the result is never longer than the input, and it is empty or begins
// with "\n[Main]".

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "flight_text.h"
#include "literal_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string text = input;
  sectify::convert_flight_text(text);
  std::string expected = input;
  sectify::literal::convert_flight_text(expected);
  if (text != expected || text.size() > input.size() ||
      !(text.empty() || text.rfind("\n[Main]", 0) == 0)) {
    std::abort();
  }
  return 0;
}
