// Copying the fields of the common line shapes: the names and values
// between the rule patterns, with rule 1 and the reference rules applied
// where they change anything.

#ifndef SECTIFY_CONVERSION_INTERNAL_FIELD_COPY_H_
#define SECTIFY_CONVERSION_INTERNAL_FIELD_COPY_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "conversion/internal/byte_scan.h"
#include "conversion/internal/line_mode.h"
#include "conversion/internal/rewrite_rules.h"

namespace sectify::internal {

static_assert(kOutputSlack >= kChunk);

// Copies the bytes of [p, end) before the first `c` to `out`, moving `out`
// past them, and returns where that `c` is, or `end`. `out` may overlap
// [p, end) from the left. Given an `input_end`, [p, end) lies in the input
// and `out` in a separate output: then the bytes go a chunk at a time while
// they lie before `input_end`, which may write up to kOutputSlack bytes
// more than it copies.
template <const Mode& kMode>
const char* copy_until(const char* p, const char* end, char c, char*& out, const char* input_end) {
  if (kMode.separate_output && input_end != nullptr) {
    for (; input_end - p >= static_cast<std::ptrdiff_t>(kChunk); p += kChunk, out += kChunk) {
      std::memcpy(out, p, kChunk);
      const std::size_t at = std::min(find_in_chunk(p, c), static_cast<std::size_t>(end - p));
      if (at < kChunk) {
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
// equals the three passes in turn, as references_are_independent() states.
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
    std::size_t order = kFirstReferenceRule;
    for (; order <= kLastReferenceRule; ++order) {
      const RewriteRule& reference = rule(order);
      if (starts_with(p, left, 0, reference.pattern)) {
        std::memcpy(out, reference.replacement.data(), reference.replacement.size());
        out += reference.replacement.size();
        p += reference.pattern.size();
        break;
      }
    }
    if (order > kLastReferenceRule) {
      *out++ = *p++;
      kept_ampersand = true;
    }
  }
}

// Writes `count % kBlankRun` blanks at `out` and returns the end.
inline char* write_blanks(char* out, std::size_t count) {
  for (count %= kBlankRun; count > 0; --count) *out++ = ' ';
  return out;
}

// Copies `field` to `out` with each run of n blanks cut to n mod 4 and
// returns the end (see copy_until for `out` and `input_end`). Sets
// `run_cut` if a run was long enough to be cut.
template <const Mode& kMode>
char* copy_reducing_blanks(std::string_view field, char* out, const char* input_end,
                           bool& run_cut) {
  run_cut = false;
  const char* p = field.data();
  const char* const end = p + field.size();
  for (;;) {
    p = copy_until<kMode>(p, end, ' ', out, input_end);
    if (p == end) return out;
    const char* run_end = p;
    while (run_end != end && *run_end == ' ') ++run_end;
    const auto run = static_cast<std::size_t>(run_end - p);
    run_cut = run_cut || run >= kBlankRun;
    out = write_blanks(out, run);
    p = run_end;
  }
}

// Copies the field that begins at s[at] to `out`, moving `out` past it, and
// returns where the field ends: at its first byte of class kStop. The line
// end and NUL stop a field too: the first because a field lies within its
// line, the second so that the NUL after a text's last byte ends every
// scan. Sets `classes` to kAmpersand if the field holds a '&',
// kBeyondAscii if it holds a byte beyond ASCII, and kBlankAfterBlank if two
// blanks meet, since rule 1 changes no other field.
//
// Into a separate output, where chunks are scanned, it goes a chunk at a
// time while the chunk lies before s[n], and may write up to kOutputSlack
// bytes past the field. Two blanks that meet across the border of two
// chunks are not seen, and need not be: rule 1 changes only runs of four or
// more, and such a run has two of its blanks on one side of any border.
template <const Mode& kMode>
[[gnu::always_inline]] inline std::size_t copy_field(const char* s, std::size_t at, std::size_t n,
                                                     char*& out, unsigned char& classes) {
  unsigned seen = kPlain;
  unsigned pairs = kPlain;
  if constexpr (kMode.separate_output && kScansChunks) {
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

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_FIELD_COPY_H_
