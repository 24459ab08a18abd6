#include "output_name.h"

#include <gtest/gtest.h>

namespace sectify {
namespace {

TEST(OutputName, ReplacesFirstExtensionInFileNamePart) {
  const std::string_view posix = "/";
  EXPECT_EQ(output_name_for("a.fxml", posix), "a.flt");
  EXPECT_EQ(output_name_for("a.fxml.fxml", posix), "a.flt.fxml");
  EXPECT_EQ(output_name_for("a.fxml.bak", posix), "a.flt.bak");
  EXPECT_EQ(output_name_for("/x/saves.fxml/a.fxml", posix), "/x/saves.fxml/a.flt");
  EXPECT_EQ(output_name_for(".fxml/a.fxml", posix), ".fxml/a.flt");
  EXPECT_EQ(output_name_for("saves.fxml\\a.fxml", posix), "saves.flt\\a.fxml");
}

TEST(OutputName, RejectsArgumentsWithoutExtensionInFileNamePart) {
  for (const char* argument : {"", "a.FXML", "a.fxm", "a.Fxml", ".fxml", ".fxml.fxml",
                               "saves.fxml/a.txt", "saves.fxml/", "dir/.fxml"}) {
    EXPECT_EQ(output_name_for(argument, "/"), std::nullopt) << argument;
  }
}

TEST(OutputName, TreatsBackslashAndDriveColonAsSeparatorsOnWindows) {
  const std::string_view windows = "/\\:";
  EXPECT_EQ(output_name_for("saves.fxml\\a.fxml", windows), "saves.fxml\\a.flt");
  EXPECT_EQ(output_name_for("C:a.fxml", windows), "C:a.flt");
  EXPECT_EQ(output_name_for("C:\\x.fxml/a.fxml", windows), "C:\\x.fxml/a.flt");
  for (const char* argument : {"x.fxml:a", "sub\\.fxml", ".\\.fxml", "C:.fxml"}) {
    EXPECT_EQ(output_name_for(argument, windows), std::nullopt) << argument;
  }
}

}  // namespace
}  // namespace sectify
