// Where the program keeps its files, after the XDG base-directory conventions.
#pragma once

#include <filesystem>
#include <string>

namespace rn {

// $XDG_STATE_HOME/ravenote (default ~/.local/state/ravenote), created 0700:
// the state files, the diagnostic log and the key dumps.
std::filesystem::path ProgramFolder();
// $XDG_CONFIG_HOME/ravenote/registry.reg (default ~/.config): the settings.
std::filesystem::path RegistryFilePath();
// $XDG_DATA_HOME/ravenote (default ~/.local/share/ravenote): the default local store.
std::filesystem::path DataFolder();

// Creates the folder (and its parents) with mode 0700 if missing.
void EnsureFolder(const std::filesystem::path& folder);

// Writes one line of "debugger output": standard error, where the journal of a
// user service keeps it.
void OutputDebugString(const std::string& text);

}  // namespace rn
