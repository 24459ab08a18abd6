#include "shown_text.h"

#include <cstddef>

namespace sectify {
namespace {

// Returns the length of the valid UTF-8 sequence that begins text[at], or 0
// if none does. Overlong forms, surrogates and code points past U+10FFFF
// are not valid.
std::size_t utf8_sequence_at(std::string_view text, std::size_t at) {
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

}  // namespace

std::string shown_text(std::string_view bytes) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t size = utf8_sequence_at(bytes, at);
    // C0 controls, DEL, and C1 controls (U+0080 to U+009F: 0xC2 0x80-0x9F).
    const bool control =
        (lead < 0x20 && lead != '\t') || lead == 0x7F ||
        (size == 2 && lead == 0xC2 && static_cast<unsigned char>(bytes[at + 1]) < 0xA0);
    if (size > 0 && !control) {
      shown.append(bytes.substr(at, size));
    } else {
      if (size == 0) size = 1;
      for (std::size_t i = at; i < at + size; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 0xF];
      }
    }
    at += size;
  }
  return shown;
}

}  // namespace sectify
