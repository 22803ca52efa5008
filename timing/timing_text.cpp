#include "timing/timing_text.h"

#include <charconv>
#include <cmath>

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

bool speedFitsKey(float speedMph) { return speedMph >= 0.0f && speedMph < 32768.0f; }

}  // namespace corvantis
