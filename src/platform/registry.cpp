// Placeholder until this file is written.
#include "platform/registry.h"
namespace rn {
TRegistry::TRegistry(std::filesystem::path file) : file_(std::move(file)) {}
TRegKey TRegistry::OpenKey(const std::string&) const { return {}; }
void TRegistry::SaveKey(const std::string&, const TRegKey&) {}
}
