// Reading and writing NOTIFY.NTD, TASK.NTD and EMAIL.NTD. A save builds the
// whole file in memory, writes it to a temporary file beside the old one,
// flushes it to disk and renames it over the old one, so a crash or a full
// disk leaves the previous file whole.
#include "engine/state_files.h"

#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text.h"

namespace rn {
namespace {

constexpr size_t kNameBlockSize = 256;

std::string FileLabel(const std::filesystem::path& file) {
  return file.filename().string();
}

// ---- encoding, little-endian whatever the host ----

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutDouble(std::string& out, double value) {
  const uint64_t v = std::bit_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i)
    out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutBool(std::string& out, bool value) {
  out.push_back(value ? 1 : 0);
}

void PutName(std::string& out, const std::string& name) {
  // Records are made with names already cut to 255 bytes; cut again on a
  // character boundary so the length byte can never wrap.
  const std::string text = CutUtf8(name, kShortStringMax);
  out.push_back(static_cast<char>(static_cast<unsigned char>(text.size())));
  out += text;
  out.append(kNameBlockSize - 1 - text.size(), '\0');
}

class TRecordReader {
 public:
  explicit TRecordReader(const unsigned char* data) : p_(data) {}
  std::string Name() {
    const size_t n = p_[0];  // a byte: at most 255, always inside the block
    std::string name(reinterpret_cast<const char*>(p_ + 1), n);
    p_ += kNameBlockSize;
    return name;
  }
  double Double() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
      v |= static_cast<uint64_t>(p_[i]) << (8 * i);
    p_ += 8;
    return std::bit_cast<double>(v);
  }
  bool Bool() { return *p_++ != 0; }

 private:
  const unsigned char* p_;
};

// ---- what the file holds ----

void Remember(TStateFileMemo& memo, const struct stat& info, std::string bytes) {
  memo.Known = true;
  memo.Bytes = std::move(bytes);
  memo.Device = info.st_dev;
  memo.Inode = info.st_ino;
  memo.Size = info.st_size;
  memo.Modified = info.st_mtim;
  memo.Changed = info.st_ctim;
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the file is still the one the memo saw, holding `bytes`.
bool Holds(const std::filesystem::path& file, const TStateFileMemo& memo,
           const std::string& bytes) {
  if (!memo.Known || memo.Bytes != bytes)
    return false;
  struct stat info;
  return ::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_dev == memo.Device &&
         info.st_ino == memo.Inode && info.st_size == memo.Size &&
         SameTime(info.st_mtim, memo.Modified) && SameTime(info.st_ctim, memo.Changed);
}

// ---- atomic replacement ----

bool ReplaceFile(const std::filesystem::path& file, std::string bytes, TStateFileMemo* memo) {
  if (memo && Holds(file, *memo, bytes))
    return false;
  try {
    if (memo)
      memo->Known = false;  // whatever happens now, the file is another one
    ReplaceFileAtomically(file, bytes, 0600);
  } catch (const std::system_error& error) {
    throw std::runtime_error("Unable to save " + FileLabel(file) + ": " + error.what());
  }
  struct stat info;
  if (memo && ::lstat(file.c_str(), &info) == 0)
    Remember(*memo, info, std::move(bytes));
  return true;
}

// ---- reading ----

// The whole file, or nothing when it does not exist; the memo learns what it
// holds.
bool ReadWhole(const std::filesystem::path& file, std::string& out, TStateFileMemo* memo) {
  if (memo)
    memo->Known = false;
  TFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT)
      return false;
    throw std::runtime_error("Unable to load " + FileLabel(file) + ": " + std::strerror(errno));
  }
  out.clear();
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      throw std::runtime_error("Unable to load " + FileLabel(file) +
                               ": read failed: " + std::strerror(errno));
    }
    if (n == 0)
      break;
    out.append(buffer, static_cast<size_t>(n));
  }
  struct stat info;
  if (memo && ::fstat(fd.Get(), &info) == 0 && S_ISREG(info.st_mode))
    Remember(*memo, info, out);
  return true;
}

