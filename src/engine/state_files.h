// NOTIFY.NTD, TASK.NTD and EMAIL.NTD: a 4-byte header (int32 21), then records
// back to back, little-endian, no padding. Each record starts with a 256-byte
// name block (length byte, text, zero filler).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "engine/records.h"

namespace rn {

inline constexpr int32_t kStateFileHeader = 21;
inline constexpr const char* kNotifyFile = "NOTIFY.NTD";
inline constexpr const char* kTaskFile = "TASK.NTD";
inline constexpr const char* kEmailFile = "EMAIL.NTD";
inline constexpr size_t kNotifyRecordSize = 273;
inline constexpr size_t kTaskRecordSize = 307;
inline constexpr size_t kEmailRecordSize = 264;

// What a state file held when this program last read or wrote it: its bytes
// and the identity of the file that held them (device, inode, size, change
// times). A save whose bytes are the same, to a file that is still that
// file, leaves it alone: no write and no flush to disk on a pass that
// changed nothing.
struct TStateFileMemo {
  bool Known = false;
  std::string Bytes;
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  timespec Modified{}, Changed{};
};

// Writers replace the file atomically (temporary file in the same folder,
// then rename): a failure leaves the previous file whole. With a memo they
// leave a file that already holds the bytes alone, and the memo follows
// what the file holds. They return whether the file was written, and throw
// std::runtime_error with a message fit for the status line.
bool WriteNotifyFile(const std::filesystem::path& file, const TEventList& list,
                     TStateFileMemo* memo = nullptr);
bool WriteTaskFile(const std::filesystem::path& file, const TTaskList& list,
                   TStateFileMemo* memo = nullptr);
bool WriteEmailFile(const std::filesystem::path& file, const TEmailList& list,
                    TStateFileMemo* memo = nullptr);

// Readers add every complete record to the list (a duplicate key is dropped).
// A missing file or a wrong header loads nothing and is no error; a cut-off
// last record or a read error throws std::runtime_error after the complete
// records have been added. With a memo, it learns what the file holds.
void ReadNotifyFile(const std::filesystem::path& file, TEventList& list,
                    TStateFileMemo* memo = nullptr);
void ReadTaskFile(const std::filesystem::path& file, TTaskList& list,
                  TStateFileMemo* memo = nullptr);
void ReadEmailFile(const std::filesystem::path& file, TEmailList& list,
                   TStateFileMemo* memo = nullptr);

}  // namespace rn
