#include "files/wtf8.h"

#include <cstddef>
#include <cstdint>

namespace sectify {
namespace {

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Appends `point`, any code point or lone surrogate, to `out` as UTF-8
// encodes code points.
void append_point(char32_t point, std::string& out) {
  const auto byte = [&out](char32_t bits) { out += static_cast<char>(bits); };
  if (point < 0x80) {
    byte(point);
  } else if (point < 0x800) {
    byte(0xC0 | point >> 6);
    byte(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    byte(0xE0 | point >> 12);
    byte(0x80 | (point >> 6 & 0x3F));
    byte(0x80 | (point & 0x3F));
  } else {
    byte(0xF0 | point >> 18);
    byte(0x80 | (point >> 12 & 0x3F));
    byte(0x80 | (point >> 6 & 0x3F));
    byte(0x80 | (point & 0x3F));
  }
}

}  // namespace

std::string wtf8_from_utf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      append_point(0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00), out);
    } else {
      append_point(unit, out);
    }
  }
  return out;
}

std::u16string utf16_from_wtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto byte = [&text](std::size_t i) {
    return char32_t{static_cast<unsigned char>(text[i])};
  };
  for (std::size_t i = 0; i < text.size();) {
    const char32_t lead = byte(i);
    // The sequence's length, and the smallest point it may hold (no
    // overlong forms).
    std::size_t size = 1;
    char32_t point = lead, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      size = 2, point = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      size = 3, point = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      size = 4, point = lead & 0x07, least = 0x10000;
    } else if (lead >= 0x80) {
      size = 0;
    }
    for (std::size_t k = 1; size > 1 && k < size; ++k) {
      if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
        size = 0;
        break;
      }
      point = point << 6 | (byte(i + k) & 0x3F);
    }
    if (size == 0 || point < least || point > 0x10FFFF) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (point >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(point);
    }
    i += size;
  }
  return out;
}

}  // namespace sectify
