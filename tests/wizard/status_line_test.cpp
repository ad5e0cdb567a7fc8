#include "wizard/status_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace rn {
namespace {

std::u32string Repeat(char32_t c, size_t n) {
  return std::u32string(n, c);
}

TEST(StatusLineText, ErrorTextsGoToABoxWithoutTheirMark) {
  struct Case {
    std::u32string text;
    bool error;
    std::u32string box;
  } cases[] = {
      {U"*** ERROR: x", true, U" x"},
      {U"Saving. *** ERROR: disk full", true, U"* ERROR: disk full"},
      {U"*** ERROR", true, U""},
      {U"*** Error: lower case", false, U" lower case"},
      {U"All well", false, U""},
      {U"*** ERROR:" + Repeat(U'x', 1200), true, Repeat(U'x', 1000)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsErrorStatusText(c.text), c.error);
    EXPECT_EQ(ErrorBoxText(c.text), c.box);
  }
}

TEST(StatusLineText, LongTextsAreCutToTheirFirstSentence) {
  const std::u32string sentence = U"Checking the calendar. ";
  struct Case {
    const char* name;
    std::u32string text;
    std::optional<std::u32string> want;
  } cases[] = {
      {"150 characters stay", Repeat(U'a', 150), std::nullopt},
      {"151 with a sentence", sentence + Repeat(U'b', 151 - sentence.size()), sentence},
      // Without ". " the first character alone would be left; too short, so
      // the text from its 11th character is shown instead.
      {"151 without a sentence", U"0123456789" + Repeat(U'c', 141), Repeat(U'c', 141)},
      {"only sentence ends it", Repeat(U'd', 149) + U". ", std::nullopt},
      {"first dot is the last character", Repeat(U'e', 150) + U".", std::nullopt},
      {"first sentence shorter than five", U"Ok. 6789" + Repeat(U'f', 143), Repeat(U'f', 141)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ShortenedStatusText(c.text), c.want);
  }
}

TEST(StatusLineText, ErrorTextsAreDrawnWithoutTheirMark) {
  EXPECT_EQ(StatusDrawText(U"*** ERROR: late"), U" late");
  EXPECT_EQ(StatusDrawText(U"*** ERR:  late"), U"late");
  EXPECT_EQ(StatusDrawText(U"*** ER"), U"");
  EXPECT_EQ(StatusDrawText(U"Plain text"), U"Plain text");
}

// The colours of `ticks` timer ticks for a line that shows `text`, drawn
// again at every repaint.
std::vector<TStatusColour> Blink(TBlink& blink, const std::u32string& text, int ticks) {
  std::vector<TStatusColour> colours;
  TStatusColour now = TStatusColour::Normal;
  for (int i = 0; i < ticks; ++i) {
    const TBlinkTick tick = BlinkTimerTick(blink, text, now);
    now = tick.Colour;
    if (tick.Repaint)
      BlinkAfterDraw(blink, text);
    colours.push_back(now);
  }
  return colours;
}

int RedPhases(const std::vector<TStatusColour>& colours) {
  int red = 0;
  for (size_t i = 0; i < colours.size(); ++i) {
    if (colours[i] == TStatusColour::Red) {
      ++red;
      if (i > 0) {
        EXPECT_EQ(colours[i - 1], TStatusColour::Normal) << "red phases alternate with normal";
      }
    }
  }
  return red;
}

TEST(StatusLineBlink, AnErrorTextBlinksRedSixTimesThenStaysNormal) {
  for (const std::u32string text : {U"*** ERROR: failed", U"*** ERR: failed"}) {
    TBlink blink;
    BlinkAfterDraw(blink, U"Ready");  // a plain text was drawn before
    const auto colours = Blink(blink, text, 40);
    EXPECT_EQ(RedPhases(colours), 6);
    EXPECT_EQ(colours.back(), TStatusColour::Normal);

    // The same error text again blinks no more ...
    EXPECT_FALSE(BlinkTimerTick(blink, text, TStatusColour::Normal).Ran);
    // ... until a plain text has been drawn in between.
    BlinkAfterDraw(blink, U"Ready");
    EXPECT_EQ(RedPhases(Blink(blink, text, 40)), 6);
  }
}

TEST(StatusLineBlink, APlainTextPutsTheColourBack) {
  TBlink blink;
  const TBlinkTick tick = BlinkTimerTick(blink, U"Ready", TStatusColour::Red);
  EXPECT_TRUE(tick.Ran);
  EXPECT_EQ(tick.Colour, TStatusColour::Normal);
  EXPECT_TRUE(tick.Repaint);
  EXPECT_FALSE(BlinkTimerTick(blink, U"Ready", TStatusColour::Normal).Repaint);
}

}  // namespace
}  // namespace rn
