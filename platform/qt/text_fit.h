#pragma once
// Texts that do not fit their control in its font are drawn smaller rather
// than cut off: a driver must read "Speed: 110.8 mph" whole, unit included.
// A text that fits keeps its font exactly.
#include <QFont>
#include <QSize>
#include <QString>

namespace corvantis::platform::qt {

// The smallest pixel size a text is shrunk to; below it nothing is readable.
inline constexpr int kSmallestFittedPixelSize = 6;

// True when text fits a box of `room` in font: on one line no wider than the
// box (wrap false), or word-wrapped (wrap true) with no line wider than the
// box and no more lines than its height holds (one at least). Line breaks
// in the text count as breaks.
bool textFits(const QFont& font, const QString& text, QSize room, bool wrap);

// base when the text fits in it; otherwise base at the largest smaller pixel
// size in which it fits (kSmallestFittedPixelSize when none does).
QFont fittedFont(const QFont& base, const QString& text, QSize room, bool wrap);

}  // namespace corvantis::platform::qt
