// ravenoted: the notification engine without a window.
#include <signal.h>

#include <clocale>
#include <string>
#include <vector>

#include "app/ravenoted.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // A closed standard output or a dropped connection is an error to report,
  // not a reason to die.
  ::signal(SIGPIPE, SIG_IGN);
  return rn::RavenotedMain(std::vector<std::string>(argv + 1, argv + argc));
}
