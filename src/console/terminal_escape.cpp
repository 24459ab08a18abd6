#include "console/terminal_escape.h"

#include <cstddef>

#include "conversion/utf8.h"

namespace sectify::console {

std::string escaped_for_terminal(std::string_view bytes) {
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

}  // namespace sectify::console
