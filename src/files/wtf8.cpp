#include "files/wtf8.h"

#include <cstddef>
#include <cstdint>

#include "conversion/utf8.h"

namespace sectify {
namespace {

// Appends `point`, any code point or lone surrogate, to `out` as UTF-8
// encodes code points: beyond ASCII, a lead byte that marks how many
// bytes follow and holds the highest bits, then six bits a byte.
void append_point(char32_t point, std::string& out) {
  if (point < 0x80) {
    out += static_cast<char>(point);
    return;
  }
  const int follow = point < 0x800 ? 1 : point < 0x10000 ? 2 : 3;
  out += static_cast<char>((0xFF00u >> (follow + 1) & 0xFF) | point >> 6 * follow);
  for (int k = follow - 1; k >= 0; --k) out += static_cast<char>(0x80 | (point >> 6 * k & 0x3F));
}

}  // namespace

std::string wtf8_from_utf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    // A high surrogate and a low one make one code point.
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
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
    std::size_t size = utf8_sequence_at(text, i);
    // A surrogate's three bytes, which UTF-8 lacks and WTF-8 adds.
    if (size == 0 && byte(i) == 0xED && text.size() - i >= 3 && (byte(i + 1) & 0xE0) == 0xA0 &&
        (byte(i + 2) & 0xC0) == 0x80) {
      size = 3;
    }
    if (size == 0) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    // The lead byte's bits below its length marker, then six of each other.
    char32_t point = size == 1 ? byte(i) : byte(i) & (0x7Fu >> size);
    for (std::size_t k = 1; k < size; ++k) point = point << 6 | (byte(i + k) & 0x3F);
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
