#pragma once
// A time slip as people and programs read it: the plain slip a driver
// reads at a glance (the analyzer and corvantis-records print it), its JSON
// fields, and the short slip of a stored time that the records screen shows
// in a message box. Every ± is the half-width of the 95 % interval, rounded
// up, so that it never claims more than the fit gives.
#include <string>
#include <vector>

#include "slip/time_slip.h"

namespace corvantis::slip {

// The plain slip; `notes` are lines (without their newline) printed after
// the marks, such as the meter's stored times of the same run.
std::string plainSlipText(const TimeSlip& slip, bool metric, const std::vector<std::string>& notes);

// The JSON object of a slip: {"kind":"timeslip",...}; `extra` is inserted
// after the marks as it is (",\"stored\":{...}" or empty).
std::string jsonSlipText(const TimeSlip& slip, const std::string& extra);

// The slip of a stored time for a message box: which clock, then a line a
// mark (on a narrow screen the trap speeds on lines of their own); from
// first motion where the trace shows it, else from the one-foot rollout.
std::string screenSlipText(const TimeSlip& slip, bool metric, bool narrow);

}  // namespace corvantis::slip
