#include "fakes.h"

#include <cstdlib>

namespace rn::test {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ravenote-test-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  if (!made)
    throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace rn::test
