// The diagnostic log: its lines, the debug switch, when DEBUG.LOG is written,
// the cut-back with its backup, and a log file that cannot be written.
#include "engine/debug_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "fakes.h"

namespace rn {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2))
    ++n;
  return n;
}

class DebugLogTest : public ::testing::Test {
 protected:
  test::TempFolder folder;
  test::FakeClock clock{EncodeDateTime(2026, 12, 11, 8, 30, 15)};
  bool stop = false;
  TDebugLog log{folder.Path(), clock, [this] { return stop; }};

  void LogMany(size_t count) {
    for (size_t i = 0; i < count; ++i)
      log.DebugLog("line " + std::to_string(log.Lines().size()));
  }
};

TEST_F(DebugLogTest, LineIsTheDateTimeThenTheMessage) {
  log.DebugLog("ProcessCheckes");
  clock.Advance(kOneMinute);
  log.DebugLog("Sleep:x");
  ASSERT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(log.Lines()[0],
            DateTimeText(EncodeDateTime(2026, 12, 11, 8, 30, 15)) + ": ProcessCheckes");
  EXPECT_EQ(log.Lines()[1], DateTimeText(EncodeDateTime(2026, 12, 11, 8, 31, 15)) + ": Sleep:x");
}

TEST_F(DebugLogTest, SwitchedOffRecordsNothingButRawLinesAndTheDumpStillWrites) {
  log.Enabled = false;
  log.Append("Execute Start");
  log.Append("Loading From Disk");
  LogMany(300);
  EXPECT_EQ(log.Lines(), (std::deque<std::string>{"Execute Start", "Loading From Disk"}));
  EXPECT_FALSE(fs::exists(log.LogFile()));

  log.Dump();
  EXPECT_EQ(ReadText(log.LogFile()), "Execute Start\r\nLoading From Disk\r\n");
}

TEST_F(DebugLogTest, FileIsWrittenOncePerTwoHundredFiftyNewLines) {
  // Note the buffer's length each time the file's contents change.
  std::vector<size_t> writes;
  std::string last;
  for (int i = 0; i < 1000; ++i) {
    log.DebugLog("line " + std::to_string(i));
    std::string now = ReadText(log.LogFile());
    if (now != last) {
      writes.push_back(log.Lines().size());
      EXPECT_EQ(CountLines(now), log.Lines().size());
      last = std::move(now);
    }
  }
  EXPECT_EQ(writes, (std::vector<size_t>{251, 502, 753}));
  EXPECT_EQ(log.SaveMark(), 753u);

  // The file holds the buffer, CR LF after every line.
  std::string expected;
  for (size_t i = 0; i < 753; ++i)
    expected += log.Lines()[i] + "\r\n";
  EXPECT_EQ(last, expected);
}

TEST_F(DebugLogTest, PastFifteenThousandLinesKeepsTheLastFiveHundredAndRotatesTheFile) {
  std::ofstream(log.BackupFile()) << "an old backup\r\n";
  LogMany(kLogMaxLines);
  ASSERT_EQ(log.Lines().size(), kLogMaxLines);
  const std::string lastWritten = ReadText(log.LogFile());
  ASSERT_FALSE(lastWritten.empty());

  log.DebugLog("the line too many");
  ASSERT_EQ(log.Lines().size(), kLogKeepLines);
  EXPECT_EQ(log.Lines().back().substr(log.Lines().back().size() - 17), "the line too many");
  EXPECT_NE(log.Lines().front().find(": line 14501"), std::string::npos) << log.Lines().front();
  EXPECT_EQ(log.SaveMark(), 0u);
  EXPECT_EQ(ReadText(log.BackupFile()), lastWritten);
  EXPECT_FALSE(fs::exists(log.LogFile()));

  // The next line writes DEBUG.LOG afresh from what remains.
  log.DebugLog("after");
  EXPECT_EQ(CountLines(ReadText(log.LogFile())), kLogKeepLines + 1);
  EXPECT_EQ(log.SaveMark(), kLogKeepLines + 1);
}

