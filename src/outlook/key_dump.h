// Test-Note.NST and Test-Task.NST: the keys of a record list, one per line in
// list order, a diagnostic nothing reads back.
#pragma once

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "engine/records.h"

namespace rn {

// Replaces the file with the list's keys; throws with the reason on failure.
template <class T>
void WriteKeyDump(const std::filesystem::path& file, const TSortedList<T>& list) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out)
    throw std::runtime_error("Cannot create " + file.string() + ": " + std::strerror(errno));
  for (int i = 0; i < list.Count(); ++i)
    out << list.Key(i) << '\n';
  out.close();
  if (!out)
    throw std::runtime_error("Cannot write " + file.string());
}

}  // namespace rn
