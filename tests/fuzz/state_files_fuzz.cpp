// NOTIFY.NTD, TASK.NTD and EMAIL.NTD as the engine reads them, from any
// bytes: a reader never fails other than by its error, and what it loaded
// saves and loads again to the same keys and values, and saves to the same
// bytes, so an unchanged list is not written twice.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/state_files.h"
#include "fuzz_support.h"
#include "platform/text.h"

namespace {

using rn::fuzz::Require;

bool Same(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool Same(const rn::TEventItem& a, const rn::TEventItem& b) {
  return a.Name == b.Name && Same(a.StartTime, b.StartTime) && Same(a.NotifyTime, b.NotifyTime) &&
         a.Notified == b.Notified;
}

bool Same(const rn::TTaskEvent& a, const rn::TTaskEvent& b) {
  return a.Name == b.Name && Same(a.StartDate, b.StartDate) && Same(a.DueDate, b.DueDate) &&
         Same(a.RemindTime, b.RemindTime) && Same(a.PreDueTime, b.PreDueTime) &&
         Same(a.TaskNotifyTime, b.TaskNotifyTime) && a.Notified == b.Notified &&
         a.PreNotified == b.PreNotified && Same(a.NotifiedAt, b.NotifiedAt) &&
         a.Complete == b.Complete;
}

bool Same(const rn::TEmailItem& a, const rn::TEmailItem& b) {
  return a.Name == b.Name && Same(a.AddedTime, b.AddedTime);
}

template <class List, class Read, class Write>
void Check(const char* name, std::string_view data, Read read, Write write) {
  const std::filesystem::path file = rn::fuzz::ScratchFile(name, data);
  List loaded;
  rn::TStateFileMemo memo;
  try {
    read(file, loaded, &memo);
  } catch (const std::runtime_error&) {
    // A cut-off record or a short header: what came before it stays loaded.
  }
  for (int i = 1; i < loaded.Count(); ++i)
    Require(rn::CompareKeys(loaded.Key(i - 1), loaded.Key(i)) < 0, "keys ascending, once each");

  write(file, loaded, &memo);
  Require(!write(file, loaded, &memo), "a save of unchanged records writes nothing");
  List again;
  read(file, again, nullptr);
  Require(again.Count() == loaded.Count(), "saved records load again");
  for (int i = 0; i < loaded.Count(); ++i) {
    Require(again.Key(i) == loaded.Key(i), "keys survive a save");
    Require(Same(again.At(i), loaded.At(i)), "fields survive a save");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  Check<rn::TEventList>(rn::kNotifyFile, data, rn::ReadNotifyFile, rn::WriteNotifyFile);
  Check<rn::TTaskList>(rn::kTaskFile, data, rn::ReadTaskFile, rn::WriteTaskFile);
  Check<rn::TEmailList>(rn::kEmailFile, data, rn::ReadEmailFile, rn::WriteEmailFile);
  return 0;
}
