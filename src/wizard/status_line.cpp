// The status line's text rules and its blink.
#include "wizard/status_line.h"

namespace rn {
namespace {

constexpr std::u32string_view kErrorMark = U"*** ERROR";
constexpr std::u32string_view kBlinkMark = U"*** ER";
constexpr size_t kMarkLength = 10;  // "*** ERROR:" or "*** ERROR " before the message
constexpr size_t kMaxTail = 1000;
constexpr size_t kLongText = 150;
constexpr size_t kShortestSentence = 5;
constexpr int32_t kBlinkPhases = 12;  // counts 0 to 11 alternate: six red phases
constexpr int32_t kBlinkDone = 13;

std::u32string Tail(std::u32string_view text) {
  if (text.size() <= kMarkLength)
    return {};
  return std::u32string(text.substr(kMarkLength, kMaxTail));
}

}  // namespace

bool IsErrorStatusText(std::u32string_view text) {
  return text.find(kErrorMark) != std::u32string_view::npos;
}

std::u32string ErrorBoxText(std::u32string_view text) {
  return Tail(text);
}

std::optional<std::u32string> ShortenedStatusText(std::u32string_view text) {
  if (text.size() <= kLongText)
    return std::nullopt;
  const size_t sentenceEnd = text.find(U". ");
  if (sentenceEnd != std::u32string_view::npos && sentenceEnd + 2 == text.size())
    return std::nullopt;
  const size_t firstDot = text.find(U'.');
  if (firstDot != std::u32string_view::npos && firstDot + 1 == text.size())
    return std::nullopt;
  // Up to and including the first ". "; the first character alone without one.
  const size_t keep = sentenceEnd == std::u32string_view::npos ? 1 : sentenceEnd + 2;
  std::u32string shorter(text.substr(0, keep));
  if (shorter.size() < kShortestSentence)
    return Tail(text);
  return shorter;
}

bool BlinksAsError(std::u32string_view text) {
  return text.substr(0, kBlinkMark.size()) == kBlinkMark;
}

std::u32string StatusDrawText(std::u32string_view text) {
  if (BlinksAsError(text))
    return std::u32string(text.size() > kMarkLength ? text.substr(kMarkLength) : U"");
  return std::u32string(text);
}

TBlinkTick BlinkTimerTick(TBlink& blink, std::u32string_view text, TStatusColour now) {
  if (blink.BlinkCount > kBlinkDone)
    return {false, now, false};
  if (BlinksAsError(text)) {
    blink.BlinkOn = blink.BlinkCount < kBlinkPhases;
    const TStatusColour colour =
        blink.BlinkOn && now == TStatusColour::Normal ? TStatusColour::Red : TStatusColour::Normal;
    ++blink.BlinkCount;
    return {true, colour, true};
  }
  blink.BlinkOn = false;
  blink.BlinkCount = 1;
  return {true, TStatusColour::Normal, now != TStatusColour::Normal};
}

void BlinkAfterDraw(TBlink& blink, std::u32string_view text) {
  // Every text that blinks is left to finish its blink; drawing any other
  // text readies the next error text for a blink of its own.
  if (BlinksAsError(text))
    return;
  blink.BlinkCount = 1;
  blink.BlinkOn = false;
}

}  // namespace rn
