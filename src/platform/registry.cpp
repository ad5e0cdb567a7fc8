// The registry file: parsing and writing the .reg export format, typed reads
// of a key's values, and the locked, atomic replacement of one key.
#include "platform/registry.h"

#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace rn {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kOldHeader = "REGEDIT4";
constexpr const char* kUserHive = "HKEY_CURRENT_USER\\";
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr size_t kLineWidth = 80;  // regedit wraps hex lists before this column

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerName(const std::string& name) {
  std::string lower = name;
  for (char& c : lower)
    c = AsciiLower(c);
  return lower;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i]))
      return false;
  }
  return true;
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    size_t extra;
    uint32_t cp;
    if (c < 0x80) {
      ++p;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, cp = c & 0x07;
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) <= extra)
      return false;
    for (size_t i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80)
        return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    p += extra + 1;
  }
  return true;
}

// A text that can be written between quotes and read back unchanged: valid
// UTF-8 without control bytes (a line break would end the line; a NUL would
// end the text in any reader that follows regedit).
bool CanQuote(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F)
      return false;
  }
  return IsValidUtf8(text);
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"')
      out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

struct TSection {
  std::string Header;  // the text between the brackets, e.g. HKEY_CURRENT_USER\Software\...
  TRegKey Key;
};
using TModel = std::vector<TSection>;

[[noreturn]] void Fail(const std::filesystem::path& file, size_t line, const std::string& what) {
  throw ERegistryError("registry file " + file.string() + ", line " + std::to_string(line) + ": " +
                       what);
}

std::string SystemErrorText(const std::string& what, const std::filesystem::path& file, int error) {
  return "registry file " + file.string() + ": " + what + ": " + std::strerror(error);
}

