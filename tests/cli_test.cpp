// Runs the built program in a temporary folder and checks what it prints,
// its exit status and the files it leaves. The program is a parameter:
//   cli_tests --program=PATH [--launcher=COMMAND] [--windows] [--helper=PATH]
//             [--wine-prefix=DIR] [--unprivileged] [--portable]
//             --examples=DIR
// so that the same tests serve a Windows build run under an emulator, and a
// run as an ordinary user where the tests run as root.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct Settings {
  std::string program;
  std::string launcher;
  std::string examples;
  bool windows = false;
  bool unprivileged = false;  // run the program as kNobody
  bool portable = false;      // POSIX calls alone: a named new file from the start, no ACLs
  std::string helper;         // windows_helper.exe, beside a Windows program
};

// The user and group "nobody" and "nogroup" on Debian.
constexpr uid_t kNobody = 65534;

// The status of a Windows program interrupted by Ctrl+C, 0xC000013A, as
// wine's process ends with it: its low byte.
constexpr int kInterruptedUnderWine = 0x3A;

Settings& settings() {
  static Settings value;
  return value;
}

struct Result {
  int status = -1;  // the exit status, or minus the signal that ended the program
  std::string out;
  std::string err;
};

std::string shell_quoted(const std::string& word) {
  std::string text = "'";
  for (char c : word) text += c == '\'' ? "'\\''"s : std::string(1, c);
  return text + "'";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Console text as the tests expect it: a Windows console ends lines with
// CR LF.
std::string console_text(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 1);
  }
  return text;
}

std::vector<std::string> folder_listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

const std::string kFlight =
    "<?xml version=\"1.0\"?>\n"
    "<SimBase.Document Type=\"Flight\">\n"
    "    <Flight.Sections>\n"
    "        <Section Name=\"Main\">\n"
    "            <Property Name=\"Title\" Value=\"Test &quot;one&quot;\" />\n"
    "        </Section>\n"
    "    </Flight.Sections>\n"
    "</SimBase.Document>\n";
const std::string kConverted = "\r\n[Main]\r\nTitle=Test \"one\"\r\n\r\n";

const std::string kUsage = "\nUsage: Sectify <filename.fxml>\n";
const std::string kCannotOpen = "\nFile could not be opened\n";
const std::string kTooLarge = "\nFile is too large to convert\n";
const std::string kNoMain = "\nWarning: no Main section found, the output is empty\n";

std::string written(const std::string& name) { return "\nFile " + name + " written\n"; }
std::string not_written(const std::string& name) {
  return "File " + name + " could not be written";
}
std::string not_fxml(const std::string& argument) {
  return "\n" + argument + " is not an fxml file\n";
}

