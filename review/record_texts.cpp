#include "review/record_texts.h"

#include <cmath>
#include <cstdio>

#include "common/time_text.h"
#include "common/units.h"
#include "platform/calendar.h"

namespace corvantis {

namespace {

// Whole metres of the eighth and quarter mile, which carry their mile name.
constexpr int kEighthMileM = 201;
constexpr int kQuarterMileM = 402;

std::string printed(const char* format, int a) {
  char text[64];
  std::snprintf(text, sizeof text, format, a);
  return text;
}

// trunc() of a key-derived value: the key's halves keep it far inside int.
int whole(double value) { return static_cast<int>(std::trunc(value)); }

std::string accelerationText(RecordKey key, bool metric) {
  int from = key.kind;
  int to = key.parameter;
  if (metric) {
    from = whole(static_cast<double>(from) * units::kMphToKph);
    to = whole(static_cast<double>(to) * units::kMphToKph);
  }
  char text[64];
  std::snprintf(text, sizeof text, "Acc Run: %i..%i", from, to);
  return std::string(text) + (metric ? " kph" : " mph");
}

// The distance in the unit shown, its unit and, in Imperial, the mile name.
std::string distanceText(RecordKey key, bool metric) {
  const double d = distanceFromKey(key);
  const int wholeMetres = whole(d);
  if (metric) return printed("%i", wholeMetres) + " meters";
  std::string text = printed("%i", whole(d * units::kMetresToYards)) + " yards";
  if (wholeMetres == kEighthMileM) {
    text += " (1/8 mile)";
  } else if (wholeMetres == kQuarterMileM) {
    text += " (1/4 mile)";
  }
  return text;
}

}  // namespace

std::string recordSetCategoryText(RecordKey key, int32_t units) {
  const bool metric = units == units::kMetric;
  if (key.isDistance()) return "Dist Run: " + distanceText(key, metric);
  return accelerationText(key, metric);
}

std::string plotHeaderText(RecordKey key, int32_t units) {
  const bool metric = units == units::kMetric;
  if (!key.isDistance()) return accelerationText(key, metric);
  const int wholeMetres = whole(distanceFromKey(key));
  const bool mileName = wholeMetres == kEighthMileM || wholeMetres == kQuarterMileM;
  return (mileName ? "" : "Dist Run: ") + distanceText(key, metric);
}

std::string timeRowText(uint32_t timeMs, uint32_t stamp, bool best) {
  const platform::CalendarTime when = platform::breakDownStamp(stamp);
  char date[64];
  std::snprintf(date, sizeof date, " on %.2i/%.2i/%.2i at %.2i:%.2i", when.day, when.month, when.year % 100,
                when.hour, when.minute);
  return formatRunTime(timeMs) + date + (best ? "(Best)" : "");
}

std::string averageRowText(int32_t averageMs) {
  return formatRunTime(static_cast<uint32_t>(averageMs)) + " Average";
}

std::string theoreticalBestRowText(uint32_t timeMs) { return formatRunTime(timeMs) + " Theoretical Best"; }

std::string theoreticalBestShortText(uint32_t timeMs) { return "Theo " + formatRunTime(timeMs); }

}  // namespace corvantis
