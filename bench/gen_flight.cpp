// gen_flight SIZE [SEED]: writes an XML flight file of about SIZE bytes
// (suffixes k, M, G for powers of 1024) to standard output.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "flight_generator.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fputs("usage: gen_flight SIZE[k|M|G] [SEED] > FILE.fxml\n", stderr);
    return 2;
  }
  char* end = nullptr;
  std::size_t size = std::strtoull(argv[1], &end, 10);
  switch (*end) {
    case 'G':
      size <<= 10;
      [[fallthrough]];
    case 'M':
      size <<= 10;
      [[fallthrough]];
    case 'k':
      size <<= 10;
      break;
    default:
      break;
  }
  const std::uint64_t seed = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const std::string text = sectify::bench::generate_flight(size, seed);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::perror("gen_flight");
    return 1;
  }
  return 0;
}
