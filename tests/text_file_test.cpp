#include "text_file.h"

#include <gtest/gtest.h>

#include <string>

#include "output_name.h"

namespace sectify {
namespace {

using namespace std::string_literals;

std::string without_crs(std::string text) {
  text.resize(crlf_to_lf(text.data(), text.size()));
  return text;
}

// Expands `text` through a buffer of `capacity` bytes, as the writer does.
std::string with_crs(std::string_view text, std::size_t capacity) {
  std::string result;
  std::string buffer(capacity, '\0');
  while (!text.empty()) {
    const std::size_t n = lf_to_crlf(text, buffer.data(), capacity);
    EXPECT_GT(n, 0u);
    if (n == 0) break;
    result.append(buffer, 0, n);
  }
  return result;
}

TEST(LineEnds, ReadingTurnsOnlyCrLfIntoLf) {
  EXPECT_EQ(without_crs(""), "");
  EXPECT_EQ(without_crs("a\r\nb\r\n"), "a\nb\n");
  EXPECT_EQ(without_crs("\r\r\n\n\r"), "\r\n\n\r");
  EXPECT_EQ(without_crs("a\rb\n\r\n\x1A\0\r\n"s), "a\rb\n\n\x1A\0\n"s);
}

TEST(LineEnds, WritingTurnsEachLfIntoCrLfWhateverTheBufferSize) {
  const std::string text = "\nab\n\n\rcd\0\n"s + std::string(100, 'x') + "\n";
  const std::string expected = "\r\nab\r\n\r\n\rcd\0\r\n"s + std::string(100, 'x') + "\r\n";
  for (const std::size_t capacity : {2u, 3u, 4u, 7u, 64u, 4096u}) {
    EXPECT_EQ(with_crs(text, capacity), expected) << capacity;
    EXPECT_EQ(without_crs(with_crs(text, capacity)), text) << capacity;
  }
}

TEST(OutputName, ReplacesFirstExtensionInFileNamePart) {
  const std::string_view posix = "/";
  EXPECT_EQ(output_name_for("a.fxml", posix), "a.flt");
  EXPECT_EQ(output_name_for("a.fxml.fxml", posix), "a.flt.fxml");
  EXPECT_EQ(output_name_for("a.fxml.bak", posix), "a.flt.bak");
  EXPECT_EQ(output_name_for("/x/saves.fxml/a.fxml", posix), "/x/saves.fxml/a.flt");
  EXPECT_EQ(output_name_for("dir/.fxml", posix), "dir/.flt");
  EXPECT_EQ(output_name_for("saves.fxml\\a.fxml", posix), "saves.flt\\a.fxml");
}

TEST(OutputName, RejectsArgumentsWithoutExtensionInFileNamePart) {
  for (const char* argument : {"", "a.FXML", "a.fxm", "a.Fxml", ".fxml", ".fxml.fxml",
                               "saves.fxml/a.txt", "saves.fxml/"}) {
    EXPECT_EQ(output_name_for(argument, "/"), std::nullopt) << argument;
  }
}

TEST(OutputName, TreatsBackslashAndDriveColonAsSeparatorsOnWindows) {
  const std::string_view windows = "/\\:";
  EXPECT_EQ(output_name_for("saves.fxml\\a.fxml", windows), "saves.fxml\\a.flt");
  EXPECT_EQ(output_name_for("C:a.fxml", windows), "C:a.flt");
  EXPECT_EQ(output_name_for("C:\\x.fxml/a.fxml", windows), "C:\\x.fxml/a.flt");
  EXPECT_EQ(output_name_for("x.fxml:a", windows), std::nullopt);
}

}  // namespace
}  // namespace sectify
