#include "platform/qt/qt_fonts.h"

#include <QFontMetrics>
#include <algorithm>

namespace corvantis::platform::qt {

QFont toQFont(const FontSpec& wanted) {
  QFont font(QString::fromStdString(wanted.face));
  font.setStyleHint(QFont::SansSerif);
  font.setWeight(static_cast<QFont::Weight>(std::clamp(wanted.weight, 1, 1000)));
  const int cell = std::max(wanted.heightPx, 1);
  // Start from the em size that a typical sans-serif cell (about 1.15 em)
  // gives and walk to the largest size whose cell still fits; the walk is
  // short and copes with whatever face fontconfig substitutes.
  int size = std::max(1, cell * 20 / 23);
  font.setPixelSize(size);
  while (QFontMetrics(font).height() < cell) {
    font.setPixelSize(size + 1);
    if (QFontMetrics(font).height() > cell) {
      font.setPixelSize(size);
      break;
    }
    ++size;
  }
  while (size > 1 && QFontMetrics(font).height() > cell) {
    font.setPixelSize(--size);
  }
  return font;
}

FontSpec dialogFont() { return FontSpec{"Arial", 14, 400}; }

FontSpec fontForRole(FontRole role) {
  switch (role) {
    case FontRole::Small: return FontSpec{"Arial", 12, 400};
    case FontRole::Medium: return FontSpec{"Arial", 17, 700};
    case FontRole::Large: return FontSpec{"Arial", 25, 700};
    case FontRole::Dialog: break;
  }
  return dialogFont();
}

}  // namespace corvantis::platform::qt
