#include "fake_message_boxes.h"

#include <gtest/gtest.h>

namespace rn::test {

void TFakeMessageBoxes::Open(QWidget* parent, const TMessageBox& box, TBoxAnswered answered) {
  shown_.push_back({parent, box});
  TOpenBox open{box.Buttons, std::move(answered)};
  if (answers_.empty()) {
    open_.push_back(std::move(open));
    return;
  }
  const TBoxAnswer answer = answers_.front();
  answers_.pop_front();
  Deliver(std::move(open), answer);
}

void TFakeMessageBoxes::SetNextAnswer(TBoxAnswer answer) {
  answers_.push_back(answer);
}

void TFakeMessageBoxes::Answer(TBoxAnswer answer) {
  if (open_.empty()) {
    ADD_FAILURE() << "no message box is open";
    return;
  }
  TOpenBox box = std::move(open_.front());
  open_.pop_front();
  Deliver(std::move(box), answer);
}

const TShownBox& TFakeMessageBoxes::Last() const {
  static const TShownBox none;
  if (shown_.empty()) {
    ADD_FAILURE() << "no message box was shown";
    return none;
  }
  return shown_.back();
}

void TFakeMessageBoxes::Clear() {
  shown_.clear();
  answers_.clear();
  open_.clear();
}

void TFakeMessageBoxes::Deliver(TOpenBox box, TBoxAnswer answer) {
  const bool fits =
      box.Buttons == TBoxButtons::YesNo ? answer != TBoxAnswer::Ok : answer == TBoxAnswer::Ok;
  if (!fits) {
    ADD_FAILURE() << "the answer does not match the box's buttons";
    return;
  }
  if (box.Answered)
    box.Answered(answer);
}

}  // namespace rn::test
