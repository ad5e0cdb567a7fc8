// The table of settings by name: how each is shown and how each is set. A
// value is checked as the program will use it (an address as the mail
// clients check it, a server as they split it), so what --set accepts is what
// a send can use.
#include "app/settings_words.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "engine/mail_address.h"
#include "engine/mail_client.h"
#include "outlook/local_store.h"
#include "shell/carriers.h"

namespace rn {
namespace {

// A value that does not fit; the text, when there is one, says why.
struct EBadValue {
  std::string Why;
};

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool SameWord(const std::string& a, const std::string& b) {
  return Lower(a) == Lower(b);
}

// ---- values ----

bool ParseOnOff(const std::string& value) {
  const std::string v = Lower(value);
  if (v == "on" || v == "yes" || v == "true" || v == "1")
    return true;
  if (v == "off" || v == "no" || v == "false" || v == "0")
    return false;
  throw EBadValue{};
}

// Digits only, with an optional sign, within [low, high].
int ParseNumber(const std::string& value, int low, int high) {
  int number = 0;
  const char* end = value.data() + value.size();
  const auto [at, error] = std::from_chars(value.data(), end, number);
  if (value.empty() || error != std::errc() || at != end || number < low || number > high)
    throw EBadValue{};
  return number;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
}

// H:MM or HH:MM, optionally :SS.
TDateTime ParseTimeOfDay(const std::string& value) {
  std::vector<std::string> parts;
  for (size_t from = 0;;) {
    const size_t colon = value.find(':', from);
    parts.push_back(value.substr(from, colon == std::string::npos ? colon : colon - from));
    if (colon == std::string::npos)
      break;
    from = colon + 1;
  }
  if (parts.size() < 2 || parts.size() > 3)
    throw EBadValue{};
  int numbers[3] = {0, 0, 0};
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!AllDigits(parts[i]) || parts[i].size() > 2 || (i > 0 && parts[i].size() != 2))
      throw EBadValue{};
    numbers[i] = std::stoi(parts[i]);
  }
  if (numbers[0] > 23 || numbers[1] > 59 || numbers[2] > 59)
    throw EBadValue{};
  return EncodeTime(numbers[0], numbers[1], numbers[2]);
}

// The caption as the wizard shows it: "&AT&&T Wireless" is "AT&T Wireless".
std::string PlainCaption(const char* caption) {
  std::string out;
  for (const char* p = caption; *p; ++p) {
    if (*p == '&') {
      if (p[1] != '&')
        continue;
      ++p;
    }
    out += *p;
  }
  return out;
}

// A carrier by its number, by its name, or by the start of its name when
// only one name starts so ("Sprint", "Other").
uint8_t ParseService(const std::string& value) {
  if (AllDigits(value))
    return static_cast<uint8_t>(ParseNumber(value, 0, static_cast<int>(CarrierTable.size()) - 1));
  const std::string wanted = Lower(value);
  if (wanted.empty())
    throw EBadValue{};
  int found = -1;
  for (size_t i = 0; i < CarrierTable.size(); ++i) {
    const std::string name = Lower(PlainCaption(CarrierTable[i].Caption));
    if (name == wanted)
      return static_cast<uint8_t>(i);
    if (name.rfind(wanted, 0) == 0) {
      if (found >= 0)
        throw EBadValue{"it is the start of more than one carrier's name"};
      found = static_cast<int>(i);
    }
  }
  if (found < 0)
    throw EBadValue{"no carrier has that name"};
  return static_cast<uint8_t>(found);
}

constexpr const char* kPeriodWords[] = {"hourly", "twice-daily", "daily", "weekly"};
constexpr int kDailyPeriod = 2;

int32_t ParsePeriod(const std::string& value) {
  for (int i = 0; i < 4; ++i) {
    if (SameWord(value, kPeriodWords[i]))
      return i;
  }
  return ParseNumber(value, 0, 3);
}

