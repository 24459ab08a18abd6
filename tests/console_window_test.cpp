#include "console/console_window.h"

#include <gtest/gtest.h>

namespace sectify::console {
namespace {

TEST(ConsoleWindow, WaitsOnlyWhereSomeoneCanAnswer) {
  // No console, a window of its own, and one that cmd or a terminal
  // shares; each stream on it or not; a window shown or none (hidden, or
  // CREATE_NO_WINDOW); on the interactive window station or not.
  for (unsigned facts = 0; facts < 64; ++facts) {
    const unsigned long processes = facts & 3;
    const bool input = facts & 4, output = facts & 8, shown = facts & 16, interactive = facts & 32;
    EXPECT_EQ(waits_for_key({processes, input, output, shown, interactive}),
              processes == 1 && input && output && shown && interactive)
        << facts;
  }
}

}  // namespace
}  // namespace sectify::console
