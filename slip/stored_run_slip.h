#pragma once
// The time slip of a stored run, from the trace it keeps (the fix time, the
// speed and the distance along the driven path of each captured fix).
//
// A trace holds what the live screen kept: fixes at most ten a second
// (every other one of a 20 Hz receiver), their distance summed from the
// positions fix to fix, and the two fixes before the one that started the
// run. There is no speed over ground in it and the speeds it has are the
// positions' own, so the slip is made from the distances alone, by the same
// fit as a log's slip from positions: where the trace cannot show first
// motion the ± says so and the rollout figures carry the slip.
#include <optional>

#include "slip/time_slip.h"
#include "store/run_records.h"

namespace corvantis::slip {

// Why a stored run has no slip.
enum class NoSlip {
  NotFromStandstill,  // an acceleration run from a speed above 0
  NoTrace,            // stored without one
  NoLaunch,           // its trace shows no launch that covers 60 ft
};
const char* noSlipText(NoSlip why);

// Nothing (and why, when asked) for a run without a trace, one that did not
// start from a standstill, or a trace that never covers 60 ft. Times on the
// trace's own clock (ms since UTC midnight of its first fix's day).
std::optional<TimeSlip> slipOfStoredRun(RecordKey key, const RunRecord& run, const SlipOptions& options,
                                        NoSlip* why = nullptr);

}  // namespace corvantis::slip
