// The engine's run as ravenoted's main thread lives it, in this process:
// the signals taken, the engine's end noticed without looking.
#include <pthread.h>
#include <stdlib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <stdexcept>

#include "app/ravenoted.h"
#include "fakes.h"

namespace rn {
namespace {

// The engine's thread trips over it at start, as over any fault that ends
// the thread before its loop.
class BrokenClock : public IClock {
 public:
  TDateTime Now() override { return FromTimeT(std::time(nullptr)); }
  void Sleep(unsigned) override { throw std::runtime_error("the clock broke"); }
};

TEST(RunEngine, AnEngineThatDiesIsReportedAndEndsTheRunWithStatusOne) {
  test::TempFolder home;
  ::setenv("HOME", home.Path().c_str(), 1);
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
    ::unsetenv(variable);
  const sigset_t signals = RunSignals();
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &signals, nullptr), 0);

  BrokenClock clock;
  TWiring::TOptions options;
  options.Clock = &clock;
  testing::internal::CaptureStderr();
  const int status = RunEngine(signals, options);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, kExitFailed);
  EXPECT_THAT(err, testing::HasSubstr(
                       "ravenoted: Outlook Processor has died. Please Restart Application."));
}

}  // namespace
}  // namespace rn
