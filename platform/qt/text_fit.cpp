#include "platform/qt/text_fit.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QTextLayout>
#include <QTextOption>

namespace corvantis::platform::qt {

bool textFits(const QFont& font, const QString& text, QSize room, bool wrap) {
  if (text.isEmpty()) return true;
  QString laidOut = text;
  laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
  QTextLayout layout(laidOut, font);
  QTextOption option;
  option.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::NoWrap);
  layout.setTextOption(option);
  const QFontMetrics metrics(font);
  const int linesHeld = wrap ? std::max(1, room.height() / std::max(1, metrics.lineSpacing())) : 1;
  int lines = 0;
  bool fits = true;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(room.width());
    // A word longer than the box overflows its line; so does any unwrapped
    // line. Widths are fractional: less than half a pixel over shows nothing.
    if (qRound(line.naturalTextWidth()) > room.width()) fits = false;
    if (++lines > linesHeld) fits = false;
  }
  layout.endLayout();
  return fits;
}

QFont fittedFont(const QFont& base, const QString& text, QSize room, bool wrap) {
  if (textFits(base, text, room, wrap)) return base;
  QFont font = base;
  const int basePixels = base.pixelSize() > 0 ? base.pixelSize() : QFontInfo(base).pixelSize();
  for (int pixels = basePixels - 1; pixels >= kSmallestFittedPixelSize; --pixels) {
    font.setPixelSize(pixels);
    if (textFits(font, text, room, wrap)) return font;
  }
  font.setPixelSize(std::min(basePixels, kSmallestFittedPixelSize));
  return font;
}

}  // namespace corvantis::platform::qt
