// What only a Windows program does: attributes, device names, held files,
// pipes, the Explorer entry, a run without a console, 32-bit limits.

#include "cli/harness.h"
#include "cli/repeated_flight.h"

namespace cli_test {

using Windows = Cli;

// The path `path` has under wine, whose drive Z: is the root.
std::string windows_path(const fs::path& path) {
  std::string name = "Z:" + path.string();
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

TEST_F(Windows, KeepsHiddenAndSystemAttributes) {
  if (!settings().windows) GTEST_SKIP() << "only Windows files have these attributes";
  write_file(path("a.fxml"), kFlight);
  write_file(path("a.flt"), "old");
  write_file(path("b.fxml"), kFlight);
  // wine's attrib takes one attribute at a time.
  const auto attrib = [this](const std::vector<std::string>& arguments) {
    return run_words(command_words("attrib"), arguments, "", " >.stdout 2>.stderr").out;
  };
  attrib({"+h", "a.flt"});
  attrib({"+s", "a.flt"});
  attrib({"-a", "a.flt"});
  expect_success(run({"a.fxml"}), "a.flt");
  expect_success(run({"b.fxml"}), "b.flt");
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
  // The old file's hidden and system marks, and the mark for backup that
  // every written file gets; a new output that mark alone.
  const std::string replaced = attrib({"a.flt"}).substr(0, 12);
  const std::string created = attrib({"b.flt"}).substr(0, 12);
  for (const char flag : {'A', 'H', 'S'}) {
    EXPECT_NE(replaced.find(flag), std::string::npos) << replaced;
    EXPECT_EQ(created.find(flag) != std::string::npos, flag == 'A') << created;
  }
}

TEST_F(Windows, RefusesEveryFormOfADeviceName) {
  if (!settings().windows) GTEST_SKIP() << "only Windows keeps names for devices";
  make_folder("x");
  for (const std::string name : {"COM1:x.fxml", "x\\LPT1:a.fxml", "AUX:a.fxml", "nul:x.fxml",
                                 "con:a.fxml", "COM\u00B9.fxml", "lpt\u00B3 .fxml"}) {
    expect_failure(run({name}), "", kCannotOpen);
  }
  EXPECT_EQ(folder_listing(dir_), std::vector<std::string>{"x"});
}

TEST_F(Windows, ReplacesAFileAnotherProgramHoldsOnceItLetsGo) {
  if (settings().helper.empty()) GTEST_SKIP() << "needs windows_helper.exe (--helper)";
  write_file(path("a.fxml"), kFlight);
  const std::string earlier = "earlier output\r\n";
  struct Case {
    int held;  // milliseconds
    bool interrupted;
  };
  // Held for half a second, for longer than the program waits, and Ctrl+C
  // while it waits.
  for (const Case c : {Case{500, false}, Case{4000, false}, Case{4000, true}}) {
    write_file(path("a.flt"), earlier);
    const pid_t holder = start_helper({"hold", "a.flt", std::to_string(c.held)}, ".held");
    const pid_t pid = start({"a.fxml"});
    if (c.interrupted) {
      // Well into the second that the program waits.
      std::this_thread::sleep_for(std::chrono::milliseconds(600));
      kill(pid, SIGINT);
    }
    const Result result = wait_for(pid);
    waitpid(holder, nullptr, 0);
    fs::remove(path(".held"));
    if (c.interrupted) {
      EXPECT_EQ(result.status, kInterruptedUnderWine);
      EXPECT_EQ(read_file(path("a.flt")), earlier);
    } else if (c.held < 1000) {
      expect_success(result, "a.flt");
      EXPECT_EQ(read_file(path("a.flt")), kConverted);
    } else {
      expect_failure_because(result, not_written("a.flt"), 0);
      EXPECT_EQ(read_file(path("a.flt")), earlier);
    }
    EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"})) << c.held;
  }
}

TEST_F(Windows, RefusesPipesWithoutConnecting) {
  if (settings().helper.empty()) GTEST_SKIP() << "needs windows_helper.exe (--helper)";
  const pid_t server = start_helper({"serve", "\\\\.\\pipe\\x.fxml", "8000"}, ".served");
  // Every spelling that reaches the pipe: typed, through the object
  // manager's names, and by ".." over a device's root.
  for (const std::string name :
       {"\\\\.\\pipe\\x.fxml", "\\\\?\\pipe\\x.fxml", "//./pipe/x.fxml", "\\??\\pipe\\x.fxml",
        "\\??\\PIPE\\x.fxml", "\\??\\GLOBALROOT\\Device\\NamedPipe\\x.fxml",
        "\\\\.\\C:\\..\\pipe\\x.fxml", "//./C:/../pipe/x.fxml",
        "\\\\.\\C:\\x\\..\\..\\pipe\\x.fxml"}) {
    expect_failure(run({name}), "", kCannotOpen);
  }
  waitpid(server, nullptr, 0);
  EXPECT_EQ(console_text(read_file(path(".served"))), "serving\nno client\n");
}

TEST_F(Windows, AddsAndRemovesTheExplorerEntryFromAnyFolder) {
  if (settings().helper.empty()) GTEST_SKIP() << "needs windows_helper.exe (--helper)";
  const fs::path build = fs::path(settings().program).parent_path();
  const std::string types = "HKCU\\Software\\Classes\\SystemFileAssociations";
  const std::string key = types + "\\.fxml\\shell\\Sectify";
  // Started as a double-click starts it, or from a console in its folder.
  const auto start_in = [this](const std::string& folder, const std::string& name, bool clicked) {
    if (clicked) return run_helper({"explorer", "\"" + windows_path(path(folder) / name) + "\" "});
    return run_words(command_words("cmd"), {"/c", name}, "cd " + shell_quoted(folder) + " &&",
                     " </dev/null >.stdout 2>.stderr");
  };
  // Folders whose & and ( ) wine's cmd parses as Windows' does; what it
  // parses otherwise (^ % !) the scripts' comments reason about.
  for (const std::string folder : {"a&b", "Sectify-1.0.0-win32 (1)"}) {
    make_folder(folder);
    for (const std::string name : {"Add to Explorer.cmd", "Remove from Explorer.cmd"}) {
      fs::copy_file(build / name, path(folder) / name);
    }
    fs::copy_file(settings().program, path(folder) / "Sectify.exe");
    write_file(path(folder) / "x y.fxml", kFlight);
    const std::string program = "\"" + windows_path(path(folder) / "Sectify.exe") + "\"";
    const std::string command = "REG_SZ    " + program + " \"%1\"\n";
    // Each twice: the second run finds its work done and asks nothing.
    for (const std::string script : {"Add to Explorer.cmd", "Remove from Explorer.cmd"}) {
      const bool adds = script[0] == 'A';
      for (const bool clicked : {true, false}) {
        EXPECT_EQ(start_in(folder, script, clicked).status, 0) << folder << script;
        const Result entry =
            run_words(command_words("reg"), {"query", key, "/s"}, "", " >.stdout 2>.stderr");
        EXPECT_EQ(entry.status == 0, adds) << entry.out;
        // Removing takes the keys above the entry with it, where empty.
        EXPECT_EQ(
            run_words(command_words("reg"), {"query", types + "\\.fxml"}, "", " >.stdout 2>.stderr")
                    .status == 0,
            adds);
        EXPECT_EQ(entry.out.find("REG_SZ    Convert with Sectify\n") != std::string::npos &&
                      entry.out.find(command) != std::string::npos,
                  adds)
            << entry.out;
      }
      // The entry's command, as Explorer fills it in; wine gives a console
      // without a display one that takes no message.
      if (adds && std::getenv("DISPLAY") != nullptr) {
        const std::string file = "\"" + windows_path(path(folder) / "x y.fxml") + "\"";
        EXPECT_EQ(run_helper({"explorer", program + " " + file}).status, 0);
        EXPECT_EQ(read_file(path(folder) / "x y.flt"), kConverted) << folder;
      }
    }
  }
}

TEST_F(Windows, ConvertsEachDroppedFileAndWaitsOnceInAWindowOfItsOwn) {
  if (settings().helper.empty()) GTEST_SKIP() << "needs windows_helper.exe (--helper)";
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "a console's window needs a display";
  write_file(path("a.fxml"), kFlight);
  write_file(path("b.fxml"), kFlight);
  make_folder("Flights");
  // Explorer gives whole paths; under its heading a file is named by its
  // file name, and each failure ends with its next step.
  const std::string a = windows_path(path("a.fxml"));
  struct Case {
    std::string files;
    int status;
    std::string shown;
  };
  const Case cases[] = {
      {a + " b.fxml", 0,
       a + ":\nFile a.flt written\nb.fxml:\nFile b.flt written\nConverted 2 of 2 files.\n"},
      {a + " missing.fxml Flights", 1,
       a + ":\nFile a.flt written\nmissing.fxml:\nFile could not be opened\n"
           "Check that the file is still there and that no other program has it open.\n"
           "Flights:\nFlights is not an fxml file\n"
           "Give Sectify the .fxml files in that folder, not the folder itself.\n"
           "Converted 1 of 3 files. Not converted: missing.fxml, Flights\n"},
  };
  for (const Case& c : cases) {
    fs::remove(path("a.flt"));
    const Result result =
        run_helper({"explorer", "\"" + windows_path(settings().program) + "\" " + c.files});
    EXPECT_EQ(result.status, c.status) << c.files;
    EXPECT_EQ(result.out, "waiting\n" + c.shown + "Press any key to close this window.\n")
        << c.files;
    EXPECT_EQ(read_file(path("a.flt")), kConverted);
  }
  EXPECT_EQ(read_file(path("b.flt")), kConverted);
}

TEST_F(Windows, EndsByItselfWhereNoOneCanAnswer) {
  if (settings().helper.empty()) GTEST_SKIP() << "needs windows_helper.exe (--helper)";
  write_file(path("a.fxml"), kFlight);
  // No console and no standard handles; a console of its own without a
  // window (CREATE_NO_WINDOW); one whose window is hidden. With a file
  // and without; the helper's 3 would say the program was still waiting.
  // (Wine, without a display, gives the hidden window a console that
  // takes no message, which the program reports: only its end counts.)
  for (const std::string how : {"detached", "nowindow", "hidden"}) {
    for (const bool file : {true, false}) {
      std::vector<std::string> arguments = {how, settings().program};
      if (file) arguments.push_back("a.fxml");
      const Result result = run_helper(arguments);
      EXPECT_NE(result.status, 3) << how << file;
      if (how != "hidden") {
        EXPECT_EQ(result.status, file ? 0 : 1) << how << file;
      }
    }
  }
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Windows, TreatsBackslashAsSeparator) {
  if (!settings().windows) GTEST_SKIP() << "only Windows separates folders with '\\'";
  make_folder("saves.fxml");
  write_file(path("saves.fxml/a.fxml"), kFlight);
  expect_success(run({"saves.fxml\\a.fxml"}), "saves.fxml\\a.flt");
  EXPECT_EQ(read_file(path("saves.fxml/a.flt")), kConverted);
}

// Whether `program` is a 32-bit x86 Windows executable: its PE header
// names the i386 machine type.
bool is_32bit_windows_program(const std::string& program) {
  const std::string bytes = read_file(program);
  auto little_endian = [&](std::size_t at, std::size_t size) {
    std::size_t value = 0;
    for (std::size_t i = size; i > 0; --i) {
      value = value << 8 | static_cast<unsigned char>(bytes[at + i - 1]);
    }
    return value;
  };
  if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) return false;
  const std::size_t pe = little_endian(0x3C, 4);
  return bytes.size() >= pe + 6 && bytes.compare(pe, 4, "PE\0\0"s) == 0 &&
         little_endian(pe + 4, 2) == 0x14C;
}

TEST_F(Windows, ConvertsFileLargerThanA32BitProcessCanAddress) {
  if (!is_32bit_windows_program(settings().program)) {
    GTEST_SKIP() << "only a 32-bit program cannot hold a file of 2.2 GiB";
  }
  const RepeatedFlight flight(path("big.fxml"), std::uint64_t{2253} << 20);
  expect_success(run({"big.fxml"}), "big.flt");
  EXPECT_TRUE(flight.is_output(path("big.flt")));
}

TEST_F(Windows, RejectsLineTooLargeForA32BitProcess) {
  if (!is_32bit_windows_program(settings().program)) {
    GTEST_SKIP() << "only a 32-bit program cannot hold a line of 5 GiB";
  }
  {
    std::ofstream sparse(path("big.fxml"), std::ios::binary);
    sparse.seekp((std::streamoff{5} << 30) - 1);
    sparse.put('\n');
  }
  expect_failure(run({"big.fxml"}), "", kTooLarge);
  EXPECT_FALSE(fs::exists(path("big.flt")));
}

}  // namespace cli_test
