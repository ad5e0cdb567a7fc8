// Change notices for the folders the local store reads: an inotify instance
// watching a set of directories. A store folder re-reads its files only after
// a notice (or when watching is not possible), so an unchanged folder costs a
// non-blocking read, not a stat per file.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace rn::store {

class TFolderWatch {
 public:
  TFolderWatch();
  ~TFolderWatch();
  TFolderWatch(const TFolderWatch&) = delete;
  TFolderWatch& operator=(const TFolderWatch&) = delete;

  // Starts a round of Watch calls: directories not named again before
  // EndRound stop being watched.
  void BeginRound();
  // Watches one directory (again: a directory replaced by another of the same
  // name gets a fresh watch). False when it cannot be watched.
  bool Watch(const std::filesystem::path& dir);
  void EndRound();

  // Reads the pending notices; true when there was any (an overflow of the
  // queue counts as a change). Never blocks.
  bool Changed();

  bool Usable() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::map<std::string, int> watches_;  // directory -> watch descriptor
  std::set<std::string> named_;
};

}  // namespace rn::store
