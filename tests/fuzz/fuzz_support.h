// What the fuzz targets share: a private scratch folder for the files a
// reader must read from disk, and a way to stop at a broken rule that
// libFuzzer reports as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace rn::fuzz {

// A folder of this process's own, made on first use and removed at exit.
const std::filesystem::path& Scratch();

// Writes `data` to `name` in the scratch folder and returns its path.
std::filesystem::path ScratchFile(const char* name, std::string_view data);

// A rule the reader must keep; a broken one ends the run as a finding.
inline void Require(bool holds, const char* rule) {
  if (!holds) {
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
  }
}

}  // namespace rn::fuzz
