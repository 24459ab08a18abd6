// The byte scan primitives of the conversion's fast path: each with an SSE2
// body where the compiler has SSE2 (off with SECTIFY_PLAIN_SCAN, which the
// tests build too) and a portable one, so that the algorithms above them
// are written once.

#ifndef SECTIFY_CONVERSION_INTERNAL_BYTE_SCAN_H_
#define SECTIFY_CONVERSION_INTERNAL_BYTE_SCAN_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) && !defined(SECTIFY_PLAIN_SCAN)
#include <emmintrin.h>
#define SECTIFY_SSE2_SCAN 1
#endif

namespace sectify::internal {

// Scans look at this many bytes at a time.
inline constexpr std::size_t kChunk = 16;

// Returns whether p[0, sizeof(Word)) equals q[0, sizeof(Word)).
template <typename Word>
bool same_word(const char* p, const char* q) {
  Word a;
  Word b;
  std::memcpy(&a, p, sizeof a);
  std::memcpy(&b, q, sizeof b);
  return a == b;
}

// Returns whether s[at, n) begins with `piece`. Compares a word at a time:
// the pieces are short, and a call to memcmp would cost more. With a
// constant piece this folds into a few compares.
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

// Returns the index of the first `c` in p[0, kChunk), or kChunk if there
// is none.
inline std::size_t find_in_chunk(const char* p, char c) {
#if SECTIFY_SSE2_SCAN
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
  return hits != 0 ? static_cast<std::size_t>(__builtin_ctz(hits)) : kChunk;
#else
  const void* hit = std::memchr(p, c, kChunk);
  return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - p) : kChunk;
#endif
}

// Returns where the run of blanks that begins at s[at] ends. Requires a
// byte other than a blank in s[at, n].
inline std::size_t skip_blanks(const char* s, std::size_t at, std::size_t n) {
#if SECTIFY_SSE2_SCAN
  const __m128i blank = _mm_set1_epi8(' ');
  for (; n - at >= kChunk; at += kChunk) {
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

// What a field scan needs to know of a byte.
enum ByteClass : unsigned char {
  kPlain = 0,
  kStop = 1,             // ends a field: '"', '<', '>', LF or NUL
  kBlank = 2,            // rule 1 may shorten a run of these
  kAmpersand = 4,        // may begin a character reference
  kBlankAfterBlank = 8,  // not a byte's class: set when two blanks meet
  kBlankRunCut = 16,     // not a byte's class: set when rule 1 cuts a run of blanks
  kBeyondAscii = 32,     // may be part of a character beyond ASCII
};

inline constexpr char kStopBytes[] = {'"', '<', '>', '\n', '\0'};

constexpr std::array<unsigned char, 256> make_byte_classes() {
  std::array<unsigned char, 256> classes{};
  for (const char c : kStopBytes) classes[static_cast<unsigned char>(c)] = kStop;
  classes[' '] = kBlank;
  classes['&'] = kAmpersand;
  for (std::size_t byte = 0x80; byte < classes.size(); ++byte) classes[byte] = kBeyondAscii;
  return classes;
}
inline constexpr std::array<unsigned char, 256> kByteClasses = make_byte_classes();

// The bytes of one chunk by class, bit i standing for p[i].
struct ChunkClasses {
  unsigned stops;
  unsigned blanks;
  unsigned ampersands;
  unsigned beyond_ascii;
};

#if SECTIFY_SSE2_SCAN
inline constexpr bool kScansChunks = true;

// Returns the classes of the bytes p[0, kChunk).
inline ChunkClasses classify_chunk(const char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i stop = _mm_setzero_si128();
  for (const char c : kStopBytes) stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
  return {static_cast<unsigned>(_mm_movemask_epi8(stop)),
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')))),
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('&')))),
          static_cast<unsigned>(_mm_movemask_epi8(v))};
}
#else
// Without SSE2, classifying a chunk byte by byte costs more than scanning a
// field byte by byte through kByteClasses, which callers then do instead
// (about 630 against 830 MB/s of conversion): classify_chunk is declared
// for them to compile, and never called.
inline constexpr bool kScansChunks = false;
ChunkClasses classify_chunk(const char* p);
#endif

// Returns the index of the lowest bit set in `mask`, which is not 0.
inline std::size_t lowest_bit(unsigned mask) {
  return static_cast<std::size_t>(__builtin_ctz(mask));
}

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_BYTE_SCAN_H_
