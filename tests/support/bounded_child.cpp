#include "bounded_child.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace rn::test {

long ResidentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0)
      return std::strtol(line.c_str() + 6, nullptr, 10);
  return 0;
}

TChildOutcome RunBoundedChild(const std::function<void(const std::function<void()>& ready)>& work,
                              TChildBounds bounds) {
  TChildOutcome out;
  int ready[2];
  if (::pipe(ready) != 0)
    return out;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    const rlimit cpu{bounds.GuardCpuSeconds, bounds.GuardCpuSeconds};
    ::setrlimit(RLIMIT_CPU, &cpu);
    work([&] { (void)!::write(ready[1], "R", 1); });
    std::_Exit(0);
  }
  ::close(ready[1]);
  char r = 0;
  const bool started = child > 0 && ::read(ready[0], &r, 1) == 1;
  ::close(ready[0]);
  if (child < 0)
    return out;
  const long baseline = started ? ResidentKilobytes(child) : 0;
  int status = 0;
  for (;;) {
    if (::waitpid(child, &status, WNOHANG) == child)
      break;
    out.AddedKilobytes = std::max(out.AddedKilobytes, ResidentKilobytes(child) - baseline);
    if (out.AddedKilobytes > bounds.MostAddedKilobytes) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      break;
    }
    ::poll(nullptr, 0, 5);
  }
  out.Exited = started && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  out.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return out;
}

}  // namespace rn::test
