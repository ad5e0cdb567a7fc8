// The named manual-reset event: one small block of POSIX shared memory per
// event and user, holding the flag word. Waiters sleep on the word itself with
// a futex, so a copy killed in the middle of a wait or a set leaves nothing
// half-done behind: there is no lock to abandon and no waiter count to leak.
#include "platform/named_event.h"

#include "platform/files.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <system_error>

namespace rn {

namespace {

struct TEventBlock {
  uint64_t Magic;  // kMagic once the block is initialised
  // The futex word: bit 0 is the flag (1 set), the bits above count the sets.
  // A waiter that sees the count move was released by a set, even when
  // another copy reset the flag before the waiter could look at it: every
  // copy that was waiting when the event was set wakes, as they must.
  uint32_t Flag;
};

constexpr uint32_t kSetBit = 1u;
constexpr uint32_t kOneSet = 2u;

// Changes with the layout or the meaning of its words, so copies of
// different builds never share a block they read differently.
constexpr uint64_t kMagic = 0x52564e4546540100ull | sizeof(TEventBlock);

long Futex(uint32_t* word, int op, uint32_t value, const timespec* timeout) {
  // Not FUTEX_PRIVATE: the word lives in memory that other processes map.
  return ::syscall(SYS_futex, word, op, value, timeout, nullptr, FUTEX_BITSET_MATCH_ANY);
}

[[noreturn]] void ThrowSystem(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

void Initialise(TEventBlock* shared) {
  __atomic_store_n(&shared->Flag, 0u, __ATOMIC_RELAXED);
  __atomic_store_n(&shared->Magic, kMagic, __ATOMIC_RELEASE);
}

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
  // Every open copy holds a shared lock on the block for as long as it has
  // the event open; the system drops it when the copy ends, however it ends.
  // An opener that can lock the block alone is therefore the only holder, and
  // starts the event afresh, not set, as a named event that vanished with its
  // last handle would: the set flag a stopped run left behind does not make
  // the next start skip its first wait. The exclusive lock also keeps other
  // openers out until the block is initialised.
  bool alone = true;
  while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      alone = false;
      break;
    }
    if (errno != EINTR)
      ThrowSystem(errno, "flock " + shmName_);
  }
  if (alone && static_cast<size_t>(info.st_size) < sizeof(Shared) &&
      ::ftruncate(fd.Get(), sizeof(Shared)) != 0) {
    ThrowSystem(errno, "ftruncate " + shmName_);
  }
  if (!alone) {
    // Another copy holds the event; one that is still setting it up holds
    // the exclusive lock until it is done.
    while (::flock(fd.Get(), LOCK_SH) != 0) {
      if (errno != EINTR)
        ThrowSystem(errno, "flock " + shmName_);
    }
    if (::fstat(fd.Get(), &info) != 0)
      ThrowSystem(errno, "fstat " + shmName_);
    if (static_cast<size_t>(info.st_size) < sizeof(Shared) &&
        ::ftruncate(fd.Get(), sizeof(Shared)) != 0) {
      ThrowSystem(errno, "ftruncate " + shmName_);
    }
  }
  void* memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd.Get(), 0);
  if (memory == MAP_FAILED)
    ThrowSystem(errno, "mmap " + shmName_);
  shared_ = static_cast<Shared*>(memory);
  if (alone || __atomic_load_n(&shared_->Magic, __ATOMIC_ACQUIRE) != kMagic)
    Initialise(shared_);
  if (alone) {
    // From the exclusive lock to the shared one every copy holds.
    while (::flock(fd.Get(), LOCK_SH) != 0) {
      if (errno != EINTR) {
        const int error = errno;
        ::munmap(shared_, sizeof(Shared));
        shared_ = nullptr;
        ThrowSystem(error, "flock " + shmName_);
      }
    }
  }
  fd_ = fd.Release();
}

TNamedEvent::~TNamedEvent() {
  if (shared_)
    ::munmap(shared_, sizeof(Shared));
  if (fd_ >= 0)
    ::close(fd_);
}

void TNamedEvent::Set() {
  uint32_t word = __atomic_load_n(&shared_->Flag, __ATOMIC_SEQ_CST);
  while (!__atomic_compare_exchange_n(&shared_->Flag, &word, (word + kOneSet) | kSetBit, false,
                                      __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) {
  }
  Futex(&shared_->Flag, FUTEX_WAKE, INT_MAX, nullptr);
}

void TNamedEvent::Reset() {
  __atomic_fetch_and(&shared_->Flag, ~kSetBit, __ATOMIC_SEQ_CST);
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
  const uint32_t start = __atomic_load_n(&shared_->Flag, __ATOMIC_SEQ_CST);
  if (start & kSetBit)
    return true;
  uint32_t word = start;
  for (;;) {
    // Sleeps only while the word is unchanged, until the absolute monotonic
    // deadline; a Set between the test and the sleep makes it return at once.
    const bool timedOut =
        Futex(&shared_->Flag, FUTEX_WAIT_BITSET, word, &deadline) != 0 && errno == ETIMEDOUT;
    word = __atomic_load_n(&shared_->Flag, __ATOMIC_SEQ_CST);
    if ((word & kSetBit) || (word & ~kSetBit) != (start & ~kSetBit))
      return true;
    if (timedOut)
      return false;
  }
}

}  // namespace rn
