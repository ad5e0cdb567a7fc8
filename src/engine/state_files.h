// NOTIFY.NTD, TASK.NTD and EMAIL.NTD: a 4-byte header (int32 21), then records
// back to back, little-endian, no padding. Each record starts with a 256-byte
// name block (length byte, text, zero filler).
#pragma once

#include <cstdint>
#include <filesystem>

#include "engine/records.h"

namespace rn {

inline constexpr int32_t kStateFileHeader = 21;
inline constexpr const char* kNotifyFile = "NOTIFY.NTD";
inline constexpr const char* kTaskFile = "TASK.NTD";
inline constexpr const char* kEmailFile = "EMAIL.NTD";
inline constexpr size_t kNotifyRecordSize = 273;
inline constexpr size_t kTaskRecordSize = 307;
inline constexpr size_t kEmailRecordSize = 264;

// Writers replace the file atomically (temporary file in the same folder,
// then rename): a failure leaves the previous file whole. They throw
// std::runtime_error with a message fit for the status line.
void WriteNotifyFile(const std::filesystem::path& file, const TEventList& list);
void WriteTaskFile(const std::filesystem::path& file, const TTaskList& list);
void WriteEmailFile(const std::filesystem::path& file, const TEmailList& list);

// Readers add every complete record to the list (a duplicate key is dropped).
// A missing file or a wrong header loads nothing and is no error; a cut-off
// last record or a read error throws std::runtime_error after the complete
// records have been added.
void ReadNotifyFile(const std::filesystem::path& file, TEventList& list);
void ReadTaskFile(const std::filesystem::path& file, TTaskList& list);
void ReadEmailFile(const std::filesystem::path& file, TEmailList& list);

}  // namespace rn
