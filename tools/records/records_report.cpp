#include "tools/records/records_report.h"

#include <cmath>
#include <cstdio>

#include "common/time_text.h"
#include "common/units.h"
#include "platform/calendar.h"
#include "review/record_texts.h"

namespace corvantis::records {
namespace {

bool metric(int units) { return units == units::kMetric; }

// "2026-12-05" and "14:07" of a stamp, for the machine-read forms.
std::string isoDate(uint32_t stamp) {
  const platform::CalendarTime t = platform::breakDownStamp(stamp);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
  return text;
}
std::string timeOfDay(uint32_t stamp) {
  const platform::CalendarTime t = platform::breakDownStamp(stamp);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", t.hour, t.minute);
  return text;
}

const char* kindName(const Category& category) {
  if (category.lap) return "lap";
  return (category.key & 0x80000000u) != 0 ? "distance" : "accel";
}

}  // namespace

// The texts are the records screen's own, so the two can never read differently.
std::string categoryText(uint32_t key, int units) { return recordSetCategoryText(keyFromValue(key), units); }

std::string timeRowText(const RunRecord& run, bool best) { return corvantis::timeRowText(run.timeMs, run.stamp, best); }

std::string averageRowText(int32_t averageMs) { return corvantis::averageRowText(averageMs); }

std::vector<Category> listRecords(const RunRecords& records, const LapDefinitions& laps, int units) {
  std::vector<Category> categories;
  int number = 0;
  const auto addTimes = [&](Category& category, const RunRecord* runs, int count) {
    bool bestMarked = false;
    for (int slot = 0; slot < count; ++slot) {
      ListedTime time;
      time.number = ++number;
      time.slot = slot;
      time.run = &runs[slot];
      time.best = !bestMarked && runs[slot].timeMs == category.bestMs;
      bestMarked = bestMarked || time.best;
      time.text = timeRowText(runs[slot], time.best);
      category.times.push_back(time);
    }
    category.averageText = averageRowText(category.averageMs);
  };
  for (const RecordSet& set : records.sets()) {
    Category category;
    category.key = set.key;
    category.text = categoryText(set.key, units);
    category.bestMs = records.bestTime(keyFromValue(set.key));
    category.averageMs = records.averageTime(keyFromValue(set.key));
    addTimes(category, set.runs.data(), set.filledCount());
    categories.push_back(std::move(category));
  }
  for (int j = 0; j < laps.count(); ++j) {
    const LapDefinition& definition = laps.at(j);
    Category category;
    category.lap = true;
    category.lapName = definition.name;
    category.text = "Lap Times: " + definition.name;
    category.bestMs = laps.bestLapTime(j);
    category.averageMs = laps.averageLapTime(j);
    // A count from outside 0..100 in memory never reaches past the array.
    int lapCount = definition.lapCount;
    if (lapCount < 0) lapCount = 0;
    if (lapCount > LapDefinition::kMaxLaps) lapCount = LapDefinition::kMaxLaps;
    addTimes(category, definition.laps.data(), lapCount);
    categories.push_back(std::move(category));
  }
  return categories;
}

void setTheoreticalBests(std::vector<Category>& categories, const std::vector<uint32_t>& theoreticalBestMs) {
  size_t j = 0;
  for (Category& category : categories) {
    if (!category.lap) continue;
    category.theoreticalBestMs = j < theoreticalBestMs.size() ? theoreticalBestMs[j] : 0;
    category.theoreticalBestText =
        category.theoreticalBestMs != 0 ? theoreticalBestRowText(category.theoreticalBestMs) : std::string();
    ++j;
  }
}

std::string printableText(const std::string& text) {
  std::string out;
  char escape[8];
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      out += escape;
    } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080..U+009F: controls too, which some terminals obey.
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(text[++i]));
      out += escape;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string plainReport(const std::vector<Category>& categories) {
  std::string out;
  for (const Category& category : categories) {
    // A name comes from the file: its control characters would otherwise
    // reach the terminal and act there.
    out += printableText(category.text) + "\n";
    for (const ListedTime& time : category.times) {
      char number[16];
      std::snprintf(number, sizeof number, "%4d  ", time.number);
      out += number + time.text + "\n";
    }
    out += "      " + category.averageText + "\n";
    if (!category.theoreticalBestText.empty()) out += "      " + category.theoreticalBestText + "\n";
  }
  return out;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;  // UTF-8 passes as it is
    }
  }
  return out + "\"";
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string jsonReport(const std::vector<Category>& categories) {
  std::string out;
  for (const Category& category : categories) {
    for (const ListedTime& time : category.times) {
      const RunRecord& run = *time.run;
      char numbers[512];
      std::snprintf(numbers, sizeof numbers,
                    "\"key\":%u,\"slot\":%d,\"time_ms\":%u,\"stamp\":%u,\"date\":\"%s\",\"time_of_day\":\"%s\","
                    "\"best\":%s,\"best_ms\":%u,\"average_ms\":%d,\"trace_samples\":%d",
                    static_cast<unsigned>(category.key), time.slot, static_cast<unsigned>(run.timeMs),
                    static_cast<unsigned>(run.stamp), isoDate(run.stamp).c_str(), timeOfDay(run.stamp).c_str(),
                    time.best ? "true" : "false", static_cast<unsigned>(category.bestMs),
                    static_cast<int>(category.averageMs), static_cast<int>(run.trace.size()));
      out += "{\"record\":" + std::to_string(time.number) + ",\"kind\":\"" + kindName(category) +
             "\",\"definition\":" + jsonString(category.text) + ",";
      if (category.lap) {
        out += "\"lap_name\":" + jsonString(category.lapName) + ",\"theoretical_best_ms\":" +
               std::to_string(category.theoreticalBestMs) + ",";
      }
      out += numbers;
      out += ",\"time\":" + jsonString(formatRunTime(run.timeMs)) + ",\"text\":" + jsonString(time.text) +
             ",\"average\":" + jsonString(formatRunTime(static_cast<uint32_t>(category.averageMs))) + "}\n";
    }
  }
  return out;
}

