#include "fuzz_support.h"

#include <stdlib.h>

#include <fstream>
#include <string>
#include <system_error>

namespace rn::fuzz {

const std::filesystem::path& Scratch() {
  static const std::filesystem::path folder = [] {
    // Memory-backed where there is such a folder: the readers' saves flush
    // to disk, which there costs nothing.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "ravenote-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
      std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Scratch(), ignored);
    });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

std::filesystem::path ScratchFile(const char* name, std::string_view data) {
  const std::filesystem::path file = Scratch() / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return file;
}

}  // namespace rn::fuzz
