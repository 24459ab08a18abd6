// Reading UTF-8: what the layout checks count as a character beyond ASCII,
// and what the driver's messages show as text rather than as bytes.

#ifndef SECTIFY_CONVERSION_UTF8_H_
#define SECTIFY_CONVERSION_UTF8_H_

#include <cstddef>
#include <string_view>

namespace sectify {

// Returns the length of the valid UTF-8 sequence that begins text[at], or 0
// if none does. Overlong forms, surrogates and code points past U+10FFFF
// are not valid.
inline std::size_t utf8_sequence_at(std::string_view text, std::size_t at) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t size = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < size || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < size; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return size;
}

}  // namespace sectify

#endif  // SECTIFY_CONVERSION_UTF8_H_
