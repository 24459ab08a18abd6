// The fast path for the common line shapes, and why it gives what the rules
// give: the proof, the premises it takes from the rule table (checked by
// the compiler below), the field copies and the shapes.
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

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "conversion/internal/byte_scan.h"
#include "conversion/internal/line_engine.h"
#include "conversion/internal/rewrite_rules.h"

namespace sectify::internal {

// The premises of the proof above, as the rule table and kStopBytes must
// keep them for the fast path to give what the rules give.

// Returns whether `c` ends a field.
constexpr bool stops_a_field(char c) {
  for (const char stop : kStopBytes) {
    if (c == stop) return true;
  }
  return false;
}

// Returns whether the patterns of rules `first` to `last` each hold a byte
// of `some`, or, without `some`, only bytes that `allowed` accepts.
template <typename Allowed>
constexpr bool patterns_hold(std::size_t first, std::size_t last, std::string_view some,
                             Allowed allowed) {
  for (std::size_t order = first; order <= last; ++order) {
    const std::string_view pattern = rule(order).pattern;
    if (!some.empty() && pattern.find_first_of(some) == std::string_view::npos) return false;
    for (const char c : pattern) {
      if (!allowed(c)) return false;
    }
  }
  return true;
}
constexpr auto kAnyByte = [](char) { return true; };

static_assert(stops_a_field('"') && stops_a_field('<') && stops_a_field('\n') &&
                  stops_a_field('\0'),
              "a field ends at '\"', at '<', at its line end and at the NUL after the text");
static_assert(patterns_hold(2, 7, "<\"", kAnyByte),
              "each pattern of rules 2 to 7 holds '<' or '\"', so that it can match in a "
              "shaped line only at a piece");
static_assert(patterns_hold(2, 7, "",
                            [](char c) {
                              return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ' ||
                                     c == '=' || c == '/' || stops_a_field(c);
                            }),
              "every byte of rules 2 to 7 but letters, blanks, '=' and '/' stops a field (a "
              "'>' after a piece's '\"' would otherwise make rule 3's \"\\\">\")");
static_assert(patterns_hold(kFirstReferenceRule, kLastReferenceRule, "",
                            [](char c) {
                              return !stops_a_field(c) && c != ' ' && c != '[' && c != ']' &&
                                     c != '=';
                            }),
              "no reference pattern holds a byte that stops a field, a blank, '[', ']' or "
              "'=', so no reference reaches across a field's end");

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
                  SectionClosingLine::well_formed(),
              "each shape's pieces after the first begin with '\"', which stops a field");

static_assert(kOutputSlack >= kChunk);

// Copies the bytes of [p, end) before the first `c` to `out`, moving `out`
// past them, and returns where that `c` is, or `end`. `out` may overlap
// [p, end) from the left. The bytes go a chunk at a time while they lie
// before `readable`, which may write up to kOutputSlack bytes more than it
// copies: where `out` overlaps the source, such a chunk would overwrite
// bytes not yet read, and `readable` is the source's own start.
inline const char* copy_until(const char* p, const char* end, char c, char*& out,
                              const char* readable) {
  for (; readable - p >= static_cast<std::ptrdiff_t>(kChunk); p += kChunk, out += kChunk) {
    std::memmove(out, p, kChunk);
    const std::size_t at = std::min(find_in_chunk(p, c), static_cast<std::size_t>(end - p));
    if (at < kChunk) {
      out += at;
      return p + at;
    }
  }
  const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
  const char* const stop = hit != nullptr ? static_cast<const char*>(hit) : end;
  std::memmove(out, p, static_cast<std::size_t>(stop - p));
  out += stop - p;
  return stop;
}

// Copies `field` to `out` as copy_until does (see there for `out` and
// `readable`), and at each `c` calls `rewrite(p, end, out)`, which writes
// what the bytes from that `c` on become, moving `out` past them, and
// returns where copying goes on. Returns the end of the copy.
template <typename Rewrite>
inline char* copy_rewriting(std::string_view field, char c, char* out, const char* readable,
                            Rewrite rewrite) {
  const char* p = field.data();
  const char* const end = p + field.size();
  while ((p = copy_until(p, end, c, out, readable)) != end) p = rewrite(p, end, out);
  return out;
}

