#pragma once
// The analyzer's lap passes: the real lap timing screen on a headless dialog
// with the log replayed through the real pump under the simulated clock, as
// the timing passes do for the straight-line screens.
//
// - A lap pass times laps and splits of one definition, made active before
//   the first byte (as if the driver picked it on opening the screen); its
//   laps are added to the session's definitions.
// - A define pass records a track from a logged drive as a driver does on
//   the screen: "Start Lap Define" on the first new fix at or after `from`,
//   "Stop Lap Define" on the first at or after `to`, yes to the question,
//   the loop closed, and the lap editor given the name and a split line on
//   the track point nearest each fix at or after a split time.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "laps/lap_timing_screen.h"
#include "tools/analyze/timing_analysis.h"

namespace corvantis::analyze {

// One lap stored or split time shown during a lap pass.
struct LapPassEvent {
  LapEvent event;
  std::string text;           // the time as the screen shows it
  uint32_t atFixMs = 0;       // newest fix time when it happened (days counted on)
};

// Index of the first definition named `name`, -1 when there is none.
int findDefinition(const LapDefinitions& definitions, const std::string& name);

// Called after every update of the screen during a lap pass, with what the
// driver would see then (tests follow the running time and split texts).
using LapPassObserver = std::function<void(const LapTimingScreen& screen, const platform::Dialog& dialog)>;

std::vector<LapPassEvent> runLapPass(const std::vector<uint8_t>& log, TimingSession& session, int definitionIndex,
                                     const LapPassObserver& observe = nullptr);

// Times of day in ms since UTC midnight.
struct LapDefineRequest {
  std::string name;
  uint32_t fromMs = 0;
  uint32_t toMs = 0;
  std::vector<uint32_t> splitsMs;
};

struct LapDefineResult {
  bool created = false;
  int index = -1;           // the new definition's index when created
  std::string message;      // why not, otherwise
};

LapDefineResult runLapDefinePass(const std::vector<uint8_t>& log, TimingSession& session,
                                 const LapDefineRequest& request);

// "HH:MM:SS" or "HH:MM:SS.sss" as ms since midnight; false when it is not.
bool parseClockTime(const std::string& text, uint32_t& timeOfDayMs);

// Output lines: "lap 1m 08.100s (start 12:01:02.345)" and "split 1: 25.002s";
// the JSON objects {"kind":"lap","time_ms":T,"start_ms":S,"text":"..."} and
// {"kind":"split","line":K,"time_ms":T,"text":"..."}.
std::string lapEventText(const LapPassEvent& event);
std::string lapEventJson(const LapPassEvent& event);

}  // namespace corvantis::analyze
