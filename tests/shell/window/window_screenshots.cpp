// Pictures of the tray window for the documentation: the window as a user
// sees it from the tray, and with its Settings menu open, drawn in a real
// window of the running X server and saved as PNG files into the folder
// given (scripts/screenshots runs it under Xvfb). The engine is a stand-in
// that shows a status text; the settings are a sample user's.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdio>

#include "fake_engine.h"
#include "fake_message_boxes.h"
#include "fake_timers.h"
#include "fakes.h"
#include "shell/carriers.h"
#include "shell/window/desktop.h"
#include "shell/window/ravenote_form.h"
#include "shell/wiring.h"

namespace {

class TShotDesktop final : public rn::IDesktop {
 public:
  bool TrayAvailable() override { return true; }
  bool OpenUrl(const QUrl&) override { return true; }
  bool RunDetached(const QString&, const QStringList&) override { return true; }
};

bool Save(const QRect& area, const QString& file) {
  QTest::qWait(300);  // let the X server draw what was asked
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                    area.width(), area.height());
  if (shot.isNull() || !shot.save(file)) {
    std::fprintf(stderr, "window_screenshots: cannot save %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Ravenote");
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_screenshots FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);

  rn::test::TempFolder home;
  rn::TWiring wiring(
      rn::TWiringPaths{home / "registry.reg", home / "state", "ravenote-window-screenshots"},
      nullptr);
  rn::TSettings& settings = wiring.Settings();
  settings.SetService(rn::kCustomService);
  settings.SetCustomEmail("5551234567@txt.example.net");
  settings.SetEarlyTime(rn::EncodeTime(7, 0));
  settings.SetLateTime(rn::EncodeTime(19, 0));
  settings.SetMeetingNotify(true);
  settings.SetMorningNotify(true);
  settings.SetTaskNotify(true);
  settings.SetUrgentEmail(true);
  wiring.SaveSettings();

  rn::test::TFakeMessageBoxes boxes;
  rn::test::TFakeTimers timers;
  TShotDesktop desktop;
  rn::TEngineBridge* bridge = nullptr;
  rn::TRavenoteForm form(rn::TFormDeps{wiring,
                                       boxes,
                                       timers,
                                       desktop,
                                       rn::THelpBook("/usr/share/ravenote/help"),
                                       [&](rn::IEngineHost&) -> std::unique_ptr<rn::IEngine> {
                                         return std::make_unique<rn::test::FakeEngine>();
                                       },
                                       {},
                                       [] {},
                                       [](const std::string&) {}});
  bridge = &form.Bridge();
  form.move(40, 40);
  form.show();
  QCoreApplication::processEvents();
  form.BringForward();  // from the tray, as a user opens it
  bridge->ShowStatus("Processor Idle.");
  QCoreApplication::processEvents();

  bool saved = Save(form.frameGeometry(), folder + "/ravenote-window.png");
  QMenu* menu = form.findChild<QMenu*>("Settings1");
  form.menuBar()->setActiveAction(menu->menuAction());
  QTest::qWait(300);
  saved = Save(form.frameGeometry().united(menu->geometry()).adjusted(0, 0, 8, 8),
               folder + "/ravenote-settings-menu.png") &&
          saved;
  return saved ? 0 : 1;
}
