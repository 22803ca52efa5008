#pragma once
// Numbers as the screens print them, with a '.' whatever the process locale
// (a window toolkit may switch the C library to the user's locale).
#include <cstddef>
#include <string>

namespace corvantis {

// Room for any double in fixed notation.
inline constexpr std::size_t kFixedTextRoom = 400;

// printf's "%.<precision>f" of value.
std::string fixedText(double value, int precision);
// The same written at out (kFixedTextRoom free), answering its end. Digit
// by digit where that is exact: the live lines are set on every tick.
char* writeFixedText(char* out, double value, int precision);

// "%i" of a value already truncated toward zero; values beyond int print
// as "%.0f" rather than overflow.
std::string wholeNumberText(double value);

}  // namespace corvantis
