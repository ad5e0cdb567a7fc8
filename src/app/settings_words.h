// The settings in words, for ravenoted's --show-settings and --set: every
// setting by its registry name, shown as a person reads it ("on", "07:00",
// "Sprint PCS (4)") and set from the same words.
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/datetime.h"
#include "shell/settings.h"

namespace rn {

// A name or value that --set cannot take; the text says what it takes.
class EBadSetting : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TAssignment {
  std::string Name;
  std::string Value;
};

// "NAME=VALUE"; throws EBadSetting.
TAssignment ParseAssignment(const std::string& text);

// The values of the Store key that --set changes, by their names there
// ("Calendar", "Tasks", "Inbox"); an empty text means the default folder.
using TStoreValues = std::map<std::string, std::string>;

// The value of Pass=-, read from standard input.
using TPasswordReader = std::function<std::string()>;

// Applies one assignment: a setting through its setter, a store location
// into `store`. Throws EBadSetting naming the setting and what it takes.
void ApplyAssignment(const TAssignment& assignment, TSettings& settings, TStoreValues& store,
                     const TPasswordReader& readPassword);

// Every setting as its name and its value in words, in a person's order.
std::vector<std::pair<std::string, std::string>> SettingsInWords(const TSettingsData& data);

// Every name --set takes and what it takes ("on or off"), for the help.
std::vector<std::pair<std::string, std::string>> SettingNames();

// A time of day as HH:MM, with :SS when it has seconds.
std::string TimeOfDayText(TDateTime value);
// The carrier's name without its accelerator marks, and its number:
// "Sprint PCS (4)"; "none (9)" for a number that selects no carrier.
std::string CarrierText(int service);

}  // namespace rn