std::string TrimBlanks(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos)
    return {};
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// Reads the file line by line; line numbers count from 1.
class TParser {
 public:
  TParser(const std::string& text, const std::filesystem::path& file) : file_(file) {
    std::string body = text;
    if (body.rfind("\xEF\xBB\xBF", 0) == 0)
      body.erase(0, 3);  // a UTF-8 byte order mark
    std::istringstream in(body);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      lines_.push_back(line);
    }
  }

  TModel Parse() {
    TModel model;
    sections_.clear();
    bool sawHeader = false;
    TSection* current = nullptr;
    for (index_ = 0; index_ < lines_.size(); ++index_) {
      const std::string line = TrimBlanks(lines_[index_]);
      if (line.empty() || line[0] == ';')
        continue;
      if (!sawHeader) {
        if (line != kHeader && line != kOldHeader) {
          Fail(file_, LineNumber(), "expected \"" + std::string(kHeader) + "\"");
        }
        sawHeader = true;
        continue;
      }
      if (line[0] == '[') {
        current = OpenSection(model, line);
        continue;
      }
      if (!current)
        Fail(file_, LineNumber(), "a value before the first [key]");
      ParseValueLine(line, current->Key);
    }
    return model;
  }

 private:
  size_t LineNumber() const { return index_ + 1; }

  TSection* OpenSection(TModel& model, const std::string& line) {
    if (line.back() != ']')
      Fail(file_, LineNumber(), "a key line must end with ']'");
    std::string header = line.substr(1, line.size() - 2);
    if (!header.empty() && header[0] == '-') {
      Fail(file_, LineNumber(), "deleting a key ([-...]) is not supported here");
    }
    if (header.empty() || header.front() == '\\' || header.back() == '\\') {
      Fail(file_, LineNumber(), "malformed key name");
    }
    // A repeated key adds to the first.
    const auto [at, added] = sections_.emplace(LowerName(header), model.size());
    if (added)
      model.push_back({header, {}});
    return &model[at->second];
  }

  // A quoted text starting at line[pos]; pos ends just after the closing quote.
  std::string ParseQuoted(const std::string& line, size_t& pos) {
    std::string out;
    ++pos;  // the opening quote
    while (pos < line.size()) {
      char c = line[pos++];
      if (c == '"')
        return out;
      if (c == '\\') {
        if (pos >= line.size())
          break;
        char next = line[pos++];
        if (next != '\\' && next != '"') {
          Fail(file_, LineNumber(), std::string("unknown escape \\") + next + " in a quoted text");
        }
        out += next;
      } else {
        out += c;
      }
    }
    Fail(file_, LineNumber(), "a quoted text without its closing quote");
  }

  void ParseValueLine(const std::string& line, TRegKey& key) {
    size_t pos = 0;
    std::string name;
    if (line[0] == '@') {
      pos = 1;  // the key's default value, which has an empty name
    } else if (line[0] == '"') {
      name = ParseQuoted(line, pos);
    } else {
      Fail(file_, LineNumber(), "expected a quoted value name or @");
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
      ++pos;
    if (pos >= line.size() || line[pos] != '=')
      Fail(file_, LineNumber(), "expected '='");
    ++pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
      ++pos;
    const std::string data = line.substr(pos);
    TRegValue value;
    if (!data.empty() && data[0] == '"') {
      size_t end = 0;
      value.Type = TRegType::Sz;
      value.Text = ParseQuoted(data, end);
      if (end != data.size())
        Fail(file_, LineNumber(), "text after the closing quote");
    } else if (SameName(data.substr(0, 6), "dword:")) {
      value.Type = TRegType::Dword;
      value.Dword = ParseDword(data.substr(6));
    } else if (SameName(data.substr(0, 3), "hex")) {
      value = ParseHexValue(data);
    } else if (data == "-") {
      Fail(file_, LineNumber(), "deleting a value (=-) is not supported here");
    } else {
      Fail(file_, LineNumber(), "unknown value type");
    }
    key.Set(name, std::move(value));
  }

  uint32_t ParseDword(const std::string& digits) {
    if (digits.empty() || digits.size() > 8)
      Fail(file_, LineNumber(), "malformed dword");
    uint32_t value = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0)
        Fail(file_, LineNumber(), "malformed dword");
      value = (value << 4) | static_cast<uint32_t>(d);
    }
    return value;
  }

  // hex:aa,bb or hex(N):aa,bb, possibly continued on following lines by a
  // trailing backslash, as regedit wraps long values.
  TRegValue ParseHexValue(const std::string& data) {
    const size_t colon = data.find(':');
    if (colon == std::string::npos)
      Fail(file_, LineNumber(), "malformed hex value");
    const std::string kind = data.substr(0, colon);
    uint32_t type = kRegBinary;
    if (kind.size() > 3) {
      if (kind.size() < 6 || kind[3] != '(' || kind.back() != ')') {
        Fail(file_, LineNumber(), "malformed hex value type");
      }
      type = ParseDword(kind.substr(4, kind.size() - 5));
    }
    std::string list = TrimBlanks(data.substr(colon + 1));
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      if (index_ + 1 >= lines_.size())
        Fail(file_, LineNumber(), "a continued line at the end");
      ++index_;
      list += TrimBlanks(lines_[index_]);
    }
    std::vector<uint8_t> bytes;
    if (!TrimBlanks(list).empty()) {
      std::istringstream items(list);
      std::string item;
      while (std::getline(items, item, ',')) {
        item = TrimBlanks(item);
        if (item.empty() || item.size() > 2)
          Fail(file_, LineNumber(), "malformed hex byte");
        int value = 0;
        for (char c : item) {
          int d = HexDigit(c);
          if (d < 0)
            Fail(file_, LineNumber(), "malformed hex byte '" + item + "'");
          value = value * 16 + d;
        }
        bytes.push_back(static_cast<uint8_t>(value));
      }
      if (list.back() == ',')
        Fail(file_, LineNumber(), "malformed hex byte list");
    }
    TRegValue value;
    if (type == kRegSz) {
      value.Type = TRegType::Sz;
      value.Text.assign(bytes.begin(), bytes.end());
    } else if (type == kRegBinary) {
      value.Type = TRegType::Binary;
      value.Bytes = std::move(bytes);
    } else if (type == kRegDword && bytes.size() == 4) {
      value.Type = TRegType::Dword;
      value.Dword = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
    } else {
      value.Type = TRegType::Other;
      value.RawType = type;
      value.Bytes = std::move(bytes);
    }
    return value;
  }

  std::filesystem::path file_;
  std::vector<std::string> lines_;
  size_t index_ = 0;
  std::unordered_map<std::string, size_t> sections_;  // by lower-case name: place in the model
};

