// Small file helpers shared by everything that writes the user's files. No
// file is ever written through a link: a replacement renames a new file over
// the old name, and a file written in place is opened without following a
// symbolic link and must be a plain file with no other name.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace rn {

// Owns a file descriptor and closes it.
class TFd {
 public:
  explicit TFd(int fd = -1) : fd_(fd) {}
  ~TFd();
  TFd(TFd&& other) noexcept : fd_(other.Release()) {}
  TFd& operator=(TFd&& other) noexcept;
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }
  // Gives up ownership without closing.
  int Release();

 private:
  int fd_;
};

// Writes all of `data` to `fd`, going on after interruptions and short
// writes; false with errno set when a write fails.
bool WriteAll(int fd, std::string_view data);

// Replaces `file` with `contents` so that a crash, a full disk or any other
// failure leaves the old file whole: a hidden temporary file in the same
// folder is written, flushed to disk and renamed over the old one, then the
// folder is flushed. `mode` is the new file's mode; without one it keeps the
// old file's mode (0600 for a new file). A symbolic link in the file's place
// is replaced, never followed. Temporary files that replacements of the same
// file killed half-way left behind are removed. Throws std::system_error
// whose text says which step failed; the temporary file is removed on every
// failure.
void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                           std::optional<mode_t> mode = std::nullopt);

// Opens `file` for writing in place, as open(2) with `flags` (O_WRONLY or
// O_RDWR, with O_CREAT, O_TRUNC or O_APPEND as wanted) would, but never
// through a link: a symbolic link, a second name of another file or anything
// else that is not a plain file in the file's place is removed and, with
// O_CREAT, a new file made. The file gets `mode` whether it is new or not.
// On failure the descriptor is -1 and errno says why (ENOENT without O_CREAT
// when there is no file).
TFd OpenPlainFile(const std::filesystem::path& file, int flags, mode_t mode = 0600);

}  // namespace rn
