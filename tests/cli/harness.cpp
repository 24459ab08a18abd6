// The command-line tests' entry point: reads the settings, then runs the
// cases.

#include "cli/harness.h"

using namespace cli_test;

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The program's reasons for failures in the words of the test's own C
  // library, which speaks English; wine needs a UTF-8 locale besides, and
  // says nothing of its own.
  setenv("LC_ALL", "C.UTF-8", 1);
  setenv("WINEDEBUG", "-all", 0);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&](const std::string& flag) { return argument.substr(flag.size()); };
    if (argument.rfind("--program=", 0) == 0) {
      settings().program = fs::absolute(value("--program=")).string();
    } else if (argument.rfind("--launcher=", 0) == 0) {
      settings().launcher = value("--launcher=");
    } else if (argument.rfind("--examples=", 0) == 0) {
      settings().examples = fs::absolute(value("--examples=")).string();
    } else if (argument.rfind("--wine-prefix=", 0) == 0) {
      setenv("WINEPREFIX", fs::absolute(value("--wine-prefix=")).c_str(), 1);
    } else if (argument.rfind("--helper=", 0) == 0) {
      settings().helper = fs::absolute(value("--helper=")).string();
    } else if (argument == "--windows") {
      settings().windows = true;
    } else if (argument == "--unprivileged") {
      settings().unprivileged = true;
    } else if (argument == "--portable") {
      settings().portable = true;
    } else {
      std::fprintf(stderr, "cli_tests: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (!testing::GTEST_FLAG(list_tests) &&
      (settings().program.empty() || settings().examples.empty())) {
    std::fprintf(stderr,
                 "usage: cli_tests --program=PATH [--launcher=COMMAND] [--windows] "
                 "[--helper=PATH] [--wine-prefix=DIR] [--unprivileged] [--portable] "
                 "--examples=DIR\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
