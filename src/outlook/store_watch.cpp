#include "outlook/store_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace rn::store {

namespace {
constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB |
                           IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
}

TFolderWatch::TFolderWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

TFolderWatch::~TFolderWatch() {
  if (fd_ >= 0)
    ::close(fd_);
}

void TFolderWatch::BeginRound() {
  named_.clear();
}

bool TFolderWatch::Watch(const std::filesystem::path& dir) {
  if (fd_ < 0)
    return false;
  const std::string key = dir.string();
  named_.insert(key);
  int wd = ::inotify_add_watch(fd_, key.c_str(), kMask);
  if (wd < 0)
    return false;
  auto it = watches_.find(key);
  if (it != watches_.end() && it->second != wd) {
    // The name now stands for another directory; the old one is of no interest.
    bool shared = false;
    for (const auto& [name, other] : watches_)
      shared |= name != key && other == it->second;
    if (!shared)
      ::inotify_rm_watch(fd_, it->second);
  }
  watches_[key] = wd;
  return true;
}

void TFolderWatch::EndRound() {
  for (auto it = watches_.begin(); it != watches_.end();) {
    if (named_.count(it->first)) {
      ++it;
      continue;
    }
    bool shared = false;
    for (const auto& [name, wd] : watches_)
      shared |= name != it->first && wd == it->second;
    if (!shared && fd_ >= 0)
      ::inotify_rm_watch(fd_, it->second);
    it = watches_.erase(it);
  }
}

bool TFolderWatch::Changed() {
  if (fd_ < 0)
    return true;
  bool changed = false;
  alignas(struct inotify_event) char buf[16384];
  for (;;) {
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
      // A watch removed by us (IN_IGNORED after inotify_rm_watch) is no change.
      for (ssize_t off = 0; off < n;) {
        auto* ev = reinterpret_cast<struct inotify_event*>(buf + off);
        if (!(ev->mask & IN_IGNORED) || (ev->mask & ~IN_IGNORED))
          changed = true;
        else {
          // A watch that ended because its directory went away: watch it anew.
          for (auto it = watches_.begin(); it != watches_.end(); ++it) {
            if (it->second == ev->wd) {
              watches_.erase(it);
              changed = true;
              break;
            }
          }
        }
        off += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
      }
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    break;  // EAGAIN: nothing more pending
  }
  return changed;
}

}  // namespace rn::store
