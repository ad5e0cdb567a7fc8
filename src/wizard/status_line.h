// The rules of the wizard's status line, without any widget: which texts are
// errors, how a long text is shortened, what is drawn, and the red blink of
// an error text. Texts are counted in characters (code points).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rn {

// A text with "*** ERROR" anywhere goes to an error box instead of the line.
bool IsErrorStatusText(std::u32string_view text);
// What the error box shows of such a text: from its 11th character on, at
// most 1000 characters (the "*** ERROR:" mark is left off).
std::u32string ErrorBoxText(std::u32string_view text);

// A text longer than 150 characters is shortened for good to its first
// sentence, unless that sentence is the whole text; the shortened line when
// that rule applies, nothing otherwise.
std::optional<std::u32string> ShortenedStatusText(std::u32string_view text);

// A text that begins with "*** ER" blinks, and is drawn without its first
// ten characters.
bool BlinksAsError(std::u32string_view text);
std::u32string StatusDrawText(std::u32string_view text);

// The blink: an error text shows red for six half-second phases, alternating
// with the normal colour, then stays normal until a text that is not an error
// text has been drawn.
struct TBlink {
  bool BlinkOn = false;
  int32_t BlinkCount = 0;
};

enum class TStatusColour { Normal, Red };

struct TBlinkTick {
  bool Ran = false;                              // the timer then ticks every 500 ms
  TStatusColour Colour = TStatusColour::Normal;  // the status font's colour after the tick
  bool Repaint = false;
};

// One tick of the blink timer, for the status text and the font's colour now.
TBlinkTick BlinkTimerTick(TBlink& blink, std::u32string_view text, TStatusColour now);
// Each time the line is drawn with `text`.
void BlinkAfterDraw(TBlink& blink, std::u32string_view text);

}  // namespace rn
