#include "flight_text.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(SECTIFY_PLAIN_SCAN)
#include <emmintrin.h>
#define SECTIFY_SSE2_SCAN 1
#endif

namespace sectify {
namespace {

struct RewriteRule {
  std::string_view pattern;
  std::string_view replacement;
};

// The rewrite rules, in the order they are applied. Each one runs over the
// whole text before the next one starts.
constexpr RewriteRule kRewriteRules[] = {
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

constexpr std::size_t kRuleCount = std::size(kRewriteRules);

// Rules 1 to 10 neither match nor write a line end; rules 11 and 12 match
// one only as their last byte.
constexpr std::size_t kLineRuleCount = 10;
constexpr std::size_t kLineEndRuleCount = kRuleCount - kLineRuleCount;

// The rule numbered `order` in the list above, counting from 1.
constexpr const RewriteRule& rule(std::size_t order) { return kRewriteRules[order - 1]; }

constexpr bool rules_are_well_formed() {
  for (std::size_t order = 1; order <= kRuleCount; ++order) {
    const RewriteRule& r = rule(order);
    if (r.pattern.empty() || r.replacement.size() >= r.pattern.size()) {
      return false;
    }
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
// Termination, working in place and the line-by-line processing below all
// rest on these facts.
static_assert(rules_are_well_formed());

// The two ways the lines are converted. A text is converted in place: a
// line ends with LF, a CR is data, and each line end is written as LF. A
// file is converted from its input into a separate output: a CR LF also
// ends a line, as a LF does, and each line end is written as CR LF.
struct Mode {
  bool crlf_read;                // a CR right before a LF belongs to the line end
  std::string_view written;      // what each line end of the output is
  std::string_view main_marker;  // the cut marker, with that line end
  bool separate_output;          // the output overlaps no input, and has
                                 // kOutputSlack bytes to spare after its end
};
constexpr Mode kTextInPlace{false, "\n", "\n[Main]", false};
constexpr Mode kFileStream{true, "\r\n", "\r\n[Main]", true};

// Fields are copied into a separate output sixteen bytes at a time, which
// may write up to this many bytes past the end of the result.
constexpr std::size_t kOutputSlack = 16;

// Rewrites s[0, n) in place exactly as replace_all defines and returns the
// new length.
//
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

// --- The fast path for the common line shapes ---------------------------
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
static_assert(rule(1).pattern == "    " && rule(1).replacement.empty());

constexpr std::size_t kBlankRun = rule(1).pattern.size();

// Whether p[0, sizeof(Word)) equals q[0, sizeof(Word)).
template <typename Word>
bool same_word(const char* p, const char* q) {
  Word a;
  Word b;
  std::memcpy(&a, p, sizeof a);
  std::memcpy(&b, q, sizeof b);
  return a == b;
}

// Whether s[at, n) begins with `piece`. Compares a word at a time: the
// pieces are short, and a call to memcmp would cost more. With a constant
// piece this folds into a few compares.
inline bool starts_with(const char* s, std::size_t n, std::size_t at, std::string_view piece) {
  if (n - at < piece.size()) return false;
  const char* p = s + at;
  const char* q = piece.data();
  std::size_t left = piece.size();
  for (; left >= 8; left -= 8, p += 8, q += 8) {
    if (!same_word<std::uint64_t>(p, q)) return false;
  }
  if (left >= 4) {
    if (!same_word<std::uint32_t>(p, q)) return false;
    left -= 4, p += 4, q += 4;
  }
  if (left >= 2) {
    if (!same_word<std::uint16_t>(p, q)) return false;
    left -= 2, p += 2, q += 2;
  }
  return left == 0 || *p == *q;
}

// Returns the index of the first `c` in p[0, 16), or 16 if there is none.
std::size_t find_in_16(const char* p, char c) {
#if SECTIFY_SSE2_SCAN
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
  return hits != 0 ? static_cast<std::size_t>(__builtin_ctz(hits)) : 16;
#else
  const void* hit = std::memchr(p, c, 16);
  return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - p) : 16;
#endif
}

// Copies the bytes of [p, end) before the first `c` to `out`, moving `out`
// past them, and returns where that `c` is, or `end`. `out` may overlap
// [p, end) from the left. Given an `input_end`, [p, end) lies in the input
// and `out` in a separate output: then the bytes go sixteen at a time while
// they lie before `input_end`, which may write up to kOutputSlack bytes
// more than it copies.
template <const Mode& kMode>
const char* copy_until(const char* p, const char* end, char c, char*& out, const char* input_end) {
  if (kMode.separate_output && input_end != nullptr) {
    for (; input_end - p >= 16; p += 16, out += 16) {
      std::memcpy(out, p, 16);
      const std::size_t at = std::min(find_in_16(p, c), static_cast<std::size_t>(end - p));
      if (at < 16) {
        out += at;
        return p + at;
      }
    }
  }
  const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
  const char* const stop = hit != nullptr ? static_cast<const char*>(hit) : end;
  std::memmove(out, p, static_cast<std::size_t>(stop - p));
  out += stop - p;
  return stop;
}

// Copies `field` to `out` with the character references of rules 8 to 10
// decoded, left to right, and returns the end; sets `kept_ampersand` if a
// '&' stays undecoded (see copy_until for `out` and `input_end`). This
// equals the three passes in turn: each pattern begins with '&' and holds
// no other '&', so no two occurrences overlap, and no replacement byte is a
// byte of any of the patterns, so no replacement completes a new
// occurrence.
template <const Mode& kMode>
char* copy_decoding(std::string_view field, char* out, const char* input_end,
                    bool& kept_ampersand) {
  kept_ampersand = false;
  const char* p = field.data();
  const char* const end = p + field.size();
  for (;;) {
    p = copy_until<kMode>(p, end, '&', out, input_end);
    if (p == end) return out;
    const auto left = static_cast<std::size_t>(end - p);
    std::size_t order = 8;
    for (; order <= 10; ++order) {
      const RewriteRule& ref = rule(order);
      if (starts_with(p, left, 0, ref.pattern)) {
        std::memcpy(out, ref.replacement.data(), ref.replacement.size());
        out += ref.replacement.size();
        p += ref.pattern.size();
        break;
      }
    }
    if (order > 10) {
      *out++ = *p++;
      kept_ampersand = true;
    }
  }
}

// Writes `count % kBlankRun` blanks at `out` and returns the end.
char* write_blanks(char* out, std::size_t count) {
  for (count %= kBlankRun; count > 0; --count) *out++ = ' ';
  return out;
}

// Copies `field` to `out` with each run of n blanks cut to n mod 4 and
// returns the end (see copy_until for `out` and `input_end`).
template <const Mode& kMode>
char* copy_reducing_blanks(std::string_view field, char* out, const char* input_end) {
  const char* p = field.data();
  const char* const end = p + field.size();
  for (;;) {
    p = copy_until<kMode>(p, end, ' ', out, input_end);
    if (p == end) return out;
    const char* run_end = p;
    while (run_end != end && *run_end == ' ') ++run_end;
    out = write_blanks(out, static_cast<std::size_t>(run_end - p));
    p = run_end;
  }
}

// What the fast path needs to know of a byte inside a field.
enum ByteClass : unsigned char {
  kPlain = 0,
  kStop = 1,             // ends the field: '"', or a byte the fast path leaves alone
  kBlank = 2,            // rule 1 may shorten a run of these
  kAmpersand = 4,        // may begin a character reference
  kBlankAfterBlank = 8,  // not a byte's class: set when two blanks meet
};

constexpr std::array<unsigned char, 256> make_byte_classes() {
  std::array<unsigned char, 256> classes{};
  // The line end and NUL stop a field too: the first because a field lies
  // within its line, the second so that the NUL after a text's last byte
  // ends every scan.
  for (const char c : {'"', '<', '>', '\n', '\0'}) classes[static_cast<unsigned char>(c)] = kStop;
  classes[' '] = kBlank;
  classes['&'] = kAmpersand;
  return classes;
}
constexpr std::array<unsigned char, 256> kByteClasses = make_byte_classes();

// Copies the field that begins at s[at] to `out`, moving `out` past it, and
// returns where the field ends: at its first byte of class kStop. Sets
// `classes` to kAmpersand if the field holds a '&', and kBlankAfterBlank if
// two blanks meet, since rule 1 changes no other field.
//
// Into a separate output, with SSE2, it goes sixteen bytes at a time while
// they lie before s[n], and may write up to kOutputSlack bytes past the
// field. Two blanks that meet across the border of two chunks are not seen,
// and need not be: rule 1 changes only runs of four or more, and such a run
// has two of its blanks on one side of any border.
template <const Mode& kMode>
std::size_t copy_field(const char* s, std::size_t at, std::size_t n, char*& out,
                       unsigned char& classes) {
  unsigned seen = kPlain;
  unsigned pairs = kPlain;
#if SECTIFY_SSE2_SCAN
  if constexpr (kMode.separate_output) {
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i less = _mm_set1_epi8('<');
    const __m128i greater = _mm_set1_epi8('>');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i amp = _mm_set1_epi8('&');
    unsigned blank_pairs = 0;
    for (; n - at >= 16; at += 16, out += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
      const __m128i stop =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, less)),
                       _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, greater), _mm_cmpeq_epi8(v, lf)),
                                    _mm_cmpeq_epi8(v, nul)));
      const auto stops = static_cast<unsigned>(_mm_movemask_epi8(stop));
      const auto blanks = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank)));
      const auto amps = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, amp)));
      // The bits of the bytes before the first stop, all bits if there is none.
      const unsigned field = (stops & (0u - stops)) - 1u;
      seen |= (amps & field) != 0 ? kAmpersand : kPlain;
      blank_pairs |= blanks & blanks << 1 & field;
      if (stops != 0) {
        const auto length = static_cast<std::size_t>(__builtin_ctz(stops));
        out += length;
        classes = static_cast<unsigned char>(seen | (blank_pairs != 0 ? kBlankAfterBlank : 0));
        return at + length;
      }
    }
    pairs = blank_pairs != 0 ? kBlank : kPlain;
  }