// Copies `field` to `out` with the character references of rules 8 to 10
// decoded, left to right, and returns the end; sets `kept_ampersand` if a
// '&' stays undecoded. This equals the three passes in turn, as
// references_are_independent() states.
inline char* copy_decoding(std::string_view field, char* out, const char* readable,
                           bool& kept_ampersand) {
  kept_ampersand = false;
  return copy_rewriting(field, '&', out, readable, [&](const char* p, const char* end, char*& o) {
    for (std::size_t order = kFirstReferenceRule; order <= kLastReferenceRule; ++order) {
      const RewriteRule& reference = rule(order);
      if (starts_with(p, static_cast<std::size_t>(end - p), 0, reference.pattern)) {
        std::memcpy(o, reference.replacement.data(), reference.replacement.size());
        o += reference.replacement.size();
        return p + reference.pattern.size();
      }
    }
    kept_ampersand = true;
    *o++ = *p;
    return p + 1;
  });
}

// Writes `count % kBlankRun` blanks at `out` and returns the end.
inline char* write_blanks(char* out, std::size_t count) {
  for (count %= kBlankRun; count > 0; --count) *out++ = ' ';
  return out;
}

// Copies `field` to `out` with each run of n blanks cut to n mod 4 and
// returns the end. Sets `run_cut` if a run was long enough to be cut.
inline char* copy_reducing_blanks(std::string_view field, char* out, const char* readable,
                                  bool& run_cut) {
  run_cut = false;
  return copy_rewriting(field, ' ', out, readable, [&](const char* p, const char* end, char*& o) {
    const char* run_end = p;
    while (run_end != end && *run_end == ' ') ++run_end;
    const auto run = static_cast<std::size_t>(run_end - p);
    run_cut = run_cut || run >= kBlankRun;
    o = write_blanks(o, run);
    return run_end;
  });
}

// Copies the field that begins at s[at] to `out`, moving `out` past it, and
// returns where the field ends: at its first byte of class kStop. The line
// end and NUL stop a field too: the first because a field lies within its
// line, the second so that the NUL after a text's last byte ends every
// scan. Sets `classes` to kAmpersand if the field holds a '&',
// kBeyondAscii if it holds a byte beyond ASCII, and kBlankAfterBlank if two
// blanks meet, since rule 1 changes no other field.
//
// Where chunks are scanned, it goes a chunk at a time while the chunk lies
// before s[n], and may write up to kOutputSlack bytes past the field. Two
// blanks that meet across the border of two chunks are not seen, and need
// not be: rule 1 changes only runs of four or more, and such a run has two
// of its blanks on one side of any border.
[[gnu::always_inline]] inline std::size_t copy_field(const char* s, std::size_t at, std::size_t n,
                                                     char*& out, unsigned char& classes) {
  unsigned seen = kPlain;
  unsigned pairs = kPlain;
  if constexpr (kScansChunks) {
    unsigned blank_pairs = 0;
    for (; n - at >= kChunk; at += kChunk, out += kChunk) {
      std::memcpy(out, s + at, kChunk);
      const ChunkClasses chunk = classify_chunk(s + at);
      // The bits of the bytes before the first stop, all bits if there is none.
      const unsigned field = (chunk.stops & (0u - chunk.stops)) - 1u;
      seen |= (chunk.ampersands & field) != 0 ? kAmpersand : kPlain;
      seen |= (chunk.beyond_ascii & field) != 0 ? kBeyondAscii : kPlain;
      blank_pairs |= chunk.blanks & chunk.blanks << 1 & field;
      if (chunk.stops != 0) {
        const std::size_t length = lowest_bit(chunk.stops);
        out += length;
        classes = static_cast<unsigned char>(seen | (blank_pairs != 0 ? kBlankAfterBlank : 0));
        return at + length;
      }
    }
    pairs = blank_pairs != 0 ? kBlank : kPlain;
  }
  // One byte at a time: the rest of the field, or all of it.
  unsigned previous = kPlain;
  unsigned byte_class;
  while (((byte_class = kByteClasses[static_cast<unsigned char>(s[at])]) & kStop) == 0) {
    seen |= byte_class;
    pairs |= byte_class & previous;
    previous = byte_class;
    *out++ = s[at++];
  }
  classes = static_cast<unsigned char>((seen & (kAmpersand | kBeyondAscii)) |
                                       ((pairs & kBlank) != 0 ? kBlankAfterBlank : 0));
  return at;
}

