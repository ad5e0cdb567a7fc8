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

struct TStoreOptions {
  // Trust the file system's change notices where they tell of every change.
  // Off, every folder looks at its files once each pass, as on a network
  // file system.
  bool ChangeNotices = true;
};

// Connects to the local store. `log` receives lines about skipped files.
std::unique_ptr<IOutlookConnector> MakeLocalStoreConnector(
    TStoreLocations locations, std::function<void(const std::string&)> log = {},
    TStoreOptions options = {});

// What the local stores of this process have done with their files, for
// tests and benchmarks: whole looks at a folder, directory listings, stats
// and parses.
struct TStoreCounts {
  uint64_t Looks = 0, Listings = 0, Stats = 0, Parses = 0;
};
TStoreCounts LocalStoreCounts();

}  // namespace rn