std::string csvReport(const std::vector<Category>& categories) {
  std::string out =
      "record,kind,definition,slot,time_ms,time,date,time_of_day,best,best_ms,average_ms,average,trace_samples,"
      "theoretical_best_ms\n";
  for (const Category& category : categories) {
    for (const ListedTime& time : category.times) {
      const RunRecord& run = *time.run;
      out += std::to_string(time.number) + "," + kindName(category) + "," + csvField(category.text) + "," +
             std::to_string(time.slot) + "," + std::to_string(run.timeMs) + "," + formatRunTime(run.timeMs) + "," +
             isoDate(run.stamp) + "," + timeOfDay(run.stamp) + "," + (time.best ? "1" : "0") + "," +
             std::to_string(category.bestMs) + "," + std::to_string(category.averageMs) + "," +
             formatRunTime(static_cast<uint32_t>(category.averageMs)) + "," + std::to_string(run.trace.size()) + "," +
             (category.lap && category.theoreticalBestMs != 0 ? std::to_string(category.theoreticalBestMs) : "") +
             "\n";
    }
  }
  return out;
}

const ListedTime* findTime(const std::vector<Category>& categories, int number, const Category** category) {
  for (const Category& c : categories) {
    for (const ListedTime& time : c.times) {
      if (time.number == number) {
        if (category != nullptr) *category = &c;
        return &time;
      }
    }
  }
  return nullptr;
}

std::string traceCsvHeader(int units) {
  return metric(units) ? "record,time_s,speed_kph,distance_m\n" : "record,time_s,speed_mph,distance_yd\n";
}

std::string traceCsvLines(const Category& category, const ListedTime& time, int units) {
  const RunRecord& run = *time.run;
  std::string out;
  if (run.trace.empty()) return out;
  const uint32_t originMs = category.lap ? run.startTime : run.trace.front().time;
  for (const TraceSample& sample : run.trace) {
    // Unsigned difference: a trace that runs past midnight keeps counting on.
    const double timeS = static_cast<double>(static_cast<int32_t>(sample.time - originMs)) / 1000.0;
    const double speed = metric(units) ? units::mphToKph(sample.speed) : static_cast<double>(sample.speed);
    const double distance =
        metric(units) ? static_cast<double>(sample.distance) : units::metresToYards(sample.distance);
    char line[128];
    std::snprintf(line, sizeof line, "%d,%.3f,%.3f,%.3f\n", time.number, timeS, speed, distance);
    out += line;
  }
  return out;
}

}  // namespace corvantis::records