#else
  static_cast<void>(n);
#endif
  // One byte at a time: the rest of the field, or all of it.
  unsigned previous = kPlain;
  unsigned byte_class;
  while (((byte_class = kByteClasses[static_cast<unsigned char>(s[at])]) & kStop) == 0) {
    seen |= byte_class;
    pairs |= byte_class & previous;
    previous = byte_class;
    *out++ = s[at++];
  }
  classes = static_cast<unsigned char>((seen & kAmpersand) |
                                       ((pairs & kBlank) != 0 ? kBlankAfterBlank : 0));
  return at;
}

// Returns where the run of blanks that begins at s[at] ends. Requires a
// byte other than a blank in s[at, n].
std::size_t skip_blanks(const char* s, std::size_t at, std::size_t n) {
#if SECTIFY_SSE2_SCAN
  const __m128i blank = _mm_set1_epi8(' ');
  for (; n - at >= 16; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
    const unsigned others =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank))) ^ 0xFFFFu;
    if (others != 0) return at + static_cast<std::size_t>(__builtin_ctz(others));
  }
#else
  constexpr std::uint64_t kEightBlanks = 0x2020202020202020u;
  for (std::uint64_t word; n - at >= 8 && (std::memcpy(&word, s + at, 8), word == kEightBlanks);) {
    at += 8;
  }
