// Test-Note.NST and Test-Task.NST: the keys of a record list, one per line in
// list order, a diagnostic nothing reads back.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "engine/records.h"
#include "platform/files.h"

namespace rn {

// Writes the list's keys over the file in place, mode 0600, never through a
// link; throws with the reason on failure.
template <class T>
void WriteKeyDump(const std::filesystem::path& file, const TSortedList<T>& list) {
  std::string text;
  for (int i = 0; i < list.Count(); ++i) {
    text += list.Key(i);
    text += '\n';
  }
  TFd fd = OpenPlainFile(file, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd.Get() < 0)
    throw std::runtime_error("Cannot create " + file.string() + ": " + std::strerror(errno));
  if (!WriteAll(fd.Get(), text) || ::close(fd.Release()) != 0)
    throw std::runtime_error("Cannot write " + file.string() + ": " + std::strerror(errno));
}

}  // namespace rn
