// The file helpers: atomic replacement through a locked temporary file, the
// clean-up after replacements that were killed half-way, and opening a plain
// file in place without following a link.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace rn {
namespace {

// The template mkostemp fills in: ".NAME." and six letters or digits.
constexpr const char* kTempSuffix = "XXXXXX";
constexpr size_t kTempRandom = 6;

std::string TempPrefix(const std::filesystem::path& file) {
  std::string prefix(1, '.');
  prefix += file.filename().string();
  prefix += '.';
  return prefix;
}

bool IsTempName(const char* name, const std::string& prefix) {
  if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0)
    return false;
  const char* rest = name + prefix.size();
  if (std::strlen(rest) != kTempRandom)
    return false;
  for (const char* p = rest; *p; ++p) {
    const bool plain =
        (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9');
    if (!plain)
      return false;
  }
  return true;
}

// Every replacement holds an exclusive lock on its temporary file until it is
// renamed or removed; the system drops the lock of a replacement that was
// killed. A temporary file of ours that can be locked is therefore left over
// from a killed replacement, and goes. Locked ones belong to a replacement
// still running, and anything else of that name is not ours to touch.
void RemoveStaleTemporaries(const std::filesystem::path& folder, const std::string& prefix) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir)
    return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsTempName(entry->d_name, prefix))
      continue;
    TFd fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0)
      continue;
    struct stat info;
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
      continue;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
      continue;
    ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

// Whether `path` names exactly the file open on `fd`.
bool SameFile(int fd, const std::string& path) {
  struct stat open {
  }, named{};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// A new temporary file beside `file`, locked. Another replacement's clean-up
// may remove the name between its creation and the lock; then a new one is
// made.
TFd MakeLockedTemporary(const std::filesystem::path& folder, const std::filesystem::path& file,
                        std::string& temp) {
  for (;;) {
    temp = (folder / (TempPrefix(file) + kTempSuffix)).string();
    TFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0)
      throw std::system_error(errno, std::generic_category(),
                              "cannot create a file in " + folder.string());
    while (::flock(fd.Get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw std::system_error(error, std::generic_category(), "cannot lock a new file");
      }
    }
    if (SameFile(fd.Get(), temp))
      return fd;
  }
}

}  // namespace

TFd::~TFd() {
  if (fd_ >= 0)
    ::close(fd_);
}

TFd& TFd::operator=(TFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

int TFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool WriteAll(int fd, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                           std::optional<mode_t> mode) {
  if (!mode) {
    struct stat old {};
    mode = ::stat(file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
  }
  const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
  std::string temp;
  TFd fd = MakeLockedTemporary(folder, file, temp);
  RemoveStaleTemporaries(folder, TempPrefix(file));
  auto fail = [&](const char* what) {
    const int error = errno;
    ::unlink(temp.c_str());
    throw std::system_error(error, std::generic_category(), what);
  };
  if (!WriteAll(fd.Get(), contents))
    fail("write failed");
  if (::fchmod(fd.Get(), *mode) != 0)
    fail("cannot set the mode");
  if (::fsync(fd.Get()) != 0)
    fail("flush to disk failed");
  // rename(2) replaces a symbolic link in the file's place; it never follows it.
  if (::rename(temp.c_str(), file.c_str()) != 0)
    fail("cannot replace the old file");
  // Closed after the rename, so the lock covers the temporary file's whole
  // life under its temporary name.
  if (::close(fd.Release()) != 0) {
    const int error = errno;
    throw std::system_error(error, std::generic_category(), "close failed");
  }
  // The rename itself reaches the disk with the folder; the data is safe
  // either way.
  TFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0)
    ::fsync(dir.Get());
}

TFd OpenPlainFile(const std::filesystem::path& file, int flags, mode_t mode) {
  const bool truncate = (flags & O_TRUNC) != 0;
  // Truncated only once the file is known to be a plain file of one name:
  // O_TRUNC would cut a file that a hard link in our folder leads to.
  const int base = (flags & ~(O_TRUNC | O_EXCL)) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  auto plain = [](int fd) {
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
  };
  TFd fd(::open(file.c_str(), base, mode));
  // ELOOP: a symbolic link; ENXIO: a FIFO no one reads (O_NONBLOCK keeps the
  // open from waiting for a reader).
  const bool replace =
      fd.Get() < 0 ? (errno == ELOOP || errno == ENXIO || errno == EMLINK) : !plain(fd.Get());
  if (fd.Get() < 0 && !replace)
    return fd;
  if (replace) {
    fd = TFd();
    if (::unlink(file.c_str()) != 0)
      return TFd();
    if ((flags & O_CREAT) == 0) {
      errno = ENOENT;
      return TFd();
    }
    fd = TFd(::open(file.c_str(), base | O_EXCL, mode));
    if (fd.Get() < 0)
      return fd;
  }
  const int saved = ::fcntl(fd.Get(), F_GETFL);
  if (saved < 0 || ::fcntl(fd.Get(), F_SETFL, saved & ~O_NONBLOCK) != 0 ||
      ::fchmod(fd.Get(), mode) != 0 || (truncate && ::ftruncate(fd.Get(), 0) != 0)) {
    const int error = errno;
    fd = TFd();
    errno = error;
  }
  return fd;
}

}  // namespace rn
