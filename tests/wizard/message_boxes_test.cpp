#include "wizard/message_boxes.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <optional>

#include "message_recorder.h"
#include "wizard/window_message.h"

namespace rn {
namespace {

QMessageBox* OpenBoxOf(QWidget& parent) {
  const auto boxes = parent.findChildren<QMessageBox*>();
  return boxes.isEmpty() ? nullptr : boxes.front();
}

TEST(QtMessageBoxes, OpensWithoutWaitingAndAnswersThroughTheCallback) {
  struct Case {
    const char* name;
    TBoxButtons buttons;
    QMessageBox::StandardButton press;  // NoButton: closed with Escape
    TBoxAnswer want;
  } cases[] = {
      {"Yes", TBoxButtons::YesNo, QMessageBox::Yes, TBoxAnswer::Yes},
      {"No", TBoxButtons::YesNo, QMessageBox::No, TBoxAnswer::No},
      {"Escape on a question", TBoxButtons::YesNo, QMessageBox::NoButton, TBoxAnswer::No},
      {"OK", TBoxButtons::Ok, QMessageBox::Ok, TBoxAnswer::Ok},
      {"Escape on OK", TBoxButtons::Ok, QMessageBox::NoButton, TBoxAnswer::Ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget window;
    window.show();
    TQtMessageBoxes boxes;
    std::optional<TBoxAnswer> answer;
    int answers = 0;
    boxes.Open(&window, {"Warning", "Sure?", TBoxIcon::Warning, c.buttons}, [&](TBoxAnswer a) {
      answer = a;
      ++answers;
    });

    // open() returned at once, the box is up and modal to its window only.
    QPointer<QMessageBox> box = OpenBoxOf(window);
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->windowTitle(), "Warning");
    EXPECT_EQ(box->text(), "Sure?");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_FALSE(answer);

    if (c.press == QMessageBox::NoButton)
      box->reject();
    else
      box->button(c.press)->click();
    test::DeliverPostedEvents();
    EXPECT_EQ(answer, c.want);
    EXPECT_EQ(answers, 1);
    EXPECT_FALSE(box) << "an answered box is deleted";
  }
}

TEST(QtMessageBoxes, ShowsTheKindOfBoxAsked) {
  QWidget window;
  TQtMessageBoxes boxes;
  boxes.Error(&window, "Error", "It failed");
  QMessageBox* box = OpenBoxOf(window);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->icon(), QMessageBox::Critical);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
  box->done(0);
  test::DeliverPostedEvents();

  boxes.AskYesNo(&window, "Question", "Go on?", TBoxIcon::Question, {});
  box = OpenBoxOf(window);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box->defaultButton(), qobject_cast<QPushButton*>(box->button(QMessageBox::Yes)));
}

TEST(QtMessageBoxes, ShowATextAsItStandsNeverAsMarkup) {
  // An error text can carry a server's reply or a mail's subject.
  QWidget window;
  TQtMessageBoxes boxes;
  boxes.Error(&window, "Ravenote", "550 <b>no</b> <img src=\"file:///etc/passwd\">");
  QMessageBox* box = OpenBoxOf(window);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
  EXPECT_EQ(box->text(), "550 <b>no</b> <img src=\"file:///etc/passwd\">");
}

TEST(WindowMessages, ArePostedNotSent) {
  test::TMessageRecorder owner;
  PostWindowMessage(&owner, WM_RELOAD_SETTINGS);
  PostWindowMessage(&owner, WM_SAVE_SETTINGS);
  EXPECT_TRUE(owner.Received().empty()) << "handled only when the event loop runs";
  test::DeliverPostedEvents();
  EXPECT_EQ(owner.Received(), (std::vector<int>{WM_RELOAD_SETTINGS, WM_SAVE_SETTINGS}));
}

}  // namespace
}  // namespace rn
