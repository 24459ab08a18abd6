// A large flight for the command-line tests, written in pieces.

#ifndef SECTIFY_TESTS_CLI_REPEATED_FLIGHT_H_
#define SECTIFY_TESTS_CLI_REPEATED_FLIGHT_H_

#include "cli/harness.h"

namespace cli_test {

// A flight made of one section repeated, written in pieces so that a file
// larger than memory takes little of it, and the output it must give.
struct RepeatedFlight {
  static constexpr const char* kHead =
      "<?xml version=\"1.0\"?>\r\n<SimBase.Document Type=\"Flight\">\r\n"
      "    <Flight.Sections>\r\n        <Section Name=\"Main\">\r\n"
      "            <Property Name=\"Title\" Value=\"Long &quot;haul&quot;\" />\r\n"
      "        </Section>\r\n";
  static constexpr const char* kSection =
      "        <Section Name=\"Waypoint\">\r\n"
      "            <Property Name=\"Wind\" Value=\"045&#xB0; at  12 kt\" />\r\n"
      "            <Property Name=\"Note\" Value=\"pilot&apos;s &quot;crew&quot;\" />\r\n"
      "            <Property Name=\"Empty\" Value=\"\" />\r\n"
      "        </Section>\r\n";
  static constexpr const char* kTail = "    </Flight.Sections>\r\n</SimBase.Document>\r\n";
  static constexpr const char* kOutputHead = "\r\n[Main]\r\nTitle=Long \"haul\"\r\n\r\n";
  static constexpr const char* kOutputSection =
      "[Waypoint]\r\nWind=045\xB0 at  12 kt\r\nNote=pilot's \"crew\"\r\nEmpty=\r\n\r\n";

  // Writes a flight of at least `size` bytes to `path`.
  explicit RepeatedFlight(const fs::path& path, std::uint64_t size) {
    const std::string section = kSection;
    const std::uint64_t per_chunk = (std::uint64_t{1} << 20) / section.size();
    std::string chunk;
    for (std::uint64_t i = 0; i < per_chunk; ++i) chunk += section;
    std::ofstream out(path, std::ios::binary);
    out << kHead;
    for (; count * section.size() < size; count += per_chunk) out << chunk;
    out << kTail;
    out.flush();
    EXPECT_TRUE(out) << "cannot write " << path;
  }

  // The size of the output this flight must give.
  std::uintmax_t output_size() const {
    return std::strlen(kOutputHead) + count * std::strlen(kOutputSection);
  }

  // Whether the file at `path` is the output this flight must give, read a
  // piece at a time.
  bool is_output(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    auto next_is = [&in](const std::string& expected) {
      std::string got(expected.size(), '\0');
      in.read(got.data(), static_cast<std::streamsize>(got.size()));
      return in.gcount() == static_cast<std::streamsize>(got.size()) && got == expected;
    };
    const std::string section = kOutputSection;
    std::string chunk;
    constexpr std::uint64_t kPerChunk = 4096;
    for (std::uint64_t i = 0; i < kPerChunk; ++i) chunk += section;
    if (!next_is(kOutputHead)) return false;
    std::uint64_t left = count;
    for (; left >= kPerChunk; left -= kPerChunk) {
      if (!next_is(chunk)) return false;
    }
    for (; left > 0; --left) {
      if (!next_is(section)) return false;
    }
    return in.peek() == std::ifstream::traits_type::eof();
  }

  std::uint64_t count = 0;
};

}  // namespace cli_test

#endif  // SECTIFY_TESTS_CLI_REPEATED_FLIGHT_H_
