// A typed registry kept in one text file per user, in the .reg export format
// ("Windows Registry Editor Version 5.00"). Values keep their type so a read
// can fail on a value of the wrong kind, as the settings store expects.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace rn {

class ERegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Other: a value of a type the program does not use (REG_NONE, REG_MULTI_SZ,
// REG_QWORD, ...), kept as its raw bytes so that a save does not lose it.
enum class TRegType { Sz, Dword, Binary, Other };

struct TRegValue {
  TRegType Type = TRegType::Sz;
  std::string Text;            // REG_SZ: UTF-8 bytes, may hold any byte
  uint32_t Dword = 0;          // REG_DWORD
  std::vector<uint8_t> Bytes;  // REG_BINARY, and the data of an Other value
  uint32_t RawType = 0;        // Other: the type number of its hex(N) form
};

// One key: its values by name (names compare without regard to case, as the
// registry's do).
class TRegKey {
 public:
  std::optional<TRegValue> Get(const std::string& name) const;
  void Set(const std::string& name, TRegValue value);
  bool Remove(const std::string& name);

  // Typed reads; each throws ERegistryError when the value is missing or of
  // another type. ReadString returns "" for a missing value.
  uint32_t ReadDword(const std::string& name) const;
  std::string ReadString(const std::string& name) const;
  // Throws unless the value is a REG_BINARY of exactly `size` bytes.
  std::vector<uint8_t> ReadBinary(const std::string& name, size_t size) const;
  double ReadDouble(const std::string& name) const;  // an 8-byte REG_BINARY

  void WriteDword(const std::string& name, uint32_t value);
  void WriteString(const std::string& name, std::string value);
  void WriteBinary(const std::string& name, std::vector<uint8_t> bytes);
  void WriteDouble(const std::string& name, double value);

  // Values in the order they were first set (the order a save writes them).
  const std::vector<std::pair<std::string, TRegValue>>& Values() const { return values_; }

 private:
  std::vector<std::pair<std::string, TRegValue>> values_;
  // Where each name stands in values_, by its name in lower case: a key of
  // many values reads in time that grows with their number, not its square.
  std::unordered_map<std::string, size_t> index_;
};

// The whole file: keys by their full path under HKEY_CURRENT_USER, e.g.
// "Software\\Quarrowmere\\Ravenote".
class TRegistry {
 public:
  explicit TRegistry(std::filesystem::path file);

  const std::filesystem::path& File() const { return file_; }

  // Reads the key from the file as it is now; a missing file or key gives an
  // empty key. A file that cannot be parsed throws ERegistryError.
  TRegKey OpenKey(const std::string& path) const;

  // Replaces one key in the file, keeping every other key and comment-free
  // content as it was: the file is re-read under an advisory lock, changed, and
  // saved atomically (temporary file, fsync, rename), mode 0600.
  void SaveKey(const std::string& path, const TRegKey& key);

  // Changes one key in place: under the same lock as SaveKey, the key as the
  // file holds it now is handed to `change`, and the result is saved. Values
  // that `change` does not touch stay as they were. Nothing is written when
  // `change` throws.
  void UpdateKey(const std::string& path, const std::function<void(TRegKey&)>& change);

  // Changes several keys in one replacement of the file, in the order given:
  // all of them are saved, or (when a change throws or the save fails) none.
  using TKeyChanges = std::vector<std::pair<std::string, std::function<void(TRegKey&)>>>;
  void UpdateKeys(const TKeyChanges& changes);

 private:
  std::filesystem::path file_;
};

}  // namespace rn
