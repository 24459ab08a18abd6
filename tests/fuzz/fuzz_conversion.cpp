// Runs the conversion three ways on arbitrary bytes, the rules' own
// operation (convert_flight_text), the streaming engine and the literal
// algorithm, and stops at the first input where the first two differ from
// the third or break their own promises: the result is never longer than
// the input, and it is empty or begins with "\n[Main]". The first bytes of
// the input choose the sizes of the blocks in which the stream takes the
// rest.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "conversion/flight_file_converter.h"
#include "conversion/flight_text.h"
#include "literal_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kBlockSizes = 4;
  if (size < kBlockSizes) return 0;
  const std::uint8_t* const block_sizes = data;
  const std::string input(reinterpret_cast<const char*>(data + kBlockSizes), size - kBlockSizes);

  std::string text = input;
  sectify::convert_flight_text(text);
  std::string expected = input;
  sectify::literal::convert_flight_text(expected);
  if (text != expected || text.size() > input.size() ||
      !(text.empty() || text.rfind("\n[Main]", 0) == 0)) {
    std::abort();
  }

  sectify::FlightFileConverter converter;
  std::string file;
  std::string_view rest = input;
  for (std::size_t i = 0; !rest.empty(); ++i) {
    const std::size_t n = std::min<std::size_t>(block_sizes[i % kBlockSizes] + 1u, rest.size());
    file += converter.convert(rest.substr(0, n));
    rest.remove_prefix(n);
  }
  file += converter.finish();
  if (file != sectify::literal::convert_flight_file(input) ||
      converter.main_found() == file.empty()) {
    std::abort();
  }
  return 0;
}
