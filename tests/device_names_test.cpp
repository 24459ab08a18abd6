#include "files/device_names.h"

#include <gtest/gtest.h>

namespace sectify {
namespace {

TEST(DeviceNames, FindsADeviceNameInEveryFormWindowsOpens) {
  for (const char* path :
       {"nul", "NUL.fxml", "con:a.fxml", "COM1:.fxml", "x\\LPT1:a.fxml", "aux/a.fxml",
        "lpt9.x.fxml", "Com0.fxml", "PRN .fxml", "nul...", "CONIN$", "conout$.fxml",
        "C:\\games\\COM\xC2\xB9.fxml", "LPT\xC2\xB2.fxml", "com\xC2\xB3", "\\\\.\\COM3",
        // Pipes and devices by the namespace prefixes, and a server's pipes.
        "\\\\.\\pipe\\x.fxml", "\\\\?\\pipe\\x.fxml", "//./pipe/x.fxml",
        "\\\\?\\C:", "//?/GLOBALROOT/Device/x.fxml", "\\\\.\\PhysicalDrive0",
        "\\\\server\\PIPE\\x.fxml", "\\\\?\\UNC\\server\\pipe\\x.fxml", "\\\\?\\", "\\\\.\\"}) {
    EXPECT_TRUE(names_windows_device(path)) << path;
  }
  for (const char* path :
       {"a.fxml", "console.fxml", "COM10.fxml", "LPT.fxml", "COMA.fxml", "xnul.fxml", " nul.fxml",
        "C:\\saves\\auxiliary.fxml", "COM\xC2\xB4", "", "\\\\?\\C:\\x.fxml", "//./c:/x.fxml",
        "\\\\?\\Volume{0f}\\x.fxml", "\\\\?\\UNC\\server\\share\\x.fxml",
        "\\\\server\\share\\x.fxml", "\\\\server\\pipes\\x.fxml"}) {
    EXPECT_FALSE(names_windows_device(path)) << path;
  }
}

}  // namespace
}  // namespace sectify
