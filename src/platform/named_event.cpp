// The named manual-reset event: one small block of POSIX shared memory per
// event and user, holding a robust process-shared mutex, a condition variable
// on the monotonic clock and the flag.
#include "platform/named_event.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

namespace rn {

namespace {

struct TEventBlock {
  uint64_t Magic;  // kMagic once the block is initialised
  pthread_mutex_t Mutex;
  pthread_cond_t Cond;
  uint32_t Flag;
};

// Changes with the layout, so copies of different builds never share a block
// they read differently.
constexpr uint64_t kMagic = 0x52564e4556540000ull | sizeof(TEventBlock);

[[noreturn]] void ThrowSystem(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

void Check(int rc, const char* what) {
  if (rc != 0)
    ThrowSystem(rc, what);
}

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

void Initialise(TEventBlock* shared) {
  pthread_mutexattr_t mutexAttr;
  Check(pthread_mutexattr_init(&mutexAttr), "pthread_mutexattr_init");
  Check(pthread_mutexattr_setpshared(&mutexAttr, PTHREAD_PROCESS_SHARED), "mutex pshared");
  Check(pthread_mutexattr_setrobust(&mutexAttr, PTHREAD_MUTEX_ROBUST), "mutex robust");
  Check(pthread_mutex_init(&shared->Mutex, &mutexAttr), "pthread_mutex_init");
  pthread_mutexattr_destroy(&mutexAttr);

  pthread_condattr_t condAttr;
  Check(pthread_condattr_init(&condAttr), "pthread_condattr_init");
  Check(pthread_condattr_setpshared(&condAttr, PTHREAD_PROCESS_SHARED), "cond pshared");
  Check(pthread_condattr_setclock(&condAttr, CLOCK_MONOTONIC), "cond clock");
  Check(pthread_cond_init(&shared->Cond, &condAttr), "pthread_cond_init");
  pthread_condattr_destroy(&condAttr);

  shared->Flag = 0;
  __atomic_store_n(&shared->Magic, kMagic, __ATOMIC_RELEASE);
}

// A holder that died with the lock leaves the flag whole (it is one word), so
// the lock is marked consistent and used on.
void Recover(int rc, pthread_mutex_t* mutex, const char* what) {
  if (rc == EOWNERDEAD) {
    pthread_mutex_consistent(mutex);
    return;
  }
  Check(rc, what);
}

class TLock {
 public:
  explicit TLock(pthread_mutex_t* mutex) : mutex_(mutex) {
    Recover(pthread_mutex_lock(mutex_), mutex_, "pthread_mutex_lock");
  }
  ~TLock() { pthread_mutex_unlock(mutex_); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

 private:
  pthread_mutex_t* mutex_;
};

}  // namespace

struct TNamedEvent::Shared : TEventBlock {};

std::string TNamedEvent::SharedName(const std::string& name) {
  std::string clean;
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    clean += plain ? c : '_';
  }
  if (clean.size() > 200)
    clean.resize(200);
  return "/ravenote-" + clean + "-" + std::to_string(::geteuid());
}

void TNamedEvent::Remove(const std::string& name) {
  ::shm_unlink(SharedName(name).c_str());
}

TNamedEvent::TNamedEvent(const std::string& name) : shmName_(SharedName(name)) {
  TFd fd(::shm_open(shmName_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (fd.Get() < 0)
    ThrowSystem(errno, "shm_open " + shmName_);
  struct stat info;
  if (::fstat(fd.Get(), &info) != 0)
    ThrowSystem(errno, "fstat " + shmName_);
  // Another user could have made the block first to listen in or to stop us.
  if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
    ThrowSystem(EPERM,
                "shared memory " + shmName_ + " belongs to another user or is open to others");
  }
  // The first opener initialises the block; the lock on the descriptor keeps
  // a second opener out until it has, and a crash half-way leaves no magic,
  // so the next opener starts again.
  while (::flock(fd.Get(), LOCK_EX) != 0) {
    if (errno != EINTR)
      ThrowSystem(errno, "flock " + shmName_);
  }
  if (static_cast<size_t>(info.st_size) < sizeof(Shared) &&
      ::ftruncate(fd.Get(), sizeof(Shared)) != 0) {
    ThrowSystem(errno, "ftruncate " + shmName_);
  }
  void* memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd.Get(), 0);
  if (memory == MAP_FAILED)
    ThrowSystem(errno, "mmap " + shmName_);
  shared_ = static_cast<Shared*>(memory);
  try {
    if (__atomic_load_n(&shared_->Magic, __ATOMIC_ACQUIRE) != kMagic)
      Initialise(shared_);
  } catch (...) {
    ::munmap(shared_, sizeof(Shared));
    throw;
  }
  ::flock(fd.Get(), LOCK_UN);
}

TNamedEvent::~TNamedEvent() {
  if (shared_)
    ::munmap(shared_, sizeof(Shared));
}

void TNamedEvent::Set() {
  TLock lock(&shared_->Mutex);
  shared_->Flag = 1;
  pthread_cond_broadcast(&shared_->Cond);
}

void TNamedEvent::Reset() {
  TLock lock(&shared_->Mutex);
  shared_->Flag = 0;
}

bool TNamedEvent::Wait(unsigned milliseconds) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  TLock lock(&shared_->Mutex);
  while (!shared_->Flag) {
    const int rc = pthread_cond_timedwait(&shared_->Cond, &shared_->Mutex, &deadline);
    if (rc == ETIMEDOUT)
      break;
    if (rc != 0)
      Recover(rc, &shared_->Mutex, "pthread_cond_timedwait");
  }
  return shared_->Flag != 0;
}

void TNamedEvent::LockAndAbandonForTest() {
  Recover(pthread_mutex_lock(&shared_->Mutex), &shared_->Mutex, "pthread_mutex_lock");
}

}  // namespace rn
