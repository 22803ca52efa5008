#include "gps/fix_rate_watch.h"

#include <cmath>
#include <cstdio>

namespace corvantis {
namespace {
constexpr uint32_t kDayMs = 86400000u;
}

void FixRateWatch::restart(uint32_t timeOfDayMs) {
  started_ = true;
  lastMs_ = timeOfDayMs;
  spanMs_ = 0;
  steps_ = 0;
}

std::optional<double> FixRateWatch::observe(uint32_t timeOfDayMs) {
  if (told_) return std::nullopt;
  if (!started_) {
    restart(timeOfDayMs);
    return std::nullopt;
  }
  // Forward across midnight too; a step back or a repeated time is no rate.
  const uint32_t stepMs = (timeOfDayMs + kDayMs - lastMs_) % kDayMs;
  if (stepMs == 0 || stepMs > kFixRateLongestStepMs) {
    restart(timeOfDayMs);
    return std::nullopt;
  }
  lastMs_ = timeOfDayMs;
  spanMs_ += stepMs;
  ++steps_;
  if (spanMs_ < kFixRateWindowMs) return std::nullopt;
  const double rateHz = steps_ * 1000.0 / spanMs_;
  if (rateHz > kLowFixRateHz + 0.5) {
    // Fast enough; measure afresh, in case the receiver changes.
    restart(timeOfDayMs);
    return std::nullopt;
  }
  told_ = true;
  return rateHz;
}

std::string lowFixRateHint(double fixesPerSecond, const std::string& device) {
  char rate[32];
  const double whole = std::round(fixesPerSecond);
  if (std::fabs(fixesPerSecond - whole) < 0.05) {
    std::snprintf(rate, sizeof rate, "%.0f", whole);
  } else {
    std::snprintf(rate, sizeof rate, "%.1f", fixesPerSecond);
  }
  const std::string port = device.empty() ? "DEVICE" : device;
  return std::string("the receiver delivers ") + rate + (whole == 1.0 ? " fix" : " fixes") +
         " a second: runs are timed between fixes, and at 1 Hz they read up to half a second off. "
         "Set it to 10 Hz with: corvantis-receiver --port " + port + " --rate 10" +
         (device.empty() ? " (on the receiver's device, with gpsd stopped)" : "");
}

}  // namespace corvantis
