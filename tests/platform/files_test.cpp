// The file helpers: nothing is written through a link whatever stands in the
// file's place, every file written is 0600, and a replacement clears up the
// temporary files that killed replacements left behind.
#include "platform/files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes.h"

namespace rn {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

mode_t ModeOf(const fs::path& file) {
  struct stat info {};
  EXPECT_EQ(::lstat(file.c_str(), &info), 0) << file;
  return info.st_mode;
}

// What can stand in a file's place before the program writes it: each is
// prepared in `folder` at `file`, with `victim` a file of the user's outside
// the folder that must come through untouched.
struct TPlanted {
  const char* what;
  std::function<void(const fs::path& file, const fs::path& victim)> plant;
};

const std::vector<TPlanted>& Planted() {
  static const std::vector<TPlanted> planted = {
      {"nothing", [](const fs::path&, const fs::path&) {}},
      {"a file open to others",
       [](const fs::path& file, const fs::path&) {
         Write(file, "old");
         ::chmod(file.c_str(), 0644);
       }},
      {"a link to the victim",
       [](const fs::path& file, const fs::path& victim) { fs::create_symlink(victim, file); }},
      {"a link to a file not there yet",
       [](const fs::path& file, const fs::path& victim) {
         fs::create_symlink(victim.parent_path() / "made-through-the-link", file);
       }},
      {"a second name of the victim",
       [](const fs::path& file, const fs::path& victim) { fs::create_hard_link(victim, file); }},
      {"a FIFO",
       [](const fs::path& file, const fs::path&) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
  };
  return planted;
}

class FilesTest : public ::testing::Test {
 protected:
  test::TempFolder folder;   // the program folder
  test::TempFolder outside;  // the user's other files
  fs::path victim = outside / "precious.txt";
  void SetUp() override {
    Write(victim, "precious");
    ::chmod(victim.c_str(), 0644);
  }

  // The victim is as it was and nothing appeared beside it.
  void ExpectVictimUntouched() {
    EXPECT_EQ(Read(victim), "precious");
    EXPECT_EQ(ModeOf(victim) & 07777, 0644u);
    EXPECT_EQ(fs::hard_link_count(victim), 1u);
    EXPECT_FALSE(fs::exists(outside / "made-through-the-link"));
  }
  // The file is a plain file of one name, 0600, holding `text`.
  void ExpectPlainFile(const fs::path& file, const std::string& text) {
    const mode_t mode = ModeOf(file);
    EXPECT_TRUE(S_ISREG(mode));
    EXPECT_EQ(mode & 07777, 0600u);
    EXPECT_EQ(fs::hard_link_count(file), 1u);
    EXPECT_EQ(Read(file), text);
  }
};

TEST_F(FilesTest, ReplacementNeverWritesThroughWhatStandsInThePlace) {
  for (const TPlanted& p : Planted()) {
    SCOPED_TRACE(p.what);
    const fs::path file = folder / "NOTIFY.NTD";
    fs::remove(file);
    p.plant(file, victim);
    ReplaceFileAtomically(file, "new", 0600);
    ExpectPlainFile(file, "new");
    ExpectVictimUntouched();
  }
}

TEST_F(FilesTest, WritingInPlaceNeverWritesThroughWhatStandsInThePlace) {
  for (const TPlanted& p : Planted()) {
    for (const int flags : {O_WRONLY | O_CREAT | O_TRUNC, O_RDWR | O_CREAT}) {
      SCOPED_TRACE(std::string(p.what) + (flags & O_TRUNC ? ", truncating" : ", keeping"));
      const fs::path file = folder / "DEBUG.LOG";
      fs::remove(file);
      p.plant(file, victim);
      TFd fd = OpenPlainFile(file, flags);
      ASSERT_GE(fd.Get(), 0) << std::strerror(errno);
      ASSERT_TRUE(WriteAll(fd.Get(), "new"));
      fd = TFd();
      ExpectPlainFile(file, "new");
      ExpectVictimUntouched();
    }
  }
}

TEST_F(FilesTest, AppendingFindsNoFileWhereALinkStood) {
  const fs::path file = folder / "DEBUG.LOG";
  fs::create_symlink(victim, file);
  TFd fd = OpenPlainFile(file, O_WRONLY | O_APPEND);
  EXPECT_LT(fd.Get(), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
  ExpectVictimUntouched();

  Write(file, "line\n");
  ::chmod(file.c_str(), 0644);
  fd = OpenPlainFile(file, O_WRONLY | O_APPEND);
  ASSERT_GE(fd.Get(), 0);
  ASSERT_TRUE(WriteAll(fd.Get(), "more\n"));
  ExpectPlainFile(file, "line\nmore\n");
}

TEST_F(FilesTest, AFolderInThePlaceIsAnError) {
  const fs::path file = folder / "DEBUG.LOG";
  fs::create_directory(file);
  EXPECT_LT(OpenPlainFile(file, O_WRONLY | O_CREAT | O_TRUNC).Get(), 0);
  EXPECT_THROW(ReplaceFileAtomically(file, "new", 0600), std::system_error);
  EXPECT_TRUE(fs::is_directory(file));
}

// Temporary names as replacements of NOTIFY.NTD make them.
TEST_F(FilesTest, ReplacementRemovesOnlyTheStaleTemporariesOfItsOwnFile) {
  const fs::path file = folder / "NOTIFY.NTD";
  const std::vector<std::string> stale = {".NOTIFY.NTD.a1B2c3", ".NOTIFY.NTD.ZZZZZZ"};
  const std::vector<std::string> kept = {
      ".NOTIFY.NTD.a1B2c", ".NOTIFY.NTD.a1B2c34", ".TASK.NTD.a1B2c3",
      "NOTIFY.NTD.a1B2c3", ".NOTIFY.NTD.a1-2c3",  ".NOTIFY.NTD.live01",
  };
  for (const std::string& name : stale)
    Write(folder / name, "scrambled password");
  for (const std::string& name : kept)
    Write(folder / name, "other");
  // A replacement still running holds the lock on its temporary file.
  TFd live(::open((folder / ".NOTIFY.NTD.live01").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(live.Get(), LOCK_EX), 0);
  fs::create_directory(folder / ".NOTIFY.NTD.dir001");
  fs::create_symlink(victim, folder / ".NOTIFY.NTD.link01");

  ReplaceFileAtomically(file, "new", 0600);
  for (const std::string& name : stale)
    EXPECT_FALSE(fs::exists(folder / name)) << name;
  for (const std::string& name : kept)
    EXPECT_EQ(Read(folder / name), "other") << name;
  EXPECT_TRUE(fs::is_directory(folder / ".NOTIFY.NTD.dir001"));
  EXPECT_TRUE(fs::is_symlink(folder / ".NOTIFY.NTD.link01"));
  ExpectVictimUntouched();
}

// Saves killed at any moment leave temporary files; the next save that
// completes leaves none, and the file is always one whole version.
TEST_F(FilesTest, KilledReplacementsLeaveNothingBehindTheNextOne) {
  const fs::path file = folder / "registry.reg";
  const std::string first(20000, 'a'), second(20000, 'b');
  ReplaceFileAtomically(file, first, 0600);
  for (int round = 0; round < 40; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;)
        ReplaceFileAtomically(file, round % 2 ? first : second, 0600);
    }
    ::usleep(static_cast<useconds_t>(200 + 97 * round));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::string now = Read(file);
    EXPECT_TRUE(now == first || now == second);
  }
  ReplaceFileAtomically(file, "last", 0600);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.Path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"registry.reg"});
  ExpectPlainFile(file, "last");
}

}  // namespace
}  // namespace rn
