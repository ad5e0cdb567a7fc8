#include "platform/registry.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "../support/fakes.h"

namespace rn {
namespace {

using test::TempFolder;

const std::string kKey = "Software\\Quarrowmere\\Ravenote";
const std::string kStoreKey = "Software\\Quarrowmere\\Ravenote\\Store";

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

TRegValue Sz(std::string text) {
  TRegValue v;
  v.Type = TRegType::Sz;
  v.Text = std::move(text);
  return v;
}

void ExpectSameValue(const TRegValue& want, const std::optional<TRegValue>& got,
                     const std::string& name) {
  ASSERT_TRUE(got) << name;
  EXPECT_EQ(got->Type, want.Type) << name;
  EXPECT_EQ(got->Text, want.Text) << name;
  EXPECT_EQ(got->Dword, want.Dword) << name;
  EXPECT_EQ(got->Bytes, want.Bytes) << name;
  EXPECT_EQ(got->RawType, want.RawType) << name;
}

TEST(Registry, SavedKeyReadsBackValueForValue) {
  TempFolder folder;
  TRegistry registry(folder / "registry.reg");
  std::vector<uint8_t> long_bytes(100);
  for (size_t i = 0; i < long_bytes.size(); ++i)
    long_bytes[i] = static_cast<uint8_t>(i * 7);

  TRegKey key;
  key.WriteString("Plain", "5551234567");
  key.WriteString("Quotes", "say \"hi\" C:\\path\\");
  key.WriteString("Unicode", "Caf\xc3\xa9 \xe2\x82\xac");
  key.WriteString("Empty", "");
  key.WriteString("Nul", std::string("a\0b", 3));
  key.WriteString("OnlyNul", std::string(1, '\0'));
  key.WriteString("Lines", "one\r\ntwo\nthree\r");
  key.WriteString("Tab", "a\tb");
  key.WriteString("BadUtf8", "\xff\xfe\x80");
  key.WriteString("Overlong", "\xc0\xaf");
  key.WriteString("CutChar", "ab\xe2\x82");
  key.WriteDword("Zero", 0);
  key.WriteDword("One", 1);
  key.WriteDword("Max", 0xFFFFFFFFu);
  key.WriteBinary("NoBytes", {});
  key.WriteBinary("Long", long_bytes);
  key.WriteDouble("Time", EncodeDateTime(2026, 12, 11, 19, 0));
  TRegValue other;
  other.Type = TRegType::Other;
  other.RawType = 0xb;
  other.Bytes = {1, 2, 3, 4, 5, 6, 7, 8};
  key.Set("Quad", other);
  key.Set("", Sz("default value"));
  registry.SaveKey(kKey, key);

  const TRegKey back = registry.OpenKey(kKey);
  ASSERT_EQ(back.Values().size(), key.Values().size());
  for (size_t i = 0; i < key.Values().size(); ++i) {
    const auto& [name, value] = key.Values()[i];
    EXPECT_EQ(back.Values()[i].first, name);
    ExpectSameValue(value, back.Get(name), name);
  }
  EXPECT_DOUBLE_EQ(back.ReadDouble("Time"), EncodeDateTime(2026, 12, 11, 19, 0));

  // Texts that cannot stand between quotes go out in their hex form; the rest
  // stay readable; long lists wrap as regedit wraps them.
  const std::string text = ReadAll(registry.File());
  EXPECT_NE(text.find("\"Nul\"=hex(1):61,00,62\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Lines\"=hex(1):"), std::string::npos);
  EXPECT_NE(text.find("\"BadUtf8\"=hex(1):ff,fe,80\n"), std::string::npos);
  EXPECT_NE(text.find("\"Quotes\"=\"say \\\"hi\\\" C:\\\\path\\\\\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"Unicode\"=\"Caf\xc3\xa9 \xe2\x82\xac\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"Max\"=dword:ffffffff\n"), std::string::npos);
  EXPECT_NE(text.find("\"Quad\"=hex(b):01,02,03,04,05,06,07,08\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default value\"\n"), std::string::npos);
  EXPECT_NE(text.find(",\\\n  "), std::string::npos);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    EXPECT_LE(line.size(), 80u) << line;
}

TEST(Registry, WritesTheExportFormat) {
  TempFolder folder;
  TRegistry registry(folder / "registry.reg");
  TRegKey key;
  key.WriteString("Version", "01.01.00.005");
  key.WriteDword("MeetingNotify", 1);
  key.WriteBinary("EarlyTime", {0, 0, 0, 0, 0, 0, 0xd5, 0x3f});
  registry.SaveKey(kKey, key);
  EXPECT_EQ(ReadAll(registry.File()),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Quarrowmere\\Ravenote]\n"
            "\"Version\"=\"01.01.00.005\"\n"
            "\"MeetingNotify\"=dword:00000001\n"
            "\"EarlyTime\"=hex:00,00,00,00,00,00,d5,3f\n"
            "\n");
}

TEST(Registry, ReadsWhatRegeditWrites) {
  TRegistry registry(std::filesystem::path(RAVENOTE_TEST_DATA) / "registry/regedit_export.reg");
  const TRegKey key = registry.OpenKey(kKey);
  EXPECT_EQ(key.ReadString("Version"), "01.01.00.005");
  EXPECT_EQ(key.ReadDword("MeetingNotify"), 1u);
  EXPECT_EQ(static_cast<int32_t>(key.ReadDword("Top")), -20);
  EXPECT_EQ(key.ReadString("Pin"), "555 \"123\" \\ 4567");
  EXPECT_EQ(key.ReadDouble("EarlyTime"), 0.0);
  std::vector<uint8_t> counting(32);
  for (size_t i = 0; i < counting.size(); ++i)
    counting[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(key.ReadBinary("Blob", 32), counting);
  EXPECT_EQ(key.ReadString("Pass"), std::string("x\0\r\n\xff", 5));
  EXPECT_EQ(key.Get("Multi")->Type, TRegType::Other);
  EXPECT_EQ(key.Get("Multi")->RawType, 7u);
  EXPECT_EQ(key.ReadString(""), "default");
  EXPECT_EQ(registry.OpenKey(kStoreKey).ReadString("Calendar"), "/home/someone/.calendars");
  // Key paths compare without regard to case, as the registry's do.
  EXPECT_EQ(registry.OpenKey("SOFTWARE\\quarrowmere\\RAVENOTE").ReadDword("MeetingNotify"), 1u);
  EXPECT_TRUE(registry.OpenKey("Software\\Nobody").Values().empty());
}

TEST(Registry, SavingOneKeyKeepsTheOthers) {
  TempFolder folder;
  const auto file = folder / "registry.reg";
  std::filesystem::copy_file(
      std::filesystem::path(RAVENOTE_TEST_DATA) / "registry/regedit_export.reg", file);
  TRegistry registry(file);
  const TRegKey before = registry.OpenKey(kKey);

  TRegKey store;
  store.WriteString("Calendar", "/elsewhere");
  store.WriteString("Inbox", "/mail");
  registry.SaveKey(kStoreKey, store);

  const TRegKey after = registry.OpenKey(kKey);
  ASSERT_EQ(after.Values().size(), before.Values().size());
  for (const auto& [name, value] : before.Values())
    ExpectSameValue(value, after.Get(name), name);
  EXPECT_EQ(registry.OpenKey(kStoreKey).ReadString("Calendar"), "/elsewhere");
  EXPECT_EQ(registry.OpenKey(kStoreKey).ReadString("Inbox"), "/mail");

  // A key the file did not have is added after the others.
  TRegKey fresh;
  fresh.WriteDword("X", 7);
  registry.SaveKey("Software\\Other", fresh);
  EXPECT_EQ(registry.OpenKey("Software\\Other").ReadDword("X"), 7u);
  EXPECT_EQ(registry.OpenKey(kStoreKey).ReadString("Inbox"), "/mail");
}

TEST(Registry, UpdateKeyChangesOnlyWhatItTouches) {
  TempFolder folder;
  TRegistry registry(folder / "registry.reg");
  TRegKey key;
  key.WriteString("Old", "kept");
  key.WriteDword("Count", 1);
  registry.SaveKey(kKey, key);

  registry.UpdateKey(kKey, [](TRegKey& k) { k.WriteDword("count", 2); });
  const TRegKey back = registry.OpenKey(kKey);
  EXPECT_EQ(back.ReadString("Old"), "kept");
  EXPECT_EQ(back.ReadDword("Count"), 2u);
  ASSERT_EQ(back.Values().size(), 2u);
  EXPECT_EQ(back.Values()[1].first, "Count");  // the stored name keeps its spelling

  const std::string text = ReadAll(registry.File());
  EXPECT_THROW(registry.UpdateKey(kKey,
                                  [](TRegKey& k) {
                                    k.WriteDword("Count", 3);
                                    throw ERegistryError("changed my mind");
                                  }),
               ERegistryError);
  EXPECT_EQ(ReadAll(registry.File()), text);
}

TEST(Registry, UpdateKeysSavesSeveralKeysAtOnceOrNone) {
  TempFolder folder;
  TRegistry registry(folder / "registry.reg");
  TRegKey key;
  key.WriteDword("Count", 1);
  registry.SaveKey(kKey, key);
  const std::string before = ReadAll(registry.File());

  // A later change that fails leaves the earlier one unsaved too.
  EXPECT_THROW(
      registry.UpdateKeys({{kKey, [](TRegKey& k) { k.WriteDword("Count", 2); }},
                           {kStoreKey, [](TRegKey&) { throw ERegistryError("changed my mind"); }}}),
      ERegistryError);
  EXPECT_EQ(ReadAll(registry.File()), before);

  registry.UpdateKeys({{kKey, [](TRegKey& k) { k.WriteDword("Count", 2); }},
                       {kStoreKey, [](TRegKey& k) { k.WriteString("Calendar", "/cal"); }}});
  EXPECT_EQ(registry.OpenKey(kKey).ReadDword("Count"), 2u);
  EXPECT_EQ(registry.OpenKey(kStoreKey).ReadString("Calendar"), "/cal");
}

TEST(Registry, ValueNamesCompareWithoutCase) {
  TRegKey key;
  key.WriteDword("MeetingNotify", 1);
  key.WriteDword("MEETINGNOTIFY", 0);
  ASSERT_EQ(key.Values().size(), 1u);
  EXPECT_EQ(key.ReadDword("meetingnotify"), 0u);
  EXPECT_TRUE(key.Remove("meetingNotify"));
  EXPECT_FALSE(key.Get("MeetingNotify"));
}

TEST(Registry, TypedReadsFailOnMissingOrWrongValues) {
  TRegKey key;
  key.WriteDword("Dword", 5);
  key.WriteString("Text", "5");
  key.WriteBinary("Four", {1, 2, 3, 4});
  key.WriteDouble("Time", 0.5);

  EXPECT_THROW(key.ReadDword("Missing"), ERegistryError);
  EXPECT_THROW(key.ReadDword("Text"), ERegistryError);
  EXPECT_THROW(key.ReadDword("Four"), ERegistryError);
  EXPECT_EQ(key.ReadString("Missing"), "");
  EXPECT_THROW(key.ReadString("Dword"), ERegistryError);
  EXPECT_THROW(key.ReadString("Four"), ERegistryError);
  EXPECT_THROW(key.ReadBinary("Missing", 4), ERegistryError);
  EXPECT_THROW(key.ReadBinary("Dword", 4), ERegistryError);
  EXPECT_THROW(key.ReadBinary("Four", 8), ERegistryError);
  EXPECT_THROW(key.ReadDouble("Four"), ERegistryError);
  EXPECT_THROW(key.ReadDouble("Text"), ERegistryError);
  EXPECT_THROW(key.ReadDouble("Missing"), ERegistryError);
  EXPECT_DOUBLE_EQ(key.ReadDouble("Time"), 0.5);
  EXPECT_EQ(key.ReadBinary("Four", 4), (std::vector<uint8_t>{1, 2, 3, 4}));

  try {
    key.ReadDword("Text");
    FAIL();
  } catch (const ERegistryError& e) {
    EXPECT_NE(std::string(e.what()).find("Text"), std::string::npos) << e.what();
  }
}

TEST(Registry, DamagedFileGivesAClearErrorAndStaysAsItWas) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  const std::string key = "[HKEY_CURRENT_USER\\Software\\Quarrowmere\\Ravenote]\n";
  struct Case {
    const char* what;
    std::string text;
    int line;
  } cases[] = {
      {"no header", "[HKEY_CURRENT_USER\\Software]\n", 1},
      {"a value before any key", header + "\"A\"=dword:00000001\n", 3},
      {"no closing bracket", header + "[HKEY_CURRENT_USER\\Software\n", 3},
      {"no closing quote", header + key + "\"A\"=\"text\n", 4},
      {"text after the quote", header + key + "\"A\"=\"text\" x\n", 4},
      {"unknown escape", header + key + "\"A\"=\"a\\nb\"\n", 4},
      {"dword too long", header + key + "\"A\"=dword:000000001\n", 4},
      {"dword not hex", header + key + "\"A\"=dword:0000000g\n", 4},
      {"bad hex byte", header + key + "\"A\"=hex:00,1g\n", 4},
      {"wide hex byte", header + key + "\"A\"=hex:001\n", 4},
      {"trailing comma", header + key + "\"A\"=hex:00,\n", 4},
      {"continued at the end", header + key + "\"A\"=hex:00,\\\n", 4},
      {"bad continuation", header + key + "\"A\"=hex:00,\\\n  zz\n", 5},
      {"unknown type", header + key + "\"A\"=qword:1\n", 4},
      {"no equals", header + key + "\"A\" dword:00000001\n", 4},
      {"key deletion", header + "[-HKEY_CURRENT_USER\\Software]\n", 3},
      {"value deletion", header + key + "\"A\"=-\n", 4},
      {"UTF-16 file", std::string("\xff\xfeW\0i\0n\0", 8), 1},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const auto file = folder / "registry.reg";
    WriteAll(file, c.text);
    TRegistry registry(file);
    try {
      registry.OpenKey(kKey);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const ERegistryError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(file.string()), std::string::npos) << c.what << ": " << message;
      EXPECT_NE(message.find("line " + std::to_string(c.line) + ":"), std::string::npos)
          << c.what << ": " << message;
    }
    TRegKey replacement;
    replacement.WriteDword("A", 1);
    EXPECT_THROW(registry.SaveKey(kStoreKey, replacement), ERegistryError) << c.what;
    EXPECT_EQ(ReadAll(file), c.text) << c.what;
  }
}

