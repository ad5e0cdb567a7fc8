// Placeholder until this file is written.
#include "engine/state_files.h"
namespace rn {
void WriteNotifyFile(const std::filesystem::path&, const TEventList&) {}
void WriteTaskFile(const std::filesystem::path&, const TTaskList&) {}
void WriteEmailFile(const std::filesystem::path&, const TEmailList&) {}
void ReadNotifyFile(const std::filesystem::path&, TEventList&) {}
void ReadTaskFile(const std::filesystem::path&, TTaskList&) {}
void ReadEmailFile(const std::filesystem::path&, TEmailList&) {}
}
