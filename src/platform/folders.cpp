#include "platform/folders.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace rn {
namespace {

std::filesystem::path BaseDir(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && *value == '/')
    return value;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/tmp") / fallback;
}

}  // namespace

void EnsureFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec))
    return;
  std::filesystem::create_directories(folder, ec);
  if (ec)
    throw std::filesystem::filesystem_error("cannot create folder", folder, ec);
  ::chmod(folder.c_str(), 0700);
}

std::filesystem::path ProgramFolder() {
  auto folder = BaseDir("XDG_STATE_HOME", ".local/state") / "ravenote";
  EnsureFolder(folder);
  return folder;
}

std::filesystem::path RegistryFilePath() {
  return BaseDir("XDG_CONFIG_HOME", ".config") / "ravenote" / "registry.reg";
}

std::filesystem::path DataFolder() {
  return BaseDir("XDG_DATA_HOME", ".local/share") / "ravenote";
}

void OutputDebugString(const std::string& text) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace rn
