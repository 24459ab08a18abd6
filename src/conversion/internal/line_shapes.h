// The fast path for the common line shapes, and why it gives what the rules
// give.
//
// Most lines are a section's opening line, a property line or a section's
// closing line: a run of blanks, then rule patterns with a field between
// each two of them ("pieces" below):
//   property:        <Property Name="NAME" Value="VALUE" />   rules 4, 5, 6
//   section opening: <Section Name="NAME">                    rules 2, 3
//   section closing: </Section>                               rule 7
// When no field holds '<', '>' or '"', rules 1 to 10 turn such a line into:
// its leading blanks, n of them cut to n mod 4; then each piece's
// replacement with the fields between them, each run of n blanks in a
// field cut to n mod 4 and then the three character references decoded.
// Proof, rule by rule:
//  - Rule 1: deleting four blanks from a maximal run of blanks leaves a
//    shorter run between the same two non-blanks, so each maximal run of n
//    blanks ends as n mod 4 blanks. The pieces' blanks stand between a '"'
//    and a non-blank and stay; each field's runs lie between '"' bytes.
//  - Rules 2 to 7: each pattern holds '<' or '"', and in the line these
//    bytes belong to the pieces alone. Each '"' is followed by '>' or a
//    blank within its piece, or else by a field byte (never '>'), '"' or the
//    line end. Checking the patterns against this, none occurs but each
//    piece itself, once; replacing it takes its '<' and '"' bytes away and
//    creates no new occurrence.
//  - Rules 8 to 10: see copy_decoding. No reference can reach across a
//    field's end: the patterns hold no blank, '[', ']' or '=', which is all
//    that stands between and around the fields in the result.
// The patterns after the first piece each begin with '"', so a field ends at
// the first '"' after it.

#ifndef SECTIFY_CONVERSION_INTERNAL_LINE_SHAPES_H_
#define SECTIFY_CONVERSION_INTERNAL_LINE_SHAPES_H_

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "conversion/internal/byte_scan.h"
#include "conversion/internal/field_copy.h"
#include "conversion/internal/line_mode.h"
#include "conversion/internal/rewrite_rules.h"

namespace sectify::internal {

// A line shape: the orders of the rules whose patterns are its pieces.
template <std::size_t... kOrders>
struct LineShape {
  static constexpr std::array<std::size_t, sizeof...(kOrders)> kPieces{kOrders...};
  static constexpr std::size_t kPieceCount = sizeof...(kOrders);

