// What an interrupted run leaves: the earlier output, or the new one
// reported.

#include <iostream>

#include "cli/harness.h"
#include "cli/repeated_flight.h"

namespace cli_test {

using Interruption = Cli;

TEST_F(Interruption, LeavesNothingBehindWhenInterrupted) {
  // Under wine, SIGINT reaches the program as Ctrl+C.
  std::vector<int> signals = {SIGINT};
  if (!settings().windows) {
    signals = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGUSR1, SIGUSR2,
               SIGALRM, SIGPROF, SIGVTALRM, SIGXCPU, SIGKILL};
  }
  const RepeatedFlight flight(path("big.fxml"), std::uint64_t{512} << 20);
  const std::string earlier = "earlier output\r\n";
  write_file(path("big.flt"), earlier);
  for (const int signal : signals) {
    const pid_t pid = start({"big.fxml"});
    const bool writing = wait_until_written(pid, "big.fxml", 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, signal);
    const Result result = wait_for(pid);
    ASSERT_TRUE(writing) << "the program ended before it was interrupted: " << result.out;
    EXPECT_EQ(result.status, settings().windows ? kInterruptedUnderWine : -signal)
        << strsignal(signal);
    EXPECT_TRUE(read_file(path("big.flt")) == earlier) << strsignal(signal);
    // A named file stays where nothing may run after SIGKILL.
    if (signal == SIGKILL && settings().portable) continue;
    EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"big.flt", "big.fxml"}))
        << strsignal(signal);
  }
}

TEST_F(Interruption, EndsInterruptedWithTheOldOutputOrReportsTheNewOne) {
  // Signals at moments spread over the end of a run, from the last write of
  // the new file on, through its sync and rename to the success line: the
  // run ends by the signal with the old output kept, or it reports the new
  // output, never the new output and the signal.
  const RepeatedFlight flight(path("big.fxml"), std::uint64_t{64} << 20);
  const std::string earlier = "earlier output\r\n";
  // How long a run goes on once its new file is complete. Its end may come
  // too soon to be seen between two looks.
  std::optional<std::chrono::steady_clock::duration> rest;
  for (int attempt = 0; attempt < 10 && !rest; ++attempt) {
    write_file(path("big.flt"), earlier);
    const pid_t pid = start({"big.fxml"});
    const bool seen = wait_until_written(pid, "big.fxml", flight.output_size());
    const auto written_at = std::chrono::steady_clock::now();
    expect_success(wait_for(pid), "big.flt");
    if (seen) rest = std::chrono::steady_clock::now() - written_at;
  }
  ASSERT_TRUE(rest) << "never saw the new file complete before the run ended";
  constexpr int kMoments = 40;
  int repeated = 0;
  for (int i = 0; i < kMoments; ++i) {
    // Under wine, SIGINT reaches the program as Ctrl+C, and SIGTERM ends it
    // without a word. 32 and 33 are the signals glibc keeps for itself.
    const int signals[] = {SIGINT, SIGTERM, 32, 33};
    const int signal = settings().windows ? SIGINT : signals[i % 4];
    Result result;
    bool again = false;
    do {
      write_file(path("big.flt"), earlier);
      const pid_t pid = start({"big.fxml"});
      wait_until_written(pid, "big.fxml", flight.output_size());
      std::this_thread::sleep_for(*rest * i / kMoments);
      kill(pid, signal);
      result = wait_for(pid);
      again = !again && ended_by_wine(result);
      if (again) {
        ++repeated;
        remove_all_but("big.fxml");
      }
    } while (again);
    if (result.status == 0) {
      EXPECT_EQ(result.out, written("big.flt")) << i;
      EXPECT_TRUE(flight.is_output(path("big.flt"))) << i;
    } else {
      EXPECT_EQ(result.status, settings().windows ? kInterruptedUnderWine : -signal) << i;
      EXPECT_TRUE(read_file(path("big.flt")) == earlier) << i;
    }
    EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"big.flt", "big.fxml"})) << i;
  }
  if (settings().windows)
    std::cout << "interruption: " << repeated
              << " moments repeated after a SIGKILL that wine sent\n";
}

}  // namespace cli_test
