// The registry file from any bytes: the reader either reads it or refuses it
// with ERegistryError, and the key it read saves and reads back value for
// value, type for type.
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "fuzz_support.h"
#include "platform/registry.h"

namespace {

using rn::fuzz::Require;

constexpr const char* kKey = "Software\\Quarrowmere\\Ravenote";

bool Same(const rn::TRegValue& a, const rn::TRegValue& b) {
  if (a.Type != b.Type)
    return false;
  switch (a.Type) {
    case rn::TRegType::Sz:
      return a.Text == b.Text;
    case rn::TRegType::Dword:
      return a.Dword == b.Dword;
    case rn::TRegType::Binary:
      return a.Bytes == b.Bytes;
    case rn::TRegType::Other:
      return a.RawType == b.RawType && a.Bytes == b.Bytes;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  rn::TRegKey key;
  try {
    key = rn::TRegistry(rn::fuzz::ScratchFile("registry.reg", data)).OpenKey(kKey);
  } catch (const rn::ERegistryError&) {
    return 0;  // refused, with its line
  }
  const std::filesystem::path copy = rn::fuzz::Scratch() / "copy.reg";
  std::filesystem::remove(copy);
  rn::TRegistry saved(copy);
  try {
    saved.SaveKey(kKey, key);
  } catch (const rn::ERegistryError&) {
    return 0;  // a value name the file cannot hold is refused, not mangled
  }
  const rn::TRegKey again = saved.OpenKey(kKey);
  Require(again.Values().size() == key.Values().size(), "every value saves");
  for (size_t i = 0; i < key.Values().size(); ++i) {
    Require(again.Values()[i].first == key.Values()[i].first, "value names survive a save");
    Require(Same(again.Values()[i].second, key.Values()[i].second), "values survive a save");
  }
  return 0;
}
