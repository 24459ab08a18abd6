// The form in which the Windows build hands paths to the system.

#include <gtest/gtest.h>

#include <string>

#include "files/file_access.h"

namespace sectify::file_access {
namespace {

TEST(NativePath, TurnsUtf8IntoUtf16) {
  EXPECT_EQ(native_path("a.fxml"), L"a.fxml");
  EXPECT_EQ(native_path("Z\xC3\xBCrich.fxml"), L"Z\u00FCrich.fxml");
  EXPECT_EQ(native_path("\xE6\x9D\xB1\xE4\xBA\xAC.fxml"), L"\u6771\u4EAC.fxml");
  EXPECT_EQ(native_path("\xF0\x9F\x9B\xAB.fxml"), L"\U0001F6EB.fxml");
}

TEST(NativePath, GivesALongPathItsFullFormBehindThePrefix) {
  const std::string deep = std::string(150, 'd') + "/" + std::string(150, 'e') + "/a.fxml";
  const std::wstring local = native_path(deep);
  EXPECT_EQ(local.rfind(L"\\\\?\\", 0), 0u) << deep;
  EXPECT_EQ(local.find(L'/'), std::wstring::npos);
  EXPECT_EQ(local.substr(local.size() - 7), L"\\a.fxml");
  EXPECT_GT(local.size(), deep.size());

  const std::wstring folders = std::wstring(150, L'd') + L"\\" + std::wstring(150, L'e');
  EXPECT_EQ(native_path("\\\\server\\share\\" + deep),
            L"\\\\?\\UNC\\server\\share\\" + folders + L"\\a.fxml");
  // A path that has the prefix already keeps it as it is.
  const std::string prefixed = "\\\\?\\C:\\" + std::string(300, 'p');
  EXPECT_EQ(native_path(prefixed), L"\\\\?\\C:\\" + std::wstring(300, L'p'));
}

}  // namespace
}  // namespace sectify::file_access
