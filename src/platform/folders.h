// Where the program keeps its files, after the XDG base-directory conventions,
// and the lock that lets one engine at a time work in the program folder.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace rn {

// A folder the program cannot use: no home to find it in, or one that is not
// the user's own. The text says what is wrong and what to do.
class EFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// $XDG_STATE_HOME/ravenote (default ~/.local/state/ravenote), created 0700 and
// checked to be the user's own: the state files, the diagnostic log and the
// key dumps. Throws EFolderError.
std::filesystem::path ProgramFolder();
// $XDG_CONFIG_HOME/ravenote/registry.reg (default ~/.config): the settings.
// The file's folder, when it exists, is checked like the program folder.
// Throws EFolderError.
std::filesystem::path RegistryFilePath();
// $XDG_DATA_HOME/ravenote (default ~/.local/share/ravenote): the default local
// store. Throws EFolderError when there is no home to find it in.
std::filesystem::path DataFolder();

// Creates the folder, and any missing parents, with mode 0700, then checks it
// as CheckOwnFolder does. Throws EFolderError.
void EnsureFolder(const std::filesystem::path& folder);
// Throws EFolderError unless `folder` is a folder owned by the user that
// neither its group nor others may write to: files kept there cannot then be
// replaced or linked elsewhere by another user.
void CheckOwnFolder(const std::filesystem::path& folder);

// The process holding a program folder's lock.
struct TLockHolder {
  std::string Program;  // "ravenoted", "ravenote"; empty when not known
  pid_t Pid = 0;        // 0 when not known
};

inline constexpr const char* kLockFileName = "RAVENOTE.LCK";

// One engine per program folder: an advisory lock (flock) on the file
// RAVENOTE.LCK in the folder, which holds the program's name and process id.
// The lock lasts as long as the object, or until the process ends, however it
// ends. The file is never opened through a symbolic link and is mode 0600.
class TFolderLock {
 public:
  TFolderLock() = default;
  ~TFolderLock();
  TFolderLock(TFolderLock&& other) noexcept;
  TFolderLock& operator=(TFolderLock&& other) noexcept;

  // Takes the lock of `folder` for `program`; false when another process (or
  // another TFolderLock) holds it. Throws EFolderError when the lock file
  // cannot be used: a link, not a regular file, not the user's own.
  bool TryLock(const std::filesystem::path& folder, const std::string& program);
  bool Locked() const { return fd_ >= 0; }
  void Unlock();

  // Who holds the lock of `folder` now; nothing when no one does. It looks
  // with a shared lock held for a moment, which TryLock waits out, so asking
  // never keeps an engine from starting.
  static std::optional<TLockHolder> Holder(const std::filesystem::path& folder);

 private:
  int fd_ = -1;
};

// The holder in words: "ravenoted (process 1234)".
std::string HolderText(const TLockHolder& holder);

// Writes one line of "debugger output": standard error, where the journal of a
// user service keeps it, with its control characters escaped.
void OutputDebugString(const std::string& text);

}  // namespace rn