std::string PeriodText(int32_t period) {
  if (period >= 0 && period < 4)
    return kPeriodWords[period];
  // Any other value acts as daily.
  return std::string(kPeriodWords[kDailyPeriod]) + " (stored as " + std::to_string(period) + ")";
}

void RefuseControls(const std::string& value) {
  if (HasControlCharacter(value))
    throw EBadValue{"it holds a control character"};
}

// A mail address as the clients will check it, with an "@" in it.
std::string CheckAddress(const std::string& value, const char* role) {
  if (value.empty())
    return value;
  std::string address;
  try {
    address = EnvelopeAddress(value, role);
  } catch (const EMailError& error) {
    throw EBadValue{error.what()};
  }
  if (address.find('@') == std::string::npos)
    throw EBadValue{"an address needs an @"};
  return value;
}

std::string CheckServer(const std::string& value, const char* what) {
  if (value.empty())
    return value;
  try {
    SplitServer(value, 0, what);
  } catch (const EMailError& error) {
    throw EBadValue{error.what()};
  }
  return value;
}

std::string CheckPin(const std::string& value) {
  if (!value.empty() && (value.size() != 10 || !AllDigits(value)))
    throw EBadValue{};
  return value;
}

std::string CheckPlainText(const std::string& value) {
  RefuseControls(value);
  return value;
}

std::string CheckCustomEmail(const std::string& value) {
  return CheckAddress(value, "recipient");
}
std::string CheckFromEmail(const std::string& value) {
  return CheckAddress(value, "sender");
}
std::string CheckSmtpServer(const std::string& value) {
  return CheckServer(value, "SMTP server");
}
std::string CheckPop3Server(const std::string& value) {
  return CheckServer(value, "POP3 server");
}

std::string Shown(const std::string& text) {
  return text.empty() ? "(empty)" : text;
}

// ---- the table ----

using TShow = std::string (*)(const TSettingsData&);
using TSet = void (*)(TSettings&, const std::string&, const TPasswordReader&);

struct TField {
  const char* Name;
  std::string Takes;
  TShow Show;
  TSet Set;
};

// "a carrier's number (0 to 8) or name: AT&T Wireless, ..., Other (...)"
std::string ServiceTakes() {
  std::string takes = "a carrier's number (0 to " + std::to_string(CarrierTable.size() - 1) +
                      ") or name (or the start of it):";
  for (size_t i = 0; i < CarrierTable.size(); ++i)
    takes += (i ? ", " : " ") + PlainCaption(CarrierTable[i].Caption);
  return takes + "; " + std::to_string(kCustomService) + " sends to CustomEmail";
}

template <bool TSettingsData::*Field, void (TSettings::*Setter)(bool)>
TField OnOffField(const char* name) {
  return {name, "on or off",
          [](const TSettingsData& d) -> std::string { return d.*Field ? "on" : "off"; },
          [](TSettings& s, const std::string& v, const TPasswordReader&) {
            (s.*Setter)(ParseOnOff(v));
          }};
}

template <TDateTime TSettingsData::*Field, void (TSettings::*Setter)(TDateTime)>
TField TimeField(const char* name) {
  return {name, "a time of day, HH:MM (00:00 to 23:59)",
          [](const TSettingsData& d) { return TimeOfDayText(d.*Field); },
          [](TSettings& s, const std::string& v, const TPasswordReader&) {
            (s.*Setter)(ParseTimeOfDay(v));
          }};
}

template <int32_t TSettingsData::*Field, void (TSettings::*Setter)(int32_t)>
TField NumberField(const char* name) {
  return {name, "a whole number (screen pixels)",
          [](const TSettingsData& d) { return std::to_string(d.*Field); },
          [](TSettings& s, const std::string& v, const TPasswordReader&) {
            (s.*Setter)(ParseNumber(v, INT32_MIN, INT32_MAX));
          }};
}

