#include "files/wtf8.h"

#include <gtest/gtest.h>

namespace sectify {
namespace {

TEST(Wtf8, CarriesEveryWindowsNameThereAndBack) {
  const struct {
    std::u16string utf16;
    std::string wtf8;
  } cases[] = {
      {u"a.fxml", "a.fxml"},
      {u"Z\u00FCrich \u6771\u4EAC", "Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC"},
      {u"\U0001F6EB", "\xF0\x9F\x9B\xAB"},
      // Surrogates that are no pair, alone, reversed, at either end.
      {u"a\xD800.fxml", "a\xED\xA0\x80.fxml"},
      {u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},
      {u"\xDBFF", "\xED\xAF\xBF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wtf8_from_utf16(c.utf16), c.wtf8) << c.wtf8;
    EXPECT_EQ(utf16_from_wtf8(c.wtf8), c.utf16) << c.wtf8;
  }
  // Bytes that begin no sequence, and overlong forms.
  EXPECT_EQ(utf16_from_wtf8("\x80x\xC0\xAF\xE6\x9D"), u"\uFFFDx\uFFFD\uFFFD\uFFFD\uFFFD");
}

}  // namespace
}  // namespace sectify
