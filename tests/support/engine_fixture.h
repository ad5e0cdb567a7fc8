// A processor wired to fakes in a temporary program folder, for tests that
// drive the engine's steps one by one on the test's own thread.
#pragma once

#include <memory>

#include "engine/processor.h"
#include "fakes.h"
#include "shell/settings.h"

namespace rn::test {

// An Outlook connector with nothing behind it; the scans' tests bring their own.
class NullOutlookConnector : public IOutlookConnector {
 public:
  std::shared_ptr<IOutlookApplication> Connect() override { throw EOleError("no Outlook"); }
};

struct EngineRig {
  explicit EngineRig(TDateTime now, IOutlookConnector* outlook = nullptr)
      : clock(now), wake(&clock) {
    processor = std::make_unique<TOutlookProcessor>(TEngineDeps{
        settings, host, clock, wake, outlook ? *outlook : nullOutlook, smtp, pop3, folder.Path(),
        [this](const std::string& line) { debugOutput.push_back(line); }});
  }

  TempFolder folder;
  TSettings settings;
  RecordingHost host;
  FakeClock clock;
  FakeWakeEvent wake;
  NullOutlookConnector nullOutlook;
  FakeSmtpClient smtp;
  FakePop3Client pop3{&smtp.Events};
  std::vector<std::string> debugOutput;
  std::unique_ptr<TOutlookProcessor> processor;
};

}  // namespace rn::test
