#pragma once
// The current GPS state that every live screen shows, and its status text.
#include <cstdint>
#include <optional>
#include <string>

namespace corvantis {

struct CurrentFix {
  int32_t satellites = -1;   // -1 until the first $GPGGA (and after a failed open); 0 without fix
  int32_t hdop = 1;          // "fix quality": HDOP truncated toward zero
  float speed = 0.0f;        // mph of the newest recorded fix
  double latitude = 0.0;     // degrees of the newest recorded fix
  double longitude = 0.0;
  bool deviceError = false;  // the receiver stopped delivering
};

// "GPS Device Error", "Waiting for satellite fix...", "fix quality: %i" with
// " (excellent)" / " (errornous)", or nothing (keep the text shown).
std::optional<std::string> gpsStatusText(const CurrentFix& fix);

}  // namespace corvantis
