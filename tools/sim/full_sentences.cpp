#include "tools/sim/full_sentences.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "tools/sim/nmea_format.h"

namespace corvantis::sim {
namespace {

struct System {
  const char* gsvTalker;  // of its GSV sentences
  int systemId;           // NMEA 4.10 system id in the GSA
  int firstId;            // satellite numbers as NMEA gives them
  int inView;
};

// GLONASS (ids 65 up), Galileo and BeiDou (their own numbering from 1).
constexpr std::array<System, 3> kSystems{{{"GL", 2, 65, 14}, {"GA", 3, 1, 14}, {"GB", 4, 1, 16}}};

// A stable pseudo-random number in [0, 1) for each key: the sky stays the
// same whatever else the drive does.
double unit(uint64_t key) {
  key += 0x9E3779B97F4A7C15ull;
  key = (key ^ (key >> 30)) * 0xBF58476D1CE4E5B9ull;
  key = (key ^ (key >> 27)) * 0x94D049BB133111EBull;
  key ^= key >> 31;
  return static_cast<double>(key >> 11) * (1.0 / 9007199254740992.0);
}

struct Satellite {
  int id = 0;
  int elevationDeg = 0;
  int azimuthDeg = 0;
  int snr = 0;
};

std::vector<Satellite> skyOf(const System& system, std::size_t systemIndex, uint64_t seed, double driveTimeS) {
  std::vector<Satellite> sky;
  for (int k = 0; k < system.inView; ++k) {
    const uint64_t key = seed * 1000003u + systemIndex * 101u + static_cast<uint64_t>(k);
    // Elevations from 5 to 85 degrees, drifting a few degrees an hour.
    const double elevation = std::clamp(5.0 + 80.0 * unit(key) + (unit(key + 7) - 0.5) * 0.002 * driveTimeS, 1.0, 89.0);
    Satellite s;
    s.id = system.firstId + k * 2 + static_cast<int>(unit(key + 3) * 2.0);
    s.elevationDeg = static_cast<int>(elevation);
    s.azimuthDeg = static_cast<int>(std::fmod(360.0 * unit(key + 5) + 0.004 * driveTimeS, 360.0));
    s.snr = static_cast<int>(20.0 + 25.0 * std::sin(elevation * 3.14159265358979 / 180.0));
    sky.push_back(s);
  }
  return sky;
}

std::string twoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

void appendOtherSystems(std::vector<std::string>& sentences, const EpochFields& epoch, uint64_t seed) {
  for (std::size_t i = 0; i < kSystems.size(); ++i) {
    const System& system = kSystems[i];
    const std::vector<Satellite> sky = skyOf(system, i, seed, epoch.driveTimeS);

    // In use: those above 15 degrees, at most twelve.
    std::string gsa = "GNGSA,A,";
    gsa += epoch.hasFix ? "3" : "1";
    int listed = 0;
    for (const Satellite& s : sky) {
      if (listed == 12) break;
      if (!epoch.hasFix || s.elevationDeg < 15) continue;
      gsa += "," + twoDigits(s.id);
      ++listed;
    }
    for (; listed < 12; ++listed) gsa += ",";
    for (const double dop : {epoch.hdop * 1.8, epoch.hdop, epoch.hdop * 1.5}) {
      gsa += ",";
      gsa += epoch.hasFix ? formatFixed(dop, 2) : std::string("99.99");
    }
    gsa += "," + std::to_string(system.systemId);
    sentences.push_back(frameSentence(gsa));

    // In view: four to a sentence, the signal id (1) last.
    const std::size_t total = (sky.size() + 3) / 4;
    for (std::size_t k = 0; k < total; ++k) {
      std::string gsv = std::string(system.gsvTalker) + "GSV," + std::to_string(total) + "," + std::to_string(k + 1) +
                        "," + twoDigits(static_cast<int>(sky.size()));
      for (std::size_t j = k * 4; j < std::min(sky.size(), k * 4 + 4); ++j) {
        char text[32];
        std::snprintf(text, sizeof text, ",%02d,%02d,%03d,%02d", sky[j].id, sky[j].elevationDeg, sky[j].azimuthDeg,
                      sky[j].snr);
        gsv += text;
      }
      gsv += ",1";
      sentences.push_back(frameSentence(gsv));
    }
  }
  const std::string status = epoch.hasFix ? "A" : "V";
  if (epoch.hasFix) {
    sentences.push_back(frameSentence(epoch.talker + "GLL," + epoch.latitude + "," + epoch.north + "," +
                                      epoch.longitude + "," + epoch.east + "," + epoch.time + "," + status + ",A"));
  } else {
    sentences.push_back(frameSentence(epoch.talker + "GLL,,,,," + epoch.time + ",V,N"));
  }
}

}  // namespace corvantis::sim
