#include "console_window.h"

#include <gtest/gtest.h>

namespace sectify {
namespace {

TEST(ConsoleWindow, WaitsOnlyInAWindowOfItsOwnWithBothStreamsOnIt) {
  // No console, a window of its own, and one that cmd or a terminal shares.
  for (const unsigned long processes : {0ul, 1ul, 2ul, 3ul}) {
    for (const bool input : {false, true}) {
      for (const bool output : {false, true}) {
        EXPECT_EQ(waits_for_key({processes, input, output}), processes == 1 && input && output)
            << processes << input << output;
      }
    }
  }
}

}  // namespace
}  // namespace sectify
