#pragma once
// How fast the receiver delivers fixes, measured from the fixes' own times
// of day, so that a driver with a receiver left at 1 Hz learns it. At 1 Hz
// a run's start and finish fall up to half a second from the nearest fix
// and the times read that much off; at 10 Hz the program is at its best.
#include <cstdint>
#include <optional>
#include <string>

namespace corvantis {

// Fixes a second at or below which the driver is told (5 Hz: a receiver
// left at 1, 2, 4 or 5 Hz), and how long the rate must hold.
inline constexpr double kLowFixRateHz = 5.0;
inline constexpr uint32_t kFixRateWindowMs = 10000;
// A step between two fixes longer than this is a gap (a lost fix, a
// tunnel), not the receiver's rate: the measurement starts again.
inline constexpr uint32_t kFixRateLongestStepMs = 1500;

class FixRateWatch {
 public:
  // Each fix the receiver reports, its time of day in ms (as the GGA's time
  // field reads). Answers the rate in fixes a second once, the first time
  // fixes have come at kLowFixRateHz or slower for kFixRateWindowMs without
  // a gap; nothing otherwise and ever after.
  std::optional<double> observe(uint32_t timeOfDayMs);
  bool told() const { return told_; }

 private:
  void restart(uint32_t timeOfDayMs);

  bool started_ = false;
  bool told_ = false;
  uint32_t lastMs_ = 0;
  uint32_t spanMs_ = 0;  // from the window's first fix to its last
  int steps_ = 0;        // fixes in the window after its first
};

// What stderr tells the driver: the rate measured and how to raise it with
// corvantis-receiver on `device` (its path; empty when the program does not
// know it, e.g. through gpsd).
std::string lowFixRateHint(double fixesPerSecond, const std::string& device);

}  // namespace corvantis