std::string Joined(const std::deque<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\r\n";
  return text;
}

// Writes after the first only append the new lines; the file must still hold
// exactly the buffer's lines up to its last write (the save mark), also after
// a dump, the cut-back, or someone else cutting the file short or removing it.
TEST_F(DebugLogTest, FileAlwaysHoldsTheBufferAsLastWritten) {
  auto expectFileIsBufferUpToMark = [this](const char* when) {
    const std::deque<std::string> written(log.Lines().begin(),
                                          log.Lines().begin() + log.SaveMark());
    EXPECT_EQ(ReadText(log.LogFile()), Joined(written)) << when;
  };
  LogMany(3 * kLogWriteEvery + 10);  // one whole write, then appends
  expectFileIsBufferUpToMark("after appends");

  log.Append("Loading From Disk");
  log.Dump();
  EXPECT_EQ(ReadText(log.LogFile()), Joined(log.Lines())) << "after a dump";
  LogMany(2 * kLogWriteEvery);
  expectFileIsBufferUpToMark("appending after a dump");

  fs::resize_file(log.LogFile(), 10);
  LogMany(kLogWriteEvery + 1);
  expectFileIsBufferUpToMark("after the file was cut short");

  fs::remove(log.LogFile());
  LogMany(kLogWriteEvery + 1);
  expectFileIsBufferUpToMark("after the file was removed");

  LogMany(kLogMaxLines + 1 - log.Lines().size());  // the cut-back
  ASSERT_EQ(log.Lines().size(), kLogKeepLines);
  LogMany(kLogWriteEvery + 1);
  expectFileIsBufferUpToMark("after the cut-back");
}

TEST_F(DebugLogTest, CutBackStopsRemovingOnceTheEngineIsStopping) {
  LogMany(kLogMaxLines);
  stop = true;
  log.DebugLog("one more");
  EXPECT_EQ(log.Lines().size(), kLogMaxLines + 1);
  EXPECT_EQ(log.SaveMark(), 0u);
  EXPECT_TRUE(fs::exists(log.BackupFile()));
}

TEST_F(DebugLogTest, UnwritableLogFileGivesADebugErrorLineAndLoggingGoesOn) {
  fs::create_directory(log.LogFile());  // not a file: no user can write it
  LogMany(251);
  ASSERT_EQ(log.Lines().size(), 252u);
  const std::string& error = log.Lines().back();
  EXPECT_EQ(error.rfind("Debug Error:", 0), 0u) << error;  // no time stamp
  EXPECT_NE(error.find("DEBUG.LOG"), std::string::npos) << error;

  // The next attempt comes 250 lines later, not on every line.
  LogMany(250);
  EXPECT_EQ(log.Lines().size(), 502u);
  LogMany(1);
  EXPECT_EQ(log.Lines().back().rfind("Debug Error:", 0), 0u);

  // Once the file can be written, the error lines are in it.
  fs::remove(log.LogFile());
  LogMany(251);
  const std::string text = ReadText(log.LogFile());
  EXPECT_NE(text.find("\r\nDebug Error:"), std::string::npos);
}

TEST_F(DebugLogTest, ReadOnlyLogFileGivesADebugErrorLine) {
  std::ofstream(log.LogFile()) << "old\r\n";
  fs::permissions(log.LogFile(), fs::perms::owner_read);
  if (::access(log.LogFile().c_str(), W_OK) == 0) {
    GTEST_SKIP() << "running as a user whom file permissions do not stop";
  }
  LogMany(251);
  EXPECT_EQ(log.Lines().back().rfind("Debug Error:", 0), 0u) << log.Lines().back();
  EXPECT_EQ(ReadText(log.LogFile()), "old\r\n");
}

TEST_F(DebugLogTest, DumpThrowsWhenTheFileCannotBeWritten) {
  log.DebugLog("x");
  fs::create_directory(log.LogFile());
  EXPECT_THROW(log.Dump(), std::runtime_error);
}

}  // namespace
}  // namespace rn
