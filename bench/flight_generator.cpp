#include "flight_generator.h"

#include <random>
#include <string_view>

namespace sectify::bench {

std::string generate_flight(std::size_t size, std::uint64_t seed) {
  static constexpr std::string_view kWords[] = {
      "Harbour",      "Field",  "Cliff", "Top",       "heading", "270&#xB0;", "&quot;low&quot;",
      "pilot&apos;s", "choice", "wind",  "045&#xB0;", "at",      "2500",      "ft",
      "few",          "clouds"};
  std::mt19937_64 random(seed);
  std::string text;
  text.reserve(size + 256);
  text +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<SimBase.Document Type=\"Flight\" version=\"1,0\">\r\n"
      "    <Descr>Generated flight</Descr>\r\n"
      "    <Flight.Sections>\r\n";
  for (std::size_t section = 0; text.size() < size; ++section) {
    text += "        <Section Name=\"";
    text += section == 0 ? std::string("Main") : "Section." + std::to_string(section);
    text += "\">\r\n";
    for (std::size_t property = random() % 40 + 1; property > 0; --property) {
      text += "            <Property Name=\"Property";
      text += std::to_string(random() % 1000);
      text += "\" Value=\"";
      switch (random() % 4) {
        case 0:
          text += std::to_string(random() % 100000) + "." + std::to_string(random() % 1000);
          break;
        case 1:
          break;  // an empty value
        default:
          for (std::size_t word = random() % 6 + 1; word > 0; --word) {
            text += kWords[random() % std::size(kWords)];
            // Mostly one blank between words, sometimes two, which the
            // conversion checks for a run to shorten and leaves as they are.
            if (word > 1) text += random() % 8 == 0 ? "  " : " ";
          }
      }
      text += "\" />\r\n";
    }
    text += "        </Section>\r\n";
  }
  text +=
      "    </Flight.Sections>\r\n"
      "</SimBase.Document>\r\n";
  return text;
}

}  // namespace sectify::bench
