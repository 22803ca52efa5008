#include "store/settings.h"

#include <bit>

namespace corvantis {

void loadSettingsDefaults(Settings& settings) { settings = Settings{}; }

bool sameStoredSettings(const Settings& a, const Settings& b) {
  return a.port == b.port && a.baudIndex == b.baudIndex &&
         std::bit_cast<uint32_t>(a.accelFrom) == std::bit_cast<uint32_t>(b.accelFrom) &&
         std::bit_cast<uint32_t>(a.accelTo) == std::bit_cast<uint32_t>(b.accelTo) && a.units == b.units &&
         std::bit_cast<uint64_t>(a.distance) == std::bit_cast<uint64_t>(b.distance) &&
         a.reserved32 == b.reserved32 && a.reserved36 == b.reserved36 && a.reserved44 == b.reserved44;
}

}  // namespace corvantis
