#include "console/terminal_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace sectify::console {
namespace {

TEST(TerminalEscape, EscapesWhatATerminalCouldTakeForACommand) {
  using namespace std::string_literals;
  const struct {
    std::string bytes, shown;
  } cases[] = {
      {"plain name.fxml", "plain name.fxml"},
      {"tab\there", "tab\there"},
      {"Zürich 東京 ✈️🛫", "Zürich 東京 ✈️🛫"},
      {"\x1B]0;title\x07x", "\\x1B]0;title\\x07x"},
      {"a\nb\rc\0d\x7F"s, "a\\x0Ab\\x0Dc\\x00d\\x7F"},
      {"csi \x9B"
       "2J",
       "csi \\x9B2J"},  // a lone continuation byte
      {"c1 \xC2\x9B"
       "2J",
       "c1 \\xC2\\x9B2J"},  // U+009B, valid UTF-8 but a control
      {"nbsp \xC2\xA0", "nbsp \xC2\xA0"},
      {"overlong \xC0\xAF", "overlong \\xC0\\xAF"},
      {"surrogate \xED\xA0\x80", "surrogate \\xED\\xA0\\x80"},
      {"cut \xE6\x9D", "cut \\xE6\\x9D"},
      {"past \xF4\x90\x80\x80", "past \\xF4\\x90\\x80\\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(escaped_for_terminal(c.bytes), c.shown) << c.shown;
}

}  // namespace
}  // namespace sectify::console
