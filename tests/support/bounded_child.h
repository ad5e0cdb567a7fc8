// Running a piece of work in a child process held to bounds: the resident
// memory it may add (watched from the parent, which ends the child the
// moment the bound is passed) and a last guard on its processor seconds that
// only a child that runs away ever reaches. A fault therefore shows as a
// broken bound, never as a hang or as the end of the test program.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <functional>

namespace rn::test {

struct TChildBounds {
  long MostAddedKilobytes = 64 * 1024;
  rlim_t GuardCpuSeconds = 60;
};

struct TChildOutcome {
  bool Exited = false;      // the work ended by itself and the child exited 0
  int Signal = 0;           // what ended the child otherwise (SIGXCPU at the guard)
  long AddedKilobytes = 0;  // resident memory added since the work began, at its most
};

// The resident memory of a process, in kilobytes (0 when it is gone).
long ResidentKilobytes(pid_t pid);

// Forks; the child calls `work(ready)`, where `ready()` marks the start of
// what is measured (setting up before it is not counted), and exits 0 when
// `work` returns. The parent watches until the child ends.
TChildOutcome RunBoundedChild(const std::function<void(const std::function<void()>& ready)>& work,
                              TChildBounds bounds = {});

}  // namespace rn::test
