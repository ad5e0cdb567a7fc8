// Small file helpers shared by everything that writes the user's files.
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
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }
  // Gives up ownership without closing.
  int Release();

 private:
  int fd_;
};

// Replaces `file` with `contents` so that a crash, a full disk or any other
// failure leaves the old file whole: a hidden temporary file in the same
// folder is written, flushed to disk and renamed over the old one, then the
// folder is flushed. `mode` is the new file's mode; without one it keeps the
// old file's mode (0600 for a new file). Throws std::system_error whose text
// says which step failed; the temporary file is removed on every failure.
void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                           std::optional<mode_t> mode = std::nullopt);

}  // namespace rn