// Reads the header and hands every complete record to `parse`; throws after
// the complete records when the last one is cut short. The records go into
// the list together, so a file in any order loads in n log n comparisons.
template <class List, class Parse>
void ReadRecords(const std::filesystem::path& file, List& list, size_t recordSize, Parse parse,
                 TStateFileMemo* memo) {
  std::string bytes;
  if (!ReadWhole(file, bytes, memo))
    return;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 4) {
    throw std::runtime_error("Unable to load " + FileLabel(file) + ": the file is only " +
                             std::to_string(bytes.size()) + " bytes, too short for its header");
  }
  const uint32_t header = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                          static_cast<uint32_t>(data[2]) << 16 |
                          static_cast<uint32_t>(data[3]) << 24;
  // Another layout: load nothing; the next save writes the current one.
  if (static_cast<int32_t>(header) != kStateFileHeader)
    return;

  using Record = typename decltype(parse(std::declval<TRecordReader&>()))::element_type;
  std::vector<std::pair<std::string, std::unique_ptr<Record>>> read;
  read.reserve((bytes.size() - 4) / recordSize);
  size_t pos = 4;
  while (pos + recordSize <= bytes.size()) {
    TRecordReader reader(data + pos);
    auto record = parse(reader);
    std::string key = record->Name;
    read.emplace_back(std::move(key), std::move(record));
    pos += recordSize;
  }
  const size_t records = read.size();
  list.AddAll(std::move(read));  // a key already present: the record is dropped
  if (pos < bytes.size()) {
    throw std::runtime_error(
        "Unable to load " + FileLabel(file) + ": the last record is cut short (" +
        std::to_string(bytes.size() - pos) + " of " + std::to_string(recordSize) + " bytes); " +
        std::to_string(records) + " records read before it");
  }
}

}  // namespace

bool WriteNotifyFile(const std::filesystem::path& file, const TEventList& list,
                     TStateFileMemo* memo) {
  std::string out;
  out.reserve(4 + kNotifyRecordSize * static_cast<size_t>(list.Count()));
  PutU32(out, static_cast<uint32_t>(kStateFileHeader));
  for (int i = 0; i < list.Count(); ++i) {
    const TEventItem& r = list.At(i);
    PutName(out, r.Name);
    PutDouble(out, r.StartTime);
    PutDouble(out, r.NotifyTime);
    PutBool(out, r.Notified);
  }
  return ReplaceFile(file, std::move(out), memo);
}

bool WriteTaskFile(const std::filesystem::path& file, const TTaskList& list, TStateFileMemo* memo) {
  std::string out;
  out.reserve(4 + kTaskRecordSize * static_cast<size_t>(list.Count()));
  PutU32(out, static_cast<uint32_t>(kStateFileHeader));
  for (int i = 0; i < list.Count(); ++i) {
    const TTaskEvent& r = list.At(i);
    PutName(out, r.Name);
    PutDouble(out, r.StartDate);
    PutDouble(out, r.DueDate);
    PutDouble(out, r.RemindTime);
    PutDouble(out, r.PreDueTime);
    PutDouble(out, r.TaskNotifyTime);
    PutBool(out, r.Notified);
    PutBool(out, r.PreNotified);
    PutDouble(out, r.NotifiedAt);
    PutBool(out, r.Complete);
  }
  return ReplaceFile(file, std::move(out), memo);
}

bool WriteEmailFile(const std::filesystem::path& file, const TEmailList& list,
                    TStateFileMemo* memo) {
  std::string out;
  out.reserve(4 + kEmailRecordSize * static_cast<size_t>(list.Count()));
  PutU32(out, static_cast<uint32_t>(kStateFileHeader));
  for (int i = 0; i < list.Count(); ++i) {
    const TEmailItem& r = list.At(i);
    PutName(out, r.Name);
    PutDouble(out, r.AddedTime);
  }
  return ReplaceFile(file, std::move(out), memo);
}

void ReadNotifyFile(const std::filesystem::path& file, TEventList& list, TStateFileMemo* memo) {
  ReadRecords(
      file, list, kNotifyRecordSize,
      [](TRecordReader& in) {
        auto r = std::make_unique<TEventItem>();
        r->Name = in.Name();
        r->StartTime = in.Double();
        r->NotifyTime = in.Double();
        r->Notified = in.Bool();
        return r;
      },
      memo);
}

void ReadTaskFile(const std::filesystem::path& file, TTaskList& list, TStateFileMemo* memo) {
  ReadRecords(
      file, list, kTaskRecordSize,
      [](TRecordReader& in) {
        auto r = std::make_unique<TTaskEvent>();
        r->Name = in.Name();
        r->StartDate = in.Double();
        r->DueDate = in.Double();
        r->RemindTime = in.Double();
        r->PreDueTime = in.Double();
        r->TaskNotifyTime = in.Double();
        r->Notified = in.Bool();
        r->PreNotified = in.Bool();
        r->NotifiedAt = in.Double();
        r->Complete = in.Bool();
        return r;
      },
      memo);
}

void ReadEmailFile(const std::filesystem::path& file, TEmailList& list, TStateFileMemo* memo) {
  ReadRecords(
      file, list, kEmailRecordSize,
      [](TRecordReader& in) {
        auto r = std::make_unique<TEmailItem>();
        r->Name = in.Name();
        r->AddedTime = in.Double();
        return r;
      },
      memo);
}

}  // namespace rn
