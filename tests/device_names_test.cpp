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
        "C:\\saves\\auxiliary.fxml", "COM\xC2\xB4", ""}) {
    EXPECT_FALSE(names_windows_device(path)) << path;
  }
}

}  // namespace
}  // namespace sectify
