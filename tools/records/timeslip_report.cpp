#include "tools/records/timeslip_report.h"

#include <optional>

#include "common/time_text.h"
#include "common/units.h"
#include "slip/slip_text.h"
#include "slip/stored_run_slip.h"

namespace corvantis::records {

bool timeSlipText(const Category& category, const ListedTime& time, int units, std::string& text, std::string& why) {
  if (category.lap) {
    why = "a lap time is not a standing start";
    return false;
  }
  const RunRecord& run = *time.run;
  slip::NoSlip none = slip::NoSlip::NoLaunch;
  const std::optional<slip::TimeSlip> slip = slip::slipOfStoredRun(keyFromValue(category.key), run, {}, &none);
  if (!slip) {
    why = slip::noSlipText(none);
    return false;
  }
  text = slip::plainSlipText(*slip, units == units::kMetric,
                             {"stored time " + formatRunTime(run.timeMs) + ", " + category.text + ", " +
                              std::to_string(run.trace.size()) + " fixes"});
  return true;
}

}  // namespace corvantis::records