#endif
  while (s[at] == ' ') ++at;
  return at;
}

// Converts the pieces of `S` from the kI-th on, with the fields between
// them, from s[at] to `out`, moving both past them, and adds the classes of
// the fields to `seen`. Returns false where the text differs from the shape.
template <const Mode& kMode, typename S, std::size_t kI = 0>
bool convert_pieces(const char* s, std::size_t n, std::size_t& at, char*& out,
                    unsigned char& seen) {
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
      out = copy_reducing_blanks<kMode>(from, field, input_end);
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
bool convert_shape(const char* s, std::size_t n, std::size_t at, char*& out, std::size_t& line_end,
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
bool convert_shaped_line(const char* s, std::size_t r, std::size_t n, char* out, std::size_t& w,
                         std::size_t& line_end, std::size_t& next, unsigned char& seen) {
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

// Applies rules 1 to 10, one after the other, to `line`, which holds no line
// end, and writes the result at out + w, where `out` may overlap `line` from
// the left. Returns the end of the result.
std::size_t convert_any_line(std::string_view line, char* out, std::size_t w) {
  std::memmove(out + w, line.data(), line.size());
  std::size_t size = line.size();
  for (std::size_t order = 1; order <= kLineRuleCount; ++order) {
    size = rewrite_span(out + w, size, rule(order).pattern, rule(order).replacement);
  }
  return w + size;
}

// Runs rules 11 and 12 at the line end that follows out[.., state.w).
// `state.pending[i]` is where the unfinished line of rule 11 + i begins:
// the bytes it has taken in since the last line end it let through.
// Returns true if the line end was written, which makes everything before
// it final; false if a rule removed it, joining the line to the next.
//
// Run over the text as a cascade, rule 11 passes each line end it keeps on
// to rule 12. Their patterns hold a line end only as their last byte, so
// they can match only when a line end arrives, and never reach back past
// the last line end they let through.
template <const Mode& kMode>
bool end_line(char* out, detail::LineState& state) {
  std::size_t& w = state.w;
  for (std::size_t i = 0; i < kLineEndRuleCount; ++i) {
    std::string_view head = rule(kLineRuleCount + 1 + i).pattern;
    head.remove_suffix(1);
    // Most lines end in another byte than a closing tag's last one.
    if (w - state.pending[i] >= head.size() && out[w - 1] == head.back() &&
        std::memcmp(out + w - head.size(), head.data(), head.size()) == 0) {
      w -= head.size();
      for (std::size_t j = 0; j < i; ++j) state.pending[j] = w;
      return false;
    }
  }
  std::memcpy(out + w, kMode.written.data(), kMode.written.size());
  w += kMode.written.size();
  state.pending.fill(w);
  return true;
}

// Converts the lines of in[0, n) and writes the result at out + state.w.
// Every line ends with a LF but the last, which may end the text without
// one and then requires in[n] == '\0'. `out` may be `in` itself when each
// line end is written as a single LF.
//
// Rules 1 to 10 neither match nor make a line end, so running each over the
// whole text is the same as running all ten over each line in turn. Rules
// 11 and 12 then see the lines one after the other (see end_line).
//
// A line that end_line makes final is never changed again, and it holds a
// single line end, at its end, so the cut marker can only begin at the line
// end of one final line and run into the next one. Until the marker is
// found, each final line is therefore dropped but for its line end, kept at
// out[0]; the marker is found when the output starts with it.
template <const Mode& kMode>
void convert_lines(const char* in, std::size_t n, char* out, detail::LineState& state,
                   LayoutFindings* findings) {
  std::size_t r = 0;
  while (r < n) {
    const std::size_t start = state.w;
    std::size_t line_end;
    unsigned char classes = kPlain;
    const bool shaped = convert_shaped_line<kMode>(in, r, n, out, state.w, line_end, r, classes);
    if (!shaped) {
      const void* lf = std::memchr(in + r, '\n', n - r);
      const std::size_t e =
          lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - in) : n;
      line_end = kMode.crlf_read && e < n && e > r && in[e - 1] == '\r' ? e - 1 : e;
      state.w = convert_any_line(std::string_view(in + r, line_end - r), out, state.w);
      r = e + 1;
    }
    if (line_end == n) break;  // the text's last line, without a line end
    const std::size_t begin = state.pending[1];
    const std::string_view line(out + begin, state.w - begin);
    if (!end_line<kMode>(out, state)) continue;
    // `line` is final now.
    if (!state.main_found) {
      if (starts_with(out, state.w, 0, kMode.main_marker)) {
        state.main_found = true;
        state.lines = 1;  // the empty line before the marker
      } else {
        if (findings != nullptr) check_dropped_line(line, *findings);
        std::memcpy(out, kMode.written.data(), kMode.written.size());
        state.w = kMode.written.size();
        state.pending.fill(state.w);
        continue;
      }
    }
    ++state.lines;
    if (findings == nullptr) continue;
    // A line of a common shape that no closing line joined to another is in
    // the form unless its indentation left blanks, and can keep a reference
    // only if a field kept a '&'.
    const bool alone = shaped && begin == start;
    const bool in_form =
        alone ? line.empty() || (line.front() != ' ' && line.front() != '\t') : in_plain_form(line);
    const bool may_hold_reference = !alone || (classes & kAmpersand) != 0;
    if (!in_form || may_hold_reference) {
      check_output_line(line, state.lines, in_form, may_hold_reference, *findings);
    }
  }
}

// Makes the cut once the whole text is converted: whatever follows the last
// line end is final as it stands, and is the output's last line if it is
// not empty.
template <const Mode& kMode>
void cut_at_end(const char* out, detail::LineState& state, LayoutFindings* findings) {
  if (!state.main_found && starts_with(out, state.w, 0, kMode.main_marker)) {
    state.main_found = true;
    state.lines = 1;
  }
  if (!state.main_found) {
    state.w = 0;
    return;
  }
  const std::size_t begin = state.pending[1];
  if (begin == state.w) return;
  const std::string_view line(out + begin, state.w - begin);
  ++state.lines;
  if (findings != nullptr) {
    check_output_line(line, state.lines, in_plain_form(line), true, *findings);
  }
}

}  // namespace

void replace_all(std::string& text, std::string_view pattern, std::string_view replacement) {
  assert(!pattern.empty() && replacement.size() < pattern.size());
  text.resize(rewrite_span(text.data(), text.size(), pattern, replacement));
}

void convert_flight_text(std::string& text) {
  detail::LineState state;
  convert_lines<kTextInPlace>(text.data(), text.size(), text.data(), state, nullptr);
  cut_at_end<kTextInPlace>(text.data(), state, nullptr);
  text.resize(state.w);
}

char* FlightFileConverter::output_for(std::size_t input) {
  // What the caller has taken goes; all of it lies before both pending
  // lines.
  const std::size_t kept = state_.w - returned_;
  std::memmove(output_.data(), output_.data() + returned_, kept);
  state_.w = kept;
  for (std::size_t& p : state_.pending) p -= returned_;
  returned_ = 0;
  // Each byte of input gives at most two of output: a LF becomes CR LF,
  // and no rule lengthens anything.
  const std::size_t need = kept + 2 * input + kOutputSlack;
  if (output_.size() < need) output_.resize(need);
  return output_.data();
}

std::string_view FlightFileConverter::convert(std::string_view block) {
  if (bytes_seen_ < first_bytes_.size()) {
    for (std::size_t i = 0; i < block.size() && bytes_seen_ < first_bytes_.size(); ++i) {
      first_bytes_[bytes_seen_++] = static_cast<unsigned char>(block[i]);
    }
    // A byte order mark of UTF-16, little- or big-endian.
    findings_.utf16 = bytes_seen_ == 2 && ((first_bytes_[0] == 0xFF && first_bytes_[1] == 0xFE) ||
                                           (first_bytes_[0] == 0xFE && first_bytes_[1] == 0xFF));
  }
  // Only complete lines are converted; the rest waits for its line end.
  const std::size_t last_lf = block.rfind('\n');
  if (last_lf == std::string_view::npos) {
    carry_.append(block);
    return {};
  }
  char* const out = output_for(carry_.size() + block.size());
  std::size_t complete = last_lf + 1;
  if (!carry_.empty()) {
    const std::size_t first = block.find('\n') + 1;
    carry_.append(block.substr(0, first));
    convert_lines<kFileStream>(carry_.data(), carry_.size(), out, state_, checks());
    carry_.clear();
    block.remove_prefix(first);
    complete -= first;
  }
  convert_lines<kFileStream>(block.data(), complete, out, state_, checks());
  carry_.append(block.substr(complete));
  // Until the marker is found, the output is a line end and the lines
  // still open; after it, everything before the last line end is final.
  returned_ = state_.main_found ? state_.pending[1] : 0;
  return std::string_view(output_.data(), returned_);
}

std::string_view FlightFileConverter::finish() {
  char* const out = output_for(carry_.size());
  convert_lines<kFileStream>(carry_.data(), carry_.size(), out, state_, checks());
  carry_.clear();
  cut_at_end<kFileStream>(out, state_, checks());
  if (!state_.main_found) {
    // Without the marker the whole text is cut: no section went astray.
    findings_.sections_left_out = 0;
    findings_.first_section_left_out.clear();
  }
  returned_ = state_.w;
  return std::string_view(output_.data(), returned_);
}

}  // namespace sectify
