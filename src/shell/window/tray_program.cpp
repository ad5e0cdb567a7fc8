#include "shell/window/tray_program.h"

#include <QApplication>
#include <QDir>
#include <QThread>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#include "platform/folders.h"
#include "shell/window/desktop.h"
#include "shell/window/help_book.h"
#include "shell/window/image_list.h"
#include "shell/window/instance_channel.h"
#include "shell/window/ravenote_form.h"
#include "shell/window/session_end.h"
#include "shell/window/window_timers.h"
#include "shell/wiring.h"
#include "wizard/main_form.h"
#include "wizard/message_boxes.h"
#include "wizard/new_agent_installer.h"

namespace rn {
namespace {

// How long a second start waits for the running copy's answer, and how often
// it asks a copy that does not listen yet.
constexpr int kAskRunningCopyMs = 3000;
constexpr int kAskAttempts = 20;
constexpr unsigned long kAskPauseMs = 100;

void ErrorLine(const std::string& text) {
  std::fprintf(stderr, "ravenote: %s\n", text.c_str());
  std::fflush(stderr);
}

// A box with `text` before the program ends with `status`: the only window.
int FailWithBox(QApplication& app, IMessageBoxes& boxes, const std::string& text, int status) {
  ErrorLine(text);
  boxes.Error(nullptr, kCaption, QString::fromStdString(text),
              [status] { QCoreApplication::exit(status); });
  return app.exec();
}

}  // namespace

int RunTrayProgram(QApplication& app) {
  TSessionEnd::CatchSignals();
  QApplication::setApplicationName(kCaption);
  QGuiApplication::setDesktopFileName("ravenote");
  QApplication::setWindowIcon(ApplicationIcon());
  // The window hides to the tray; only the program's own end ends the loop.
  QApplication::setQuitOnLastWindowClosed(false);

  TQtMessageBoxes boxes;
  std::unique_ptr<TWiring> wiring;
  try {
    wiring = std::make_unique<TWiring>(TWiringPaths::FromEnvironment(), nullptr);
  } catch (const std::exception& error) {
    return FailWithBox(app, boxes, error.what(), 1);
  }
  const QString folder = QString::fromStdString(wiring->Paths().ProgramFolder.string());

  // One copy per profile: a second start brings the first one forward. A
  // copy that has only just started may not listen yet; ravenoted never does.
  try {
    bool locked = false;
    std::optional<TLockHolder> holder;
    for (int attempt = 0; attempt < kAskAttempts; ++attempt) {
      if ((locked = wiring->LockProgramFolder("ravenote")))
        break;
      if (AskRunningCopyToShow(folder, kAskRunningCopyMs))
        return 0;
      holder = TFolderLock::Holder(wiring->Paths().ProgramFolder);
      if (holder && holder->Program != "ravenote")
        break;
      QThread::msleep(kAskPauseMs);
    }
    if (!locked) {
      return FailWithBox(
          app, boxes,
          "Ravenote is already running for this profile" +
              (holder ? ": " + HolderText(*holder) : std::string()) +
              ". Stop it first; one copy at a time keeps every message from going out twice.",
          1);
    }
  } catch (const std::exception& error) {
    return FailWithBox(app, boxes, error.what(), 1);
  }

  const THelpBook help = THelpBook::Locate(QCoreApplication::applicationDirPath());
  TQtTimers timers;
  TQtDesktop desktop;
  TNewAgentInstaller installer;  // one wizard for the program's life
  auto openHelp = [&desktop, &help](int context) { OpenAddress(desktop, help.AtContext(context)); };

  TRavenoteForm form(TFormDeps{
      *wiring, boxes, timers, desktop, help,
      [&wiring](IEngineHost& host) { return wiring->CreateEngine(host); },
      [&](QWidget* owner) { new TMainForm(installer, wiring->Settings(), owner, boxes, openHelp); },
      [] { QCoreApplication::exit(0); }, [](const std::string& line) { OutputDebugString(line); }});

  TInstanceServer instances(folder, [&form] { form.BringForward(); });
  if (QString error; !instances.Listen(&error))
    OutputDebugString("A second start cannot reach this one: " + error.toStdString());
  TSessionEnd session(form);

  form.show();  // the loop shows the main window as it starts
  const int status = QApplication::exec();

  // Wizard windows still open go before the wizard they show.
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (qobject_cast<TMainForm*>(window))
      delete window;
  }
  return status;
}

}  // namespace rn
