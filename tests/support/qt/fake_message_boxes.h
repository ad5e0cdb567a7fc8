// A message-box seam for widget tests: every box is recorded, and each is
// answered at once with the next answer the test has set, so a test reads
// straight down: set the answer, press the button, look at what happened.
// A box opened while no answer is set stays open until Answer().
#pragma once

#include <deque>
#include <vector>

#include "wizard/message_boxes.h"

namespace rn::test {

struct TShownBox {
  QWidget* Parent = nullptr;
  TMessageBox Box;
};

class TFakeMessageBoxes final : public IMessageBoxes {
 public:
  void Open(QWidget* parent, const TMessageBox& box, TBoxAnswered answered) override;

  // The answer for the next box that opens (Yes and No only for Yes/No boxes,
  // Ok only for OK boxes); answers queue up in order.
  void SetNextAnswer(TBoxAnswer answer);
  // Answers the oldest box still open.
  void Answer(TBoxAnswer answer);

  const std::vector<TShownBox>& Shown() const { return shown_; }
  const TShownBox& Last() const;
  size_t OpenCount() const { return open_.size(); }
  void Clear();

 private:
  struct TOpenBox {
    TBoxButtons Buttons;
    TBoxAnswered Answered;
  };
  static void Deliver(TOpenBox box, TBoxAnswer answer);

  std::vector<TShownBox> shown_;
  std::deque<TBoxAnswer> answers_;
  std::deque<TOpenBox> open_;
};

}  // namespace rn::test
