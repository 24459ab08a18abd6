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

}  // namespace sectify::literal
