#pragma once
// Dialog units to client pixels. The layout tables are in the dialog units
// of the handheld's dialog font; the base units are chosen so that the
// portrait form, 139 units wide, fills the 240-pixel-wide client area, which
// gives about 1.73 pixels a unit, the same both ways (the handheld's dialog
// font had a cell twice as high as its average character is wide).
#include "platform/dialog_layout.h"

namespace corvantis::platform::qt {

// Client width of the handheld in portrait, and the width of the portrait
// form in dialog units: the ratio of the two is the scale.
inline constexpr int kPortraitClientWidthPx = 240;
inline constexpr int kPortraitFormWidthDu = 139;

// One coordinate in dialog units to pixels, rounded to the nearest pixel.
int duToPixels(int du);

// A rectangle in dialog units to pixels. The left/top and right/bottom edges
// are converted separately, so that controls that abut in the table abut on
// the screen too (converting width and height on their own could open or
// close a one-pixel gap between neighbours).
Rect duToPixels(const Rect& du);

// The handheld's client area for a form: 240 x 320 in portrait, 320 x 240 in
// landscape (a form wider than high).
Size clientSizeFor(const DialogLayout& layout);

}  // namespace corvantis::platform::qt
