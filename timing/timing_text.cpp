#include "timing/timing_text.h"

#include <charconv>
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

std::string fixedText(double value, int precision) {
  char text[400];  // room for any double in fixed notation
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
  if (error != std::errc()) return "?";
  return std::string(text, end);
}

std::string speedLineText(float speedMph, bool metric, bool newFix) {
  double shown = static_cast<double>(speedMph);
  if (metric) shown = shown * units::kMphToKph;
  std::string line = "Speed: " + fixedText(shown, 1);
  line += metric ? " kph" : " mph";
  if (newFix) line += " *";
  return line;
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
