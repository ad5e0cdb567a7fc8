// ravenote: the desktop program. For now it runs the configuration wizard on
// its own (--wizard), editing the settings in the registry file.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>

#include "platform/folders.h"
#include "wizard/message_boxes.h"
#include "wizard/wizard_program.h"

namespace {

constexpr const char* kUsage =
    "Usage: ravenote --wizard\n"
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
  if (!HasArgument(argc, argv, "--wizard")) {
    std::fputs("ravenote: the tray window is not here yet; run ravenote --wizard to configure\n",
               stderr);
    return 2;
  }

  QApplication app(argc, argv);
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