template <std::string TSettingsData::*Field, void (TSettings::*Setter)(const std::string&),
          std::string (*Check)(const std::string&)>
TField TextField(const char* name, std::string takes) {
  return {
      name, takes, [](const TSettingsData& d) { return Shown(d.*Field); },
      [](TSettings& s, const std::string& v, const TPasswordReader&) { (s.*Setter)(Check(v)); }};
}

const std::vector<TField>& Fields() {
  static const std::vector<TField> fields = {
      OnOffField<&TSettingsData::MeetingNotify, &TSettings::SetMeetingNotify>("MeetingNotify"),
      OnOffField<&TSettingsData::MorningNotify, &TSettings::SetMorningNotify>("MorningNotify"),
      OnOffField<&TSettingsData::EveningNotify, &TSettings::SetEveningNotify>("EveningNotify"),
      OnOffField<&TSettingsData::TaskNotify, &TSettings::SetTaskNotify>("TaskNotify"),
      OnOffField<&TSettingsData::TaskPreNotify, &TSettings::SetTaskPreNotify>("TaskPreNotify"),
      OnOffField<&TSettingsData::TaskReminder, &TSettings::SetTaskReminder>("TaskReminder"),
      OnOffField<&TSettingsData::UrgentEmail, &TSettings::SetUrgentEmail>("UrgentEmail"),
      {"TaskRemindPeriod", "hourly, twice-daily, daily or weekly (or 0 to 3)",
       [](const TSettingsData& d) { return PeriodText(d.TaskRemindPeriod); },
       [](TSettings& s, const std::string& v, const TPasswordReader&) {
         s.SetTaskRemindPeriod(ParsePeriod(v));
       }},
      TimeField<&TSettingsData::EarlyTime, &TSettings::SetEarlyTime>("EarlyTime"),
      TimeField<&TSettingsData::LateTime, &TSettings::SetLateTime>("LateTime"),
      {"Service", ServiceTakes(), [](const TSettingsData& d) { return CarrierText(d.Service); },
       [](TSettings& s, const std::string& v, const TPasswordReader&) {
         s.SetService(ParseService(v));
       }},
      TextField<&TSettingsData::Pin, &TSettings::SetPin, CheckPin>(
          "Pin", "the phone number's ten digits, or nothing"),
      TextField<&TSettingsData::CustomAddr, &TSettings::SetCustomAddr, CheckPlainText>(
          "CustomAddr", "the regional gateway's domain, for Cingular Wireless"),
      TextField<&TSettingsData::CustomEmail, &TSettings::SetCustomEmail, CheckCustomEmail>(
          "CustomEmail", "the address messages go to with Service Other, or nothing"),
      TextField<&TSettingsData::Server, &TSettings::SetServer, CheckSmtpServer>(
          "Server", "the SMTP server, host or host:port"),
      OnOffField<&TSettingsData::MustSignIn, &TSettings::SetMustSignIn>("MustSignIn"),
      TextField<&TSettingsData::UserName, &TSettings::SetUserName, CheckPlainText>(
          "UserName", "the account name for the SMTP login and the POP3 sign-in"),
      {"Pass",
       "the password in clear (it is stored scrambled), or - to read it from standard input",
       [](const TSettingsData& d) -> std::string { return d.Pass.empty() ? "not set" : "set"; },
       [](TSettings& s, const std::string& v, const TPasswordReader& read) {
         const std::string password = v == "-" && read ? read() : v;
         RefuseControls(password);
         s.SetPass(password);
       }},
      OnOffField<&TSettingsData::Pop3Signin, &TSettings::SetPop3Signin>("Pop3Signin"),
      TextField<&TSettingsData::Pop3Server, &TSettings::SetPop3Server, CheckPop3Server>(
          "Pop3Server", "the POP3 server, host or host:port"),
      TextField<&TSettingsData::FromEmail, &TSettings::SetFromEmail, CheckFromEmail>(
          "FromEmail", "the sender address of every message"),
      NumberField<&TSettingsData::Top, &TSettings::SetTop>("Top"),
      NumberField<&TSettingsData::Left, &TSettings::SetLeft>("Left"),
  };
  return fields;
}

