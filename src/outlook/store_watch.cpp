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
  const int wd = ::inotify_add_watch(fd_, key.c_str(), kMask);
  if (wd < 0)
    return false;
  auto it = watches_.find(key);
  if (it != watches_.end() && it->second != wd) {
    // The name now stands for another directory; the old one is of no interest.
    Remove(it);
  }
  watches_[key] = wd;
  dirs_[wd] = key;
  return true;
}

void TFolderWatch::Remove(std::map<std::string, int>::iterator it) {
  const int wd = it->second;
  bool shared = false;
  for (const auto& [name, other] : watches_)
    shared |= name != it->first && other == wd;
  if (!shared) {
    ::inotify_rm_watch(fd_, wd);
    dirs_.erase(wd);
  } else if (dirs_[wd] == it->first) {
    for (const auto& [name, other] : watches_)
      if (name != it->first && other == wd)
        dirs_[wd] = name;
  }
  watches_.erase(it);
}

void TFolderWatch::EndRound() {
  for (auto it = watches_.begin(); it != watches_.end();) {
    auto next = std::next(it);
    if (!named_.count(it->first))
      Remove(it);
    it = next;
  }
}

void TFolderWatch::Unwatch(const std::filesystem::path& dir) {
  auto it = watches_.find(dir.string());
  if (it != watches_.end())
    Remove(it);
}

TNotices TFolderWatch::Drain() {
  TNotices out;
  if (fd_ < 0) {
    out.All = true;
    return out;
  }
  alignas(struct inotify_event) char buf[16384];
  for (;;) {
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;  // EAGAIN: nothing more pending
    for (ssize_t off = 0; off < n;) {
      const auto* ev = reinterpret_cast<const struct inotify_event*>(buf + off);
      off += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
      if (ev->mask & IN_Q_OVERFLOW) {
        out.All = true;
        continue;
      }
      auto dir = dirs_.find(ev->wd);
      if (dir == dirs_.end())
        continue;  // a watch removed by us
      if (ev->mask & IN_IGNORED) {
        // The directory went (or its file system): watched anew, if at all,
        // when it is listed again.
        out.Dirs.insert(dir->second);
        for (auto w = watches_.begin(); w != watches_.end();)
          w = w->second == ev->wd ? watches_.erase(w) : std::next(w);
        dirs_.erase(dir);
        continue;
      }
      if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        out.Dirs.insert(dir->second);
        continue;
      }
      if (ev->len == 0)
        continue;  // the directory's own attributes
      const std::string path = dir->second + "/" + ev->name;
      (ev->mask & IN_ISDIR ? out.Dirs : out.Files).insert(path);
    }
  }
  return out;
}

}  // namespace rn::store