  static constexpr bool well_formed() {
    for (std::size_t i = 1; i < kPieceCount; ++i) {
      if (rule(kPieces[i]).pattern.front() != '"') return false;
    }
    return true;
  }
};
using PropertyLine = LineShape<4, 5, 6>;
using SectionOpeningLine = LineShape<2, 3>;
using SectionClosingLine = LineShape<7>;
static_assert(PropertyLine::well_formed() && SectionOpeningLine::well_formed() &&
              SectionClosingLine::well_formed());

// The functions of the fast path run a few times per line and are forced
// inline, here and in copy_field: as functions of a header the compiler
// keeps them out of line, which costs a quarter of the conversion's speed
// without SSE2.

// Converts the pieces of `S` from the kI-th on, with the fields between
// them, from s[at] to `out`, moving both past them, and adds the classes of
// the fields to `seen`. Returns false where the text differs from the shape.
template <const Mode& kMode, typename S, std::size_t kI = 0>
[[gnu::always_inline]] inline bool convert_pieces(const char* s, std::size_t n, std::size_t& at,
                                                  char*& out, unsigned char& seen) {
  constexpr const RewriteRule& kRule = rule(S::kPieces[kI]);
  if (!starts_with(s, n, at, kRule.pattern)) return false;
  at += kRule.pattern.size();
  std::memcpy(out, kRule.replacement.data(), kRule.replacement.size());
  out += kRule.replacement.size();
  if constexpr (kI + 1 < S::kPieceCount) {
    char* const field = out;
    unsigned char classes;
    at = copy_field<kMode>(s, at, n, out, classes);
    // Only a '"' may end a field; the next piece begins with it.
    if (at == n || s[at] != '"') return false;
    // Rules 1 and 8 to 10, in their order, where they change the field:
    // into a separate output the field is copied again from the input, which
    // is still intact; else it is reworked in place.
    const auto size = static_cast<std::size_t>(out - field);
    const std::string_view from = kMode.separate_output ? std::string_view(s + at - size, size)
                                                        : std::string_view(field, size);
    const char* const input_end = kMode.separate_output ? s + n : nullptr;
    if (classes & kBlankAfterBlank) {
      bool run_cut;
      out = copy_reducing_blanks<kMode>(from, field, input_end, run_cut);
      if (run_cut) classes = static_cast<unsigned char>(classes | kBlankRunCut);
    }
    if (classes & kAmpersand) {
      bool kept_ampersand;
      // After rule 1 the field is reworked where it stands.
      out =
          classes & kBlankAfterBlank
              ? copy_decoding<kMode>(std::string_view(field, static_cast<std::size_t>(out - field)),
                                     field, nullptr, kept_ampersand)
              : copy_decoding<kMode>(from, field, input_end, kept_ampersand);
      // Decoding makes no '&', so only a '&' it left may begin a reference.
      if (!kept_ampersand) classes = static_cast<unsigned char>(classes & ~kAmpersand);
    }
    seen = static_cast<unsigned char>(seen | classes);
    return convert_pieces<kMode, S, kI + 1>(s, n, at, out, seen);
  } else {
    return true;
  }
}

// Converts the body of a line, which begins at s[at], to `out` if it has
// shape `S` and ends at its line end, and returns the classes of its fields
// in `seen`. Returns false, leaving `out` as it was, if it does not.
template <const Mode& kMode, typename S>
[[gnu::always_inline]] inline bool convert_shape(const char* s, std::size_t n, std::size_t at,
                                                 char*& out, std::size_t& line_end,
                                                 std::size_t& next, unsigned char& seen) {
  char* o = out;
  seen = kPlain;
  if (!convert_pieces<kMode, S>(s, n, at, o, seen)) return false;
  if (at == n || s[at] == '\n') {
    next = at + 1;
  } else if (kMode.crlf_read && s[at] == '\r' && s[at + 1] == '\n') {
    // s[at + 1] may be read: a LF or the NUL after the text follows a CR.
    next = at + 2;
  } else {
    return false;
  }
  line_end = at;
  out = o;
  return true;
}

// Tries to convert the line that begins at s[r] as one of the common line
// shapes, with fields free of '<', '>' and '"' (and, for the scan's sake,
// of NUL bytes), writing the result at out + w. Every line in s[r, n) ends
// with a LF but the last, which requires s[n] == '\0'. Returns true with
// `w`, `line_end` and `next` moved on, and the classes of the fields in
// `seen`, if it could; else false, and nothing before out + w has changed.
//
// In place, the line is converted only where the output so far ends at
// least a line's length before it: the result is never longer than the
// line, so it cannot overwrite the line, which the slow path needs if the
// shape does not match.
template <const Mode& kMode>
[[gnu::always_inline]] inline bool convert_shaped_line(const char* s, std::size_t r, std::size_t n,
                                                       char* out, std::size_t& w,
                                                       std::size_t& line_end, std::size_t& next,
                                                       unsigned char& seen) {
  if constexpr (!kMode.separate_output) {
    const void* lf = std::memchr(s + r, '\n', n - r);
    const std::size_t end =
        lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - s) : n;
    if (r - w < end - r) return false;
  }
  const std::size_t body = skip_blanks(s, r, n);
  char* o = write_blanks(out + w, body - r);
  if (convert_shape<kMode, PropertyLine>(s, n, body, o, line_end, next, seen) ||
      convert_shape<kMode, SectionOpeningLine>(s, n, body, o, line_end, next, seen) ||
      convert_shape<kMode, SectionClosingLine>(s, n, body, o, line_end, next, seen)) {
    w = static_cast<std::size_t>(o - out);
    return true;
  }
  return false;
}

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_LINE_SHAPES_H_
