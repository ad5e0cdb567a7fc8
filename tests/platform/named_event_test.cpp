#include "platform/named_event.h"

#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

namespace rn {
namespace {

// Long enough never to run out on a loaded machine; a wait that is answered
// returns at once, so the tests never sit through it.
constexpr unsigned kPatience = 60000;

// Each test gets its own event, removed afterwards, so tests running side by
// side never wake each other.
class NamedEvent : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = std::string("test-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
            "-" + std::to_string(::getpid());
    TNamedEvent::Remove(name_);
  }
  void TearDown() override { TNamedEvent::Remove(name_); }

  // Runs `body` in a forked child; its result is the child's exit status.
  static pid_t Spawn(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
      int status = 2;
      try {
        status = body();
      } catch (...) {
      }
      ::_exit(status);
    }
    return child;
  }
  static int ExitStatus(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
      return -1;
    return WEXITSTATUS(status);
  }

  std::string name_;
};

TEST_F(NamedEvent, IsManualResetAndStartsUnset) {
  TNamedEvent event(name_);
  EXPECT_FALSE(event.Wait(0));
  EXPECT_FALSE(event.Wait(10));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));  // a wait does not reset it
  event.Set();
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
}

TEST_F(NamedEvent, ObjectsOfOneNameShareTheEvent) {
  TNamedEvent first(name_);
  TNamedEvent second(name_);
  TNamedEvent stranger(name_ + "-other");
  first.Set();
  EXPECT_TRUE(second.Wait(0));
  EXPECT_FALSE(stranger.Wait(0));
  second.Reset();
  EXPECT_FALSE(first.Wait(0));
  TNamedEvent::Remove(name_ + "-other");

  // A later opener finds the event as it is, set or not.
  first.Set();
  TNamedEvent third(name_);
  EXPECT_TRUE(third.Wait(0));
}

// A set event that no copy holds any more is gone, as a named event vanishes
// with its last handle: the flag a stopped run left set, whether the run
// ended cleanly or was killed, does not make the next start skip its first
// wait. While another copy holds it, a new one shares its state (above).
TEST_F(NamedEvent, StartsUnsetWhenNoOtherCopyHoldsIt) {
  {
    TNamedEvent stopped(name_);
    stopped.Set();
  }
  EXPECT_FALSE(TNamedEvent(name_).Wait(0));

  TNamedEvent ready(name_ + "-ready");
  const pid_t child = Spawn([&] {
    TNamedEvent theirs(name_);
    theirs.Set();
    TNamedEvent(name_ + "-ready").Set();
    ::pause();
    return 0;
  });
  ASSERT_GT(child, 0);
  ASSERT_TRUE(ready.Wait(kPatience));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_FALSE(TNamedEvent(name_).Wait(0));
  TNamedEvent::Remove(name_ + "-ready");
}

TEST_F(NamedEvent, SetWakesEveryWaiter) {
  TNamedEvent setter(name_);
  TNamedEvent a(name_), b(name_);
  bool wokeA = false, wokeB = false;
  std::thread waitA([&] { wokeA = a.Wait(kPatience); });
  std::thread waitB([&] { wokeB = b.Wait(kPatience); });
  setter.Set();
  waitA.join();
  waitB.join();
  EXPECT_TRUE(wokeA);
  EXPECT_TRUE(wokeB);
}

// Two engines share one event, and each resets it when its own wait ends. A
// copy that was already asleep when the event was set wakes even though
// another copy reset the event before this one looked at it: otherwise a
// stop, a reload or a test message would wait for the whole next pass.
TEST_F(NamedEvent, ASetReachesEveryWaiterEvenWhenResetAtOnce) {
  TNamedEvent sleeper(name_), other(name_);
  std::atomic<pid_t> tid{0};
  std::atomic<bool> woken{false};
  std::thread wait([&] {
    tid = static_cast<pid_t>(::syscall(SYS_gettid));
    woken = sleeper.Wait(kPatience);
  });
  // Until the waiter sleeps in the kernel on the event's word.
  for (;;) {
    std::ifstream syscallFile("/proc/self/task/" + std::to_string(tid.load()) + "/syscall");
    long number = -1;
    if (tid.load() != 0 && (syscallFile >> number) && number == SYS_futex)
      break;
    std::this_thread::yield();
  }
  other.Set();
  other.Reset();
  wait.join();
  EXPECT_TRUE(woken);
  EXPECT_FALSE(sleeper.Wait(0));  // the reset holds for later waits
}

TEST_F(NamedEvent, AnotherProcessSetsIt) {
  TNamedEvent event(name_);
  const pid_t child = Spawn([&] {
    TNamedEvent theirs(name_);
    theirs.Set();
    return 0;
  });
  ASSERT_GT(child, 0);
  EXPECT_TRUE(event.Wait(kPatience));
  EXPECT_EQ(ExitStatus(child), 0);
}

TEST_F(NamedEvent, AnotherProcessIsWokenByIt) {
  TNamedEvent event(name_);
  TNamedEvent answer(name_ + "-answer");
  const pid_t child = Spawn([&] {
    TNamedEvent theirs(name_);
    const bool woken = theirs.Wait(kPatience);
    TNamedEvent(name_ + "-answer").Set();
    return woken ? 0 : 1;
  });
  ASSERT_GT(child, 0);
  event.Set();
  EXPECT_TRUE(answer.Wait(kPatience));
  EXPECT_EQ(ExitStatus(child), 0);
  TNamedEvent::Remove(name_ + "-answer");
}

// Copies killed outright in the middle of a wait leave the event working for
// everyone else: a later Set returns and wakes the living.
TEST_F(NamedEvent, OutlivesProcessesKilledWhileWaiting) {
  TNamedEvent event(name_);
  TNamedEvent ready(name_ + "-ready");
  pid_t children[3];
  for (pid_t& child : children) {
    child = Spawn([&] {
      TNamedEvent theirs(name_);
      TNamedEvent(name_ + "-ready").Set();
      theirs.Wait(kPatience);
      return 0;
    });
    ASSERT_GT(child, 0);
    ASSERT_TRUE(ready.Wait(kPatience));
    ready.Reset();
  }
  for (pid_t child : children) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  bool woke = false;
  std::thread waiter([&] { woke = event.Wait(kPatience); });
  event.Set();
  waiter.join();
  EXPECT_TRUE(woke);
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
  TNamedEvent::Remove(name_ + "-ready");
}

TEST(NamedEventName, IsPerUserAndSafeAsAPath) {
  const std::string uid = std::to_string(::geteuid());
  EXPECT_EQ(TNamedEvent::SharedName("QuarrowmereProcessor"),
            "/ravenote-QuarrowmereProcessor-" + uid);
  EXPECT_EQ(TNamedEvent::SharedName("a/../b c"), "/ravenote-a_.._b_c-" + uid);
}

}  // namespace
}  // namespace rn
