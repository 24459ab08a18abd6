// Windows names in UTF-8 without loss: NTFS allows names whose UTF-16 holds
// a surrogate that is not part of a pair, which UTF-8 cannot say. WTF-8
// says it as UTF-8 would say its code point, so that such a name comes back
// to the system as the same UTF-16 it came in as. A pure function of its
// input, tested everywhere.

#ifndef SECTIFY_FILES_WTF8_H_
#define SECTIFY_FILES_WTF8_H_

#include <string>
#include <string_view>

namespace sectify {

// Returns the UTF-16 code units `text` as WTF-8: UTF-8, and each surrogate
// that is not part of a pair as the three bytes of its code point.
std::string wtf8_from_utf16(std::u16string_view text);

// Returns the UTF-16 code units of the WTF-8 `text`, so that
// utf16_from_wtf8(wtf8_from_utf16(x)) == x. A byte that begins no valid
// sequence becomes U+FFFD.
std::u16string utf16_from_wtf8(std::string_view text);

}  // namespace sectify

#endif  // SECTIFY_FILES_WTF8_H_