// What runs the program: setpriv for an unprivileged run, then the launcher
// and the program itself.
std::vector<std::string> command_words(const std::string& program = settings().program) {
  std::vector<std::string> words;
  if (settings().unprivileged) {
    const std::string id = std::to_string(kNobody);
    words = {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
  }
  std::istringstream launcher(settings().launcher);
  for (std::string word; launcher >> word;) words.push_back(word);
  words.push_back(program);
  return words;
}

// Whether the program starts as kNobody, which a folder on its path that
// only root may enter prevents.
bool nobody_can_run_program() {
  static const bool can = [] {
    std::string command;
    for (const std::string& word : command_words()) command += shell_quoted(word) + " ";
    return std::system((command + "2>/dev/null | grep -q Usage").c_str()) == 0;
  }();
  return can;
}

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    if (settings().unprivileged && geteuid() != 0) {
      GTEST_SKIP() << "only root can run the program as another user";
    }
    if (settings().unprivileged && !nobody_can_run_program()) {
      GTEST_SKIP() << "the user nobody cannot run " << settings().program;
    }
    std::string pattern = (fs::temp_directory_path() / "sectify-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    if (settings().unprivileged) {
      ASSERT_EQ(chown(pattern.c_str(), kNobody, kNobody), 0);
    }
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::all, ignored);
    fs::remove_all(dir_, ignored);
  }

  // Runs the program in the test's folder with `arguments`; `shell_prefix`
  // runs first in the same shell (to set limits, say), and standard output
  // goes to `stdout_file`.
  Result run(const std::vector<std::string>& arguments, const std::string& shell_prefix = "",
             const std::string& stdout_file = ".stdout") {
    return run_words(command_words(), arguments, shell_prefix, " >" + stdout_file + " 2>.stderr");
  }

  // Runs `words` with `arguments` in the test's folder, as run() does, with
  // `redirection` for its output.
  Result run_words(const std::vector<std::string>& words, const std::vector<std::string>& arguments,
                   const std::string& shell_prefix, const std::string& redirection) {
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + shell_prefix;
    for (const std::string& word : words) command += " " + shell_quoted(word);
    for (const std::string& argument : arguments) command += " " + shell_quoted(argument);
    command += redirection;
    const int raw = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return collect(result);
  }

  // Starts the program in the test's folder with `arguments`, without a
  // shell, so that it gets the signals the test sends, with their default
  // actions. Standard output goes to a pipe whose reader has gone if
  // `closed_stdout`.
  pid_t start(const std::vector<std::string>& arguments, bool closed_stdout = false) {
    return start_words(command_words(), arguments, closed_stdout ? "" : ".stdout", ".stderr");
  }

  // Starts `words` with `arguments` as start() does, with standard output
  // and error into the files `out` and `err` of the test's folder, or for
  // an empty `out` into a pipe whose reader has gone.
  pid_t start_words(std::vector<std::string> words, const std::vector<std::string>& arguments,
                    const std::string& out_file, const std::string& err_file) {
    words.insert(words.end(), arguments.begin(), arguments.end());
    listing_at_start_ = folder_listing(dir_);
    const bool closed_stdout = out_file.empty();
    int ends[2] = {-1, -1};
    if (closed_stdout) {
      EXPECT_EQ(pipe(ends), 0);
      close(ends[0]);
    }
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(126);
      const int out =
          closed_stdout ? ends[1] : open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
      for (int s = 1; s < NSIG; ++s) std::signal(s, SIG_DFL);
      // No core file from the signals that would leave one.
      const rlimit no_core{0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      std::vector<char*> argv;
      for (std::string& word : words) argv.push_back(word.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    if (closed_stdout) close(ends[1]);
    return pid;
  }

  // Waits for the program that start() started to end.
  Result wait_for(pid_t pid) {
    int raw = 0;
    Result result;
    if (waitpid(pid, &raw, 0) == pid) {
      result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? -WTERMSIG(raw) : -1;
    }
    return collect(result);
  }

  // Waits until the program `pid` has written `size` bytes or more of its
  // output, into a new entry in the folder or a file there that it holds
  // open other than `input`. Returns false if it ends first or takes more
  // than 60 s to get there.
  bool wait_until_written(pid_t pid, const std::string& input, std::uintmax_t size) {
    const std::vector<std::string>& before = listing_at_start_;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    const std::string folder = dir_.string() + "/";
    const auto holds = [size](const fs::path& file) {
      std::error_code error;
      const std::uintmax_t written = fs::file_size(file, error);
      return !error && written >= size;
    };
    for (int i = 0; i < 60000; ++i) {
      siginfo_t info{};
      if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid) {
        return false;
      }
      // The files that take the program's standard output and error are
      // not its new file.
      const auto is_new_file = [&](const std::string& name) {
        return name.rfind(".std", 0) != 0 && name != input &&
               std::find(before.begin(), before.end(), name) == before.end();
      };
      for (const std::string& name : folder_listing(dir_)) {
        if (is_new_file(name) && holds(path(name))) return true;
      }
      std::error_code ignored;
      for (const auto& fd : fs::directory_iterator(fds, ignored)) {
        const std::string target = fs::read_symlink(fd.path(), ignored).string();
        if (target.rfind(folder, 0) == 0 && is_new_file(target.substr(folder.size())) &&
            holds(fd.path())) {
          return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  fs::path path(const std::string& name) const { return dir_ / name; }

  // Makes the folder `name` in the test's folder, writable by the program.
  void make_folder(const std::string& name) const {
    fs::create_directories(path(name));
    if (settings().unprivileged) {
      ASSERT_EQ(chown(path(name).c_str(), kNobody, kNobody), 0);
    }
  }

  // Writes `bytes` into the file `name` of the test's folder as an earlier
  // output of the program's user, who owns it.
  void write_old_output(const std::string& name, const std::string& bytes) const {
    write_file(path(name), bytes);
    if (settings().unprivileged) {
      ASSERT_EQ(chown(path(name).c_str(), kNobody, kNobody), 0);
    }
  }

  // Reads what the program printed into `result` and removes the files.
  Result collect(Result result) {
    result.out = console_text(read_file(dir_ / ".stdout"));
    result.err = console_text(read_file(dir_ / ".stderr"));
    fs::remove(dir_ / ".stdout");
    fs::remove(dir_ / ".stderr");
    return result;
  }

  // Whether the program runs with the rights of root, which permission bits
  // do not stop.
  static bool program_is_root() { return geteuid() == 0 && !settings().unprivileged; }

  void expect_failure(const Result& result, const std::string& out, const std::string& err) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
  }

  // Expects the message that `what` failed for the system's reason, which
  // is `error` for a POSIX program: the test's own C library words it as
  // the program's does. A Windows program words it as the system does
  // there, so only that it gives one is checked.
  void expect_failure_because(const Result& result, const std::string& what, int error) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    const std::string head = "\n" + what + ": ";
    if (settings().windows) {
      EXPECT_EQ(result.err.rfind(head, 0), 0u) << result.err;
      EXPECT_GT(result.err.size(), head.size() + 1) << result.err;
      // A code the system has no text for is put in words all the same.
      EXPECT_EQ(result.err.find(": error "), std::string::npos) << result.err;
      EXPECT_EQ(result.err.back(), '\n') << result.err;
    } else {
      EXPECT_EQ(result.err, head + std::strerror(error) + "\n");
    }
  }

  void expect_success(const Result& result, const std::string& output_name) {
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, written(output_name));
    EXPECT_EQ(result.err, "");
  }

  fs::path dir_;
  std::vector<std::string> listing_at_start_;  // the folder as start() found it
};

// The arguments of a case that runs once for each of several, each a test
// of its own, named by `name`.
struct Words {
  std::string name;
  std::vector<std::string> words;
};
std::string name_of(const testing::TestParamInfo<Words>& info) { return info.param.name; }

class Usage : public Cli, public testing::WithParamInterface<Words> {};

TEST_P(Usage, PrintsUsageForWrongArgumentCount) {
  write_file(path("a.fxml"), kFlight);
  expect_failure(run(GetParam().words), kUsage, "");
  EXPECT_EQ(folder_listing(dir_), std::vector<std::string>{"a.fxml"});
}
INSTANTIATE_TEST_SUITE_P(Cli, Usage,
                         testing::Values(Words{"None", {}}, Words{"Two", {"a.fxml", "a.fxml"}}),
                         name_of);

class NotFxml : public Cli, public testing::WithParamInterface<Words> {};

TEST_P(NotFxml, RejectsArgumentThatNamesNoFxmlFile) {
  const std::string& name = GetParam().words[0];
  make_folder("saves.fxml");
  if (!name.empty()) write_file(path(name), kFlight);
  expect_failure(run({name}), not_fxml(name), "");
  EXPECT_FALSE(fs::exists(path(".flt")));
  EXPECT_FALSE(fs::exists(path("saves.flt")));
}
INSTANTIATE_TEST_SUITE_P(Cli, NotFxml,
                         testing::Values(Words{"Capitals", {"A.FXML"}},
                                         Words{"MixedCase", {"a.Fxml"}},
                                         Words{"ExtensionOnly", {".fxml"}},
                                         Words{"ExtensionFirst", {".fxml.fxml"}},
                                         Words{"InFolderOnly", {"saves.fxml/a.txt"}},
                                         Words{"Empty", {""}}, Words{"Japanese", {"東京.txt"}}),
                         name_of);

TEST_F(Cli, ConvertsExampleFlightBesideIt) {
  const fs::path example = fs::path(settings().examples) / "coastal_hop.fxml";
  const std::string input = read_file(example);
  ASSERT_FALSE(input.empty()) << example;
  write_file(path("coastal_hop.fxml"), input);
  expect_success(run({"coastal_hop.fxml"}), "coastal_hop.flt");
  EXPECT_EQ(read_file(path("coastal_hop.flt")),
            read_file(fs::path(settings().examples) / "coastal_hop.flt"));
  EXPECT_EQ(read_file(path("coastal_hop.fxml")), input);
}

TEST_F(Cli, WritesOutputBesideInputWhateverTheFolderIsCalled) {
  make_folder("saves.fxml");
  write_file(path("saves.fxml/a.fxml"), kFlight);
  expect_success(run({"saves.fxml/a.fxml"}), "saves.fxml/a.flt");
  EXPECT_EQ(read_file(path("saves.fxml/a.flt")), kConverted);
  EXPECT_FALSE(fs::exists(path("saves.flt")));

  const std::string absolute = path("saves.fxml/a.fxml").string();
  expect_success(run({absolute}), path("saves.fxml/a.flt").string());

  write_file(path("b.fxml.bak"), kFlight);
  expect_success(run({"b.fxml.bak"}), "b.flt.bak");
  EXPECT_EQ(read_file(path("b.flt.bak")), kConverted);
}

TEST_F(Cli, ReadsCrLfAndLfLineEndsAlike) {
  std::string crlf;
  for (char c : kFlight) crlf += c == '\n' ? "\r\n"s : std::string(1, c);
  write_file(path("lf.fxml"), kFlight);
  write_file(path("crlf.fxml"), crlf);
  expect_success(run({"lf.fxml"}), "lf.flt");
  expect_success(run({"crlf.fxml"}), "crlf.flt");
  EXPECT_EQ(read_file(path("lf.flt")), kConverted);
  EXPECT_EQ(read_file(path("crlf.flt")), kConverted);
}

TEST_F(Cli, WritesEveryByteIncludingNulAndCtrlZ) {
  write_file(path("a.fxml"),
             "x\n<Section Name=\"Main\">\na=\0b\x1A"
             "c\xB0\r\n"s);
  expect_success(run({"a.fxml"}), "a.flt");
  EXPECT_EQ(read_file(path("a.flt")),
            "\r\n[Main]\r\na=\0b\x1A"
            "c\xB0\r\n"s);
}

TEST_F(Cli, ReplacesExistingOutputAndLeavesNoTemporaryFile) {
  write_file(path("a.fxml"), kFlight);
  write_file(path("a.flt"), std::string(100000, 'o'));
  expect_success(run({"a.fxml"}), "a.flt");
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
  EXPECT_EQ(read_file(path("a.fxml")), kFlight);
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Cli, WarnsWhenNoMainSectionIsFound) {
  write_file(path("a.fxml"), "<Section Name=\"Main\">\n<Property Name=\"a\" Value=\"b\" />\n");
  write_file(path("empty.fxml"), "");
  for (const std::string name : {"a", "empty"}) {
    const Result result = run({name + ".fxml"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, written(name + ".flt"));
    EXPECT_EQ(result.err, kNoMain);
    EXPECT_TRUE(fs::exists(path(name + ".flt")));
    EXPECT_EQ(read_file(path(name + ".flt")), "");
  }
}

std::string left_out(const std::string& name, int count) {
  return "\nWarning: section [" + name +
         "] before [Main] was left out (sections left out: " + std::to_string(count) + ")\n";
}
std::string not_in_form(const std::string& output, int line, int count) {
  return "\nWarning: line " + std::to_string(line) + " of " + output +
         " is not a section or name=value line (such lines: " + std::to_string(count) + ")\n";
}
std::string blank_runs(const std::string& input, int line, int count) {
  return "\nWarning: line " + std::to_string(line) + " of " + input +
         " has four or more blanks in a row after its indentation, which the conversion "
         "shortens (such lines: " +
         std::to_string(count) + ")\n";
}
std::string kept_reference(const std::string& output, int line, const std::string& reference,
                           int count) {
  return "\nWarning: line " + std::to_string(line) + " of " + output + " keeps the reference " +
         reference + " undecoded (such lines: " + std::to_string(count) + ")\n";
}

TEST_F(Cli, WarnsWhereTheInputLeavesTheExpectedLayout) {
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
       "\r\n[Main]\r\n\t\ta=b\r\n\t\r\n", not_in_form("tabs.flt", 3, 2)},
      {"blanks", head + property + "      <Property Name=\"a\" Value=\"b\" />\r\n" + tail,
       "\r\n[Main]\r\na=b\r\n  a=b\r\n", not_in_form("blanks.flt", 4, 1)},
      {"swapped", head + "            <Property Value=\"b\" Name=\"a\" />\r\n" + tail,
       "\r\n[Main]\r\n<Property Value=\"b\" Name=\"a\r\n", not_in_form("swapped.flt", 3, 1)},
      {"comment", head + "            <!-- a note -->\r\n" + tail,
       "\r\n[Main]\r\n<!-- a note -->\r\n", not_in_form("comment.flt", 3, 1)},
      {"amp", head + property + "<Property Name=\"t\" Value=\"Rock &amp; Roll\" />\r\n" + tail,
       "\r\n[Main]\r\na=b\r\nt=Rock &amp; Roll\r\n", kept_reference("amp.flt", 4, "&amp;", 1)},
      {"lt", head + "<Property Name=\"t\" Value=\"&lt;&lt;\" />\r\n" + tail,
       "\r\n[Main]\r\nt=&lt;&lt;\r\n", kept_reference("lt.flt", 3, "&lt;", 1)},
      {"degree", head + "<Property Name=\"w\" Value=\"270&#xb0;\" />\r\n" + tail,
       "\r\n[Main]\r\nw=270&#xb0;\r\n", kept_reference("degree.flt", 3, "&#xb0;", 1)},
      {"before", pre + main + property + tail, "\r\n[Main]\r\na=b\r\n", left_out("Pre", 1)},
      {"two_before",
       pre + "        <Section Name=\"Other\">\r\n        </Section>\r\n" + main + tail,
       "\r\n[Main]\r\n", left_out("Pre", 2)},
      {"unended", head + property + "    </Flight.Sections>\r\n</SimBase.Document>",
       "\r\n[Main]\r\na=b\r\n</SimBase.Document>", not_in_form("unended.flt", 4, 1)},
      // Runs of four blanks or more after the indentation, in a value of
      // the common shape or in any other line, but not in the indentation.
      {"runs",
       head + "<Property Name=\"a\" Value=\"Lake    Run\" />\r\n" + property +
           "<Property Name=\"  b\" Value=\"     x\" />\r\n\ty      z\r\n" + tail,
       "\r\n[Main]\r\na=LakeRun\r\na=b\r\n  b= x\r\n\ty  z\r\n",
       not_in_form("runs.flt", 5, 2) + blank_runs("runs.fxml", 5, 3)},
      {"several",
       pre + main + "\t<Property Name=\"t\" Value=\"&amp;\" />\r\n" + property +
           "<Property Name=\"u\" Value=\"&gt;    \" />\r\n</SimBase.Document>",
       "\r\n[Main]\r\n\tt=&amp;\r\na=b\r\nu=&gt;\r\n</SimBase.Document>",
       left_out("Pre", 1) + not_in_form("several.flt", 3, 2) +
           kept_reference("several.flt", 3, "&amp;", 2) + blank_runs("several.fxml", 10, 1)},
      {"utf16le", "\xFF\xFE<\0?\0x\0m\0l\0\r\0\n\0"s, "",
       "\nWarning: utf16le.fxml is UTF-16 text, which is not converted\n" + kNoMain},
      {"utf16be", "\xFE\xFF\0<\0?\0x\0m\0l\0\r\0\n"s, "",
       "\nWarning: utf16be.fxml is UTF-16 text, which is not converted\n" + kNoMain},
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

class AnyName : public Cli, public testing::WithParamInterface<Words> {};

TEST_P(AnyName, ConvertsFileOfThisName) {
  const std::string& stem = GetParam().words[0];
  make_folder("données");
  write_file(path(stem + ".fxml"), kFlight);
  expect_success(run({stem + ".fxml"}), stem + ".flt");
  EXPECT_EQ(read_file(path(stem + ".flt")), kConverted);
}
INSTANTIATE_TEST_SUITE_P(Cli, AnyName,
                         testing::Values(Words{"Japanese", {"東京"}}, Words{"Greek", {"Αθήνα"}},
                                         Words{"Emoji", {"vol ✈️🛫"}},
                                         Words{"Latin1", {"Zürich"}},
                                         Words{"InFolderBeyondAscii", {"données/vol"}}),
                         name_of);

TEST_F(Cli, KeepsApartNamesThatACodePageWouldFold) {
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

TEST_F(Cli, ConvertsFilesBehindPathsLongerThan260Characters) {
  std::string folder;
  for (char c = 'a'; c < 'g'; ++c) folder += std::string(50, c) + "/";
  make_folder(folder);
  write_file(path(folder + "flight.fxml"), kFlight);
  expect_success(run({folder + "flight.fxml"}), folder + "flight.flt");
  EXPECT_EQ(read_file(path(folder + "flight.flt")), kConverted);
  EXPECT_EQ(folder_listing(path(folder)), (std::vector<std::string>{"flight.flt", "flight.fxml"}));
}

TEST_F(Cli, ShowsNamesAsTypedOnATerminal) {
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

TEST_F(Cli, ReportsInputThatCannotBeOpened) {
  expect_failure(run({"missing.fxml"}), "", kCannotOpen);
  fs::create_directories(path("folder.fxml"));
  expect_failure(run({"folder.fxml"}), "", kCannotOpen);
  EXPECT_EQ(folder_listing(dir_), std::vector<std::string>{"folder.fxml"});
}

TEST_F(Cli, ReportsInputWithoutReadPermission) {
  if (program_is_root()) GTEST_SKIP() << "running as root, whom permission bits do not stop";
  write_file(path("a.fxml"), kFlight);
  fs::permissions(path("a.fxml"), fs::perms::none);
  expect_failure(run({"a.fxml"}), "", kCannotOpen);
  EXPECT_FALSE(fs::exists(path("a.flt")));
}

TEST_F(Cli, ReportsReadErrorAfterOpening) {
  // /proc/self/mem opens, but reading its first page fails.
  if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem here";
  fs::create_symlink("/proc/self/mem", path("a.fxml"));
  expect_failure_because(run({"a.fxml"}), "File could not be read", EIO);
  EXPECT_FALSE(fs::exists(path("a.flt")));
}

TEST_F(Cli, KeepsEarlierOutputWhenWritingFails) {
  // Past a file size limit write() fails with EFBIG, once the program has
  // set SIGXFSZ aside, which would end it. Under wine that signal is wine's.
  std::string big;
  for (int i = 0; i < 4000; ++i) big += "<Property Name=\"n\" Value=\"0123456789\" />\n";
  write_file(path("a.fxml"), "x\n<Section Name=\"Main\">\n" + big);
  const std::string earlier = "earlier output\r\n";
  write_file(path("a.flt"), earlier);
  const std::string limit = settings().windows ? "trap '' XFSZ; ulimit -f 32;" : "ulimit -f 32;";
  expect_failure_because(run({"a.fxml"}, limit), not_written("a.flt"), EFBIG);
  EXPECT_EQ(read_file(path("a.flt")), earlier);
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Cli, KeepsEarlierOutputOnAFullDisk) {
  // A file system of 256 KiB, which a flight of 1 MiB fills.
  make_folder("full");
  const std::string mount = "mount -t tmpfs -o size=256k,mode=0777 sectify-full " +
                            shell_quoted(path("full").string()) + " 2>/dev/null";
  if (geteuid() != 0 || std::system(mount.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  std::string big = "x\n<Section Name=\"Main\">\n";
  while (big.size() < (std::size_t{1} << 20))
    big += "<Property Name=\"n\" Value=\"0123456789\" />\n";
  write_file(path("full/a.flt"), "earlier output\r\n");
  // The input stays outside, and only its name inside: a link.
  write_file(path("a.fxml"), big);
  fs::create_symlink(path("a.fxml"), path("full/a.fxml"));
  const Result result = run({"full/a.fxml"});
  const std::vector<std::string> left = folder_listing(path("full"));
  const std::string earlier = read_file(path("full/a.flt"));
  std::system(("umount " + shell_quoted(path("full").string())).c_str());
  expect_failure_because(result, not_written("full/a.flt"), ENOSPC);
  EXPECT_EQ(earlier, "earlier output\r\n");
  EXPECT_EQ(left, (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Cli, ReportsInputTooLargeForMemory) {
  if (settings().windows) GTEST_SKIP() << "wine needs more address space than the limit leaves";
  // A sparse file larger than the address space the limit leaves.
  constexpr const char* kLimit = "ulimit -v 262144;";
  if (run({}, kLimit).out != kUsage) GTEST_SKIP() << "the program cannot start under " << kLimit;
  {
    std::ofstream sparse(path("big.fxml"), std::ios::binary);
    sparse.seekp((std::streamoff{1} << 30) - 1);
    sparse.put('\n');
  }
  expect_failure(run({"big.fxml"}, kLimit), "", kTooLarge);
  EXPECT_FALSE(fs::exists(path("big.flt")));
}

// A flight made of one section repeated, written in pieces so that a file
// larger than memory takes little of it, and the output it must give.
struct RepeatedFlight {
  static constexpr const char* kHead =
      "<?xml version=\"1.0\"?>\r\n<SimBase.Document Type=\"Flight\">\r\n"
      "    <Flight.Sections>\r\n        <Section Name=\"Main\">\r\n"
      "            <Property Name=\"Title\" Value=\"Long &quot;haul&quot;\" />\r\n"
      "        </Section>\r\n";
  static constexpr const char* kSection =
      "        <Section Name=\"Waypoint\">\r\n"
      "            <Property Name=\"Wind\" Value=\"045&#xB0; at  12 kt\" />\r\n"
      "            <Property Name=\"Note\" Value=\"pilot&apos;s &quot;crew&quot;\" />\r\n"
      "            <Property Name=\"Empty\" Value=\"\" />\r\n"
      "        </Section>\r\n";
  static constexpr const char* kTail = "    </Flight.Sections>\r\n</SimBase.Document>\r\n";
  static constexpr const char* kOutputHead = "\r\n[Main]\r\nTitle=Long \"haul\"\r\n\r\n";
  static constexpr const char* kOutputSection =
      "[Waypoint]\r\nWind=045\xB0 at  12 kt\r\nNote=pilot's \"crew\"\r\nEmpty=\r\n\r\n";

  // Writes a flight of at least `size` bytes to `path`.
  explicit RepeatedFlight(const fs::path& path, std::uint64_t size) {
    const std::string section = kSection;
    const std::uint64_t per_chunk = (std::uint64_t{1} << 20) / section.size();
    std::string chunk;
    for (std::uint64_t i = 0; i < per_chunk; ++i) chunk += section;
    std::ofstream out(path, std::ios::binary);
    out << kHead;
    for (; count * section.size() < size; count += per_chunk) out << chunk;
    out << kTail;
    out.flush();
    EXPECT_TRUE(out) << "cannot write " << path;
  }

  // The size of the output this flight must give.
  std::uintmax_t output_size() const {
    return std::strlen(kOutputHead) + count * std::strlen(kOutputSection);
  }

  // Whether the file at `path` is the output this flight must give, read a
  // piece at a time.
  bool is_output(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    auto next_is = [&in](const std::string& expected) {
      std::string got(expected.size(), '\0');
      in.read(got.data(), static_cast<std::streamsize>(got.size()));
      return in.gcount() == static_cast<std::streamsize>(got.size()) && got == expected;
    };
    const std::string section = kOutputSection;
    std::string chunk;
    constexpr std::uint64_t kPerChunk = 4096;
    for (std::uint64_t i = 0; i < kPerChunk; ++i) chunk += section;
    if (!next_is(kOutputHead)) return false;
    std::uint64_t left = count;
    for (; left >= kPerChunk; left -= kPerChunk) {
      if (!next_is(chunk)) return false;
    }
    for (; left > 0; --left) {
      if (!next_is(section)) return false;
    }
    return in.peek() == std::ifstream::traits_type::eof();
  }

  std::uint64_t count = 0;
};

TEST_F(Cli, ConvertsFileFourTimesLargerThanItsMemoryLimit) {
  if (settings().windows) GTEST_SKIP() << "wine needs more address space than the limit leaves";
  constexpr const char* kLimit = "ulimit -v 65536;";
  if (run({}, kLimit).out != kUsage) GTEST_SKIP() << "the program cannot start under " << kLimit;
  const RepeatedFlight flight(path("big.fxml"), std::uint64_t{256} << 20);
  expect_success(run({"big.fxml"}, kLimit), "big.flt");
  EXPECT_TRUE(flight.is_output(path("big.flt")));
}

TEST_F(Cli, ReportsStandardOutputThatCannotBeWritten) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  write_file(path("a.fxml"), kFlight);
  expect_failure_because(run({"a.fxml"}, "", "/dev/full"), "Standard output could not be written",
                         ENOSPC);
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Cli, GivesReasonsInTheLanguageOfTheUser) {
  if (settings().windows) GTEST_SKIP() << "wine's messages depend on its own translations";
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const char* const kGerman = "de_DE.UTF-8";
  std::string reason;
  if (std::setlocale(LC_ALL, kGerman) != nullptr) reason = std::strerror(ENOSPC);
  std::setlocale(LC_ALL, "C");
  if (reason.empty() || reason == std::strerror(ENOSPC)) {
    GTEST_SKIP() << "needs the de_DE.UTF-8 locale (Debian: locales, libc-l10n)";
  }
  write_file(path("a.fxml"), kFlight);
  const Result result = run({"a.fxml"}, "LC_ALL="s + kGerman, "/dev/full");
  EXPECT_EQ(result.err, "\nStandard output could not be written: " + reason + "\n");
}

TEST_F(Cli, ReportsStandardOutputWhoseReaderHasGone) {
  write_file(path("a.fxml"), kFlight);
  const Result result = wait_for(start({"a.fxml"}, /*closed_stdout=*/true));
  expect_failure_because(result, "Standard output could not be written", EPIPE);
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Cli, RefusesInputThatIsNoRegularFile) {
  // Bounded, so that a hang fails the test instead of holding it.
  constexpr const char* kBound = "timeout 60";
  std::vector<std::string> names;
  if (settings().windows) {
    // Names Windows keeps for devices, here regular files.
    names = {"aux.fxml", "com1.fxml", "nul.fxml", "LPT9.x.fxml"};
    for (const std::string& name : names) write_file(path(name), kFlight);
  } else {
    ASSERT_EQ(mkfifo(path("fifo.fxml").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", path("device.fxml"));
    names = {"fifo.fxml", "device.fxml"};
  }
  for (const std::string& name : names) {
    expect_failure(run({name}, kBound), "", kCannotOpen);
  }
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(folder_listing(dir_), sorted);
}

TEST_F(Cli, RefusesToReplaceTheInputItself) {
  // A link to the output name as the input: the output is the input.
  write_file(path("real.flt"), kFlight);
  fs::create_symlink("real.flt", path("real.fxml"));
  expect_failure(run({"real.fxml"}), "",
                 "\nFile real.flt is the input file and was not replaced\n");
  write_file(path("hard.fxml"), kFlight);
  fs::create_hard_link(path("hard.fxml"), path("hard.flt"));
  expect_failure(run({"hard.fxml"}), "",
                 "\nFile hard.flt is the input file and was not replaced\n");
  EXPECT_EQ(read_file(path("real.flt")), kFlight);
  EXPECT_EQ(read_file(path("hard.flt")), kFlight);
  EXPECT_EQ(folder_listing(dir_),
            (std::vector<std::string>{"hard.flt", "hard.fxml", "real.flt", "real.fxml"}));
}

TEST_F(Cli, RefusesToReplaceReadOnlyOutput) {
  // Root too: permission bits would not stop a rename over the file.
  write_file(path("a.fxml"), kFlight);
  write_file(path("a.flt"), "kept\r\n");
  fs::permissions(path("a.flt"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  expect_failure(run({"a.fxml"}), "", "\nFile a.flt is read-only and was not replaced\n");
  EXPECT_EQ(read_file(path("a.flt")), "kept\r\n");
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Cli, KeepsOwnerGroupAndModeOfReplacedFile) {
  if (settings().windows) GTEST_SKIP() << "Windows files have no owner the program keeps";
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  write_file(path("a.fxml"), kFlight);
  write_file(path("a.flt"), "old");
  ASSERT_EQ(chown(path("a.flt").c_str(), kNobody, kNobody), 0);
  fs::permissions(path("a.flt"), fs::perms::owner_read | fs::perms::owner_write);
  expect_success(run({"a.fxml"}), "a.flt");
  struct stat replaced {};
  ASSERT_EQ(stat(path("a.flt").c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_uid, kNobody);
  EXPECT_EQ(replaced.st_gid, kNobody);
  EXPECT_EQ(replaced.st_mode & 07777, 0600u);
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Cli, LeavesNothingBehindWhenInterrupted) {
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

TEST_F(Cli, EndsInterruptedWithTheOldOutputOrReportsTheNewOne) {
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
  for (int i = 0; i < kMoments; ++i) {
    write_file(path("big.flt"), earlier);
    // Under wine, SIGINT reaches the program as Ctrl+C, and SIGTERM ends it
    // without a word.
    const int signal = i % 2 == 0 || settings().windows ? SIGINT : SIGTERM;
    const pid_t pid = start({"big.fxml"});
    wait_until_written(pid, "big.fxml", flight.output_size());
    std::this_thread::sleep_for(*rest * i / kMoments);
    kill(pid, signal);
    const Result result = wait_for(pid);
    if (result.status == 0) {
      EXPECT_EQ(result.out, written("big.flt")) << i;
      EXPECT_TRUE(flight.is_output(path("big.flt"))) << i;
    } else {
      EXPECT_EQ(result.status, settings().windows ? kInterruptedUnderWine : -signal) << i;
      EXPECT_TRUE(read_file(path("big.flt")) == earlier) << i;
    }
    EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"big.flt", "big.fxml"})) << i;
  }
}

TEST_F(Cli, RefusesOutputNameTakenByFolderBeforeReading) {
  // An input whose reading fails tells whether it was read.
  if (!settings().windows && fs::exists("/proc/self/mem")) {
    fs::create_symlink("/proc/self/mem", path("a.fxml"));
  } else {
    write_file(path("a.fxml"), kFlight);
  }
  fs::create_directories(path("a.flt"));
  write_file(path("a.flt/keep"), "keep");
  expect_failure_because(run({"a.fxml"}), not_written("a.flt"), EISDIR);
  EXPECT_EQ(folder_listing(path("a.flt")), std::vector<std::string>{"keep"});
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Cli, ReplacesSymbolicLinkAtOutputNameNotItsTarget) {
  if (settings().windows) {
    GTEST_SKIP() << "wine shows a symbolic link as the file it leads to, here the input";
  }
  write_file(path("a.fxml"), kFlight);
  fs::create_symlink("a.fxml", path("a.flt"));
  expect_success(run({"a.fxml"}), "a.flt");
  EXPECT_EQ(read_file(path("a.fxml")), kFlight);
  EXPECT_FALSE(fs::is_symlink(path("a.flt")));
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Cli, CarriesOnlyTheAccessBitsOfReplacedFile) {
  if (settings().windows) GTEST_SKIP() << "Windows files have no permission bits";
  struct Case {
    std::string name;
    mode_t old;  // 0: no file to replace
    const char* umask;
    mode_t expected;
  };
  const Case cases[] = {
      {"private", 0640, "umask 077;", 0640},
      // Setuid and setgid are never carried onto new content, whoever runs
      // the program; the sticky bit means nothing on a file.
      {"setid", 06755, "umask 022;", 0755},
      {"sticky", 01644, "umask 022;", 0644},
      {"new", 0, "umask 027;", 0640},
  };
  for (const Case& c : cases) {
    write_file(path(c.name + ".fxml"), kFlight);
    if (c.old != 0) {
      write_old_output(c.name + ".flt", "old");
      ASSERT_EQ(chmod(path(c.name + ".flt").c_str(), c.old), 0);
    }
    expect_success(run({c.name + ".fxml"}, c.umask), c.name + ".flt");
    struct stat replaced {};
    ASSERT_EQ(stat(path(c.name + ".flt").c_str(), &replaced), 0);
    EXPECT_EQ(replaced.st_mode & 07777, c.expected) << c.name;
  }
}

TEST_F(Cli, KeepsTheAccessControlListOfReplacedFile) {
  if (settings().windows) GTEST_SKIP() << "Windows keeps a file's permissions by itself";
  if (settings().portable) GTEST_SKIP() << "POSIX alone has no ACLs";
  const auto acl_of = [this](const std::string& name) {
    const std::string listing = path(".acl").string();
    const std::string command = "getfacl -cp " + shell_quoted(path(name).string()) + " >" +
                                shell_quoted(listing) + " 2>/dev/null";
    const std::string acl = std::system(command.c_str()) == 0 ? read_file(listing) : "";
    fs::remove(listing);
    return acl;
  };
  write_file(path("a.fxml"), kFlight);
  write_old_output("a.flt", "old");
  ASSERT_EQ(chmod(path("a.flt").c_str(), 0640), 0);
  // The owning group may read; nobody, named, may write, which widens the
  // mask and so the group bits that ls shows.
  const std::string grant = "setfacl -m u:nobody:rw- " + shell_quoted(path("a.flt").string());
  if (std::system((grant + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "needs setfacl (Debian: acl) and ACLs on " << dir_;
  }
  const std::string before = acl_of("a.flt");
  ASSERT_NE(before.find("user:nobody:rw-"), std::string::npos) << before;
  expect_success(run({"a.fxml"}), "a.flt");
  EXPECT_EQ(acl_of("a.flt"), before);
}

TEST_F(Cli, ConvertsInAFolderItsUserMayWriteButNotRead) {
  // The folder cannot be opened to be synced, which is no failure.
  make_folder("w");
  write_file(path("w/a.fxml"), kFlight);
  write_file(path("w/a.flt"), "old");
  fs::permissions(path("w"), fs::perms::owner_write | fs::perms::owner_exec);
  const Result result = run({"w/a.fxml"});
  fs::permissions(path("w"), fs::perms::owner_all);
  expect_success(result, "w/a.flt");
  EXPECT_EQ(read_file(path("w/a.flt")), kConverted);
}

TEST_F(Cli, PrintsWarningsBeforeTheSuccessLineIntoOneStream) {
  write_file(path("a.fxml"), "x\n<Section Name=\"Main\">\n\t<Property Name=\"a\" Value=\"b\" />\n");
  const Result result = run_words(command_words(), {"a.fxml"}, "", " >.stdout 2>&1");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, not_in_form("a.flt", 3, 1) + written("a.flt"));
}

TEST_F(Cli, KeepsHiddenAndSystemAttributesOnWindows) {
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

TEST_F(Cli, RefusesEveryFormOfADeviceNameOnWindows) {
  if (!settings().windows) GTEST_SKIP() << "only Windows keeps names for devices";
  make_folder("x");
  for (const std::string name : {"COM1:.fxml", "x\\LPT1:a.fxml", "AUX:a.fxml", "nul:.fxml",
                                 "con:a.fxml", "COM\u00B9.fxml", "lpt\u00B3 .fxml"}) {
    expect_failure(run({name}), "", kCannotOpen);
  }
  EXPECT_EQ(folder_listing(dir_), std::vector<std::string>{"x"});
}

TEST_F(Cli, ReplacesAFileAnotherProgramHoldsOnceItLetsGoOnWindows) {
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
    const pid_t holder =
        start_words(command_words(settings().helper), {"hold", "a.flt", std::to_string(c.held)},
                    ".held", "/dev/null");
    for (int i = 0; i < 6000 && read_file(path(".held")).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
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

TEST_F(Cli, RefusesPipesWithoutConnectingOnWindows) {
  if (settings().helper.empty()) GTEST_SKIP() << "needs windows_helper.exe (--helper)";
  const pid_t server =
      start_words(command_words(settings().helper), {"serve", "\\\\.\\pipe\\x.fxml", "3000"},
                  ".served", "/dev/null");
  for (int i = 0; i < 6000 && read_file(path(".served")).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (const std::string name : {"\\\\.\\pipe\\x.fxml", "\\\\?\\pipe\\x.fxml", "//./pipe/x.fxml"}) {
    expect_failure(run({name}), "", kCannotOpen);
  }
  waitpid(server, nullptr, 0);
  EXPECT_EQ(console_text(read_file(path(".served"))), "serving\nno client\n");
}

TEST_F(Cli, AddsAndRemovesTheExplorerEntryOnWindows) {
  if (!settings().windows) GTEST_SKIP() << "only Windows has Explorer's right-click menu";
  // The scripts beside the program, as the ZIP holds them.
  const fs::path build = fs::path(settings().program).parent_path();
  for (const std::string name : {"Add to Explorer.cmd", "Remove from Explorer.cmd"}) {
    fs::copy_file(build / name, path(name));
  }
  fs::copy_file(settings().program, path("Sectify.exe"));
  const std::string key = "HKCU\\Software\\Classes\\SystemFileAssociations\\.fxml\\shell\\Sectify";
  const auto command = [this](const std::string& word, const std::vector<std::string>& arguments) {
    return run_words(command_words(word), arguments, "", " </dev/null >.stdout 2>.stderr");
  };
  std::string windows_dir = "Z:" + dir_.string();
  std::replace(windows_dir.begin(), windows_dir.end(), '/', '\\');
  // Each twice: the second run finds its work done.
  for (int i = 0; i < 2; ++i) {
    const Result added = command("cmd", {"/c", "Add to Explorer.cmd"});
    EXPECT_EQ(added.status, 0);
    EXPECT_EQ(added.out.rfind("Added \"Convert with Sectify\"", 0), 0u) << added.out;
  }
  const Result entry = command("reg", {"query", key + "\\command", "/ve"});
  EXPECT_NE(entry.out.find("\"" + windows_dir + "\\Sectify.exe\" \"%1\""), std::string::npos)
      << entry.out;
  for (const char* said : {"Removed", "\"Convert with Sectify\" is not"}) {
    const Result removed = command("cmd", {"/c", "Remove from Explorer.cmd"});
    EXPECT_EQ(removed.status, 0);
    EXPECT_EQ(removed.out.rfind(said, 0), 0u) << removed.out;
  }
  EXPECT_NE(command("reg", {"query", key}).status, 0);
}

TEST_F(Cli, SucceedsWithoutStandardHandlesOnWindows) {
  if (settings().helper.empty()) GTEST_SKIP() << "needs windows_helper.exe (--helper)";
  write_file(path("a.fxml"), kFlight);
  const Result result =
      run_words(command_words(settings().helper), {"detached", settings().program, "a.fxml"}, "",
                " >.stdout 2>.stderr");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Cli, TreatsBackslashAsSeparatorOnWindows) {
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

TEST_F(Cli, ConvertsFileLargerThanA32BitProcessCanAddressOnWindows) {
  if (!is_32bit_windows_program(settings().program)) {
    GTEST_SKIP() << "only a 32-bit program cannot hold a file of 2.2 GiB";
  }
  const RepeatedFlight flight(path("big.fxml"), std::uint64_t{2253} << 20);
  expect_success(run({"big.fxml"}), "big.flt");
  EXPECT_TRUE(flight.is_output(path("big.flt")));
}

TEST_F(Cli, RejectsLineTooLargeForA32BitProcessOnWindows) {
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

}  // namespace

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
