// An iCalendar file from any bytes, read for its meetings and for its tasks
// as the local store reads it: it gives what it can use and logs the rest,
// or refuses the file with EStoreError; it never fails any other way.
#include <cstdint>
#include <string>

#include "outlook/store_ical.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  const rn::store::TStoreLog log = [](const std::string&) {};
  for (const rn::store::TIcalWant want :
       {rn::store::TIcalWant::Events, rn::store::TIcalWant::Todos}) {
    try {
      rn::store::ParseIcal(text, want, "fuzz.ics", log);
    } catch (const rn::store::EStoreError&) {
    }
  }
  return 0;
}
