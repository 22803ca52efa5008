#pragma once
// Texts of the review screens: what a run definition is called, and how one
// stored time reads in the records list.
#include <cstdint>
#include <string>

#include "store/run_records.h"

namespace corvantis {

// The records screen's category of a record set: "Acc Run: 0..60 mph",
// "Acc Run: 0..96 kph", "Dist Run: 440 yards (1/4 mile)", "Dist Run: 402 meters".
// units: units::kImperial or units::kMetric.
std::string recordSetCategoryText(RecordKey key, int32_t units);

// The plot screen's header of a record set. Distance runs read as the
// category does, except that the eighth and quarter mile (201 and 402 whole
// metres) leave out "Dist Run: " so that they fit the header's narrow line.
std::string plotHeaderText(RecordKey key, int32_t units);

// One time row: "5.234s on 05/12/26 at 14:07", with "(Best)" appended
// directly when best is set. The stamp is shown as the calendar it encodes.
std::string timeRowText(uint32_t timeMs, uint32_t stamp, bool best);

// The average row: "6.501s Average" (".000s Average" when there are no times).
std::string averageRowText(int32_t averageMs);

// A lap track's theoretical best, below its average: "1m 05.432s Theoretical Best".
std::string theoreticalBestRowText(uint32_t timeMs);
// The same on the records screen's average row, where room is short: "Theo 1m 05.432s".
std::string theoreticalBestShortText(uint32_t timeMs);

}  // namespace corvantis
