#include "files/device_names.h"

#include <gtest/gtest.h>

namespace sectify {
namespace {

TEST(DeviceNames, FindsADeviceNameInEveryFormWindowsOpens) {
  for (const char* path :
       {"nul", "NUL.fxml", "con:a.fxml", "COM1:.fxml", "x\\LPT1:a.fxml", "aux/a.fxml",
        "lpt9.x.fxml", "Com0.fxml", "PRN .fxml", "nul...", "CONIN$", "conout$.fxml",
        "C:\\games\\COM\xC2\xB9.fxml", "LPT\xC2\xB2.fxml", "com\xC2\xB3", "\\\\.\\COM3"}) {
    EXPECT_TRUE(names_windows_device(path)) << path;
  }
  for (const char* path :
       {"a.fxml", "console.fxml", "COM10.fxml", "LPT.fxml", "COMA.fxml", "xnul.fxml", " nul.fxml",
        "C:\\saves\\auxiliary.fxml", "COM\xC2\xB4", "", "\\\\?\\C:\\x.fxml", "//./c:/x.fxml",
        "\\\\?\\Volume{0f}\\x.fxml", "\\\\?\\UNC\\server\\share\\x.fxml",
        "\\\\server\\share\\x.fxml"}) {
    EXPECT_FALSE(names_windows_device(path)) << path;
  }
}

TEST(DeviceNames, OpensOnlyFilesOnDrivesAndSharesByTheirFullForm) {
  // A path as typed, and its full form as GetFullPathNameW gives it.
  const struct {
    const char *typed, *full;
    bool opens;
  } cases[] = {
      {"a.fxml", "C:\\saves\\a.fxml", true},
      {"\\\\nas\\flights\\a.fxml", "\\\\nas\\flights\\a.fxml", true},
      {"\\\\?\\C:\\a.fxml", "\\\\?\\C:\\a.fxml", true},
      {"\\\\?\\UNC\\nas\\flights\\a.fxml", "\\\\?\\UNC\\nas\\flights\\a.fxml", true},
      {"..\\pipe\\x.fxml", "C:\\pipe\\x.fxml", true},
      // What CreateFileW hands to the object manager as it is.
      {"\\??\\pipe\\x.fxml", "C:\\??\\pipe\\x.fxml", false},
      {"\\??\\GLOBALROOT\\Device\\NamedPipe\\x.fxml",
       "C:\\??\\GLOBALROOT\\Device\\NamedPipe\\x.fxml", false},
      // ".." resolved over a device's root.
      {"\\\\.\\C:\\..\\pipe\\x.fxml", "\\\\.\\pipe\\x.fxml", false},
      {"//./C:/../pipe/x.fxml", "\\\\.\\pipe\\x.fxml", false},
      {"\\\\.\\C:\\x\\..\\..\\PhysicalDrive0", "\\\\.\\PhysicalDrive0", false},
      {"\\\\.\\C:\\a.fxml", "\\\\.\\C:\\a.fxml", false},
      {"\\\\?\\C:\\..\\pipe\\x.fxml", "\\\\?\\C:\\..\\pipe\\x.fxml", false},
      {"\\\\?\\GLOBALROOT\\Device\\x.fxml", "\\\\?\\GLOBALROOT\\Device\\x.fxml", false},
      {"\\\\?\\Volume{0f}\\x.fxml", "\\\\?\\Volume{0f}\\x.fxml", false},
      {"\\\\?\\pipe\\x.fxml", "\\\\?\\pipe\\x.fxml", false},
      {"\\\\nas\\PIPE\\x.fxml", "\\\\nas\\PIPE\\x.fxml", false},
      {"\\\\nas\\mailslot\\x.fxml", "\\\\nas\\mailslot\\x.fxml", false},
      {"\\\\?\\UNC\\nas\\pipe\\x.fxml", "\\\\?\\UNC\\nas\\pipe\\x.fxml", false},
      {"\\\\?\\UNC\\.\\pipe\\x.fxml", "\\\\?\\UNC\\.\\pipe\\x.fxml", false},
      // Devices and pipes by the namespace prefixes, in either separator.
      {"//./pipe/x.fxml", "\\\\.\\pipe\\x.fxml", false},
      {"\\\\?\\C:", "\\\\?\\C:", false},
      {"//?/GLOBALROOT/Device/x.fxml", "\\\\?\\GLOBALROOT\\Device\\x.fxml", false},
      {"\\\\?\\", "\\\\?\\", false},
      {"\\\\.\\", "\\\\.\\", false},
      {"\\\\server\\pipes\\x.fxml", "\\\\server\\pipes\\x.fxml", true},
  };
  for (const auto& c : cases) EXPECT_EQ(opens_as_file(c.typed, c.full), c.opens) << c.typed;
}

}  // namespace
}  // namespace sectify
