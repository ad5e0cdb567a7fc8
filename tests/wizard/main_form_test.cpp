// The wizard framework on a small wizard of two pages: the host's design,
// the run, the close query, the button row around a failing step, the Enter
// key, the status line, and pages that outlive their host.
#include "wizard/main_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <stdexcept>

#include "fake_message_boxes.h"
#include "message_recorder.h"
#include "shell/settings.h"
#include "shell/window_messages.h"
#include "widget_find.h"
#include "wizard/base_installer.h"
#include "wizard/generic_frame.h"

namespace rn {
namespace {

using test::Child;

class TTestPage final : public TGenericFrame {
 public:
  TTestPage(TBaseInstaller& installer, const char* name) : TGenericFrame(installer) {
    setObjectName(name);
    auto* edit = new QLineEdit(ClientArea());
    edit->setObjectName("Edit");
    Loaded();
  }
  std::function<void()> OnNext;  // runs in DoNext; may throw
  int Shown = 0;

  void DoNext() override {
    if (OnNext)
      OnNext();
    TGenericFrame::DoNext();
  }
  void PageShown() override {
    TGenericFrame::PageShown();
    ++Shown;
  }
};

class TTestInstaller final : public TBaseInstaller {
 public:
  TTestPage* First = nullptr;
  TTestPage* Second = nullptr;
  QWidget* Picture = nullptr;
  int Created = 0;
  int Closed = 0;

  void CreatePages() override {
    if (First)
      return;
    ++Created;
    First = Adopt(std::make_unique<TTestPage>(*this, "First"));
    Second = Adopt(std::make_unique<TTestPage>(*this, "Second"));
    Picture = Adopt(std::make_unique<QWidget>());
    SetImagePage(Picture);
  }
  TGenericFrame* FirstPage() override { return First; }
  void Next() override {
    if (CurrentPage() == First)
      ShowPage(Second);
    else
      Finish();
  }
  void Back() override {
    if (CurrentPage() == Second)
      ShowPage(First);
  }
  void HostClosed() override { ++Closed; }
};

class WizardFramework : public ::testing::Test {
 protected:
  void SetUp() override { host = Open(); }
  void TearDown() override {
    delete host;
    test::DeliverPostedEvents();
  }

  TMainForm* Open() {
    auto* form = new TMainForm(installer, settings, &owner, boxes);
    form->activateWindow();
    QApplication::setActiveWindow(form);
    test::DeliverPostedEvents();
    return form;
  }
  void Click(TGenericFrame* page, const char* button) {
    QTest::mouseClick(Child<QPushButton>(page, button), Qt::LeftButton);
    test::DeliverPostedEvents();
  }
  void PressEnter(QWidget* on) {
    on->setFocus();
    QTest::keyClick(on, Qt::Key_Return);
    test::DeliverPostedEvents();
  }

