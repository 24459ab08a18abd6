// The flight text conversion done the slow, literal way: every search starts
// over at the first byte and every replacement moves the rest of the text.
// Quadratic, and kept only to check the real conversion against.

#ifndef SECTIFY_TESTS_LITERAL_CONVERSION_H_
#define SECTIFY_TESTS_LITERAL_CONVERSION_H_

#include <string>
#include <string_view>
#include <utility>

namespace sectify::literal {

using Rule = std::pair<std::string_view, std::string_view>;

// The twelve rewrite rules as pattern and replacement, in order; written out
// here a second time so that a slip in either copy shows up as a mismatch.
extern const Rule kRules[12];

// Replaces the leftmost occurrence of `pattern` until none is left,
// searching from the first byte each time.
void replace_all(std::string& text, std::string_view pattern, std::string_view replacement);

// Runs `replace` once per rule of kRules, in order, then cuts the text at
// the first "\n[Main]" (empty if there is none).
template <typename ReplaceAll>
void convert_rule_by_rule(std::string& text, ReplaceAll replace) {
  for (const Rule& rule : kRules) replace(text, rule.first, rule.second);
  const std::size_t main = text.find("\n[Main]");
  text.erase(0, main == std::string::npos ? text.size() : main);
}

// The whole conversion, literal replace_all for each rule.
inline void convert_flight_text(std::string& text) { convert_rule_by_rule(text, replace_all); }

// The plain-text flight file for the XML flight file `bytes`: each CR LF read
// as LF (a lone CR is data), the text converted rule by rule with `replace`,
// each LF written as CR LF.
// The text of the file `bytes`: each CR LF read as LF, a lone CR kept.
inline std::string text_of_file(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
  }
  return text;
}

template <typename ReplaceAll>
std::string convert_file_rule_by_rule(std::string_view bytes, ReplaceAll replace) {
  std::string text = text_of_file(bytes);
  convert_rule_by_rule(text, replace);
  std::string file;
  file.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    if (c == '\n') file += '\r';
    file += c;
  }
  return file;
}

// The whole file conversion, literal replace_all for each rule.
inline std::string convert_flight_file(std::string_view bytes) {
  return convert_file_rule_by_rule(bytes, replace_all);
}

}  // namespace sectify::literal

#endif  // SECTIFY_TESTS_LITERAL_CONVERSION_H_