TEST(Registry, MissingOrEmptyFileReadsAsEmpty) {
  TempFolder folder;
  EXPECT_TRUE(TRegistry(folder / "none.reg").OpenKey(kKey).Values().empty());
  WriteAll(folder / "empty.reg", "");
  EXPECT_TRUE(TRegistry(folder / "empty.reg").OpenKey(kKey).Values().empty());
}

TEST(Registry, SaveMakesAPrivateFolderAndFile) {
  TempFolder folder;
  const auto file = folder / "config" / "ravenote" / "registry.reg";
  TRegistry registry(file);
  TRegKey key;
  key.WriteString("Pass", "secret");
  registry.SaveKey(kKey, key);

  struct stat info;
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // A file another tool left readable becomes private with the next save.
  ::chmod(file.c_str(), 0644);
  registry.SaveKey(kKey, key);
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // Nothing but the file and its lock file is left behind.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST(Registry, SaveIntoAFolderThatCannotBeMadeIsAnError) {
  TempFolder folder;
  WriteAll(folder / "blocker", "a file where the folder should be");
  TRegistry blocked(folder / "blocker" / "registry.reg");
  EXPECT_THROW(blocked.SaveKey(kKey, TRegKey()), ERegistryError);
}

// Two processes changing the file at the same time lose nothing: each save
// re-reads the file under the lock before it replaces it.
TEST(Registry, ConcurrentSavesFromTwoProcessesKeepEveryUpdate) {
  TempFolder folder;
  TRegistry registry(folder / "registry.reg");
  constexpr uint32_t kRounds = 40;
  auto count = [&](const std::string& path) {
    for (uint32_t i = 0; i < kRounds; ++i) {
      registry.UpdateKey(path, [](TRegKey& key) {
        key.WriteDword("Count", key.Get("Count") ? key.ReadDword("Count") + 1 : 1);
      });
    }
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 0;
    try {
      count("Software\\Shared");
      count("Software\\Child");
    } catch (...) {
      status = 1;
    }
    ::_exit(status);
  }
  count("Software\\Shared");
  count("Software\\Parent");
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(registry.OpenKey("Software\\Child").ReadDword("Count"), kRounds);
  EXPECT_EQ(registry.OpenKey("Software\\Parent").ReadDword("Count"), kRounds);
  EXPECT_EQ(registry.OpenKey("Software\\Shared").ReadDword("Count"), 2 * kRounds);
}

}  // namespace
}  // namespace rn
