#pragma once
// The start of every live timing screen's tick: the status line (1001) from
// the fix state and, on the screens that have one, the speed line (1002)
// with " *" on a tick that brought a new fix.
#include <cstdint>
#include <optional>
#include <string>

#include "gps/current_fix.h"
#include "platform/window.h"

namespace corvantis {

// "Speed: %.1f mph" (or " kph" with the speed converted in Metric), with
// " *" appended on a tick that brought a new fix.
std::string speedLineText(float speedMph, bool metric, bool newFix);

// How a screen shows the speed line: in which unit, and whether this tick
// brought a new fix.
struct SpeedLine {
  bool metric = false;
  bool newFix = false;
};

// A line is set only when what it shows changed since the screen's dialog
// opened or since it was last set: at ten fixes a second a standing car's
// lines read the same for minutes, and every text set makes the window lay
// the line out again.
class LiveLines {
 public:
  // The dialog just opened: nothing is shown on it yet. Shows the status
  // line from the screen's first frame, before the first tick after a
  // screen change reaches it.
  void opened(platform::Dialog& dialog, const CurrentFix& fix);

  // The tick's lines: the status, and the speed when the screen has a speed
  // line (speed given). Answers false when the receiver is in error: then
  // only the status changes and the screen's own tick logic must not run.
  bool showTick(platform::Dialog& dialog, const CurrentFix& fix, std::optional<SpeedLine> speed);

 private:
  struct StatusInputs {
    bool deviceError = false;
    int32_t satellites = 0;
    int32_t hdop = 0;
    bool operator==(const StatusInputs&) const = default;
  };
  struct SpeedInputs {
    uint32_t speedBits = 0;  // the float's bits: -0 and 0 read differently
    bool metric = false;
    bool newFix = false;
    bool operator==(const SpeedInputs&) const = default;
  };
  void showStatus(platform::Dialog& dialog, const CurrentFix& fix);

  std::optional<StatusInputs> statusShown_;
  std::optional<SpeedInputs> speedShown_;
};

}  // namespace corvantis
