// A processor wired to the fake Outlook, for the scans' tests: the scans run
// directly on the test's thread and time moves only with the fake clock.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../support/engine_fixture.h"
#include "../support/fake_outlook.h"

namespace rn::test {

// Tuesday 10 March 2026, 10:00.
inline TDateTime ScanNow() {
  return EncodeDateTime(2026, 3, 10, 10, 0);
}

class ScanTest : public ::testing::Test {
 protected:
  FakeOutlook outlook;
  EngineRig rig{ScanNow(), &outlook};
  TOutlookProcessor& processor = *rig.processor;

  TDateTime Now() { return rig.clock.Now(); }

  // Where the log ends now, for Messages(since).
  size_t LogMark() const { return processor.Log().Lines().size(); }

  // The log's messages from line `since` on, without their time stamps.
  std::vector<std::string> Messages(size_t since = 0) const {
    std::vector<std::string> messages;
    const std::deque<std::string>& lines = processor.Log().Lines();
    for (size_t i = since; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      const size_t cut = line.find(": ");
      messages.push_back(cut == std::string::npos ? line : line.substr(cut + 2));
    }
    return messages;
  }
  bool Logged(const std::string& message) const {
    const std::vector<std::string> messages = Messages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }
  int CountLogged(const std::string& message) const {
    const std::vector<std::string> messages = Messages();
    return static_cast<int>(std::count(messages.begin(), messages.end(), message));
  }

  std::vector<std::string> FileLines(const std::string& name) const {
    std::ifstream in(rig.folder / name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }
  bool FileExists(const std::string& name) const {
    return std::filesystem::exists(rig.folder / name);
  }

  template <class T>
  static std::vector<std::string> Keys(const TSortedList<T>& list) {
    std::vector<std::string> keys;
    for (int i = 0; i < list.Count(); ++i)
      keys.push_back(list.Key(i));
    return keys;
  }
};

}  // namespace rn::test
