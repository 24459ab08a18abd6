// How a run replaces the output and carries its rights, and which inputs
// it refuses to open.

#include "cli/harness.h"

namespace cli_test {

using Replacement = Cli;

TEST_F(Replacement, ReplacesExistingOutputAndLeavesNoTemporaryFile) {
  write_file(path("a.fxml"), kFlight);
  write_file(path("a.flt"), std::string(100000, 'o'));
  expect_success(run({"a.fxml"}), "a.flt");
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
  EXPECT_EQ(read_file(path("a.fxml")), kFlight);
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Replacement, NeverReplacesAFlightWithAnEmptyOutput) {
  const std::string tabs =
      "<?xml version=\"1.0\"?>\n<SimBase.Document>\n\t<Flight.Sections>\n"
      "\t\t<Section Name=\"Main\">\n\t\t\t<Property Name=\"a\" Value=\"b\" />\n\t\t</Section>\n";
  const std::string one_line =
      "<?xml version=\"1.0\"?><SimBase.Document><Flight.Sections><Section Name=\"Main\">"
      "<Property Name=\"a\" Value=\"b\" /></Section></Flight.Sections></SimBase.Document>";
  const std::string utf16 = "\xFF\xFE<\0?\0x\0m\0l\0\r\0\n\0"s;
  const std::string tabs_step =
      "Indent its lines with blanks, four to a level, instead of tabs, and convert it again.\n";
  const std::string one_line_step =
      "Save it with each element on a line of its own, as flight programs do, and convert it "
      "again.\n";
  const std::string no_main = "it has no Main section at the start of a line";
  const std::string no_main_step =
      "Check that it has a <Section Name=\"Main\"> line, after its first line, indented by "
      "blanks in fours.\n";
  struct Case {
    std::string name, input, because, step;
    const char* earlier;  // the earlier output, or none
  };
  const Case cases[] = {
      {"tabs", tabs, "its sections are indented with tabs (line 4)", tabs_step, "good\r\n"},
      {"tabs_new", tabs, "its sections are indented with tabs (line 4)", tabs_step, nullptr},
      {"one_line", one_line, "it is all on one line", one_line_step, "good\r\n"},
      {"one_line_new", one_line, "it is all on one line", one_line_step, nullptr},
      {"utf16", utf16, "it is UTF-16 text", kSaveAsAnsi, "good\r\n"},
      {"utf16_new", utf16, "it is UTF-16 text", kSaveAsAnsi, nullptr},
      // Main on the first line; an earlier output without a byte holds no
      // flight to keep.
      {"first", "<Section Name=\"Main\">\n<Property Name=\"a\" Value=\"b\" />\n", no_main,
       no_main_step, ""},
      {"empty", "", no_main, no_main_step, nullptr},
  };
  const auto a_day_ago = fs::file_time_type::clock::now() - std::chrono::hours(24);
  std::vector<std::string> names;
  for (const Case& c : cases) {
    write_file(path(c.name + ".fxml"), c.input);
    names.insert(names.end(), {c.name + ".flt", c.name + ".fxml"});
    if (c.earlier != nullptr) {
      write_file(path(c.name + ".flt"), c.earlier);
      fs::last_write_time(path(c.name + ".flt"), a_day_ago);
    }
    const Result result = run({c.name + ".fxml"});
    if (c.earlier != nullptr && *c.earlier != '\0') {
      expect_failure(result, "",
                     "\nFile " + c.name + ".flt was kept as it was: " + c.name +
                         ".fxml gives an empty output, because " + c.because + "\n");
      EXPECT_EQ(read_file(path(c.name + ".flt")), c.earlier) << c.name;
      EXPECT_EQ(fs::last_write_time(path(c.name + ".flt")), a_day_ago) << c.name;
    } else {
      EXPECT_EQ(result.status, 0) << c.name;
      EXPECT_EQ(result.out, written(c.name + ".flt")) << c.name;
      EXPECT_EQ(result.err, empty_output(c.name + ".fxml", c.because, c.step)) << c.name;
      EXPECT_EQ(read_file(path(c.name + ".flt")), "") << c.name;
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(folder_listing(dir_), names);
}

TEST_F(Replacement, KeepsEarlierOutputWhenWritingFails) {
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

TEST_F(Replacement, KeepsEarlierOutputOnAFullDisk) {
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

TEST_F(Replacement, RefusesToReplaceTheInputItself) {
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

TEST_F(Replacement, RefusesToReplaceReadOnlyOutput) {
  // Root too: permission bits would not stop a rename over the file.
  write_file(path("a.fxml"), kFlight);
  write_file(path("a.flt"), "kept\r\n");
  fs::permissions(path("a.flt"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  expect_failure(run({"a.fxml"}), "", "\nFile a.flt is read-only and was not replaced\n");
  EXPECT_EQ(read_file(path("a.flt")), "kept\r\n");
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Replacement, RefusesOutputNameTakenByFolderBeforeReading) {
  write_file(path("a.fxml"), kFlight);
  fs::create_directories(path("a.flt"));
  write_file(path("a.flt/keep"), "keep");
  expect_failure_because(run({"a.fxml"}), not_written("a.flt"), EISDIR);
  EXPECT_EQ(folder_listing(path("a.flt")), std::vector<std::string>{"keep"});
  EXPECT_EQ(folder_listing(dir_), (std::vector<std::string>{"a.flt", "a.fxml"}));
}

TEST_F(Replacement, ReplacesSymbolicLinkAtOutputNameNotItsTarget) {
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

TEST_F(Replacement, GivesTheOutputTheOwnerAndGroupOfItsInput) {
  if (settings().windows) GTEST_SKIP() << "Windows files have no owner the program keeps";
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  // Whoever owned the earlier output: the input decides.
  write_file(path("a.fxml"), kFlight);
  write_file(path("a.flt"), "old");
  ASSERT_EQ(chown(path("a.fxml").c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(chmod(path("a.fxml").c_str(), 0640), 0);
  expect_success(run({"a.fxml"}), "a.flt");
  struct stat replaced {};
  ASSERT_EQ(stat(path("a.flt").c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_uid, kNobody);
  EXPECT_EQ(replaced.st_gid, kNobody);
  // The portable build, which cannot see ACLs, gives the owner alone.
  EXPECT_EQ(replaced.st_mode & 07777, settings().portable ? 0600u : 0640u);
  EXPECT_EQ(read_file(path("a.flt")), kConverted);
}

TEST_F(Replacement, GivesTheOutputTheAccessBitsOfItsInput) {
  if (settings().windows) GTEST_SKIP() << "Windows files have no permission bits";
  struct Case {
    std::string name;
    mode_t input;
    mode_t earlier;  // 0: no file to replace
    const char* umask;
    mode_t expected;
  };
  // Neither the umask nor the earlier output counts; setuid and setgid are
  // never carried onto new content, and the sticky bit means nothing on a
  // file.
  const Case cases[] = {
      {"private", 0640, 0600, "umask 077;", 0640},
      {"wider_earlier", 0600, 0666, "umask 000;", 0600},
      {"setid", 06755, 0644, "umask 022;", 0755},
      {"sticky", 01644, 0, "umask 022;", 0644},
      {"new", 0664, 0, "umask 027;", 0664},
  };
  for (const Case& c : cases) {
    write_own_file(c.name + ".fxml", kFlight);
    ASSERT_EQ(chmod(path(c.name + ".fxml").c_str(), c.input), 0);
    if (c.earlier != 0) {
      write_own_file(c.name + ".flt", "old");
      ASSERT_EQ(chmod(path(c.name + ".flt").c_str(), c.earlier), 0);
    }
    expect_success(run({c.name + ".fxml"}, c.umask), c.name + ".flt");
    struct stat replaced {};
    ASSERT_EQ(stat(path(c.name + ".flt").c_str(), &replaced), 0);
    EXPECT_EQ(replaced.st_mode & 07777, settings().portable ? 0600u : c.expected) << c.name;
  }
}

TEST_F(Replacement, GivesTheOutputTheAccessControlListOfItsInput) {
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
  write_own_file("a.fxml", kFlight);
  write_own_file("a.flt", "old");
  ASSERT_EQ(chmod(path("a.fxml").c_str(), 0640), 0);
  // The owning group may read; nobody, named, may write, which widens the
  // mask and so the group bits that ls shows.
  const std::string grant = "setfacl -m u:nobody:rw- " + shell_quoted(path("a.fxml").string());
  if (std::system((grant + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "needs setfacl (Debian: acl) and ACLs on " << dir_;
  }
  const std::string input = acl_of("a.fxml");
  ASSERT_NE(input.find("user:nobody:rw-"), std::string::npos) << input;
  expect_success(run({"a.fxml"}), "a.flt");
  EXPECT_EQ(acl_of("a.flt"), input);
}

TEST_F(Replacement, ConvertsInAFolderItsUserMayWriteButNotRead) {
  // The folder cannot be opened to be synced, which is no failure.
  make_folder("w");
  write_file(path("w/a.fxml"), kFlight);
  write_file(path("w/a.flt"), "old");
  fs::permissions(path("w"), fs::perms::owner_write | fs::perms::owner_exec);
  const Result result = run({"w/a.fxml"});
  fs::permissions(path("w"), fs::perms::owner_all);
  if (settings().portable && !program_is_root()) {
    // POSIX alone opens such a folder only where O_SEARCH is, not on Linux.
    expect_failure(result, "", kCannotOpen);
    return;
  }
  expect_success(result, "w/a.flt");
  EXPECT_EQ(read_file(path("w/a.flt")), kConverted);
}

TEST_F(Replacement, ReportsInputWithoutReadPermission) {
  if (program_is_root()) GTEST_SKIP() << "running as root, whom permission bits do not stop";
  write_file(path("a.fxml"), kFlight);
  fs::permissions(path("a.fxml"), fs::perms::none);
  expect_failure(run({"a.fxml"}), "", kCannotOpen);
  EXPECT_FALSE(fs::exists(path("a.flt")));
}

TEST_F(Replacement, RefusesInputThatIsNoRegularFile) {
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
    // Files of the kernel's views, which procfs calls regular: one whose
    // reading fails, one that blocks and drains the kernel's log. The
    // portable build has no way to tell them.
    if (!settings().portable && fs::exists("/proc/kmsg")) {
      fs::create_symlink("/proc/self/mem", path("mem.fxml"));
      fs::create_symlink("/proc/kmsg", path("kmsg.fxml"));
      names.insert(names.end(), {"mem.fxml", "kmsg.fxml"});
    }
  }
  for (const std::string& name : names) {
    expect_failure(run({name}, kBound), "", kCannotOpen);
  }
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(folder_listing(dir_), sorted);
}

}  // namespace cli_test
