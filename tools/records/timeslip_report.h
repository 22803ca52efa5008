#pragma once
// corvantis-records --timeslip N: the drag-strip time slip of stored time N,
// made from the trace the run keeps (slip/stored_run_slip.h), with the ± of
// every figure, in the analyzer's plain slip.
#include <string>

#include "tools/records/records_report.h"

namespace corvantis::records {

// The slip's text; false with the reason in `why` when the time has none (a
// lap, a run from a speed above 0, a run without a trace, a trace that never
// covers 60 ft). units: 0 Imperial, 1 Metric (trap speeds in km/h).
bool timeSlipText(const Category& category, const ListedTime& time, int units, std::string& text, std::string& why);

}  // namespace corvantis::records
