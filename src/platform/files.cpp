#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace rn {

TFd::~TFd() {
  if (fd_ >= 0)
    ::close(fd_);
}

int TFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                           std::optional<mode_t> mode) {
  if (!mode) {
    struct stat old {};
    mode = ::stat(file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
  }
  const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
  std::string temp = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
  TFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.Get() < 0)
    throw std::system_error(errno, std::generic_category(),
                            "cannot create a file in " + folder.string());
  auto fail = [&](const char* what) {
    const int error = errno;
    ::unlink(temp.c_str());
    throw std::system_error(error, std::generic_category(), what);
  };
  size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = ::write(fd.Get(), contents.data() + done, contents.size() - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      fail("write failed");
    }
    done += static_cast<size_t>(n);
  }
  if (::fchmod(fd.Get(), *mode) != 0)
    fail("cannot set the mode");
  if (::fsync(fd.Get()) != 0)
    fail("flush to disk failed");
  if (::close(fd.Release()) != 0)
    fail("close failed");
  if (::rename(temp.c_str(), file.c_str()) != 0)
    fail("cannot replace the old file");
  // The rename itself reaches the disk with the folder; the data is safe
  // either way.
  TFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0)
    ::fsync(dir.Get());
}

}  // namespace rn
