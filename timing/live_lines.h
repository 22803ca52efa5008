#pragma once
// The two lines every straight-line timing screen refreshes on each tick.
#include "gps/current_fix.h"
#include "platform/window.h"

namespace corvantis {

// Status line (1001) from the fix state, and the speed line (1002) with " *"
// on a tick that brought a new fix. Answers false when the receiver is in
// error: then only the status changes and the run logic must not run.
// The status line alone: a screen shows it from its first frame, before the
// first tick after a screen change reaches it.
void showStatus(platform::Dialog& dialog, const CurrentFix& fix);

bool showStatusAndSpeed(platform::Dialog& dialog, const CurrentFix& fix, bool metric, bool newFix);

}  // namespace corvantis
