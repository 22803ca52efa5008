#pragma once
// The GPS receiver: samples the drive at its fix rate, adds its position
// error, and writes each epoch's NMEA sentences as a real receiver would.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim/drive.h"
#include "tools/sim/geo.h"
#include "tools/sim/scenario.h"

namespace corvantis::sim {

struct UtcDate {
  int year = 2026;
  int month = 6;
  int day = 13;
  UtcDate plusDays(int days) const;
  bool valid() const;
  friend bool operator==(const UtcDate&, const UtcDate&) = default;
};

struct ReceiverOptions {
  int rateHz = 1;                          // 1, 5, 10, 20 or 25 fixes a second
  uint32_t startTimeOfDayMs = 12u * 3600000u;  // UTC time of day at the drive's start
  UtcDate startDate;                       // UTC date at the drive's start
  uint64_t seed = 1;
  // Position error, in metres, 1 sigma on each horizontal axis (vertical
  // larger by verticalFactor): white per fix plus a bias that wanders slowly
  // (first-order Gauss-Markov with the given correlation time). The defaults
  // are a quiet good receiver; noise = false gives exact positions.
  // The white part is given as a 1 Hz receiver shows it; a receiver at a
  // higher rate smooths its fixes, so its per-fix white noise shrinks in
  // proportion to the rate and the jitter of the speed between fixes stays
  // the same. Below staticHoldMps of true speed the receiver holds its last
  // position, as good receivers do at a standstill (only with noise on).
  bool noise = true;
  double whiteNoiseM = 0.05;
  // White noise of every fix as it is, whatever the rate (1 sigma per axis,
  // metres), on top of the above: a receiver that does not smooth its fixes.
  double fixNoiseM = 0.0;
  double staticHoldMps = 0.3;
  double biasNoiseM = 0.5;
  double biasTimeS = 120.0;
  double verticalFactor = 1.6;
  std::string talker = "GP";               // "GN": a multi-system receiver's $GNGGA, $GNRMC, $GNGSA
  int minuteDecimals = 4;                  // ddmm.mmmm; high-rate receivers often give 5 or more
  int timeDecimals = 2;                    // hhmmss.ss
  double geoidSeparationM = 47.0;
  // Speed over ground ($--RMC, $--VTG): measured from the Doppler shift, so
  // its error is white and small (1 sigma, m/s) and owes nothing to the
  // position error. Never below 0; off with noise = false.
  double speedNoiseMps = 0.05;
  // The speed the length of the velocity, with that noise on each axis, as
  // receivers write it: a standing car reads a few hundredths of a metre a
  // second, never 0. False: the speed plus one axis's noise, kept at 0.
  bool speedIsLength = false;
  bool vtg = false;                        // also write $--VTG (course and speed) each epoch
  // Every epoch the whole sentence set of a multi-system receiver as it
  // comes out of the box: GSA and GSV of GPS, GLONASS, Galileo and BeiDou
  // and a GLL besides GGA and RMC, some 1.5 KB (tools/sim/full_sentences.h).
  bool fullSentenceSets = false;
  bool rmc = true;                         // write $--RMC each epoch (false: no speed unless $--VTG)
  int speedDecimals = 3;                   // decimals of the speeds in knots and km/h (1: 0.1 kn)
  // Damage, all off by default: fix dropouts (mean starts a minute, mean
  // length), sentences with a flipped bit, and bursts of a binary protocol
  // between epochs.
  double dropoutsPerMinute = 0.0;
  double dropoutMeanS = 2.0;
  double corruptProbability = 0.0;         // per sentence
  double binaryProbability = 0.0;          // per epoch
  // Throws std::invalid_argument with a message naming the bad value.
  void validate() const;
};

struct Epoch {
  double driveTimeS = 0.0;     // seconds since the drive's start
  uint64_t dayMs = 0;          // ms since UTC midnight of the start date (goes on past a day)
  uint32_t timeOfDayMs = 0;    // as the receiver reports it
  UtcDate date;                // the UTC date of this fix
  bool hasFix = true;
  GeoPoint truePosition;       // where the car was at that instant
  GeoPoint reportedPosition;   // with the receiver's error, before the format's rounding
  double speedMps = 0.0;       // true speed
  double pathM = 0.0;          // true path distance
  int satellites = 0;
  double hdop = 0.0;
  std::string text;            // the exact bytes to write at that instant (CR LF line ends)
};

struct ReceiverOutput {
  std::vector<Epoch> epochs;
  std::vector<std::pair<double, double>> dropoutsMs;  // [first fix without, first fix with position again)
  int corruptedSentences = 0;
  int binaryBursts = 0;
};

ReceiverOutput sampleDrive(const Scenario& scenario, const DriveTrace& trace, const ReceiverOptions& options);

}  // namespace corvantis::sim
