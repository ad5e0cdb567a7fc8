#include "platform/folders.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/files.h"
#include "platform/text.h"

namespace rn {
namespace {

namespace fs = std::filesystem;

// How long TryLock and Holder wait out a lock that is only being looked at,
// or a holder that has not yet written its name: 50 times 20 ms.
constexpr int kLockAttempts = 50;
constexpr auto kLockRetryPause = std::chrono::milliseconds(20);

std::string ErrnoText(int error) {
  return std::strerror(error);
}

// The base folder named by `variable`, else `fallback` under the home folder.
// A relative value names no folder (the XDG conventions ignore it). Without a
// home there is no folder of the user's own, and a shared one such as /tmp
// could hold folders or links prepared by another user.
fs::path BaseDir(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && *value == '/')
    return value;
  const char* home = std::getenv("HOME");
  if (home && *home == '/')
    return fs::path(home) / fallback;
  throw EFolderError(
      std::string(home && *home ? "HOME is not an absolute path" : "HOME is not set") +
      " and neither is " + variable +
      ": Ravenote keeps its files only in a folder of your own. Set HOME (or " + variable +
      ") and start again.");
}

// Creates the missing folders of `folder`, outermost first, each 0700.
void MakeFolders(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec))
    return;
  const fs::path parent = folder.parent_path();
  if (!parent.empty() && parent != folder)
    MakeFolders(parent);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throw EFolderError("cannot create the folder " + folder.string() + ": " + ErrnoText(errno));
  }
}

