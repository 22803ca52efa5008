#pragma once
// The fix history: the three most recent GPS fixes and a run of up to 2048
// fixes (the captured run, or the lap track being recorded or edited), and
// the geodesy the whole program uses.
#include <array>
#include <cstdint>

namespace corvantis {

// One fix. Field order and widths are those of the device's records.
struct FixSample {
  double longitude = 0.0;  // degrees, east positive
  double latitude = 0.0;   // degrees, north positive
  float altitude = 0.0f;   // metres above mean sea level
  float speed = 0.0f;      // mph, from the fix before it (smoothed by stopCapture)
  uint32_t time = 0;       // ms since UTC midnight of the first fix's day (see recordFix)
  uint32_t reserved = 0;
};
static_assert(sizeof(FixSample) == 32, "FixSample must keep the device's 32-byte layout");

// Great-circle (haversine) distance in metres, on a sphere of radius
// 6371000 m plus the mean altitude of the two fixes.
double greatCircleDistance(const FixSample& a, const FixSample& b);

// Mean speed in mph over the interval between the two fixes; below 2 mph
// it reads 0 (standing still).
double speedBetween(const FixSample& a, const FixSample& b);

// Outcome of recordFix.
enum class RecordOutcome {
  Refused,      // less than 100 ms after the newest fix (or a step back): nothing changed
  Recorded,     // window moved and the fix appended to samples
  WindowOnly,   // window moved but samples is full: the fix is not appended
};

class FixHistory {
 public:
  static constexpr int kCapacity = 2048;

  // latitude, longitude in degrees, altitude in metres, timeOfDayMs in ms
  // since UTC midnight as the receiver reports it.
  // Recorded times count on past midnight: a time of day more than 12 hours
  // below the newest fix's is the next day, so times keep increasing; a
  // smaller step back, a fix under 100 ms after the newest one, and a time of
  // day of 24:00:01 or later (a corrupt field) are refused.
  //
  // The receiver's clock may jump back (a corrupted time that got through put
  // the newest fix ahead, or the receiver restarted). When fixes keep being
  // refused as earlier for kClockJumpMs of their own time in a row, each at
  // least 100 ms after the one before, their timeline is taken: the stale
  // newest fix is dropped (from samples too, when it is the last entry), the
  // window becomes those fixes and this one is recorded after them.
  RecordOutcome recordFix(double latitude, double longitude, double altitude, uint32_t timeOfDayMs);

  // Refused fixes that show the receiver's clock jumped, in ms of their own time.
  static constexpr uint32_t kClockJumpMs = 3000;
  // Longest step between two consecutive fixes that a run can be timed across.
  static constexpr uint32_t kLongestGapMs = 5000;

  // Counts the breaks in the fix timeline: each clock jump taken, and each
  // recorded fix more than kLongestGapMs after the fix before it. A run whose
  // fixes span a break cannot be timed (no interpolation bridges it): the
  // screens compare this count with the one they armed at.
  uint32_t timelineBreaks() const { return timelineBreaks_; }

  // Restart samples with the three recent fixes; calendarSeconds is the
  // device clock now (seconds since 1970), kept as the capture stamp.
  void startCapture(uint32_t calendarSeconds);
  // Smooth the captured speeds (straight-line extrapolation to each fix).
  void stopCapture();

  uint32_t newestFixTime() const { return recentFixes[2].time; }
  uint32_t captureStamp() const { return captureStamp_; }

  const FixSample& oldest() const { return recentFixes[0]; }
  const FixSample& previous() const { return recentFixes[1]; }
  const FixSample& newest() const { return recentFixes[2]; }

  // Plain shared data: the screens, the stores and the lap parts read and
  // (the lap parts) write these directly.
  std::array<FixSample, 3> recentFixes{};  // oldest, previous, newest
  std::array<FixSample, kCapacity> samples{};
  int count = 0;

 private:
  // Starts the window over from one fix, with two still fixes at the same
  // place one and two seconds before it (so its speed is 0).
  static void startWindow(std::array<FixSample, 3>& window, const FixSample& fix);
  // Shifts fix into the window as the newest, with its speed from the one before.
  void shiftIn(std::array<FixSample, 3>& window, const FixSample& fix);

  // The cosines of the last two latitudes (in radians) the speeds needed:
  // a fix's latitude is used again by the next fix's speed. Exact: a
  // cosine is the same for the same argument.
  struct CosineMemo {
    struct Entry {
      bool known = false;
      double radians = 0.0;
      double cosine = 0.0;
    };
    std::array<Entry, 2> entries{};
    int next = 0;
    double operator()(double radians);
  };
  CosineMemo cosineMemo_;
  // Follows a fix refused as earlier than the newest; true when the refused
  // fixes now show a clock jump.
  bool followRefused(const FixSample& fix);
  // Appends the newest fix to samples unless they are full.
  RecordOutcome appendNewest();

  uint32_t captureStamp_ = 0;
  bool firstFixPending_ = true;
  uint32_t dayOffsetMs_ = 0;  // whole days counted on since the first fix
  uint32_t timelineBreaks_ = 0;
  // The fixes refused as earlier in a row, in their own window.
  bool refusedRun_ = false;
  uint32_t refusedSinceMs_ = 0;  // time of the first of them
  std::array<FixSample, 3> refusedWindow_{};
};

}  // namespace corvantis
