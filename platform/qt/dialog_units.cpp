#include "platform/qt/dialog_units.h"

namespace corvantis::platform::qt {

int duToPixels(int du) {
  // Integer rounding half away from zero, so that negative offsets (which
  // the tables do not use, but a caller might) mirror positive ones.
  const long long scaled = static_cast<long long>(du) * kPortraitClientWidthPx;
  const long long half = kPortraitFormWidthDu / 2;
  const long long px = scaled >= 0 ? (scaled + half) / kPortraitFormWidthDu
                                   : -((-scaled + half) / kPortraitFormWidthDu);
  return static_cast<int>(px);
}

Rect duToPixels(const Rect& du) {
  const int left = duToPixels(du.x);
  const int top = duToPixels(du.y);
  const int right = duToPixels(du.x + du.width);
  const int bottom = duToPixels(du.y + du.height);
  return Rect{left, top, right - left, bottom - top};
}

Size clientSizeFor(const DialogLayout& layout) {
  if (layout.widthDu > layout.heightDu) {
    return Size{320, 240};
  }
  return Size{240, 320};
}

}  // namespace corvantis::platform::qt