// The functions of the fast path run a few times per line and are forced
// inline, here and in copy_field: as functions of a header the compiler
// keeps them out of line, which costs a quarter of the conversion's speed
// without SSE2.

// Converts the pieces of `S` from the kI-th on, with the fields between
// them, from s[at] to `out`, moving both past them, and adds the classes of
// the fields to `seen`. Returns false where the text differs from the shape.
template <typename S, std::size_t kI = 0>
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
    at = copy_field(s, at, n, out, classes);
    // Only a '"' may end a field; the next piece begins with it.
    if (at == n || s[at] != '"') return false;
    // Rules 1 and 8 to 10, in their order, where they change the field:
    // copied again from the input, which is still intact.
    const auto size = static_cast<std::size_t>(out - field);
    const std::string_view from(s + at - size, size);
    if (classes & kBlankAfterBlank) {
      bool run_cut;
      out = copy_reducing_blanks(from, field, s + n, run_cut);
      if (run_cut) classes = static_cast<unsigned char>(classes | kBlankRunCut);
    }
    if (classes & kAmpersand) {
      bool kept_ampersand;
      // After rule 1 the field is reworked where it stands.
      out = classes & kBlankAfterBlank
                ? copy_decoding(std::string_view(field, static_cast<std::size_t>(out - field)),
                                field, field, kept_ampersand)
                : copy_decoding(from, field, s + n, kept_ampersand);
      // Decoding makes no '&', so only a '&' it left may begin a reference.
      if (!kept_ampersand) classes = static_cast<unsigned char>(classes & ~kAmpersand);
    }
    seen = static_cast<unsigned char>(seen | classes);
    return convert_pieces<S, kI + 1>(s, n, at, out, seen);
  } else {
    return true;
  }
}

// Converts the body of a line, which begins at s[at], to `out` if it has
// shape `S` and ends at its line end, and returns the classes of its fields
// in `seen`. Returns false, leaving `out` as it was, if it does not.
template <typename S>
[[gnu::always_inline]] inline bool convert_shape(const char* s, std::size_t n, std::size_t at,
                                                 char*& out, std::size_t& line_end,
                                                 std::size_t& next, unsigned char& seen) {
  char* o = out;
  seen = kPlain;
  if (!convert_pieces<S>(s, n, at, o, seen)) return false;
  if (at == n || s[at] == '\n') {
    next = at + 1;
  } else if (s[at] == '\r' && s[at + 1] == '\n') {
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
[[gnu::always_inline]] inline bool convert_shaped_line(const char* s, std::size_t r, std::size_t n,
                                                       char* out, std::size_t& w,
                                                       std::size_t& line_end, std::size_t& next,
                                                       unsigned char& seen) {
  const std::size_t body = skip_blanks(s, r, n);
  char* o = write_blanks(out + w, body - r);
  if (convert_shape<PropertyLine>(s, n, body, o, line_end, next, seen) ||
      convert_shape<SectionOpeningLine>(s, n, body, o, line_end, next, seen) ||
      convert_shape<SectionClosingLine>(s, n, body, o, line_end, next, seen)) {
    w = static_cast<std::size_t>(o - out);
    return true;
  }
  return false;
}

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_LINE_SHAPES_H_
