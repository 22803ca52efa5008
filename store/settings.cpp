#include "store/settings.h"

namespace corvantis {

void loadSettingsDefaults(Settings& settings) { settings = Settings{}; }

}  // namespace corvantis
