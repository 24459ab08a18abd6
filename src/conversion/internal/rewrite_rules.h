// The twelve rewrite rules, in the order they are applied, and the facts
// about them that the rest of the conversion relies on.

#ifndef SECTIFY_CONVERSION_INTERNAL_REWRITE_RULES_H_
#define SECTIFY_CONVERSION_INTERNAL_REWRITE_RULES_H_

#include <cstddef>
#include <iterator>
#include <string_view>

namespace sectify::internal {

struct RewriteRule {
  std::string_view pattern;
  std::string_view replacement;
};

// The rewrite rules, in the order they are applied. Each one runs over the
// whole text before the next one starts.
inline constexpr RewriteRule kRewriteRules[] = {
    {"    ", ""},                   //  1 indentation, four blanks at a time
    {"<Section Name=\"", "["},      //  2 opens a section header
    {"\">", "]"},                   //  3 closes a section header
    {"<Property Name=\"", ""},      //  4 the property's name starts its line
    {"\" Value=\"", "="},           //  5 joins name and value
    {"\" />", ""},                  //  6 ends a property
    {"</Section>", ""},             //  7 leaves an empty line after a section
    {"&#xB0;", "\xB0"},             //  8 degree sign, one Latin-1 byte
    {"&apos;", "'"},                //  9
    {"&quot;", "\""},               // 10
    {"</Flight.Sections>\n", ""},   // 11 closing line, line end included
    {"</SimBase.Document>\n", ""},  // 12 closing line, line end included
};

inline constexpr std::size_t kRuleCount = std::size(kRewriteRules);

// Rules 1 to 10 neither match nor write a line end; rules 11 and 12 match
// one only as their last byte.
inline constexpr std::size_t kLineRuleCount = 10;
inline constexpr std::size_t kLineEndRuleCount = kRuleCount - kLineRuleCount;

// The rules that decode a character reference: the first and the last.
inline constexpr std::size_t kFirstReferenceRule = 8;
inline constexpr std::size_t kLastReferenceRule = 10;

// After the rules, the text is cut so that it begins with the first
// occurrence of this marker, or made empty where there is none.
inline constexpr std::string_view kCutMarker = "\n[Main]";

// Returns the rule numbered `order` in the list above, counting from 1.
constexpr const RewriteRule& rule(std::size_t order) { return kRewriteRules[order - 1]; }

// Rule 1 cuts runs of blanks, this many at a time.
inline constexpr std::size_t kBlankRun = rule(1).pattern.size();

// Returns whether every rule has the shape that termination, working in
// place and converting line by line rest on.
constexpr bool rules_are_well_formed() {
  for (std::size_t order = 1; order <= kRuleCount; ++order) {
    const RewriteRule& r = rule(order);
    if (r.pattern.empty() || r.replacement.size() >= r.pattern.size()) return false;
    const std::size_t lf = r.pattern.find('\n');
    if (order <= kLineRuleCount) {
      if (lf != std::string_view::npos || r.replacement.find('\n') != std::string_view::npos) {
        return false;
      }
    } else if (lf != r.pattern.size() - 1 || !r.replacement.empty()) {
      return false;
    }
  }
  return true;
}
static_assert(rules_are_well_formed());
static_assert(rule(1).pattern == "    " && rule(1).replacement.empty());

// Returns whether each reference rule's pattern begins with '&' and holds
// no other '&', and no replacement byte of theirs is a byte of any of their
// patterns: so no two references overlap, and no decoded byte completes a
// new one.
constexpr bool references_are_independent() {
  for (std::size_t order = kFirstReferenceRule; order <= kLastReferenceRule; ++order) {
    const RewriteRule& r = rule(order);
    if (r.pattern.front() != '&' || r.pattern.find('&', 1) != std::string_view::npos) return false;
    for (std::size_t other = kFirstReferenceRule; other <= kLastReferenceRule; ++other) {
      if (rule(other).pattern.find_first_of(r.replacement) != std::string_view::npos) return false;
    }
  }
  return true;
}
static_assert(references_are_independent());

// Rewrites s[0, n) in place as replace_all defines and returns the new
// length.
std::size_t rewrite_span(char* s, std::size_t n, std::string_view pattern,
                         std::string_view replacement);

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_REWRITE_RULES_H_
