#include "common/time_text.h"

#include <charconv>

namespace corvantis {
namespace {

// Writes value with at least `width` digits, zeros in front.
char* paddedDigits(char* out, uint32_t value, int width) {
  char digits[10];
  char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (int missing = width - static_cast<int>(end - digits); missing > 0; --missing) *out++ = '0';
  for (const char* d = digits; d < end; ++d) *out++ = *d;
  return out;
}

}  // namespace

std::string formatRunTime(uint32_t timeMs) {
  // Digit by digit rather than through printf: the live screens show the
  // running time on every tick.
  char text[32];
  char* end = text;
  if (timeMs < 60000u) {
    // Whole seconds with precision 0: none at all for 0.
    if (timeMs >= 1000u) end = paddedDigits(end, timeMs / 1000u, 1);
  } else {
    end = paddedDigits(end, timeMs / 60000u, 1);
    *end++ = 'm';
    *end++ = ' ';
    end = paddedDigits(end, (timeMs / 1000u) % 60u, 2);
  }
  *end++ = '.';
  end = paddedDigits(end, timeMs % 1000u, 3);
  *end++ = 's';
  return std::string(text, end);
}

std::string formatRunTimeOrEmpty(uint32_t timeMs) {
  return timeMs == 0 ? std::string() : formatRunTime(timeMs);
}

}  // namespace corvantis
