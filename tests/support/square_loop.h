#pragma once
// A square loop of 80 points heading east from (10.0, 50.0), 0.002 degree a
// side (about 140 m east-west, 220 m north-south): its start/finish line
// runs north-south through point 0. For the lap tests that drive round it
// fix by fix.
#include "store/lap_definitions.h"

namespace corvantis::testing {

inline LapDefinition squareLoop() {
  LapDefinition d;
  for (int i = 0; i < 20; ++i) d.track.push_back({10.0 + 0.0001 * i, 50.0});
  for (int i = 0; i < 20; ++i) d.track.push_back({10.002, 50.0 + 0.0001 * i});
  for (int i = 0; i < 20; ++i) d.track.push_back({10.002 - 0.0001 * i, 50.002});
  for (int i = 0; i < 20; ++i) d.track.push_back({10.0, 50.002 - 0.0001 * i});
  return d;
}

}  // namespace corvantis::testing
