#include "timing/timing_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>

#include "common/units.h"

namespace corvantis {

std::optional<float> parseTypedNumber(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
  // A leading '+' is part of a number as the fields read it; from_chars
  // does not take one.
  if (pos < text.size() && text[pos] == '+') {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return std::nullopt;
  }
  float value = 0.0f;
  const char* first = text.data() + pos;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end == first || !std::isfinite(value)) return std::nullopt;
  return value;
}

namespace {

// Room for any double in fixed notation.
constexpr std::size_t kFixedRoom = 400;

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

// printf's "%.<precision>f" of value at out (kFixedRoom free), answering
// its end. Digit by digit where that is exact; the live lines are set on
// every tick.
char* writeFixed(char* out, double value, int precision) {
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
  const auto [end, error] = std::to_chars(out, out + kFixedRoom, value, std::chars_format::fixed, precision);
  if (error != std::errc()) {
    *out = '?';
    return out + 1;
  }
  return end;
}

}  // namespace

std::string fixedText(double value, int precision) {
  char text[kFixedRoom];
  return std::string(text, writeFixed(text, value, precision));
}

std::string speedLineText(float speedMph, bool metric, bool newFix) {
  double shown = static_cast<double>(speedMph);
  if (metric) shown = shown * units::kMphToKph;
  static constexpr std::string_view kLead = "Speed: ";
  char text[kFixedRoom + 16];
  char* end = std::copy(kLead.begin(), kLead.end(), text);
  end = writeFixed(end, shown, 1);
  const std::string_view tail = metric ? (newFix ? " kph *" : " kph") : (newFix ? " mph *" : " mph");
  end = std::copy(tail.begin(), tail.end(), end);
  return std::string(text, end);
}

bool speedFitsKey(float speedMph) { return speedMph >= 0.0f && speedMph < 32768.0f; }

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
