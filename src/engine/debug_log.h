// The engine's diagnostic log: time-stamped lines kept in memory and written
// out in full to DEBUG.LOG in the program folder; cut back to its last 500
// lines past 15 000, the last written file becoming backup_DEBUG.LOG.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/clock.h"

namespace rn {

inline constexpr int kLogWriteEvery = 250;
inline constexpr size_t kLogMaxLines = 15000;
inline constexpr size_t kLogKeepLines = 500;

class TDebugLog {
 public:
  // `stopRequested` tells the cut-back to stop removing lines early.
  TDebugLog(std::filesystem::path folder, IClock& clock, std::function<bool()> stopRequested = {});

  // One time-stamped line, when the debug switch is on. Never throws.
  void DebugLog(const std::string& message) noexcept;
  // A line without time stamp, whatever the switch.
  void Append(const std::string& line);
  // Writes the whole buffer to DEBUG.LOG; throws on failure.
  void Dump();

  // The debug switch: on when the engine starts; the window may flip it.
  std::atomic<bool> Enabled{true};

  const std::deque<std::string>& Lines() const { return lines_; }
  size_t SaveMark() const { return saveMark_; }
  std::filesystem::path LogFile() const;
  std::filesystem::path BackupFile() const;

 private:
  std::filesystem::path folder_;
  IClock& clock_;
  std::function<bool()> stopRequested_;
  // Brings DEBUG.LOG up to the whole buffer; throws on failure.
  void WriteFile();

  std::deque<std::string> lines_;
  size_t saveMark_ = 0;
  // What DEBUG.LOG holds since the last successful write: the buffer's first
  // writtenLines_ lines, writtenBytes_ bytes. Only trusted while fileInSync_.
  bool fileInSync_ = false;
  size_t writtenLines_ = 0;
  uint64_t writtenBytes_ = 0;
};

}  // namespace rn