  TSettings settings;
  test::TFakeMessageBoxes boxes;
  test::TMessageRecorder owner;
  TTestInstaller installer;  // outlives every host
  QPointer<TMainForm> host;
};

TEST_F(WizardFramework, HostHasItsDesignAndShowsTheFirstPageBesideTheMargin) {
  EXPECT_EQ(host->windowTitle(), "Ravenote Configuration Wizard");
  EXPECT_EQ(host->size(), QSize(612, 413));
  EXPECT_TRUE(host->isVisible());
  EXPECT_EQ(Child<QWidget>(host, "ImagePanel")->width(), 145);
  EXPECT_EQ(Child<QWidget>(host, "StatusBar")->height(), 21);
  EXPECT_EQ(Child<QWidget>(host, "TitlePanel")->height(), 0);
  auto* main = Child<QWidget>(host, "MainPanel");
  EXPECT_EQ(main->size(), QSize(467, 392));
  EXPECT_EQ(Child<QWidget>(host, "SpacePanel")->width(), 17);

  EXPECT_EQ(installer.CurrentPage(), installer.First);
  EXPECT_EQ(installer.First->parentWidget(), main);
  EXPECT_EQ(installer.First->geometry(), QRect(17, 0, 450, 392));
  EXPECT_EQ(installer.Picture->parentWidget(), host->ImagePanel());
  EXPECT_EQ(installer.First->Shown, 1);
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Ravenote Configuration Wizard");

  // The button row as designed; no page has a help context, so no Help.
  auto* page = installer.First;
  EXPECT_FALSE(Child<QPushButton>(page, "HelpButton")->isVisible());
  EXPECT_EQ(Child<QWidget>(page, "ButtonPanel")->height(), 39);
  EXPECT_EQ(Child<QWidget>(page, "Panel1")->width(), 258);
  struct Button {
    const char* name;
    QString caption;
    int left;
  } buttons[] = {
      {"BackButton", "< &Back", 7}, {"NextButton", "&Next >", 91}, {"CancelButton", "Cancel", 175}};
  for (const auto& b : buttons) {
    auto* button = Child<QPushButton>(page, b.name);
    EXPECT_EQ(button->text(), b.caption);
    EXPECT_EQ(button->geometry(), QRect(b.left, 5, 75, 25));
  }
  EXPECT_TRUE(Child<QPushButton>(page, "NextButton")->hasFocus());

  // Tab runs through the page's controls, then the button row.
  auto* edit = Child<QLineEdit>(page, "Edit");
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Tab);
  EXPECT_TRUE(Child<QPushButton>(page, "BackButton")->hasFocus());
}

TEST_F(WizardFramework, HidingAndShowingTheHostStartsTheRunOver) {
  Click(installer.First, "NextButton");
  ASSERT_EQ(installer.CurrentPage(), installer.Second);
  host->hide();
  host->show();
  test::DeliverPostedEvents();
  EXPECT_EQ(installer.CurrentPage(), installer.First);
  EXPECT_EQ(installer.Created, 1) << "pages are made once";
  EXPECT_FALSE(installer.Second->isVisible());
}

TEST_F(WizardFramework, CloseQueryAsksAndYesPostsOneReload) {
  boxes.SetNextAnswer(TBoxAnswer::No);
  Click(installer.First, "CancelButton");
  ASSERT_EQ(boxes.Shown().size(), 1u);
  const TMessageBox& question = boxes.Last().Box;
  EXPECT_EQ(question.Text, "Are you sure you want to exit the configuration Wizard?");
  EXPECT_EQ(question.Caption, "Warning");
  EXPECT_EQ(question.Icon, TBoxIcon::Warning);
  EXPECT_EQ(question.Buttons, TBoxButtons::YesNo);
  EXPECT_EQ(boxes.Last().Parent, host);
  EXPECT_TRUE(host && host->isVisible());
  EXPECT_TRUE(owner.Received().empty());

  // The window's close box asks the same; a second request while the
  // question is open asks nothing more.
  host->close();
  host->close();
  EXPECT_EQ(boxes.Shown().size(), 2u);
  boxes.Answer(TBoxAnswer::Yes);
  test::DeliverPostedEvents();
  EXPECT_FALSE(host) << "the host closed and went away";
  EXPECT_EQ(owner.Received(), std::vector<int>{WM_RELOAD_SETTINGS});
  EXPECT_EQ(installer.Closed, 1);
}

TEST_F(WizardFramework, FinishClosesWithoutAQuestionOrReload) {
  Click(installer.First, "NextButton");
  Click(installer.Second, "NextButton");  // Finish
  EXPECT_TRUE(installer.Finished());
  EXPECT_FALSE(host);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_TRUE(owner.Received().empty());
}

TEST_F(WizardFramework, AFailingStepEnablesTheButtonsAgainAndReportsTheFailure) {
  auto* panel = Child<QWidget>(installer.First, "ButtonPanel");
  bool disabledDuringStep = false;
  installer.First->OnNext = [&] {
    disabledDuringStep = !panel->isEnabled();
    // A second press while the step runs starts no second step.
    Child<QAction>(installer.First, "acNext")->trigger();
    throw std::runtime_error("The step failed.");
  };
  Click(installer.First, "NextButton");
  EXPECT_TRUE(disabledDuringStep);
  EXPECT_TRUE(panel->isEnabled());
  EXPECT_EQ(installer.CurrentPage(), installer.First);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Last().Box.Text, "The step failed.");
  EXPECT_EQ(boxes.Last().Box.Icon, TBoxIcon::Error);

