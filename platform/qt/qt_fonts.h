#pragma once
// Fonts by face, height and weight, as the screens name them.
#include <QFont>

#include "platform/dialog_layout.h"
#include "platform/window.h"

namespace corvantis::platform::qt {

// A font whose character cell (ascent + descent) is wanted.heightPx pixels
// high: the screens' heights name the whole cell, as the handheld's fonts
// did, not the em size that QFont::setPixelSize takes. The face goes through
// fontconfig, which gives a metric-compatible face for "Arial".
QFont toQFont(const FontSpec& wanted);

// The form's own dialog font: the one whose cell is one vertical base unit
// (8 dialog units) high, so that an 8-unit static holds one line of it.
FontSpec dialogFont();

// The shell's three fonts, by role; Dialog answers dialogFont().
FontSpec fontForRole(FontRole role);

}  // namespace corvantis::platform::qt
