#include "platform/folders.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>

#include "../support/fakes.h"

namespace rn {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using ::testing::HasSubstr;

// The variables the folders come from, set for one test and put back after.
class Environment {
 public:
  explicit Environment(const std::map<std::string, std::optional<std::string>>& values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
      Set(name, value);
    }
  }
  ~Environment() {
    for (const auto& [name, value] : saved_)
      Set(name, value);
  }

 private:
  static void Set(const std::string& name, const std::optional<std::string>& value) {
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(Folders, TheUsersFoldersComeFromTheXdgVariablesOrTheHome) {
  TempFolder root;
  const std::string home = (root / "home").string();
  const std::string state = (root / "state").string();
  struct Case {
    const char* what;
    std::optional<std::string> home, xdgState;
    std::string folder;  // the program folder; empty: refused
    std::string said;
  } cases[] = {
      {"the variable", home, state, state + "/ravenote", ""},
      {"the home", home, std::nullopt, home + "/.local/state/ravenote", ""},
      {"a relative variable names no folder", home, "state", home + "/.local/state/ravenote", ""},
      {"no home but the variable", std::nullopt, state, state + "/ravenote", ""},
      {"neither", std::nullopt, std::nullopt, "", "HOME is not set and neither is XDG_STATE_HOME"},
      {"an empty home", "", std::nullopt, "", "HOME is not set"},
      {"a relative home", "home", std::nullopt, "", "HOME is not an absolute path"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Environment env({{"HOME", c.home}, {"XDG_STATE_HOME", c.xdgState}});
    if (c.folder.empty()) {
      try {
        ProgramFolder();
        ADD_FAILURE() << "a folder was found";
      } catch (const EFolderError& error) {
        EXPECT_THAT(error.what(), HasSubstr(c.said));
      }
      continue;
    }
    EXPECT_EQ(ProgramFolder(), c.folder);
    EXPECT_EQ(ModeOf(c.folder), 0700u);
  }
  // Without a home nothing at all is found, so nothing lands in a shared folder.
  Environment none({{"HOME", std::nullopt},
                    {"XDG_STATE_HOME", std::nullopt},
                    {"XDG_CONFIG_HOME", std::nullopt},
                    {"XDG_DATA_HOME", std::nullopt}});
  EXPECT_THROW(RegistryFilePath(), EFolderError);
  EXPECT_THROW(DataFolder(), EFolderError);
}

TEST(Folders, MissingFoldersAreMadePrivateOnTheWayDown) {
  TempFolder root;
  const fs::path folder = root / "a/b/ravenote";
  EnsureFolder(folder);
  for (const fs::path& made : {root / "a", root / "a/b", folder})
    EXPECT_EQ(ModeOf(made), 0700u) << made;
}

TEST(Folders, OnlyAFolderOfTheUsersOwnIsUsed) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> make;
    std::string said;  // empty: the folder is fine
  } cases[] = {
      {"private", [](const fs::path& f) { fs::create_directory(f); }, ""},
      {"readable by others",
       [](const fs::path& f) {
         fs::create_directory(f);
         ::chmod(f.c_str(), 0755);
       },
       ""},
      {"writable by its group",
       [](const fs::path& f) {
         fs::create_directory(f);
         ::chmod(f.c_str(), 0770);
       },
       "may be written by its group (mode 0770)"},
      {"writable by all, sticky",
       [](const fs::path& f) {
         fs::create_directory(f);
         ::chmod(f.c_str(), 01777);
       },
       "may be written by others (mode 1777)"},
      {"a file", [](const fs::path& f) { std::ofstream(f) << "x"; }, "is not a folder"},
      {"a link to a private folder of the user's",
       [](const fs::path& f) {
         fs::create_directory(f.string() + ".real");
         ::chmod((f.string() + ".real").c_str(), 0700);
         fs::create_directory_symlink(f.string() + ".real", f);
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder root;
    const fs::path folder = root / "ravenote";
    c.make(folder);
    if (c.said.empty()) {
      EXPECT_NO_THROW(EnsureFolder(folder));
      continue;
    }
    try {
      EnsureFolder(folder);
      ADD_FAILURE() << "the folder was taken";
    } catch (const EFolderError& error) {
      EXPECT_THAT(error.what(), HasSubstr(c.said));
      EXPECT_THAT(error.what(), HasSubstr(folder.string()));
    }
  }
}

TEST(Folders, AFolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "only root can give a folder to another user";
  TempFolder root;
  const fs::path folder = root / "ravenote";
  fs::create_directory(folder);
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  try {
    CheckOwnFolder(folder);
    ADD_FAILURE() << "the folder was taken";
  } catch (const EFolderError& error) {
    EXPECT_THAT(error.what(), HasSubstr("belongs to another user (user id 65534)"));
  }
}

TEST(Folders, TheRegistryFilesFolderIsCheckedWhenItIsThereAndNeverMade) {
  TempFolder root;
  Environment env({{"XDG_CONFIG_HOME", root.Path().string()}});
  EXPECT_EQ(RegistryFilePath(), root / "ravenote/registry.reg");
  EXPECT_FALSE(fs::exists(root / "ravenote"));
  fs::create_directory(root / "ravenote");
  ::chmod((root / "ravenote").c_str(), 0777);
  EXPECT_THROW(RegistryFilePath(), EFolderError);
}

// ---- the folder lock ----

TEST(FolderLock, OneHolderAtATimeWhoSaysWhoItIs) {
  TempFolder folder;
  EXPECT_FALSE(TFolderLock::Holder(folder.Path()));
  EXPECT_FALSE(fs::exists(folder / kLockFileName));  // asking makes nothing

  TFolderLock first;
  ASSERT_TRUE(first.TryLock(folder.Path(), "ravenoted"));
  EXPECT_EQ(ModeOf(folder / kLockFileName), 0600u);
  TFolderLock second;
  EXPECT_FALSE(second.TryLock(folder.Path(), "ravenote"));
  EXPECT_FALSE(second.Locked());
  const std::optional<TLockHolder> holder = TFolderLock::Holder(folder.Path());
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->Program, "ravenoted");
  EXPECT_EQ(holder->Pid, ::getpid());
  EXPECT_EQ(HolderText(*holder), "ravenoted (process " + std::to_string(::getpid()) + ")");
  // Asking did not take the lock from the holder.
  EXPECT_FALSE(second.TryLock(folder.Path(), "ravenote"));

  TFolderLock moved = std::move(first);
  EXPECT_TRUE(moved.Locked());
  EXPECT_FALSE(second.TryLock(folder.Path(), "ravenote"));
  moved.Unlock();
  EXPECT_FALSE(TFolderLock::Holder(folder.Path()));
  EXPECT_TRUE(second.TryLock(folder.Path(), "ravenote"));
}

TEST(FolderLock, TheLockEndsWithItsProcessHoweverItEnds) {
  TempFolder folder;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    TFolderLock lock;
    const char taken = lock.TryLock(folder.Path(), "ravenoted") ? 'y' : 'n';
    (void)!::write(ready[1], &taken, 1);
    ::pause();  // until killed
    ::_exit(0);
  }
  char taken = 0;
  ASSERT_EQ(::read(ready[0], &taken, 1), 1);
  ASSERT_EQ(taken, 'y');
  TFolderLock mine;
  EXPECT_FALSE(mine.TryLock(folder.Path(), "ravenoted"));
  EXPECT_EQ(TFolderLock::Holder(folder.Path())->Pid, child);

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(mine.TryLock(folder.Path(), "ravenoted"));
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(FolderLock, ALockFileThatIsNotAPlainFileOfTheUsersIsRefused) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& folder)> make;
    std::string said;
  } cases[] = {
      {"a link", [](const fs::path& f) { fs::create_symlink(f / "elsewhere", f / kLockFileName); },
       "is a symbolic link"},
      {"a folder", [](const fs::path& f) { fs::create_directory(f / kLockFileName); },
       "is not a regular file"},
      {"a pipe", [](const fs::path& f) { ::mkfifo((f / kLockFileName).c_str(), 0600); },
       "is not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    c.make(folder.Path());
    TFolderLock lock;
    try {
      lock.TryLock(folder.Path(), "ravenoted");
      ADD_FAILURE() << "the lock was taken";
    } catch (const EFolderError& error) {
      EXPECT_THAT(error.what(), HasSubstr(c.said));
    }
    EXPECT_FALSE(fs::exists(folder / "elsewhere"));  // nothing made through the link
    EXPECT_THROW(TFolderLock::Holder(folder.Path()), EFolderError);
  }
}

}  // namespace
}  // namespace rn