void AppendHexList(std::string& out, const std::string& prefix, const uint8_t* data, size_t size) {
  static const char* digits = "0123456789abcdef";
  out += prefix;
  size_t column = prefix.size();
  for (size_t i = 0; i < size; ++i) {
    const bool last = i + 1 == size;
    // Room for "xx," and a continuation backslash.
    if (column + 4 > kLineWidth) {
      out += "\\\n  ";
      column = 2;
    }
    out += digits[data[i] >> 4];
    out += digits[data[i] & 0xF];
    column += 2;
    if (!last) {
      out += ',';
      ++column;
    }
  }
  out += '\n';
}

std::string Format(const TModel& model, const std::filesystem::path& file) {
  std::string out = std::string(kHeader) + "\n\n";
  for (const auto& section : model) {
    out += "[" + section.Header + "]\n";
    for (const auto& [name, value] : section.Key.Values()) {
      if (!CanQuote(name)) {
        throw ERegistryError("registry file " + file.string() + ": the value name in key " +
                             section.Header + " cannot be stored (control byte or invalid UTF-8)");
      }
      const std::string left = (name.empty() ? std::string("@") : Quote(name)) + "=";
      char buffer[32];
      switch (value.Type) {
        case TRegType::Sz:
          if (CanQuote(value.Text)) {
            out += left + Quote(value.Text) + "\n";
          } else {
            AppendHexList(out,
                          left + "hex(1):", reinterpret_cast<const uint8_t*>(value.Text.data()),
                          value.Text.size());
          }
          break;
        case TRegType::Dword:
          std::snprintf(buffer, sizeof buffer, "dword:%08x", value.Dword);
          out += left + buffer + "\n";
          break;
        case TRegType::Binary:
          AppendHexList(out, left + "hex:", value.Bytes.data(), value.Bytes.size());
          break;
        case TRegType::Other:
          std::snprintf(buffer, sizeof buffer, "hex(%x):", value.RawType);
          AppendHexList(out, left + buffer, value.Bytes.data(), value.Bytes.size());
          break;
      }
    }
    out += "\n";
  }
  return out;
}

// The file's bytes; nullopt when there is no file.
std::optional<std::string> ReadFileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    const int error = errno;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) && !ec)
      return std::nullopt;
    throw ERegistryError(SystemErrorText("cannot open", file, error));
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad())
    throw ERegistryError(SystemErrorText("cannot read", file, errno));
  return text.str();
}

TModel ReadModel(const std::filesystem::path& file) {
  auto text = ReadFileText(file);
  if (!text)
    return {};
  return TParser(*text, file).Parse();
}

std::string SectionHeader(const std::string& path) {
  return kUserHive + path;
}

void EnsureRegistryFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec))
    return;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    throw ERegistryError("registry folder " + folder.string() + ": cannot create: " + ec.message());
  }
  ::chmod(folder.c_str(), 0700);
}

// Writes the whole file anew; a failure leaves the old file whole.
void ReplaceFile(const std::filesystem::path& file, const std::string& text) {
  try {
    ReplaceFileAtomically(file, text, 0600);
  } catch (const std::system_error& error) {
    throw ERegistryError("registry file " + file.string() + ": " + error.what());
  }
}

}  // namespace

std::optional<TRegValue> TRegKey::Get(const std::string& name) const {
  const auto at = index_.find(LowerName(name));
  if (at == index_.end())
    return std::nullopt;
  return values_[at->second].second;
}

void TRegKey::Set(const std::string& name, TRegValue value) {
  const auto [at, added] = index_.emplace(LowerName(name), values_.size());
  if (added)
    values_.emplace_back(name, std::move(value));
  else
    values_[at->second].second = std::move(value);
}

bool TRegKey::Remove(const std::string& name) {
  const auto at = index_.find(LowerName(name));
  if (at == index_.end())
    return false;
  const size_t place = at->second;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(place));
  index_.erase(at);
  for (auto& [lower, where] : index_) {
    if (where > place)
      --where;
  }
  return true;
}

