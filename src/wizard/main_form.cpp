// The host window: its design, placement, run start, close query, status
// line and blink.
#include "wizard/main_form.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "wizard/base_installer.h"
#include "wizard/generic_frame.h"
#include "wizard/message_boxes.h"
#include "wizard/placement.h"
#include "wizard/window_message.h"

namespace rn {
namespace {

constexpr int kClientWidth = 612;
constexpr int kClientHeight = 413;
constexpr int kImagePanelWidth = 145;
constexpr int kStatusBarHeight = 21;
constexpr int kSpacePanelWidth = 17;
constexpr int kHostHelpContext = 25;
constexpr int kMainPanelHelpContext = 9999;
constexpr int kFirstBlinkPeriod = 1000;
constexpr int kBlinkPeriod = 500;
constexpr int kStatusTextOffset = 4;

TScreenRect RectOf(const QRect& r) {
  return {r.left(), r.top(), r.width(), r.height()};
}

QWidget* MakePanel(QWidget* parent, const char* name) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  return panel;
}

}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusBar");
  setFixedHeight(kStatusBarHeight);
}

void TStatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (OnDrawPanel)
    OnDrawPanel(painter);
}

TMainForm::TMainForm(TBaseInstaller& installer, TSettings& settings, QObject* owner,
                     IMessageBoxes& boxes, THelpOpener openHelp)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      installer_(installer),
      settings_(settings),
      owner_(owner),
      boxes_(boxes),
      openHelp_(std::move(openHelp)) {
  setObjectName("MainForm");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(kWizardCaption);
  setFixedSize(kClientWidth, kClientHeight);
  setProperty(kHelpContextProperty, kHostHelpContext);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  titlePanel_ = MakePanel(this, "TitlePanel");
  titlePanel_->setFixedHeight(0);
  column->addWidget(titlePanel_);

  auto* middle = new QHBoxLayout;
  middle->setContentsMargins(0, 0, 0, 0);
  middle->setSpacing(0);
  column->addLayout(middle, 1);

  auto* imageFrame = new QFrame(this);
  imageFrame->setObjectName("ImagePanel");
  imageFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  imageFrame->setFixedWidth(kImagePanelWidth);
  auto* imageLayout = new QVBoxLayout(imageFrame);
  imageLayout->setContentsMargins(imageFrame->frameWidth(), imageFrame->frameWidth(),
                                  imageFrame->frameWidth(), imageFrame->frameWidth());
  imagePanel_ = imageFrame;
  middle->addWidget(imagePanel_);

  mainPanel_ = MakePanel(this, "MainPanel");
  mainPanel_->setProperty(kHelpContextProperty, kMainPanelHelpContext);
  auto* pageRow = new QHBoxLayout(mainPanel_);
  pageRow->setContentsMargins(0, 0, 0, 0);
  pageRow->setSpacing(0);
  spacePanel_ = MakePanel(mainPanel_, "SpacePanel");
  spacePanel_->setFixedWidth(kSpacePanelWidth);
  pageRow->addWidget(spacePanel_);
  middle->addWidget(mainPanel_, 1);

  statusBar_ = new TStatusBar(this);
  column->addWidget(statusBar_);

  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(kFirstBlinkPeriod);
  connect(timer1_, &QTimer::timeout, this, &TMainForm::Timer1Timer);
  timer1_->start();

  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, &TMainForm::HelpKey);

  FormCreate();
  show();
}

TMainForm::~TMainForm() {
  installer_.HostDestroyed(this);
}

void TMainForm::FormCreate() {
  std::vector<TScreenRect> monitors;
  for (const QScreen* screen : QGuiApplication::screens())
    monitors.push_back(RectOf(screen->geometry()));
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) {
    const TPoint at = PlaceHost(monitors, RectOf(primary->geometry()),
                                RectOf(primary->virtualGeometry()), width(), height());
    move(at.Left, at.Top);
  }
  statusBar_->OnDrawPanel = [this](QPainter& painter) { StatusBarDrawPanel(painter); };
  installer_.HostCreated(this);
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window brought back from the taskbar is no new run.
  if (!event->spontaneous())
    FormShow();
}

void TMainForm::FormShow() {
  installer_.StartRun();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  event->accept();
  FormClose();
}

bool TMainForm::FormCloseQuery() {
  if (installer_.Finished() || closeConfirmed_)
    return true;
  if (questionOpen_)
    return false;  // the question is already on screen
  questionOpen_ = true;
  QPointer<TMainForm> self(this);
  boxes_.AskYesNo(this, QStringLiteral("Warning"),
                  QStringLiteral("Are you sure you want to exit the configuration Wizard?"),
                  TBoxIcon::Warning, [self](TBoxAnswer answer) {
                    if (!self)
                      return;
                    self->questionOpen_ = false;
                    if (answer != TBoxAnswer::Yes)
                      return;  // the run goes on, on the same page
                    self->closeConfirmed_ = true;
                    PostWindowMessage(self->owner_, WM_RELOAD_SETTINGS);
                    // The close itself is queued: the answer may come while
                    // this very close request is still being refused.
                    QMetaObject::invokeMethod(
                        self,
                        [self] {
                          if (self)
                            self->close();
                        },
                        Qt::QueuedConnection);
                  });
  return false;
}

void TMainForm::FormClose() {
  installer_.HostClosed();
}

void TMainForm::SetStatusLine(const QString& text) {
  statusText_ = text;
  statusBar_->repaint();
}

void TMainForm::OpenHelp(int context) {
  if (openHelp_)
    openHelp_(context);
}

void TMainForm::HelpKey() {
  // The help context of the focused control, or of the nearest parent that
  // has one.
  for (const QWidget* w = focusWidget(); w; w = w->parentWidget()) {
    const int context = w->property(kHelpContextProperty).toInt();
    if (context != 0) {
      OpenHelp(context);
      return;
    }
  }
  OpenHelp(kHostHelpContext);
}

void TMainForm::StatusBarDrawPanel(QPainter& painter) {
  const QString shown = statusText_;
  if (shown.isEmpty())
    statusBar_->setToolTip(QString());
  else if (statusBar_->toolTip() != shown)
    statusBar_->setToolTip(shown);

  if (auto shorter = ShortenedStatusText(statusText_.toStdU32String()))
    statusText_ = QString::fromStdU32String(*shorter);
  const std::u32string text = statusText_.toStdU32String();

  painter.setFont(statusBar_->font());
  painter.setPen(statusColour_ == TStatusColour::Red ? QColor(Qt::red)
                                                     : palette().color(QPalette::WindowText));
  const QRect area = statusBar_->rect().adjusted(kStatusTextOffset, kStatusTextOffset, 0, 0);
  painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   QString::fromStdU32String(StatusDrawText(text)));
  BlinkAfterDraw(blink_, text);
}

void TMainForm::Timer1Timer() {
  const TBlinkTick tick = BlinkTimerTick(blink_, statusText_.toStdU32String(), statusColour_);
  if (!tick.Ran)
    return;
  timer1_->setInterval(kBlinkPeriod);
  statusColour_ = tick.Colour;
  if (tick.Repaint)
    statusBar_->repaint();
}

}  // namespace rn
