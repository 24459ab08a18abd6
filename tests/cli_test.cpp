// Runs the built program in a temporary folder and checks what it prints,
// its exit status and the files it leaves. The program is a parameter:
//   cli_tests --program=PATH [--launcher=COMMAND] [--windows] --examples=DIR
// so that the same tests serve a Windows build run under an emulator.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct Settings {
  std::string program;
  std::string launcher;
  std::string examples;
  bool windows = false;
};

Settings& settings() {
  static Settings value;
  return value;
}

struct Result {
  int status = -1;
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
const std::string kCannotRead = "\nFile could not be read\n";
const std::string kTooLarge = "\nFile is too large to convert\n";
const std::string kNoMain = "\nWarning: no Main section found, the output is empty\n";

std::string written(const std::string& name) { return "\nFile " + name + " written\n"; }
std::string not_written(const std::string& name) {
  return "\nFile " + name + " could not be written\n";
}
std::string not_fxml(const std::string& argument) {
  return "\n" + argument + " is not an fxml file\n";
}

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sectify-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
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
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + shell_prefix;
    if (!settings().launcher.empty()) command += " " + settings().launcher;
    command += " " + shell_quoted(settings().program);
    for (const std::string& argument : arguments) command += " " + shell_quoted(argument);
    command += " >" + stdout_file + " 2>.stderr";
    const int raw = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = console_text(read_file(dir_ / ".stdout"));
    result.err = console_text(read_file(dir_ / ".stderr"));
    fs::remove(dir_ / ".stdout");
    fs::remove(dir_ / ".stderr");
    return result;
  }

  fs::path path(const std::string& name) const { return dir_ / name; }

  void expect_failure(const Result& result, const std::string& out, const std::string& err) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
  }

  void expect_success(const Result& result, const std::string& output_name) {
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, written(output_name));
    EXPECT_EQ(result.err, "");
  }

  fs::path dir_;
};

TEST_F(Cli, WrongArgumentCountPrintsUsage) {
  write_file(path("a.fxml"), kFlight);
  expect_failure(run({}), kUsage, "");
  expect_failure(run({"a.fxml", "a.fxml"}), kUsage, "");
  EXPECT_EQ(folder_listing(dir_), std::vector<std::string>{"a.fxml"});
}

TEST_F(Cli, RejectsArgumentsThatNameNoFxmlFile) {
  for (const std::string name : {"A.FXML", "a.Fxml", ".fxml", ".fxml.fxml", "saves.fxml/a.txt"}) {
    fs::create_directories(path("saves.fxml"));
    write_file(path(name), kFlight);
    expect_failure(run({name}), not_fxml(name), "");
  }
  expect_failure(run({""}), not_fxml(""), "");
  EXPECT_FALSE(fs::exists(path(".flt")));
  EXPECT_FALSE(fs::exists(path("saves.flt")));
}

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
  fs::create_directories(path("saves.fxml"));
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
             "x\n<Section Name=\"Main\">\na\0b\x1A"
             "c\xB0\r\n"s);
  expect_success(run({"a.fxml"}), "a.flt");
  EXPECT_EQ(read_file(path("a.flt")),
            "\r\n[Main]\r\na\0b\x1A"
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

TEST_F(Cli, ReportsInputThatCannotBeOpened) {
  expect_failure(run({"missing.fxml"}), "", kCannotOpen);
  fs::create_directories(path("folder.fxml"));
  expect_failure(run({"folder.fxml"}), "", kCannotOpen);
  EXPECT_EQ(folder_listing(dir_), std::vector<std::string>{"folder.fxml"});
}

TEST_F(Cli, ReportsInputWithoutReadPermission) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root, whom permission bits do not stop";
  write_file(path("a.fxml"), kFlight);
  fs::permissions(path("a.fxml"), fs::perms::none);
  expect_failure(run({"a.fxml"}), "", kCannotOpen);
  EXPECT_FALSE(fs::exists(path("a.flt")));
}

TEST_F(Cli, ReportsReadErrorAfterOpening) {
  // /proc/self/mem opens, but reading its first page fails.
  if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem here";
  fs::create_symlink("/proc/self/mem", path("a.fxml"));
  expect_failure(run({"a.fxml"}), "", kCannotRead);
  EXPECT_FALSE(fs::exists(path("a.flt")));
}

