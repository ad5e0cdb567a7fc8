// The engine's state operations: each list saved to and loaded from its file
// in the program folder. A failing file shows its error in the status line and
// the engine goes on. Each file's memo keeps a save whose bytes would not
// change from touching the disk.
#include <exception>

#include "engine/processor.h"
#include "engine/state_files.h"

namespace rn {
namespace {

// Runs one file operation; a failure goes to the status line.
template <class Operation>
void Guarded(TOutlookProcessor& engine, const char* file, const char* verb, Operation operation) {
  try {
    operation();
  } catch (const std::exception& error) {
    engine.ShowStatus(error.what());
  } catch (...) {
    engine.ShowStatus(std::string("Unable to ") + verb + " " + file);
  }
}

}  // namespace

void TOutlookProcessor::SaveNotify() {
  Guarded(*this, kNotifyFile, "save",
          [&] { WriteNotifyFile(FileIn(kNotifyFile), Meetings, &notifyMemo_); });
}

void TOutlookProcessor::SaveTasks() {
  Guarded(*this, kTaskFile, "save", [&] { WriteTaskFile(FileIn(kTaskFile), Tasks, &taskMemo_); });
}

void TOutlookProcessor::SaveEmail() {
  Guarded(*this, kEmailFile, "save",
          [&] { WriteEmailFile(FileIn(kEmailFile), Emails, &emailMemo_); });
}

void TOutlookProcessor::LoadNotify() {
  Guarded(*this, kNotifyFile, "load",
          [&] { ReadNotifyFile(FileIn(kNotifyFile), Meetings, &notifyMemo_); });
}

void TOutlookProcessor::LoadTasks() {
  Guarded(*this, kTaskFile, "load", [&] { ReadTaskFile(FileIn(kTaskFile), Tasks, &taskMemo_); });
}

void TOutlookProcessor::LoadEmail() {
  Guarded(*this, kEmailFile, "load",
          [&] { ReadEmailFile(FileIn(kEmailFile), Emails, &emailMemo_); });
}

void TOutlookProcessor::SaveAll() {
  try {
    SaveTasks();
    SaveNotify();
    SaveEmail();
  } catch (...) {
    DebugLog("Unable to Save");
  }
}

void TOutlookProcessor::LoadAll() {
  LoadTasks();
  LoadNotify();
  LoadEmail();
}

}  // namespace rn
