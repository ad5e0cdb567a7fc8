// Every file the program writes, in the program folder or beside the
// registry: none is ever written through a symbolic link planted in its
// place, and each ends up a plain file of mode 0600.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "fake_outlook.h"
#include "platform/registry.h"

namespace rn::test {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The engine on a fake store holding a meeting and a task of today, with a
// record in each list, so every writer has something to write.
struct Writers {
  FakeOutlook outlook;
  EngineRig rig{EncodeDateTime(2026, 3, 10, 9, 0), &outlook};
  TOutlookProcessor& engine = *rig.processor;

  Writers() {
    FakeAppointment meeting;
    meeting.Subject = "Review";
    meeting.Start = EncodeDateTime(2026, 3, 10, 11, 0);
    outlook.Appointments.push_back(meeting);
    FakeTask task;
    task.Subject = "Report";
    task.DueDate = EncodeDate(2026, 3, 11);
    outlook.Tasks.push_back(task);
    auto mail = std::make_unique<TEmailItem>();
    mail->Name = "Server down";
    mail->AddedTime = EncodeDateTime(2026, 3, 10, 8, 0);
    const std::string key = mail->Name;
    engine.Emails.Add(key, std::move(mail));
  }
  const fs::path& Folder() const { return rig.folder.Path(); }
};

TEST(WrittenFiles, NoneIsWrittenThroughALinkAndEachIs0600) {
  const struct {
    const char* file;
    std::function<void(Writers&)> write;
  } writers[] = {
      {"DEBUG.LOG", [](Writers& w) { w.engine.Log().Dump(); }},
      {"backup_DEBUG.LOG",
       [](Writers& w) {
         w.engine.Log().Dump();
         for (size_t i = 0; i <= kLogMaxLines; ++i)
           w.engine.DebugLog("line");
       }},
      {"NOTIFY.NTD", [](Writers& w) { w.engine.SaveAll(); }},
      {"TASK.NTD", [](Writers& w) { w.engine.SaveAll(); }},
      {"EMAIL.NTD", [](Writers& w) { w.engine.SaveAll(); }},
      {"Test-Note.NST", [](Writers& w) { w.engine.CheckNewAppointments(); }},
      {"Test-Task.NST", [](Writers& w) { w.engine.CheckNewTasks(); }},
      {"registry.reg",
       [](Writers& w) {
         TRegKey key;
         key.WriteDword("MeetingNotify", 1);
         TRegistry(w.Folder() / "registry.reg").SaveKey("Software\\Quarrowmere\\Ravenote", key);
       }},
      {"registry.reg.lock",
       [](Writers& w) {
         TRegistry(w.Folder() / "registry.reg").SaveKey("Software\\Quarrowmere\\Ravenote", {});
       }},
  };
  for (const auto& [file, write] : writers) {
    for (const bool link : {true, false}) {
      SCOPED_TRACE(std::string(file) + (link ? " in place of a link" : " over a file open to all"));
      Writers w;
      TempFolder outside;
      const fs::path victim = outside / "precious";
      // What the files hold beforehand reads as an empty registry file, so
      // the registry's save goes ahead after reading it.
      const std::string before = "Windows Registry Editor Version 5.00\r\n\r\n";
      std::ofstream(victim) << before;
      const fs::path path = w.Folder() / file;
      if (link) {
        fs::create_symlink(victim, path);
      } else {
        std::ofstream(path) << before;
        ::chmod(path.c_str(), 0644);
      }

      write(w);

      EXPECT_EQ(Read(victim), before);
      struct stat info {};
      ASSERT_EQ(::lstat(path.c_str(), &info), 0);
      EXPECT_TRUE(S_ISREG(info.st_mode));
      EXPECT_EQ(info.st_mode & 07777, 0600u);
    }
  }
}

}  // namespace
}  // namespace rn::test