constexpr const char* kIcsTakes =
    "a path: an .ics file, a folder of them or a folder of such folders; empty for the default "
    "folder";
struct TStorePlace {
  const char* Name;
  const char* Takes;
} const kStorePlaces[] = {
    {"Calendar", kIcsTakes},
    {"Tasks", kIcsTakes},
    {"Inbox", "a path to a Maildir; empty for the default folder"},
};

// A store path as the Store key keeps it: "~/" stays for the home folder, a
// relative path is taken from the current folder.
std::string StorePath(const std::string& value) {
  RefuseControls(value);
  if (value.empty() || value.rfind("~/", 0) == 0)
    return value;
  return std::filesystem::absolute(value).lexically_normal().string();
}

std::string NameList() {
  std::string names;
  for (const auto& [name, takes] : SettingNames())
    names += (names.empty() ? "" : ", ") + name;
  return names;
}

}  // namespace

std::string TimeOfDayText(TDateTime value) {
  // Rounded to the second, so 06:59:59.9996 reads 07:00.
  const long seconds = std::lround(TimeOf(value) * 86400) % 86400;
  char text[16];
  if (seconds % 60 == 0) {
    std::snprintf(text, sizeof text, "%02ld:%02ld", seconds / 3600, seconds / 60 % 60);
  } else {
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  }
  return text;
}

std::string CarrierText(int service) {
  if (service < 0 || service >= static_cast<int>(CarrierTable.size()))
    return "none (" + std::to_string(service) + ")";
  return PlainCaption(CarrierTable[service].Caption) + " (" + std::to_string(service) + ")";
}

TAssignment ParseAssignment(const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    throw EBadSetting("\"" + text + "\" is not NAME=VALUE; the names are " + NameList());
  }
  return {text.substr(0, equals), text.substr(equals + 1)};
}

void ApplyAssignment(const TAssignment& assignment, TSettings& settings, TStoreValues& store,
                     const TPasswordReader& readPassword) {
  const auto refuse = [&](const std::string& name, const std::string& takes,
                          const std::string& why) {
    std::string text = name + "=" + (SameWord(name, "Pass") ? "..." : assignment.Value) + ": ";
    if (!why.empty())
      text += why + "; ";
    return EBadSetting(text + name + " takes " + takes);
  };
  for (const TField& field : Fields()) {
    if (!SameWord(assignment.Name, field.Name))
      continue;
    try {
      field.Set(settings, assignment.Value, readPassword);
    } catch (const EBadValue& bad) {
      throw refuse(field.Name, field.Takes, bad.Why);
    }
    return;
  }
  for (const TStorePlace& place : kStorePlaces) {
    if (!SameWord(assignment.Name, place.Name))
      continue;
    try {
      store[place.Name] = StorePath(assignment.Value);
    } catch (const EBadValue& bad) {
      throw refuse(place.Name, place.Takes, bad.Why);
    }
    return;
  }
  throw EBadSetting("there is no setting \"" + assignment.Name + "\"; the names are " + NameList());
}

std::vector<std::pair<std::string, std::string>> SettingsInWords(const TSettingsData& data) {
  std::vector<std::pair<std::string, std::string>> lines;
  for (const TField& field : Fields())
    lines.emplace_back(field.Name, field.Show(data));
  return lines;
}

std::vector<std::pair<std::string, std::string>> SettingNames() {
  std::vector<std::pair<std::string, std::string>> names;
  for (const TField& field : Fields())
    names.emplace_back(field.Name, field.Takes);
  for (const TStorePlace& place : kStorePlaces)
    names.emplace_back(place.Name, place.Takes);
  return names;
}

}  // namespace rn
