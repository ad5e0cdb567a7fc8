// Hostile calendar and task files under the real engine pass and the real
// local store: each fixture under tests/data/store/hostile is copied into a
// fresh store, and the task or calendar pass runs over it in a child
// process. The parent holds the child to its bounds (file replacements
// counted through inotify, bytes of memory the pass may add) and ends it the
// moment one is exceeded, so a fault shows as a broken bound, never as a
// hang; then it checks what the pass recorded and what became of the file.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bounded_child.h"
#include "engine_fixture.h"
#include "outlook/local_store.h"

namespace rn::test {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(RAVENOTE_TEST_DATA) / "store" / "hostile";

enum class TPass { Tasks, Calendar };

struct THostileCase {
  const char* fixture;
  TPass pass;
  TDateTime now;
  std::vector<std::string> recorded;  // the list's keys after the pass
  int replacements;                   // the most times the file may be replaced
  // Texts the file holds afterwards, and texts it no longer holds.
  std::vector<std::string> holds, lost;
};

// The most memory one pass over one small file may add, and a last guard on
// the child's processor seconds that only a looping child ever reaches.
constexpr long kMostAddedKilobytes = 64 * 1024;
constexpr rlim_t kGuardCpuSeconds = 60;

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The child: the pass over the store, its list's keys into `result`, one key
// a line. It tells the parent on `ready` when the pass begins.
[[noreturn]] void RunPass(const THostileCase& c, const fs::path& root, int ready) {
  const rlimit cpu{kGuardCpuSeconds, kGuardCpuSeconds};
  ::setrlimit(RLIMIT_CPU, &cpu);
  std::unique_ptr<IOutlookConnector> store =
      MakeLocalStoreConnector({root / "calendar", root / "tasks", root / "inbox"});
  EngineRig rig(c.now, store.get());
  (void)!::write(ready, "R", 1);
  std::ofstream result(root / "result", std::ios::binary);
  if (c.pass == TPass::Tasks) {
    rig.processor->CheckNewTasks();
    for (int i = 0; i < rig.processor->Tasks.Count(); ++i)
      result << rig.processor->Tasks.Key(i) << '\n';
  } else {
    rig.processor->CheckNewAppointments();
    for (int i = 0; i < rig.processor->Meetings.Count(); ++i)
      result << rig.processor->Meetings.Key(i) << '\n';
  }
  result.close();
  std::_Exit(0);
}

struct TOutcome {
  bool exited = false;  // the pass ended by itself
  int replacements = 0;
  long addedKilobytes = 0;
  std::vector<std::string> recorded;
};

TOutcome RunBounded(const THostileCase& c, const fs::path& root, const fs::path& file) {
  TOutcome out;
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ::inotify_add_watch(watch, file.parent_path().c_str(), IN_MOVED_TO);
  int ready[2];
  EXPECT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    RunPass(c, root, ready[1]);
  }
  ::close(ready[1]);
  char r = 0;
  EXPECT_EQ(::read(ready[0], &r, 1), 1);
  ::close(ready[0]);
  const long baseline = ResidentKilobytes(child);

  int status = 0;
  for (;;) {
    pollfd p{watch, POLLIN, 0};
    ::poll(&p, 1, 10);
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = ::read(watch, buf, sizeof buf)) > 0;) {
      for (ssize_t off = 0; off < n;) {
        auto* ev = reinterpret_cast<inotify_event*>(buf + off);
        if (ev->len > 0 && file.filename() == ev->name)
          ++out.replacements;
        off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      }
    }
    out.addedKilobytes = std::max(out.addedKilobytes, ResidentKilobytes(child) - baseline);
    if (::waitpid(child, &status, WNOHANG) == child)
      break;
    if (out.replacements > c.replacements || out.addedKilobytes > kMostAddedKilobytes) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      break;
    }
  }
  ::close(watch);
  out.exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::ifstream result(root / "result");
  for (std::string line; std::getline(result, line);)
    out.recorded.push_back(line);
  return out;
}

