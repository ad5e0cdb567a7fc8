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

// ---- atomic replacement ----

void ReplaceFile(const std::filesystem::path& file, const std::string& bytes) {
  try {
    ReplaceFileAtomically(file, bytes, 0600);
  } catch (const std::system_error& error) {
    throw std::runtime_error("Unable to save " + FileLabel(file) + ": " + error.what());
  }
}

// ---- reading ----

// The whole file, or nothing when it does not exist.
bool ReadWhole(const std::filesystem::path& file, std::vector<unsigned char>& out) {
  TFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT)
      return false;
    throw std::runtime_error("Unable to load " + FileLabel(file) + ": " + std::strerror(errno));
  }
  out.clear();
  unsigned char buffer[1 << 16];
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
    out.insert(out.end(), buffer, buffer + n);
  }
  return true;
}

// Reads the header and hands every complete record to `parse`; throws after
// the complete records when the last one is cut short.
template <class List, class Parse>
void ReadRecords(const std::filesystem::path& file, List& list, size_t recordSize, Parse parse) {
  std::vector<unsigned char> data;
  if (!ReadWhole(file, data))
    return;
  if (data.size() < 4) {
    throw std::runtime_error("Unable to load " + FileLabel(file) + ": the file is only " +
                             std::to_string(data.size()) + " bytes, too short for its header");
  }
  const uint32_t header = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                          static_cast<uint32_t>(data[2]) << 16 |
                          static_cast<uint32_t>(data[3]) << 24;
  // Another layout: load nothing; the next save writes the current one.
  if (static_cast<int32_t>(header) != kStateFileHeader)
    return;

  size_t pos = 4;
  size_t records = 0;
  while (pos < data.size()) {
    const size_t left = data.size() - pos;
    if (left < recordSize) {
      throw std::runtime_error("Unable to load " + FileLabel(file) +
                               ": the last record is cut short (" + std::to_string(left) + " of " +
                               std::to_string(recordSize) + " bytes); " + std::to_string(records) +
                               " records read before it");
    }
    TRecordReader reader(data.data() + pos);
    auto record = parse(reader);
    const std::string key = record->Name;
    list.Add(key, std::move(record));  // a key already present: the record is dropped
    pos += recordSize;
    ++records;
  }
}

}  // namespace

void WriteNotifyFile(const std::filesystem::path& file, const TEventList& list) {
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
  ReplaceFile(file, out);
}

void WriteTaskFile(const std::filesystem::path& file, const TTaskList& list) {
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
  ReplaceFile(file, out);
}

void WriteEmailFile(const std::filesystem::path& file, const TEmailList& list) {
  std::string out;
  out.reserve(4 + kEmailRecordSize * static_cast<size_t>(list.Count()));
  PutU32(out, static_cast<uint32_t>(kStateFileHeader));
  for (int i = 0; i < list.Count(); ++i) {
    const TEmailItem& r = list.At(i);
    PutName(out, r.Name);
    PutDouble(out, r.AddedTime);
  }
  ReplaceFile(file, out);
}

void ReadNotifyFile(const std::filesystem::path& file, TEventList& list) {
  ReadRecords(file, list, kNotifyRecordSize, [](TRecordReader& in) {
    auto r = std::make_unique<TEventItem>();
    r->Name = in.Name();
    r->StartTime = in.Double();
    r->NotifyTime = in.Double();
    r->Notified = in.Bool();
    return r;
  });
}

void ReadTaskFile(const std::filesystem::path& file, TTaskList& list) {
  ReadRecords(file, list, kTaskRecordSize, [](TRecordReader& in) {
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
  });
}

void ReadEmailFile(const std::filesystem::path& file, TEmailList& list) {
  ReadRecords(file, list, kEmailRecordSize, [](TRecordReader& in) {
    auto r = std::make_unique<TEmailItem>();
    r->Name = in.Name();
    r->AddedTime = in.Double();
    return r;
  });
}

}  // namespace rn