TEST_F(Cli, KeepsEarlierOutputWhenWritingFails) {
  // With a file size limit and SIGXFSZ ignored, write() fails with EFBIG.
  std::string big;
  for (int i = 0; i < 4000; ++i) big += "<Property Name=\"n\" Value=\"0123456789\" />\n";
  write_file(path("a.fxml"), "x\n<Section Name=\"Main\">\n" + big);
  const std::string earlier = "earlier output\r\n";
  write_file(path("a.flt"), earlier);
  expect_failure(run({"a.fxml"}, "trap '' XFSZ; ulimit -f 32;"), "", not_written("a.flt"));
  EXPECT_EQ(read_file(path("a.flt")), earlier);
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
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
      "            <Property Name=\"Wind\" Value=\"045&#xB0; at      12 kt\" />\r\n"
      "            <Property Name=\"Note\" Value=\"pilot&apos;s &amp; crew\" />\r\n"
      "            <Property Name=\"Empty\" Value=\"\" />\r\n"
      "        </Section>\r\n";
  static constexpr const char* kTail = "    </Flight.Sections>\r\n</SimBase.Document>\r\n";
  static constexpr const char* kOutputHead = "\r\n[Main]\r\nTitle=Long \"haul\"\r\n\r\n";
  static constexpr const char* kOutputSection =
      "[Waypoint]\r\nWind=045\xB0 at  12 kt\r\nNote=pilot's &amp; crew\r\nEmpty=\r\n\r\n";

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
  expect_failure(run({"a.fxml"}, "", "/dev/full"), "", "\nStandard output could not be written\n");
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Cli, ReportsOutputNameTakenByFolder) {
  write_file(path("a.fxml"), kFlight);
  fs::create_directories(path("a.flt"));
  write_file(path("a.flt/keep"), "keep");
  expect_failure(run({"a.fxml"}), "", not_written("a.flt"));
  EXPECT_EQ(folder_listing(path("a.flt")), std::vector<std::string>{"keep"});
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Cli, ReplacesSymbolicLinkAtOutputNameNotItsTarget) {
  write_file(path("a.fxml"), kFlight);
  fs::create_symlink("a.fxml", path("a.flt"));
  expect_success(run({"a.fxml"}), "a.flt");
  EXPECT_EQ(read_file(path("a.fxml")), kFlight);
  EXPECT_FALSE(fs::is_symlink(path("a.flt")));
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Cli, KeepsPermissionBitsOfReplacedFile) {
  if (settings().windows) GTEST_SKIP() << "Windows files have no permission bits";
  write_file(path("a.fxml"), kFlight);
  write_file(path("b.fxml"), kFlight);
  write_file(path("a.flt"), "old");
  fs::permissions(path("a.flt"),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  expect_success(run({"a.fxml"}, "umask 077;"), "a.flt");
  expect_success(run({"b.fxml"}, "umask 027;"), "b.flt");
  EXPECT_EQ(fs::status(path("a.flt")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(fs::status(path("b.flt")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(Cli, TreatsBackslashAsSeparatorOnWindows) {
  if (!settings().windows) GTEST_SKIP() << "only Windows separates folders with '\\'";
  fs::create_directories(path("saves.fxml"));
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

TEST_F(Cli, ConvertsFileLargerThanA32BitProcessCanAddress) {
  if (!is_32bit_windows_program(settings().program)) {
    GTEST_SKIP() << "only a 32-bit program cannot hold a file of 2.2 GiB";
  }
  const RepeatedFlight flight(path("big.fxml"), std::uint64_t{2253} << 20);
  expect_success(run({"big.fxml"}), "big.flt");
  EXPECT_TRUE(flight.is_output(path("big.flt")));
}

TEST_F(Cli, RejectsLineTooLargeForA32BitProcess) {
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
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&](const std::string& flag) { return argument.substr(flag.size()); };
    if (argument.rfind("--program=", 0) == 0) {
      settings().program = fs::absolute(value("--program=")).string();
    } else if (argument.rfind("--launcher=", 0) == 0) {
      settings().launcher = value("--launcher=");
    } else if (argument.rfind("--examples=", 0) == 0) {
      settings().examples = fs::absolute(value("--examples=")).string();
    } else if (argument == "--windows") {
      settings().windows = true;
    } else {
      std::fprintf(stderr, "cli_tests: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (settings().program.empty() || settings().examples.empty()) {
    std::fprintf(stderr,
                 "usage: cli_tests --program=PATH [--launcher=COMMAND] [--windows] "
                 "--examples=DIR\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
