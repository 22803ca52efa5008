#pragma once
// The rest of a multi-system receiver's sentence set, for drives that should
// be as chatty as such a receiver is out of the box: GLONASS, Galileo and
// BeiDou satellites in use ($GNGSA with the NMEA 4.10 system id) and in
// view ($GLGSV, $GAGSV, $GBGSV with the signal id), and the position again
// as $--GLL. With the GPS sentences a receiver at 10 Hz sends some 1.5 KB an
// epoch this way, several times what the fixes need.
#include <cstdint>
#include <string>
#include <vector>

namespace corvantis::sim {

// What of an epoch the extra sentences repeat, as the receiver formatted it.
struct EpochFields {
  std::string talker;     // of the GLL ("GP", "GN")
  std::string time;       // hhmmss.ss
  std::string latitude;   // ddmm.mmmm
  char north = 'N';
  std::string longitude;  // dddmm.mmmm
  char east = 'E';
  bool hasFix = true;
  double hdop = 1.0;
  double driveTimeS = 0.0;  // moves the satellites across the sky
};

// Appends the other systems' GSA and GSV sentences and the GLL, framed with
// their checksums. The sky of each system follows from the seed alone.
void appendOtherSystems(std::vector<std::string>& sentences, const EpochFields& epoch, uint64_t seed);

}  // namespace corvantis::sim
