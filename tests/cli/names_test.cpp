// How a run reads names and files, and what it prints: usage, names, line
// ends, warnings, reasons.

#include "cli/harness.h"
#include "cli/repeated_flight.h"

namespace cli_test {

using Names = Cli;

class Usage : public Cli, public testing::WithParamInterface<Words> {};

TEST_P(Usage, PrintsUsageForWrongArgumentCount) {
  write_file(path("a.fxml"), kFlight);
  expect_failure(run(GetParam().words), kUsage, "");
  EXPECT_EQ(folder_listing(dir_), std::vector<std::string>{"a.fxml"});
}
INSTANTIATE_TEST_SUITE_P(Names, Usage,
                         testing::Values(Words{"None", {}}, Words{"Two", {"a.fxml", "a.fxml"}}),
                         name_of);

TEST_F(Names, AnswersHelpAndVersion) {
  const std::string manual = settings().windows ? "The manual is README.txt, beside Sectify.exe.\n"
                                                : "The manual: man Sectify\n";
  const std::string help = kUsage +
                           "Writes the flight of a .fxml file as the .flt file beside it; the "
                           ".fxml is never changed.\n" +
                           manual;
  const struct {
    std::string word, out;
  } cases[] = {{"--help", help}, {"--version", "Sectify " SECTIFY_VERSION "\n"}, {"/?", help}};
  for (const auto& c : cases) {
    // Only Windows takes "/?", which elsewhere names a file.
    if (c.word == "/?" && !settings().windows) continue;
    const Result result = run({c.word});
    EXPECT_EQ(result.status, 0) << c.word;
    EXPECT_EQ(result.out, c.out) << c.word;
    EXPECT_EQ(result.err, "") << c.word;
  }
}

class NotFxml : public Cli, public testing::WithParamInterface<Words> {};

TEST_P(NotFxml, RejectsArgumentThatNamesNoFxmlFile) {
  const std::string& name = GetParam().words[0];
  make_folder("saves.fxml");
  if (!name.empty()) write_file(path(name), kFlight);
  expect_failure(run({name}), not_fxml(name), "");
  EXPECT_FALSE(fs::exists(path(".flt")));
  EXPECT_FALSE(fs::exists(path("saves.flt")));
}
INSTANTIATE_TEST_SUITE_P(Names, NotFxml,
                         testing::Values(Words{"Capitals", {"A.FXML"}},
                                         Words{"MixedCase", {"a.Fxml"}},
                                         Words{"ExtensionOnly", {".fxml"}},
                                         Words{"ExtensionFirst", {".fxml.fxml"}},
                                         Words{"InFolderOnly", {"saves.fxml/a.txt"}},
                                         Words{"FileNameFirst", {"saves.fxml/.fxml"}},
                                         Words{"Empty", {""}}, Words{"Japanese", {"東京.txt"}}),
                         name_of);

TEST_F(Names, ConvertsExampleFlightBesideIt) {
  const fs::path example = fs::path(settings().examples) / "coastal_hop.fxml";
  const std::string input = read_file(example);
  ASSERT_FALSE(input.empty()) << example;
  write_file(path("coastal_hop.fxml"), input);
  expect_success(run({"coastal_hop.fxml"}), "coastal_hop.flt");
  EXPECT_EQ(read_file(path("coastal_hop.flt")),
            read_file(fs::path(settings().examples) / "coastal_hop.flt"));
  EXPECT_EQ(read_file(path("coastal_hop.fxml")), input);
}

TEST_F(Names, WritesOutputBesideInputWhateverTheFolderIsCalled) {
  make_folder("saves.fxml");
  write_file(path("saves.fxml/a.fxml"), kFlight);
  expect_success(run({"saves.fxml/a.fxml"}), "saves.fxml/a.flt");
  EXPECT_EQ(read_file(path("saves.fxml/a.flt")), kConverted);
  EXPECT_FALSE(fs::exists(path("saves.flt")));

  const std::string absolute = path("saves.fxml/a.fxml").string();
  expect_success(run({absolute}), path("saves.fxml/a.flt").string());

  make_folder(".fxml");
  write_file(path(".fxml/a.fxml"), kFlight);
  expect_success(run({".fxml/a.fxml"}), ".fxml/a.flt");

  // Converted, with a warning that flight programs will not see it.
  write_file(path("b.fxml.txt"), kFlight);
  const Result result = run({"b.fxml.txt"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, written("b.flt.txt"));
  EXPECT_EQ(result.err,
            "\nWarning: b.flt.txt does not end in .flt, so flight programs will not find it\n"
            "Rename b.fxml.txt to b.fxml and convert it again.\n");
  EXPECT_EQ(read_file(path("b.flt.txt")), kConverted);
}

TEST_F(Names, ReadsCrLfAndLfLineEndsAlikeAndWritesEveryByte) {
  std::string crlf;
  for (char c : kFlight) crlf += c == '\n' ? "\r\n"s : std::string(1, c);
  const struct {
    std::string name, input, output;
  } cases[] = {{"lf", kFlight, kConverted},
               {"crlf", crlf, kConverted},
               {"bytes", "x\n<Section Name=\"Main\">\na=\0b\032c\xB0\r\n"s,
                "\r\n[Main]\r\na=\0b\032c\xB0\r\n"s}};
  for (const auto& c : cases) {
    write_file(path(c.name + ".fxml"), c.input);
    expect_success(run({c.name + ".fxml"}), c.name + ".flt");
    EXPECT_EQ(read_file(path(c.name + ".flt")), c.output) << c.name;
  }
}

std::string left_out(const std::string& name, int count) {
  return "\nWarning: section [" + name +
         "] before [Main] was left out (sections left out: " + std::to_string(count) +
         ")\nMove the Main section to the top, if you need the others.\n";
}
// The warning that line `line` of `input` `is`, and `count` lines in all,
// with its next step `step`.
std::string line_warning(const std::string& input, int line, const std::string& is, int count,
                         const std::string& step) {
  return "\nWarning: line " + std::to_string(line) + " of " + input + " " + is +
         " (such lines: " + std::to_string(count) + ")\n" + step;
}
std::string not_in_form(const std::string& input, int line, int count) {
  return line_warning(input, line, "is not a section or name=value line", count,
                      "Open the flight in the program that made it and save it again, or mend "
                      "the line by hand.\n");
}
std::string blank_runs(const std::string& input, int line, int count) {
  return line_warning(input, line,
                      "has four or more blanks in a row after its indentation, which the "
                      "conversion shortens",
                      count,
                      "Shorten each run to three blanks or fewer in the .fxml, if the blanks "
                      "matter.\n");
}
std::string utf8(const std::string& input, int line, const std::string& character, int count) {
  return line_warning(
      input, line,
      "has " + character + " in UTF-8, which programs that read .flt files take as Windows-1252",
      count, kSaveAsAnsi);
}
std::string kept_reference(const std::string& input, int line, const std::string& reference,
                           int count, const std::string& instead) {
  return line_warning(
      input, line, "keeps the reference " + reference + " undecoded", count,
      "Write " + instead + " instead of " + reference + " in the .fxml and convert it again.\n");
}

TEST_F(Names, WarnsWhereTheInputLeavesTheExpectedLayout) {
  const std::string opening =
      "<?xml version=\"1.0\"?>\r\n<SimBase.Document>\r\n    <Flight.Sections>\r\n";
  const std::string main = "        <Section Name=\"Main\">\r\n";
  const std::string head = opening + main;
  const std::string pre =
      opening +
      "        <Section Name=\"Pre\">\r\n"
      "            <Property Name=\"a\" Value=\"1\" />\r\n        </Section>\r\n";
  const std::string tail = "    </Flight.Sections>\r\n</SimBase.Document>\r\n";
  const std::string property = "            <Property Name=\"a\" Value=\"b\" />\r\n";
  struct Case {
    std::string name, input, output, warnings;
  };
  const Case cases[] = {
      {"tabs", head + "\t\t<Property Name=\"a\" Value=\"b\" />\r\n\t\r\n" + tail,
       "\r\n[Main]\r\n\t\ta=b\r\n\t\r\n", not_in_form("tabs.fxml", 5, 2)},
      {"blanks", head + property + "      <Property Name=\"a\" Value=\"b\" />\r\n" + tail,
       "\r\n[Main]\r\na=b\r\n  a=b\r\n", not_in_form("blanks.fxml", 6, 1)},
      {"swapped",
       head +
           "            <Property Value=\"b\" Name=\"a\" />\r\n<Property Name=\"t\" "
           "Value=\"&amp;\" />\r\n" +
           tail,
       "\r\n[Main]\r\n<Property Value=\"b\" Name=\"a\r\nt=&amp;\r\n",
       not_in_form("swapped.fxml", 5, 1) + kept_reference("swapped.fxml", 6, "&amp;", 1, "&")},
      {"comment", head + "            <!-- a note -->\r\n" + tail,
       "\r\n[Main]\r\n<!-- a note -->\r\n", not_in_form("comment.fxml", 5, 1)},
      {"amp", head + property + "<Property Name=\"t\" Value=\"Rock &amp; Roll\" />\r\n" + tail,
       "\r\n[Main]\r\na=b\r\nt=Rock &amp; Roll\r\n",
       kept_reference("amp.fxml", 6, "&amp;", 1, "&")},
      {"lt", head + "<Property Name=\"t\" Value=\"&lt;&lt;\" />\r\n" + tail,
       "\r\n[Main]\r\nt=&lt;&lt;\r\n", kept_reference("lt.fxml", 5, "&lt;", 1, "<")},
      {"degree", head + "<Property Name=\"w\" Value=\"270&#xb0;\" />\r\n" + tail,
       "\r\n[Main]\r\nw=270&#xb0;\r\n", kept_reference("degree.fxml", 5, "&#xb0;", 1, "&#xB0;")},
      // Letters in UTF-8 on lines 7 and 9; neither Windows-1252 bytes (line
      // 6) nor the degree sign that rule 8 writes (line 5) count.
      {"utf8",
       head +
           "<Property Name=\"w\" Value=\"270&#xB0;\" />\r\n<Property Name=\"a\" Value=\"C\xF4te\" "
           "/>\r\n" +
           "<Property Name=\"b\" Value=\"C\xC3\xB4te\" />\r\n" + property +
           "<Section Name=\"Z\xC3\xBCrich\">\r\n" + tail,
       "\r\n[Main]\r\nw=270\xB0\r\na=C\xF4te\r\nb=C\xC3\xB4te\r\na=b\r\n[Z\xC3\xBCrich]\r\n",
       utf8("utf8.fxml", 7, "\xC3\xB4", 2)},
      {"before", pre + main + property + tail, "\r\n[Main]\r\na=b\r\n", left_out("Pre", 1)},
      {"two_before",
       pre + "        <Section Name=\"Other\">\r\n        </Section>\r\n" + main + tail,
       "\r\n[Main]\r\n", left_out("Pre", 2)},
      {"unended", head + property + "    </Flight.Sections>\r\n</SimBase.Document>",
       "\r\n[Main]\r\na=b\r\n</SimBase.Document>", not_in_form("unended.fxml", 7, 1)},
      // Runs of four blanks or more after the indentation, in a value of
      // the common shape or in any other line, but not in the indentation.
      {"runs",
       head + "<Property Name=\"a\" Value=\"Lake    Run\" />\r\n" + property +
           "<Property Name=\"  b\" Value=\"     x\" />\r\n\ty      z\r\n" + tail,
       "\r\n[Main]\r\na=LakeRun\r\na=b\r\n  b= x\r\n\ty  z\r\n",
       not_in_form("runs.fxml", 7, 2) + blank_runs("runs.fxml", 5, 3)},
      {"several",
       pre + main + "\t<Property Name=\"t\" Value=\"&amp;\" />\r\n" + property +
           "<Property Name=\"u\" Value=\"&gt;    \" />\r\n</SimBase.Document>",
       "\r\n[Main]\r\n\tt=&amp;\r\na=b\r\nu=&gt;\r\n</SimBase.Document>",
       left_out("Pre", 1) + not_in_form("several.fxml", 8, 2) +
           kept_reference("several.fxml", 8, "&amp;", 2, "&") + blank_runs("several.fxml", 10, 1)},
      {"utf16le", "\xFF\xFE<\0?\0x\0m\0l\0\r\0\n\0"s, "",
       empty_output("utf16le.fxml", "it is UTF-16 text", kSaveAsAnsi)},
      // UTF-16 that holds the marker in bytes.
      {"utf16be", "\xFE\xFF\0<\0?\n[Main]\n"s, "\r\n[Main]\r\n",
       "\nWarning: utf16be.fxml is UTF-16 text, which is not converted\n" + kSaveAsAnsi},
      // In the form: an empty name, and a value holding '>'.
      {"fine",
       head + "<Property Name=\"\" Value=\"v\" />\r\n<Property Name=\"a\" Value=\"x>y\" />\r\n" +
           tail,
       "\r\n[Main]\r\n=v\r\na=x>y\r\n", ""},
  };
  for (const Case& c : cases) {
    write_file(path(c.name + ".fxml"), c.input);
    const Result result = run({c.name + ".fxml"});
    EXPECT_EQ(result.status, 0) << c.name;
    EXPECT_EQ(result.out, written(c.name + ".flt")) << c.name;
    EXPECT_EQ(result.err, c.warnings) << c.name;
    EXPECT_EQ(read_file(path(c.name + ".flt")), c.output) << c.name;
  }
}

TEST_F(Names, ShowsControlBytesOfNamesAndFlightsEscaped) {
  const std::string name = "a\x1B[2J\x07", shown = "a\\x1B[2J\\x07";
  expect_failure(run({name + ".txt"}), not_fxml(shown + ".txt"), "");
  if (settings().windows) return;  // Windows names hold no control characters
  write_file(path(name + ".fxml"), "x\n<Section Name=\"\x1B]0;t\x07\">\n<Section Name=\"Main\">\n");
  const Result result = run({name + ".fxml"});
  EXPECT_EQ(result.out, written(shown + ".flt"));
  EXPECT_EQ(result.err, left_out("\\x1B]0;t\\x07", 1));
}

TEST_F(Names, PrintsWarningsBeforeTheSuccessLineIntoOneStream) {
  write_file(path("a.fxml"), "x\n<Section Name=\"Main\">\n\t<Property Name=\"a\" Value=\"b\" />\n");
  const Result result = run_words(command_words(), {"a.fxml"}, "", " >.stdout 2>&1");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, not_in_form("a.fxml", 3, 1) + written("a.flt"));
}

class AnyName : public Cli, public testing::WithParamInterface<Words> {};

TEST_P(AnyName, ConvertsFileOfThisName) {
  const std::string& stem = GetParam().words[0];
  make_folder("données");
  write_file(path(stem + ".fxml"), kFlight);
  expect_success(run({stem + ".fxml"}), stem + ".flt");
  EXPECT_EQ(read_file(path(stem + ".flt")), kConverted);
}
INSTANTIATE_TEST_SUITE_P(Names, AnyName,
                         testing::Values(Words{"Japanese", {"東京"}}, Words{"Greek", {"Αθήνα"}},
                                         Words{"Emoji", {"vol ✈️🛫"}},
                                         Words{"Latin1", {"Zürich"}},
                                         Words{"InFolderBeyondAscii", {"données/vol"}}),
                         name_of);

TEST_F(Names, KeepsApartNamesThatACodePageWouldFold) {
  // A full-width a, which an ANSI code page turns into a plain one.
  write_file(path("a.fxml"), kFlight);
  write_file(path("a.flt"), "unrelated");
  write_file(path("\uFF41.fxml"), kFlight);
  expect_success(run({"\uFF41.fxml"}), "\uFF41.flt");
  EXPECT_EQ(read_file(path("\uFF41.flt")), kConverted);
  EXPECT_EQ(read_file(path("a.flt")), "unrelated");
  EXPECT_EQ(folder_listing(dir_),
            (std::vector<std::string>{"a.flt", "a.fxml", "\uFF41.flt", "\uFF41.fxml"}));
}

TEST_F(Names, ConvertsFilesBehindPathsLongerThan260Characters) {
  std::string folder;
  for (char c = 'a'; c < 'g'; ++c) folder += std::string(50, c) + "/";
  make_folder(folder);
  write_file(path(folder + "flight.fxml"), kFlight);
  expect_success(run({folder + "flight.fxml"}), folder + "flight.flt");
  EXPECT_EQ(read_file(path(folder + "flight.flt")), kConverted);
  EXPECT_EQ(folder_listing(path(folder)), (std::vector<std::string>{"flight.flt", "flight.fxml"}));
}

TEST_F(Names, ShowsNamesAsTypedOnATerminal) {
  if (std::system("command -v script >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs script (Debian: bsdutils)";
  write_file(path("東京.fxml"), kFlight);
  std::string program;
  for (const std::string& word : command_words()) program += shell_quoted(word) + " ";
  const std::string command = "cd " + shell_quoted(dir_.string()) + " && script -qec " +
                              shell_quoted(program + shell_quoted("東京.fxml")) +
                              " /dev/null >.terminal 2>&1 </dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  // What the terminal shows, without its control sequences and CRs.
  std::string shown;
  const std::string raw = read_file(path(".terminal"));
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\x1B') {
      if (i + 1 < raw.size() && raw[i + 1] == '[') {
        for (i += 2; i < raw.size() && !(raw[i] >= '@' && raw[i] <= '~'); ++i) {
        }
      } else if (i + 1 < raw.size() && raw[i + 1] == ']') {
        for (i += 2; i < raw.size() && raw[i] != '\x07'; ++i) {
        }
      } else {
        ++i;
      }
    } else if (raw[i] != '\r') {
      shown += raw[i];
    }
  }
  EXPECT_NE(shown.find("File 東京.flt written"), std::string::npos) << raw;
  EXPECT_EQ(read_file(path("東京.flt")), kConverted);
}

TEST_F(Names, ReportsInputThatCannotBeOpened) {
  expect_failure(run({"missing.fxml"}), "", kCannotOpen);
  fs::create_directories(path("folder.fxml"));
  expect_failure(run({"folder.fxml"}), "", kCannotOpen);
  EXPECT_EQ(folder_listing(dir_), std::vector<std::string>{"folder.fxml"});
}

TEST_F(Names, ReportsReadErrorAfterOpening) {
  write_file(path("a.fxml"), kFlight);
  Result result;
  if (settings().windows) {
    // /proc/self/mem opens, but reading its first page fails.
    fs::remove(path("a.fxml"));
    fs::create_symlink("/proc/self/mem", path("a.fxml"));
    result = run({"a.fxml"});
  } else {
    if (std::system("command -v strace >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs strace";
    // Only reads of the input fail (-P), not those of a dynamic loader; a
    // leak checker cannot work under a tracer.
    result = run({"a.fxml"}, "LSAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -P " +
                                 shell_quoted(path("a.fxml").string()) +
                                 " -e trace=read -e inject=read:error=EIO:when=1");
  }
  expect_failure_because(result, "File could not be read", EIO);
  EXPECT_FALSE(fs::exists(path("a.flt")));
}

TEST_F(Names, ReportsStandardOutputThatCannotBeWritten) {
  write_file(path("a.fxml"), kFlight);
  const std::string what = "Standard output could not be written";
  expect_failure_because(wait_for(start({"a.fxml"}, /*closed_stdout=*/true)), what, EPIPE);
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  expect_failure_because(run({"a.fxml"}, "", "/dev/full"), what, ENOSPC);
  // The reason in the user's language, where the system has it.
  if (settings().windows) GTEST_SKIP() << "wine's messages depend on its own translations";
  const char* const kGerman = "de_DE.UTF-8";
  std::string reason;
  if (std::setlocale(LC_ALL, kGerman) != nullptr) reason = std::strerror(ENOSPC);
  std::setlocale(LC_ALL, "C");
  if (reason.empty() || reason == std::strerror(ENOSPC)) {
    GTEST_SKIP() << "needs the de_DE.UTF-8 locale (Debian: locales, libc-l10n)";
  }
  EXPECT_EQ(run({"a.fxml"}, "LC_ALL="s + kGerman, "/dev/full").err,
            "\n" + what + ": " + reason + "\n");
}

// Writes to `path` a flight of `count` lines of about 1 KiB, each ending in
// a closing line, which joins them all into one; returns what each line
// gives that one.
std::string write_joined_flight(const fs::path& path, std::uint64_t count) {
  const std::string value(990, 'v');
  const std::string line = "<Property Name=\"a\" Value=\"" + value + "\" /></Flight.Sections>\n";
  std::ofstream flight(path, std::ios::binary);
  flight << "x\n<Section Name=\"Main\">\n";
  for (std::uint64_t i = 0; i < count; ++i) flight << line;
  return "a=" + value;
}

TEST_F(Names, ReportsLineTooLargeForMemoryOrOverTheCap) {
  if (settings().windows) GTEST_SKIP() << "wine needs more address space than the limits leave";
  // Sparse files of one line of NULs: larger than the address space the
  // first limit leaves, and past the line cap, which must stop the read
  // long before memory does; and 1.1 GiB of lines that closing lines join
  // into one, past the cap too.
  const struct {
    const char* limit;
    int gib;
    bool joined;
  } cases[] = {{"ulimit -v 262144;", 1, false}, {"ulimit -v 3670016;", 6, false}, {"", 1, true}};
  for (const auto& c : cases) {
    if (run({}, c.limit).out != kUsage)
      GTEST_SKIP() << "the program cannot start under " << c.limit;
    if (c.joined) {
      write_joined_flight(path("big.fxml"), std::uint64_t{1100} << 10);
      write_file(path("big.flt"), "earlier\r\n");
    } else {
      std::ofstream sparse(path("big.fxml"), std::ios::binary);
      sparse.seekp((std::streamoff{c.gib} << 30) - 1);
      sparse.put('\n');
    }
    expect_failure(run({"big.fxml"}, c.limit), "", kTooLarge);
    EXPECT_EQ(c.joined ? read_file(path("big.flt")) : "", c.joined ? "earlier\r\n" : "");
    fs::remove(path("big.flt"));
  }
}

TEST_F(Names, ConvertsFileFourTimesLargerThanItsMemoryLimit) {
  if (settings().windows) GTEST_SKIP() << "wine needs more address space than the limit leaves";
  constexpr const char* kLimit = "ulimit -v 65536;";
  if (run({}, kLimit).out != kUsage) GTEST_SKIP() << "the program cannot start under " << kLimit;
  const RepeatedFlight flight(path("big.fxml"), std::uint64_t{256} << 20);
  expect_success(run({"big.fxml"}, kLimit), "big.flt");
  EXPECT_TRUE(flight.is_output(path("big.flt")));
  // A line that closing lines join of 32 MiB, half the limit.
  const std::string piece = write_joined_flight(path("joined.fxml"), 32 << 10);
  std::string joined = "\r\n[Main]\r\n";
  for (int i = 0; i < (32 << 10); ++i) joined += piece;
  expect_success(run({"joined.fxml"}, kLimit), "joined.flt");
  EXPECT_TRUE(read_file(path("joined.flt")) == joined);
}

}  // namespace cli_test