  installer.First->OnNext = nullptr;
  Click(installer.First, "NextButton");
  EXPECT_EQ(installer.CurrentPage(), installer.Second);
}

TEST_F(WizardFramework, EnterActsByFocus) {
  Click(installer.First, "NextButton");
  TTestPage* page = installer.Second;

  PressEnter(Child<QPushButton>(page, "BackButton"));
  EXPECT_EQ(installer.CurrentPage(), installer.First) << "Enter on Back goes back";

  PressEnter(Child<QLineEdit>(installer.First, "Edit"));
  EXPECT_EQ(installer.CurrentPage(), installer.Second) << "Enter in an edit field is Next";

  Child<QAction>(page, "acNext")->setEnabled(false);
  EXPECT_FALSE(Child<QPushButton>(page, "NextButton")->isEnabled());
  PressEnter(Child<QLineEdit>(page, "Edit"));
  EXPECT_EQ(installer.CurrentPage(), installer.Second) << "nothing while Next is disabled";
  EXPECT_FALSE(installer.Finished());

  boxes.SetNextAnswer(TBoxAnswer::No);
  PressEnter(Child<QPushButton>(page, "CancelButton"));
  EXPECT_EQ(boxes.Shown().size(), 1u) << "Enter on Cancel asks the close question";
}

TEST_F(WizardFramework, OnlyTheShownPageTakesTheEnterKey) {
  // The first page is out of the host now; its Enter action must not fire.
  Click(installer.First, "NextButton");
  int firstNexts = 0;
  installer.First->OnNext = [&] { ++firstNexts; };
  PressEnter(Child<QLineEdit>(installer.Second, "Edit"));
  EXPECT_EQ(firstNexts, 0);
  EXPECT_TRUE(installer.Finished());
}

TEST_F(WizardFramework, StatusLineErrorsGoToABoxAndLongTextsAreShortened) {
  auto* statusBar = Child<QWidget>(host, "StatusBar");
  installer.SetStatusText("Working");
  EXPECT_EQ(installer.GetStatusText(), "Working");
  EXPECT_EQ(statusBar->toolTip(), "Working");

  installer.SetStatusText("*** ERROR: x");
  EXPECT_EQ(installer.GetStatusText(), "");
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Last().Box.Text, " x");
  EXPECT_EQ(boxes.Last().Box.Icon, TBoxIcon::Error);
  EXPECT_EQ(boxes.Last().Box.Buttons, TBoxButtons::Ok);
  EXPECT_TRUE(statusBar->toolTip().isEmpty()) << "an empty line switches the tooltip off";

  const QString sentence = "Checking the calendar. ";
  const QString longText = sentence + QString(151 - sentence.size(), 'b');
  installer.SetStatusText(longText);
  EXPECT_EQ(installer.GetStatusText(), sentence);
  EXPECT_EQ(statusBar->toolTip(), longText) << "the tooltip keeps the whole text";

  // A new page clears the line.
  Click(installer.First, "NextButton");
  EXPECT_EQ(installer.GetStatusText(), "");
}

TEST_F(WizardFramework, PagesOutliveTheirHostAndASecondHostTakesThemOver) {
  QPointer<TMainForm> second = Open();
  EXPECT_EQ(installer.WizardHost(), second);
  EXPECT_EQ(installer.First->window(), second);
  EXPECT_EQ(installer.Picture->window(), second);
  EXPECT_EQ(installer.Created, 1);

  delete second;
  ASSERT_TRUE(installer.First);
  EXPECT_EQ(installer.First->parentWidget(), nullptr) << "taken out, not deleted";
  EXPECT_EQ(installer.WizardHost(), nullptr);

  QPointer<TMainForm> third = Open();
  EXPECT_EQ(installer.First->window(), third);
  EXPECT_EQ(installer.First->Shown, 3);
  delete third;
}

}  // namespace
}  // namespace rn
