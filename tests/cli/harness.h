// The harness of the command-line tests: runs the built program in a
// temporary folder and reads what it prints, its exit status and the
// files it leaves. The program is a parameter of the test run:
//   cli_tests --program=PATH [--launcher=COMMAND] [--windows] [--helper=PATH]
//             [--wine-prefix=DIR] [--unprivileged] [--portable]
//             --examples=DIR
// so that the same tests serve a Windows build run under an emulator, and a
// run as an ordinary user where the tests run as root.

#ifndef SECTIFY_TESTS_CLI_HARNESS_H_
#define SECTIFY_TESTS_CLI_HARNESS_H_

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

namespace cli_test {

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

inline Settings& settings() {
  static Settings value;
  return value;
}

struct Result {
  int status = -1;  // the exit status, or minus the signal that ended the program
  std::string out;
  std::string err;
};

inline std::string shell_quoted(const std::string& word) {
  std::string text = "'";
  for (char c : word) text += c == '\'' ? "'\\''"s : std::string(1, c);
  return text + "'";
}

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Console text as the tests expect it: a Windows console ends lines with
// CR LF.
inline std::string console_text(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 1);
  }
  return text;
}

inline std::vector<std::string> folder_listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline const std::string kFlight =
    "<?xml version=\"1.0\"?>\n"
    "<SimBase.Document Type=\"Flight\">\n"
    "    <Flight.Sections>\n"
    "        <Section Name=\"Main\">\n"
    "            <Property Name=\"Title\" Value=\"Test &quot;one&quot;\" />\n"
    "        </Section>\n"
    "    </Flight.Sections>\n"
    "</SimBase.Document>\n";
inline const std::string kConverted = "\r\n[Main]\r\nTitle=Test \"one\"\r\n\r\n";

inline const std::string kUsage = "\nUsage: Sectify <filename.fxml>\n";
inline const std::string kCannotOpen = "\nFile could not be opened\n";
inline const std::string kTooLarge = "\nFile is too large to convert\n";
// The warning that `input` gives an empty output `because`, with its next
// step `step`.
inline std::string empty_output(const std::string& input, const std::string& because,
                                const std::string& step) {
  return "\nWarning: " + input + " gives an empty output, because " + because + "\n" + step;
}
inline const std::string kSaveAsAnsi =
    "Save the .fxml as Windows-1252 (\"ANSI\" in Notepad's Save as) and convert it again.\n";

inline std::string written(const std::string& name) { return "\nFile " + name + " written\n"; }
inline std::string not_written(const std::string& name) {
  return "File " + name + " could not be written";
}
inline std::string not_fxml(const std::string& argument) {
  return "\n" + argument + " is not an fxml file\n";
}

// What runs the program: setpriv for an unprivileged run, then the launcher
// and the program itself.
inline std::vector<std::string> command_words(const std::string& program = settings().program) {
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
inline bool nobody_can_run_program() {
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

  // Runs windows_helper.exe with `arguments`, as run() runs the program.
  Result run_helper(const std::vector<std::string>& arguments) {
    return run_words(command_words(settings().helper), arguments, "", " >.stdout 2>.stderr");
  }

  // Starts windows_helper.exe with `arguments`, its standard output into
  // the file `said`, and waits up to 30 s until it has said it is ready.
  pid_t start_helper(const std::vector<std::string>& arguments, const std::string& said) {
    const pid_t pid = start_words(command_words(settings().helper), arguments, said, "/dev/null");
    for (int i = 0; i < 6000 && read_file(path(said)).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
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

  // Writes `bytes` into the file `name` of the test's folder as a file of
  // the program's user, who owns it.
  void write_own_file(const std::string& name, const std::string& bytes) const {
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

  // Whether a run under wine ended by SIGKILL, which neither the tests nor
  // Sectify send: wine's server ends a process's threads so, in an exit
  // race that Windows does not have. Such a moment is run once more.
  static bool ended_by_wine(const Result& result) {
    return settings().windows && result.status == -SIGKILL;
  }

  // Removes every entry of the test's folder but `kept`.
  void remove_all_but(const std::string& kept) const {
    for (const std::string& name : folder_listing(dir_)) {
      if (name != kept) fs::remove_all(path(name));
    }
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
inline std::string name_of(const testing::TestParamInfo<Words>& info) { return info.param.name; }

}  // namespace cli_test

#endif  // SECTIFY_TESTS_CLI_HARNESS_H_
