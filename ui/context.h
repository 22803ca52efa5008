#pragma once
// Everything the program keeps for its whole run, in one object owned by the
// application and handed by reference to the screens: no globals, so every
// test starts from a fresh state.
#include "gps/gps_input.h"
#include "store/lap_definitions.h"
#include "store/reference_lap_store.h"
#include "store/remembered_track.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "store/run_records.h"
#include "store/settings.h"
#include "ui/run_state.h"

namespace corvantis {

// The shell's three fonts.
struct Fonts {
  platform::FontSpec large{"Arial", 25, 700};
  platform::FontSpec medium{"Arial", 17, 700};
  platform::FontSpec small{"Arial", 12, 400};
};

struct AppContext {
  AppContext(platform::WindowSystem& windowSystem, platform::Clock& clockSource,
             platform::SerialPort& serialPort)
      : windows(windowSystem), clock(clockSource), gps(serialPort, windowSystem.messageBoxes()) {}

  platform::WindowSystem& windows;
  platform::Clock& clock;
  bool landscape = false;
  Fonts fonts;

  Settings settings;
  GpsInput gps;  // serial link, pump state, CurrentFix, FixHistory
  RunRecords records;
  LapDefinitions lapDefinitions;
  // The track last picked on the lap screen (kept beside the options file
  // once the application names it).
  RememberedTrack rememberedTrack;
  // Each track's reference lap and segment bests (kept beside the options
  // file once the application names it; in memory until then).
  ReferenceLapStore referenceLaps;
  RunState runState;

  // Set when the user closes the window or the program is asked to end
  // (SIGINT, SIGTERM): the screen loop then leaves through the normal
  // shutdown, which saves.
  bool quitRequested = false;
};

}  // namespace corvantis