TEST(HostileFiles, EachPassEndsWithinItsBoundsAndKeepsWhatIsSound) {
  setenv("TZ", "America/New_York", 1);
  tzset();
  const TDateTime wednesday = EncodeDateTime(2026, 3, 11, 10, 0);
  const TDateTime morning = EncodeDateTime(2026, 3, 11, 8, 0);
  const std::string thursday = ShortDateText(EncodeDate(2026, 3, 12));
  auto meeting = [](int hour, const std::string& subject) {
    return LongTimeText(EncodeDateTime(2026, 3, 11, hour, 0)) + "@loc:Room 1:" + subject;
  };
  const std::string junk(80, '\x80');
  const THostileCase cases[] = {
      // A second to-do of the same UID nested where the reader does not look:
      // only the listed one moves, ten weeks on to its current occurrence.
      {"todo_inside_x_component.ics",
       TPass::Tasks,
       wednesday,
       {"Listed:" + thursday},
       10,
       {"DTSTART:20260312T090000", "DUE:20260312T100000",
        "SUMMARY:Hidden copy\r\n"
        "DTSTART:20260101T090000"},
       {}},
      {"todo_inside_event.ics",
       TPass::Tasks,
       wednesday,
       {"Listed:" + thursday},
       10,
       {"DTSTART:20260312T090000", "DUE:20260312T100000",
        "SUMMARY:Hidden copy\r\n"
        "DTSTART:20260101T090000"},
       {}},
      // A run of bytes that are no UTF-8 on the line rewritten: folded and moved.
      {"invalid_bytes_on_dtstart.ics",
       TPass::Tasks,
       wednesday,
       {"Junk start:" + thursday},
       1,
       {"DUE:20260312T100000"},
       {"20260305"}},
      {"invalid_bytes_on_due.ics",
       TPass::Tasks,
       wednesday,
       {"Junk due:" + thursday},
       1,
       {},
       {"20260305"}},
      // A NUL byte damages the value it stands in, not the file.
      {"nul_in_description.ics",
       TPass::Calendar,
       morning,
       {meeting(9, "First"), meeting(10, "Second"), meeting(11, "Third")},
       0,
       {},
       {}},
      {"nul_in_dtstart.ics",
       TPass::Calendar,
       morning,
       {meeting(9, "First"), meeting(11, "Third")},
       0,
       {},
       {}},
  };
  for (const THostileCase& c : cases) {
    SCOPED_TRACE(c.fixture);
    TempFolder tmp;
    const fs::path folder = tmp / (c.pass == TPass::Tasks ? "tasks" : "calendar");
    fs::create_directories(folder);
    const fs::path file = folder / c.fixture;
    fs::copy_file(kFixtures / c.fixture, file);

    const TOutcome out = RunBounded(c, tmp.Path(), file);
    EXPECT_TRUE(out.exited) << "the pass was ended at its bounds";
    EXPECT_LE(out.replacements, c.replacements);
    EXPECT_LE(out.addedKilobytes, kMostAddedKilobytes);
    std::vector<std::string> expected = c.recorded;
    std::vector<std::string> recorded = out.recorded;
    std::sort(expected.begin(), expected.end());
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(recorded, expected);

    const std::string text = ReadText(file);
    for (const std::string& held : c.holds)
      EXPECT_NE(text.find(held), std::string::npos) << held;
    for (const std::string& gone : c.lost)
      EXPECT_EQ(text.find(gone), std::string::npos) << gone;
    // Folded as iCalendar wants: no line longer than 75 octets, and the
    // junk kept byte for byte once the folds are undone.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
      EXPECT_LE(line.size(), 76u) << line;  // 75 octets and the CR
    std::string unfolded = text;
    for (size_t fold; (fold = unfolded.find("\r\n ")) != std::string::npos;)
      unfolded.erase(fold, 3);
    if (std::string(c.fixture).find("invalid_bytes") != std::string::npos) {
      EXPECT_NE(unfolded.find("X-JUNK=" + junk + ":20260312T"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace rn::test
