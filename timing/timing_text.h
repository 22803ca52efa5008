#pragma once
// Texts and typed values shared by the acceleration and distance screens.
#include <optional>
#include <string>
#include <string_view>

namespace corvantis {

// A number typed into a speed or distance field, read as the fields always
// have been: leading blanks skipped, then the longest number at the start
// ("440 (1/4 mile)" reads 440), in single precision. Empty when the text
// does not start with a finite number. Independent of the process locale.
std::optional<float> parseTypedNumber(std::string_view text);

// "Speed: %.1f mph" (or " kph" with the speed converted in Metric), with
// " *" appended on a tick that brought a new fix.
std::string speedLineText(float speedMph, bool metric, bool newFix);

// True when a speed in mph can name an acceleration run: its whole mph must
// fit the 15 bits the record key gives it without looking like a distance
// run, so 0 up to (not including) 32768 mph.
bool speedFitsKey(float speedMph);

// printf's "%.<precision>f" of value, with a '.' whatever the process
// locale (a window toolkit may switch the C library to the user's locale).
std::string fixedText(double value, int precision);

// "%i" of a value already truncated toward zero; values beyond int print
// as "%.0f" rather than overflow.
std::string wholeNumberText(double value);

}  // namespace corvantis
