// ravenoted's command line: without options it runs the engine until SIGINT
// or SIGTERM; --show-settings, --set and --test-message show, change and try
// the settings; --help and --version.
#pragma once

#include <signal.h>

#include <string>
#include <vector>

#include "shell/wiring.h"

namespace rn {

// Exit statuses: done; failed (a send, a dead engine, another engine on the
// folder, a folder that is not the user's); the command line or the settings
// file cannot be used as they are.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The signals the engine's run takes on its main thread: INT and TERM stop,
// HUP reloads, and kEngineEndedSignal is the engine's thread telling that it
// has ended. They are blocked in every thread before any thread exists.
inline constexpr int kEngineEndedSignal = SIGUSR1;
sigset_t RunSignals();

// The whole program: `args` are the arguments after the program's name.
int RavenotedMain(const std::vector<std::string>& args);

// The engine's run, from the user's folders, until a stop signal or the
// engine's end. `signals` (RunSignals) must be blocked in every thread.
int RunEngine(const sigset_t& signals, TWiring::TOptions options = {});

}  // namespace rn
