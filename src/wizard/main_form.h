// The wizard's host window: a picture column on the left, a main panel that
// shows one page at a time and a one-line status bar drawn by the host
// itself. One host per run; its only tie to the window that opened it is the
// owner object to which it posts WM_RELOAD_SETTINGS and WM_SAVE_SETTINGS.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "wizard/status_line.h"

class QPainter;
class QTimer;

namespace rn {

class IMessageBoxes;
class TBaseInstaller;
class TSettings;

inline constexpr const char* kWizardCaption = "Ravenote Configuration Wizard";

// The status line: draws nothing itself, the host draws it.
class TStatusBar final : public QWidget {
  Q_OBJECT

 public:
  explicit TStatusBar(QWidget* parent);
  std::function<void(QPainter&)> OnDrawPanel;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class TMainForm final : public QWidget {
  Q_OBJECT

 public:
  using THelpOpener = std::function<void(int context)>;

  // `installer` and `settings` outlive the host; `owner` receives the posted
  // messages; `openHelp` opens the help book at a context (may be empty).
  // The host places itself, becomes the installer's host and shows itself;
  // it deletes itself when it closes.
  TMainForm(TBaseInstaller& installer, TSettings& settings, QObject* owner, IMessageBoxes& boxes,
            THelpOpener openHelp = {});
  ~TMainForm() override;

  TSettings& Settings() const { return settings_; }
  IMessageBoxes& MessageBoxes() const { return boxes_; }
  QObject* Owner() const { return owner_; }
  QWidget* ImagePanel() const { return imagePanel_; }
  QWidget* MainPanel() const { return mainPanel_; }

  QString StatusText() const { return statusText_; }
  // Sets the status line and repaints it.
  void SetStatusLine(const QString& text);
  void OpenHelp(int context);

  void Timer1Timer();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  bool FormCloseQuery();
  void FormClose();
  void StatusBarDrawPanel(QPainter& painter);
  void HelpKey();

  TBaseInstaller& installer_;
  TSettings& settings_;
  QObject* owner_;
  IMessageBoxes& boxes_;
  THelpOpener openHelp_;

  QWidget* titlePanel_;
  QWidget* imagePanel_;
  QWidget* mainPanel_;
  QWidget* spacePanel_;
  TStatusBar* statusBar_;
  QTimer* timer1_;

  QString statusText_;
  TBlink blink_;
  TStatusColour statusColour_ = TStatusColour::Normal;
  bool questionOpen_ = false;
  bool closeConfirmed_ = false;
};

}  // namespace rn
