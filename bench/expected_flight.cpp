// expected_flight IN OUT: writes to OUT the plain-text flight that the rules
// make of the XML flight IN, applied one after the other over the whole
// text: the literal algorithm for files up to 1 MiB, where it ends in
// seconds; above that the same rules with the linear replace_all, which the
// tests hold to the literal algorithm. The benchmark checks every program's
// output against it before timing anything.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "conversion/flight_text.h"
#include "literal_conversion.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: expected_flight IN.fxml OUT.flt\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string input(std::istreambuf_iterator<char>(in), {});
  if (!in.good() && !in.eof()) {
    std::perror(argv[1]);
    return 1;
  }
  constexpr std::size_t kLiteralUpTo = std::size_t{1} << 20;
  const std::string output =
      input.size() <= kLiteralUpTo
          ? sectify::literal::convert_flight_file(input)
          : sectify::literal::convert_file_rule_by_rule(input, sectify::replace_all);
  std::ofstream out(argv[2], std::ios::binary);
  out << output;
  if (!out.flush()) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
