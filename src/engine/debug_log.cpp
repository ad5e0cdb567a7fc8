// The engine's diagnostic log. Lines collect in a deque (the cut-back drops
// thousands of front lines at once) and the whole buffer is written to
// DEBUG.LOG once every 250 new lines, after an error and at the end.
#include "engine/debug_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace rn {
namespace {

constexpr const char* kLogName = "DEBUG.LOG";
constexpr const char* kBackupName = "backup_DEBUG.LOG";

[[noreturn]] void ThrowWriteError(const std::filesystem::path& file, int error) {
  throw std::runtime_error("Unable to write " + file.string() + ": " + std::strerror(error));
}

// Replaces the file's contents with the lines, each ended by CR LF. The file
// is overwritten in place, so a read-only DEBUG.LOG stays read-only and fails.
void WriteLines(const std::filesystem::path& file, const std::deque<std::string>& lines) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0)
    ThrowWriteError(file, errno);
  std::string chunk;
  chunk.reserve(1 << 16);
  auto flush = [&] {
    size_t done = 0;
    while (done < chunk.size()) {
      const ssize_t n = ::write(fd, chunk.data() + done, chunk.size() - done);
      if (n < 0) {
        if (errno == EINTR)
          continue;
        const int error = errno;
        ::close(fd);
        ThrowWriteError(file, error);
      }
      done += static_cast<size_t>(n);
    }
    chunk.clear();
  };
  for (const std::string& line : lines) {
    chunk += line;
    chunk += "\r\n";
    if (chunk.size() >= (1 << 16))
      flush();
  }
  flush();
  if (::close(fd) != 0)
    ThrowWriteError(file, errno);
}

}  // namespace

TDebugLog::TDebugLog(std::filesystem::path folder, IClock& clock,
                     std::function<bool()> stopRequested)
    : folder_(std::move(folder)), clock_(clock), stopRequested_(std::move(stopRequested)) {}

std::filesystem::path TDebugLog::LogFile() const {
  return folder_ / kLogName;
}
std::filesystem::path TDebugLog::BackupFile() const {
  return folder_ / kBackupName;
}

void TDebugLog::DebugLog(const std::string& message) noexcept {
  try {
    if (!Enabled)
      return;
    lines_.push_back(DateTimeText(clock_.Now()) + ": " + message);

    if (lines_.size() > saveMark_ + kLogWriteEvery) {
      try {
        WriteLines(LogFile(), lines_);
      } catch (const std::exception& error) {
        lines_.push_back(std::string("Debug Error:") + error.what());
      }
      // The mark follows the buffer after every attempt, so the file is
      // rewritten once per 250 new lines rather than on every line, and a
      // file that cannot be written costs one "Debug Error:" line per 250.
      saveMark_ = lines_.size();
    }

    if (lines_.size() > kLogMaxLines) {
      saveMark_ = 0;
      while (lines_.size() > kLogKeepLines && !(stopRequested_ && stopRequested_())) {
        lines_.pop_front();
      }
      std::error_code ignored;
      std::filesystem::remove(BackupFile(), ignored);
      std::filesystem::rename(LogFile(), BackupFile(), ignored);
    }
  } catch (...) {
    // Logging must never take the engine down (out of memory, a clock fault).
  }
}

void TDebugLog::Append(const std::string& line) {
  lines_.push_back(line);
}

void TDebugLog::Dump() {
  WriteLines(LogFile(), lines_);
}

}  // namespace rn