namespace {

const char* TypeName(TRegType type) {
  switch (type) {
    case TRegType::Sz:
      return "REG_SZ";
    case TRegType::Dword:
      return "REG_DWORD";
    case TRegType::Binary:
      return "REG_BINARY";
    case TRegType::Other:
      break;
  }
  return "another type";
}

TRegValue Require(const TRegKey& key, const std::string& name, TRegType type) {
  auto value = key.Get(name);
  if (!value)
    throw ERegistryError("registry value " + name + " is missing");
  if (value->Type != type) {
    throw ERegistryError("registry value " + name + " is " + TypeName(value->Type) + ", not " +
                         TypeName(type));
  }
  return *value;
}

}  // namespace

uint32_t TRegKey::ReadDword(const std::string& name) const {
  return Require(*this, name, TRegType::Dword).Dword;
}

std::string TRegKey::ReadString(const std::string& name) const {
  if (!Get(name))
    return {};
  return Require(*this, name, TRegType::Sz).Text;
}

std::vector<uint8_t> TRegKey::ReadBinary(const std::string& name, size_t size) const {
  TRegValue value = Require(*this, name, TRegType::Binary);
  if (value.Bytes.size() != size) {
    throw ERegistryError("registry value " + name + " holds " + std::to_string(value.Bytes.size()) +
                         " bytes, not " + std::to_string(size));
  }
  return std::move(value.Bytes);
}

double TRegKey::ReadDouble(const std::string& name) const {
  const std::vector<uint8_t> bytes = ReadBinary(name, sizeof(double));
  uint64_t bits = 0;
  for (size_t i = 0; i < bytes.size(); ++i)
    bits |= uint64_t{bytes[i]} << (8 * i);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void TRegKey::WriteDword(const std::string& name, uint32_t value) {
  TRegValue v;
  v.Type = TRegType::Dword;
  v.Dword = value;
  Set(name, std::move(v));
}

void TRegKey::WriteString(const std::string& name, std::string value) {
  TRegValue v;
  v.Type = TRegType::Sz;
  v.Text = std::move(value);
  Set(name, std::move(v));
}

void TRegKey::WriteBinary(const std::string& name, std::vector<uint8_t> bytes) {
  TRegValue v;
  v.Type = TRegType::Binary;
  v.Bytes = std::move(bytes);
  Set(name, std::move(v));
}

void TRegKey::WriteDouble(const std::string& name, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  std::vector<uint8_t> bytes(sizeof bits);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  WriteBinary(name, std::move(bytes));
}

TRegistry::TRegistry(std::filesystem::path file) : file_(std::move(file)) {}

TRegKey TRegistry::OpenKey(const std::string& path) const {
  const std::string header = SectionHeader(path);
  for (auto& section : ReadModel(file_)) {
    if (SameName(section.Header, header))
      return std::move(section.Key);
  }
  return {};
}

void TRegistry::SaveKey(const std::string& path, const TRegKey& key) {
  UpdateKey(path, [&key](TRegKey& stored) { stored = key; });
}

void TRegistry::UpdateKey(const std::string& path, const std::function<void(TRegKey&)>& change) {
  UpdateKeys({{path, change}});
}

void TRegistry::UpdateKeys(const TKeyChanges& changes) {
  const std::filesystem::path folder = file_.parent_path().empty() ? "." : file_.parent_path();
  EnsureRegistryFolder(folder);

  // Writers of the same file take turns; readers need no lock, since the file
  // is only ever replaced whole.
  const std::filesystem::path lockPath = file_.string() + ".lock";
  TFd lock = OpenPlainFile(lockPath, O_RDWR | O_CREAT);
  if (lock.Get() < 0)
    throw ERegistryError(SystemErrorText("cannot open the lock file", file_, errno));
  while (::flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR)
      throw ERegistryError(SystemErrorText("cannot lock", file_, errno));
  }

  TModel model = ReadModel(file_);
  for (const auto& [path, change] : changes) {
    const std::string header = SectionHeader(path);
    TSection* section = nullptr;
    for (auto& s : model) {
      if (SameName(s.Header, header))
        section = &s;
    }
    if (!section) {
      model.push_back({header, {}});
      section = &model.back();
    }
    change(section->Key);
  }
  ReplaceFile(file_, Format(model, file_));
  // The lock goes with the descriptor.
}

}  // namespace rn
