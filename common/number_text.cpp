#include "common/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace corvantis {

namespace {

// value * 10^precision rounded to the nearest integer, ties to even, as
// printf rounds: the product's rounding error is measured exactly with a
// fused multiply-add, so a value just above or below a tie rounds the way
// its exact decimal expansion says. Only where that holds: a precision of
// 0 to 3 and 1 <= |value| < 1e12, where value * 10^precision - n needs no
// more bits than a double has. Empty elsewhere.
std::optional<uint64_t> scaledAndRounded(double value, int precision) {
  static constexpr double kScales[] = {1.0, 10.0, 100.0, 1000.0};
  const double magnitude = std::fabs(value);
  if (precision < 0 || precision > 3 || !(magnitude >= 1.0 && magnitude < 1e12)) return std::nullopt;
  const double scale = kScales[precision];
  double n = std::nearbyint(magnitude * scale);
  const double error = std::fma(magnitude, scale, -n);  // exact
  if (error > 0.5 || (error == 0.5 && std::fmod(n, 2.0) != 0.0)) n += 1.0;
  if (error < -0.5 || (error == -0.5 && std::fmod(n, 2.0) != 0.0)) n -= 1.0;
  return static_cast<uint64_t>(n);
}

}  // namespace

char* writeFixedText(char* out, double value, int precision) {
  if (const auto scaled = scaledAndRounded(value, precision)) {
    static constexpr uint64_t kScales[] = {1, 10, 100, 1000};
    const uint64_t scale = kScales[precision];
    if (std::signbit(value)) *out++ = '-';
    out = std::to_chars(out, out + 20, *scaled / scale).ptr;
    if (precision > 0) {
      *out++ = '.';
      uint64_t fraction = *scaled % scale;
      for (int digit = precision - 1; digit >= 0; --digit) {
        out[digit] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
      }
      out += precision;
    }
    return out;
  }
  const auto [end, error] = std::to_chars(out, out + kFixedTextRoom, value, std::chars_format::fixed, precision);
  if (error != std::errc()) {
    *out = '?';
    return out + 1;
  }
  return end;
}

std::string fixedText(double value, int precision) {
  char text[kFixedTextRoom];
  return std::string(text, writeFixedText(text, value, precision));
}

std::string wholeNumberText(double value) {
  char text[64];
  if (value > -2147483648.0 && value < 2147483648.0) {
    std::snprintf(text, sizeof text, "%i", static_cast<int>(value));
  } else {
    return fixedText(value, 0);
  }
  return text;
}

}  // namespace corvantis
