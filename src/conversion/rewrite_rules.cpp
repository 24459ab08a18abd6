#include "conversion/internal/rewrite_rules.h"

#include <cassert>
#include <cstring>
#include <string>

#include "conversion/flight_text.h"

namespace sectify {
namespace internal {

// The bytes of the input are appended one at a time to a written prefix
// s[0, w) that holds no occurrence of the pattern. When the prefix comes to
// end with the pattern, that occurrence is the leftmost one in the whole
// text: all occurrences have the same length, and one that began further
// left would have ended inside the prefix before. So it is the occurrence
// that the restarting search would replace. It is cut off the prefix and
// the replacement is put back in front of the unread input, to be appended
// like any other bytes. Since the replacement is shorter than the pattern,
// the gap between prefix and unread input only grows, so everything fits in
// place. Appending stops only at bytes that can end an occurrence.
std::size_t rewrite_span(char* s, std::size_t n, std::string_view pattern,
                         std::string_view replacement) {
  const std::size_t m = pattern.size();
  const char last = pattern.back();
  std::size_t w = 0;
  std::size_t r = 0;
  while (r < n) {
    const void* hit = std::memchr(s + r, last, n - r);
    const std::size_t end =
        hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - s) + 1 : n;
    if (w != r) std::memmove(s + w, s + r, end - r);
    w += end - r;
    r = end;
    if (hit != nullptr && w >= m && std::memcmp(s + w - m, pattern.data(), m) == 0) {
      w -= m;
      r -= replacement.size();
      std::memcpy(s + r, replacement.data(), replacement.size());
    }
  }
  return w;
}

}  // namespace internal

void replace_all(std::string& text, std::string_view pattern, std::string_view replacement) {
  assert(!pattern.empty() && replacement.size() < pattern.size());
  text.resize(internal::rewrite_span(text.data(), text.size(), pattern, replacement));
}

void convert_flight_text(std::string& text) {
  for (const internal::RewriteRule& rule : internal::kRewriteRules) {
    replace_all(text, rule.pattern, rule.replacement);
  }
  const std::size_t marker = text.find(internal::kCutMarker);
  text.erase(0, marker == std::string::npos ? text.size() : marker);
}

}  // namespace sectify
