// Pictures of the configuration wizard for the documentation: the host
// window and each of the eight pages, drawn in a real window of the running X
// server and saved as PNG files into the folder given (scripts/screenshots
// runs it under Xvfb).
#include <QApplication>
#include <QObject>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdio>

#include "shell/settings.h"
#include "wizard/main_form.h"
#include "wizard/message_boxes.h"
#include "wizard/new_agent_installer.h"

namespace {

// Settings as a configured user has them, so every page shows something.
void FillSample(rn::TSettings& settings) {
  settings.SetService(4);
  settings.SetPin("5551234567");
  settings.SetEarlyTime(rn::EncodeTime(7, 0));
  settings.SetLateTime(rn::EncodeTime(19, 0));
  settings.SetCustomEmail("5551234567@pager.example.net");
  settings.SetServer("smtp.example.org");
  settings.SetMustSignIn(true);
  settings.SetUserName("me");
  settings.SetPass("secret");
  settings.SetFromEmail("me@example.org");
  settings.SetMeetingNotify(true);
  settings.SetMorningNotify(true);
  settings.SetTaskNotify(true);
  settings.SetTaskReminder(true);
  settings.SetTaskRemindPeriod(2);
}

bool Save(QWidget* window, const QRect& area, const QString& file) {
  QTest::qWait(300);  // let the X server draw what was asked
  const QPixmap shot = window->screen()->grabWindow(window->winId(), area.x(), area.y(),
                                                    area.width(), area.height());
  if (shot.isNull() || !shot.save(file)) {
    std::fprintf(stderr, "wizard_screenshots: cannot save %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: wizard_screenshots FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);

  rn::TSettings settings;
  FillSample(settings);
  rn::TQtMessageBoxes boxes;
  QObject owner;
  rn::TNewAgentInstaller installer;
  auto* host = new rn::TMainForm(installer, settings, &owner, boxes);
  if (!QTest::qWaitForWindowExposed(host)) {
    std::fprintf(stderr, "wizard_screenshots: the window never showed\n");
    return 1;
  }

  bool saved = Save(host, host->rect(), folder + "/wizard-host.png");
  const struct {
    rn::TWizardPage page;
    const char* name;
  } pages[] = {
      {rn::TWizardPage::Welcome, "welcome"},
      {rn::TWizardPage::Carrier, "carrier"},
      {rn::TWizardPage::Region, "region"},
      {rn::TWizardPage::Phone, "phone"},
      {rn::TWizardPage::CustomAddress, "custom-address"},
      {rn::TWizardPage::Server, "server"},
      {rn::TWizardPage::Meeting, "meeting"},
      {rn::TWizardPage::Task, "task"},
  };
  int number = 1;
  for (const auto& p : pages) {
    installer.ShowPage(installer.Page(p.page));
    QWidget* panel = host->MainPanel();
    const QRect area(panel->mapTo(host, QPoint(0, 0)), panel->size());
    saved = Save(host, area,
                 QString("%1/wizard-page-%2-%3.png").arg(folder).arg(number++).arg(p.name)) &&
            saved;
  }
  delete host;
  return saved ? 0 : 1;
}
