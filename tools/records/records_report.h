#pragma once
// What corvantis-records prints: every stored run and lap time of an options
// file, listed by definition in the order and the texts of the records
// screen, and the stored traces, as plain text, JSON lines or CSV.
#include <cstdint>
#include <string>
#include <vector>

#include "store/lap_definitions.h"
#include "store/run_records.h"

namespace corvantis::records {

// One stored time, numbered from 1 in listing order (the N of --trace).
struct ListedTime {
  int number = 0;
  int slot = 0;             // its slot in the record set, or its lap index
  const RunRecord* run = nullptr;
  bool best = false;        // the first time of its definition equal to the best
  std::string text;         // the row as the records screen shows it
};

// One run definition (a record set) or one lap track with its times.
struct Category {
  bool lap = false;
  uint32_t key = 0;       // record key; 0 for a lap track
  std::string lapName;    // lap tracks only
  std::string text;       // "Acc Run: 0..60 mph", "Dist Run: 440 yards (1/4 mile)", "Lap Times: Home"
  std::vector<ListedTime> times;
  uint32_t bestMs = 0;
  int32_t averageMs = 0;
  std::string averageText;  // ".000s Average" when there is no time
  // Lap tracks: the sum of the best segments (the best lap without split
  // lines); 0 when it is not known, and then no text.
  uint32_t theoreticalBestMs = 0;
  std::string theoreticalBestText;
};

// The records screen's texts. units: 0 Imperial, 1 Metric.
std::string categoryText(uint32_t key, int units);
std::string timeRowText(const RunRecord& run, bool best);
std::string averageRowText(int32_t averageMs);

// Every record set in store order, then every lap track in collection order.
// A record set lists its filled slots; a lap track all its lapCount laps
// (the screen shows the first ten).
std::vector<Category> listRecords(const RunRecords& records, const LapDefinitions& laps, int units);

// Lap tracks' theoretical bests: theoreticalBestMs[j] for lap track j, in
// collection order (missing entries count as 0).
void setTheoreticalBests(std::vector<Category>& categories, const std::vector<uint32_t>& theoreticalBestMs);

// Plain: each definition's text, its numbered times and its average row
// (and a lap track's theoretical best below it).
std::string plainReport(const std::vector<Category>& categories);
// One JSON object per stored time, one a line.
std::string jsonReport(const std::vector<Category>& categories);
// A header, then one line per stored time (RFC 4180 quoting); lap times
// carry their track's theoretical best in the last column.
std::string csvReport(const std::vector<Category>& categories);

// The time found under number n, or nullptr.
const ListedTime* findTime(const std::vector<Category>& categories, int number, const Category** category);

// The CSV of stored traces: a header "record,time_s,speed_mph,distance_yd"
// (or speed_kph,distance_m with units 1), then one line per sample of each
// numbered record. time_s counts from the trace's first sample, or for a
// lap from the instant the lap started, as the plot screen does.
std::string traceCsvHeader(int units);
std::string traceCsvLines(const Category& category, const ListedTime& time, int units);

// Text for a terminal: control characters (C0, DEL and C1) written as
// "\x1b" or "\u009b", everything else as it is.
std::string printableText(const std::string& text);

// Text escaped for a JSON string, and quoted for a CSV field when needed.
std::string jsonString(const std::string& text);
std::string csvField(const std::string& text);

}  // namespace corvantis::records
