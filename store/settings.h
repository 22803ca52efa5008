#pragma once
// The settings record: twelve 32-bit words, the first section of options.bin.
#include <cstdint>

namespace corvantis {

struct Settings {
  int32_t port = 5;             // 0..7: COM1..COM8
  int32_t baudIndex = 0;        // 0..8 into the baud table (0 is 4800)
  float accelFrom = 0.0f;       // mph
  float accelTo = 60.0f;        // mph
  int32_t recordSetCount = 0;   // kept in step with the run records store
  int32_t units = 0;            // 0 Imperial (mph, yards), 1 Metric (kph, metres)
  double distance = 402.336;    // metres; 440 yards
  uint32_t reserved32 = 0;
  uint32_t reserved36 = 0;
  int32_t lapDefinitionCount = 0;  // kept in step with the lap definitions store
  uint32_t reserved44 = 0;
};

// Every field to its default.
void loadSettingsDefaults(Settings& settings);

// Whether the file would hold the same settings for both: every field bit
// for bit (a NaN equals itself), except the two counts, which follow the
// stores rather than the settings.
bool sameStoredSettings(const Settings& a, const Settings& b);

}  // namespace corvantis
