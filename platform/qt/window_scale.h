#pragma once
// How large the window is on a desktop when the user gives no --scale: the
// handheld's 240 x 320 (or 320 x 240) window would be a stamp on a desktop
// display, so it grows by the largest whole factor at which it still fits in
// about two thirds of the screen's height (and in the screen's width). No Qt
// here: the rule is plain arithmetic on the screen's size in logical pixels.
#include <optional>

#include "platform/dialog_layout.h"

namespace corvantis::platform::qt {

inline constexpr int kMaxWindowScale = 8;

// The factor for a screen of screen.width x screen.height logical pixels and
// the layout chosen (landscape: 320 x 240, else 240 x 320); 1 to
// kMaxWindowScale, 1 for any screen too small or unknown.
int windowScaleFor(Size screen, bool landscape);

// The primary screen's size in logical pixels, found before the program's
// QApplication exists (Qt takes the scale factor only at its creation) by
// a short-lived QGuiApplication on the same arguments. Empty when there is
// no screen.
std::optional<Size> probeScreenSize(int argc, char** argv);

}  // namespace corvantis::platform::qt
