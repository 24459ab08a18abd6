#include "literal_conversion.h"

namespace sectify::literal {

const Rule kRules[12] = {
    {"    ", ""},
    {"<Section Name=\"", "["},
    {"\">", "]"},
    {"<Property Name=\"", ""},
    {"\" Value=\"", "="},
    {"\" />", ""},
    {"</Section>", ""},
    {"&#xB0;", "\xB0"},
    {"&apos;", "'"},
    {"&quot;", "\""},
    {"</Flight.Sections>\n", ""},
    {"</SimBase.Document>\n", ""},
};

void replace_all(std::string& text, std::string_view pattern, std::string_view replacement) {
  for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern)) {
    text.replace(at, pattern.size(), replacement);
  }
}

std::string convert_flight_file(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
  }
  convert_flight_text(text);
  std::string file;
  for (const char c : text) file += c == '\n' ? "\r\n" : std::string_view(&c, 1);
  return file;
}

}  // namespace sectify::literal