// Opens the lock file, refusing a link, anything but a regular file and a
// file of another user. Without `create`, a missing file gives -1.
int OpenLockFile(const fs::path& file, bool create) {
  const int flags =
      (create ? O_RDWR | O_CREAT : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  TFd fd(::open(file.c_str(), flags, 0600));
  if (fd.Get() < 0) {
    const int error = errno;
    if (error == ENOENT && !create)
      return -1;
    if (error == EISDIR)
      throw EFolderError(file.string() + " is not a regular file. Remove it and start again.");
    if (error == ELOOP) {
      throw EFolderError(file.string() +
                         " is a symbolic link; Ravenote never opens its files through one. "
                         "Remove it and start again.");
    }
    throw EFolderError("cannot open " + file.string() + ": " + ErrnoText(error));
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0)
    throw EFolderError("cannot examine " + file.string() + ": " + ErrnoText(errno));
  if (!S_ISREG(info.st_mode)) {
    throw EFolderError(file.string() + " is not a regular file. Remove it and start again.");
  }
  if (info.st_uid != ::geteuid()) {
    throw EFolderError(file.string() + " belongs to another user (user id " +
                       std::to_string(info.st_uid) + "). Remove it and start again.");
  }
  if (create && (info.st_mode & 07777) != 0600)
    ::fchmod(fd.Get(), 0600);
  return fd.Release();
}

// "PROGRAM PID" as the holder wrote it; what cannot be read stays unknown.
TLockHolder ReadHolder(int fd) {
  char buffer[256];
  const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
  TLockHolder holder;
  if (n <= 0)
    return holder;
  buffer[n] = '\0';
  char program[128] = "";
  long pid = 0;
  if (std::sscanf(buffer, "%127s %ld", program, &pid) == 2 && pid > 0) {
    holder.Program = program;
    holder.Pid = static_cast<pid_t>(pid);
  }
  return holder;
}

bool Alive(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

void CheckOwnFolder(const fs::path& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0)
    throw EFolderError("cannot use the folder " + folder.string() + ": " + ErrnoText(errno));
  if (!S_ISDIR(info.st_mode))
    throw EFolderError(folder.string() + " is not a folder.");
  if (info.st_uid != ::geteuid()) {
    throw EFolderError("the folder " + folder.string() + " belongs to another user (user id " +
                       std::to_string(info.st_uid) +
                       "): Ravenote keeps its files only in a folder of your own.");
  }
  if (info.st_mode & (S_IWGRP | S_IWOTH)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    throw EFolderError("the folder " + folder.string() + " may be written by " +
                       ((info.st_mode & S_IWOTH) ? "others" : "its group") + " (mode " + mode +
                       "): Ravenote keeps its files only in a folder of your own. Make it "
                       "private (chmod 700 " +
                       folder.string() + ") and start again.");
  }
}

void EnsureFolder(const fs::path& folder) {
  MakeFolders(folder);
  CheckOwnFolder(folder);
}

fs::path ProgramFolder() {
  auto folder = BaseDir("XDG_STATE_HOME", ".local/state") / "ravenote";
  EnsureFolder(folder);
  return folder;
}

fs::path RegistryFilePath() {
  const fs::path folder = BaseDir("XDG_CONFIG_HOME", ".config") / "ravenote";
  std::error_code ec;
  if (fs::exists(folder, ec))
    CheckOwnFolder(folder);
  return folder / "registry.reg";
}

fs::path DataFolder() {
  return BaseDir("XDG_DATA_HOME", ".local/share") / "ravenote";
}

// ---- the folder lock ----

TFolderLock::~TFolderLock() {
  Unlock();
}

TFolderLock::TFolderLock(TFolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TFolderLock& TFolderLock::operator=(TFolderLock&& other) noexcept {
  if (this != &other) {
    Unlock();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void TFolderLock::Unlock() {
  if (fd_ < 0)
    return;
  // The name goes first, so the file never names a program that has let go.
  if (::ftruncate(fd_, 0) != 0) {
    // the lock ends with the descriptor all the same
  }
  ::close(fd_);
  fd_ = -1;
}

bool TFolderLock::TryLock(const fs::path& folder, const std::string& program) {
  Unlock();
  const fs::path file = folder / kLockFileName;
  TFd fd(OpenLockFile(file, true));
  for (int attempt = 1;; ++attempt) {
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0)
      break;
    if (errno == EINTR)
      continue;
    if (errno != EWOULDBLOCK)
      throw EFolderError("cannot lock " + file.string() + ": " + ErrnoText(errno));
    // A running program names itself in the file; a lock without a living
    // name is someone looking for a moment, or a holder about to write it.
    const TLockHolder holder = ReadHolder(fd.Get());
    if ((holder.Pid > 0 && Alive(holder.Pid)) || attempt >= kLockAttempts)
      return false;
    std::this_thread::sleep_for(kLockRetryPause);
  }
  const std::string name = program + " " + std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd.Get(), 0) != 0 ||
      ::pwrite(fd.Get(), name.data(), name.size(), 0) != static_cast<ssize_t>(name.size())) {
    // The lock holds without the name; a second copy is refused all the same,
    // only told less about who holds it.
  }
  fd_ = fd.Release();
  return true;
}

std::optional<TLockHolder> TFolderLock::Holder(const fs::path& folder) {
  const fs::path file = folder / kLockFileName;
  TFd fd(OpenLockFile(file, false));
  if (fd.Get() < 0)
    return std::nullopt;
  for (int attempt = 1;; ++attempt) {
    if (::flock(fd.Get(), LOCK_SH | LOCK_NB) == 0) {
      ::flock(fd.Get(), LOCK_UN);
      return std::nullopt;
    }
    if (errno == EINTR)
      continue;
    if (errno != EWOULDBLOCK)
      throw EFolderError("cannot look at " + file.string() + ": " + ErrnoText(errno));
    TLockHolder holder = ReadHolder(fd.Get());
    if (holder.Pid > 0 || attempt >= kLockAttempts)
      return holder;
    std::this_thread::sleep_for(kLockRetryPause);
  }
}

std::string HolderText(const TLockHolder& holder) {
  std::string text = holder.Program.empty() ? "another program" : holder.Program;
  if (holder.Pid > 0)
    text += " (process " + std::to_string(holder.Pid) + ")";
  return text;
}

void OutputDebugString(const std::string& text) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::fprintf(stderr, "%s\n", EscapeControls(text).c_str());
  std::fflush(stderr);
}

}  // namespace rn
