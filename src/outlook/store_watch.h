// Change notices for the folders the local store reads: an inotify instance
// watching a set of directories, and what its notices name. A store folder
// whose notices can be trusted looks again only at what they name, so an
// unchanged folder costs a non-blocking read, not a stat per file.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace rn::store {

// What the notices since the last drain name.
struct TNotices {
  bool All = false;             // the queue overflowed: anything may have changed
  std::set<std::string> Dirs;   // watched directories that went, moved or were replaced, and
                                // directories made, removed or renamed inside watched ones
  std::set<std::string> Files;  // files made, written, removed or renamed in watched ones
  bool Empty() const { return !All && Dirs.empty() && Files.empty(); }
};

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
  // Stops watching one directory.
  void Unwatch(const std::filesystem::path& dir);

  // Reads the pending notices. Never blocks.
  TNotices Drain();

  bool Usable() const { return fd_ >= 0; }

 private:
  void Remove(std::map<std::string, int>::iterator it);
  int fd_ = -1;
  std::map<std::string, int> watches_;  // directory -> watch descriptor
  std::map<int, std::string> dirs_;     // watch descriptor -> directory
  std::set<std::string> named_;
};

}  // namespace rn::store
