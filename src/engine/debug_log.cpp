// The engine's diagnostic log. Lines collect in a deque (the cut-back drops
// thousands of front lines at once) and DEBUG.LOG is brought up to the whole
// buffer once every 250 new lines, after an error and at the end. While the
// file still holds exactly what was last written, bringing it up to date only
// appends the new lines, so a line costs the same at any buffer size; any
// doubt (a failed write, the cut-back, a file changed by someone else) makes
// the next write replace the file.
#include "engine/debug_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "platform/files.h"

namespace rn {
namespace {

constexpr const char* kLogName = "DEBUG.LOG";
constexpr const char* kBackupName = "backup_DEBUG.LOG";

[[noreturn]] void ThrowWriteError(const std::filesystem::path& file, int error) {
  throw std::runtime_error("Unable to write " + file.string() + ": " + std::strerror(error));
}

// Writes lines [from, end) to the file, each ended by CR LF: appended to a file
// of exactly `expectedSize` bytes, or replacing the contents when `from` is 0.
// The file is written in place, so a read-only DEBUG.LOG stays read-only and
// fails; a writable one is made 0600. Returns the file's size afterwards; std::nullopt when an
// append found the file other than expected (nothing written then).
std::optional<uint64_t> WriteLines(const std::filesystem::path& file,
                                   const std::deque<std::string>& lines, size_t from,
                                   uint64_t expectedSize) {
  const bool append = from > 0;
  // Never through a link: a link or other odd entry in DEBUG.LOG's place is
  // replaced by a plain file of our own (an append then finds no file and
  // the caller writes it whole).
  TFd fd = OpenPlainFile(file, append ? (O_WRONLY | O_APPEND) : (O_WRONLY | O_CREAT | O_TRUNC));
  if (fd.Get() < 0) {
    if (append && errno == ENOENT)
      return std::nullopt;
    ThrowWriteError(file, errno);
  }
  if (append) {
    struct stat info;
    if (::fstat(fd.Get(), &info) != 0 || static_cast<uint64_t>(info.st_size) != expectedSize)
      return std::nullopt;
  }
  uint64_t size = append ? expectedSize : 0;
  std::string chunk;
  chunk.reserve(1 << 16);
  auto flush = [&] {
    if (!WriteAll(fd.Get(), chunk))
      ThrowWriteError(file, errno);
    size += chunk.size();
    chunk.clear();
  };
  for (size_t i = from; i < lines.size(); ++i) {
    chunk += lines[i];
    chunk += "\r\n";
    if (chunk.size() >= (1 << 16))
      flush();
  }
  flush();
  if (::close(fd.Release()) != 0)
    ThrowWriteError(file, errno);
  return size;
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
        WriteFile();
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
      fileInSync_ = false;
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
  fileInSync_ = false;
  WriteFile();
}

void TDebugLog::WriteFile() {
  if (fileInSync_ && writtenLines_ <= lines_.size()) {
    fileInSync_ = false;
    if (auto size = WriteLines(LogFile(), lines_, writtenLines_, writtenBytes_)) {
      writtenBytes_ = *size;
      writtenLines_ = lines_.size();
      fileInSync_ = true;
      return;
    }
  }
  fileInSync_ = false;
  writtenBytes_ = *WriteLines(LogFile(), lines_, 0, 0);
  writtenLines_ = lines_.size();
  fileInSync_ = true;
}

}  // namespace rn
