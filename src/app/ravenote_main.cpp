// ravenote: the desktop program, the tray window; with --wizard, the
// configuration wizard on its own, editing the settings in the registry file.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>

#include "platform/folders.h"
#include "shell/window/tray_program.h"
#include "wizard/message_boxes.h"
#include "wizard/wizard_program.h"

namespace {

constexpr const char* kUsage =
    "Usage: ravenote [--wizard]\n"
    "  (none)    start Ravenote in the notification area (one copy per profile: a second\n"
    "            start brings the first one's window forward)\n"
    "  --wizard  configure Ravenote: the wizard edits the settings in the registry file\n"
    "            (exit status 0 when Done saved them, 1 when they were not saved)\n"
    "  --help    show this text\n";

bool HasArgument(int argc, char** argv, const char* wanted) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], wanted) == 0)
      return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (HasArgument(argc, argv, "--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  QApplication app(argc, argv);
  if (!HasArgument(argc, argv, "--wizard"))
    return rn::RunTrayProgram(app);

  QApplication::setApplicationName("ravenote");
  try {
    rn::TQtMessageBoxes boxes;
    rn::TWizardProgram program(rn::RegistryFilePath(), boxes);
    program.OnEnd = [](int status) { QCoreApplication::exit(status); };
    program.Start();
    return QApplication::exec();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ravenote: %s\n", error.what());
    return 1;
  }
}
