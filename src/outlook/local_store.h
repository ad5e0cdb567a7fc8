// The real backend of the Outlook object model: the user's own calendar and
// tasks in iCalendar files (a .ics file, a vdir, or a folder of vdirs) and the
// inbox as a Maildir.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "outlook/outlook.h"
#include "platform/registry.h"

namespace rn {

inline constexpr const char* kStoreKey = "Software\\Quarrowmere\\Ravenote\\Store";

struct TStoreLocations {
  std::filesystem::path Calendar;
  std::filesystem::path Tasks;
  std::filesystem::path Inbox;
};

// The locations from the Store key (values Calendar, Tasks, Inbox); missing
// or empty values mean DataFolder()/Calendar, /Tasks, /Inbox, and a leading
// "~/" the home folder. Throws ERegistryError when the registry file cannot be
// parsed or a value is not text.
TStoreLocations ReadStoreLocations(const TRegistry& registry);

// Connects to the local store. `log` receives lines about skipped files.
std::unique_ptr<IOutlookConnector> MakeLocalStoreConnector(
    TStoreLocations locations, std::function<void(const std::string&)> log = {});

// How many files the local stores of this process have parsed: a count for
// tests and benchmarks that check unchanged files are not read again.
uint64_t LocalStoreParseCount();

}  // namespace rn
