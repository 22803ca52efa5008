#pragma once
// Typed values shared by the acceleration and distance screens (their
// number texts are in common/number_text.h).
#include <optional>
#include <string>
#include <string_view>

#include "common/number_text.h"

namespace corvantis {

// A number typed into a speed or distance field, read as the fields always
// have been: leading blanks skipped, then the longest number at the start
// ("440 (1/4 mile)" reads 440), in single precision. Empty when the text
// does not start with a finite number. Independent of the process locale.
std::optional<float> parseTypedNumber(std::string_view text);

// True when a speed in mph can name an acceleration run: its whole mph must
// fit the 15 bits the record key gives it without looking like a distance
// run, so 0 up to (not including) 32768 mph.
bool speedFitsKey(float speedMph);

}  // namespace corvantis
