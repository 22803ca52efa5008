#include "tools/sim/parking.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/sim/nmea_format.h"
#include "tools/sim/random.h"

namespace corvantis::sim {
namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// Replaces comma-separated fields [first, first + values.size()) of a
// sentence body ("GPGGA,..." without "$" and checksum).
std::string withFields(const std::string& body, size_t first, const std::vector<std::string>& values) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (size_t comma; (comma = body.find(',', at)) != std::string::npos; at = comma + 1) {
    fields.push_back(body.substr(at, comma - at));
  }
  fields.push_back(body.substr(at));
  if (first + values.size() > fields.size()) return body;
  for (size_t i = 0; i < values.size(); ++i) fields[first + i] = values[i];
  std::string out = fields[0];
  for (size_t i = 1; i < fields.size(); ++i) out += "," + fields[i];
  return out;
}

// The epoch's sentences with the GGA and RMC positions replaced.
std::string withPosition(const std::string& text, const std::string& talker, const std::string& latitude,
                         char ns, const std::string& longitude, char ew) {
  const std::vector<std::string> position{latitude, std::string(1, ns), longitude, std::string(1, ew)};
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    end = end == std::string::npos ? text.size() : end + 2;
    std::string sentence = text.substr(at, end - at);
    at = end;
    const size_t star = sentence.find('*');
    if (sentence.size() > 7 && sentence[0] == '$' && star != std::string::npos) {
      const std::string body = sentence.substr(1, star - 1);
      if (body.rfind(talker + "GGA,", 0) == 0 && body.find(",,,,,0,") == std::string::npos) {
        sentence = frameSentence(withFields(body, 2, position));
      } else if (body.rfind(talker + "RMC,", 0) == 0 && body.find(",A,") != std::string::npos) {
        sentence = frameSentence(withFields(body, 3, position));
      }
    }
    out += sentence;
  }
  return out;
}

}  // namespace

Scenario parkOnTheLine(Scenario sc, const ParkingParams& parking) {
  if (!sc.circuit) throw std::invalid_argument("only a drive round the circuit can park on its line");
  if (!(parking.parkS > 0.0 && parking.parkS <= 3600.0)) throw std::invalid_argument("the parking lasts above 0 and at most 3600 s");
  const CircuitPlacement& cp = *sc.circuit;
  const double lengthM = cp.circuit.lengthM();
  // Crossing k of the line (path lapZero + k laps) begins timed lap k; the
  // drive's last crossing ends its last timed lap.
  const int laps = static_cast<int>(std::floor((cp.toPathM - cp.lapZeroPathM) / lengthM)) - 1;
  const int afterLap = parking.afterLap == 0 ? laps : parking.afterLap;
  if (afterLap < 1 || afterLap > laps)
    throw std::invalid_argument("the car can park after lap 1 to " + std::to_string(laps));
  if (!(std::fabs(parking.pastLineM) <= 30.0)) throw std::invalid_argument("the car parks within 30 m of the line");
  const double parkAtM = cp.lapZeroPathM + (afterLap + 1) * lengthM + parking.pastLineM;

  std::vector<Phase> phases;
  bool parked = false;
  for (const Phase& phase : sc.phases) {
    // The flat-out drive round the circuit stops on the line on its way.
    if (!parked && phase.kind == Phase::Kind::DriveTo && phase.toPathM >= parkAtM) {
      phases.push_back(Phase::driveTo(parkAtM, true, phase.throttle));
      phases.push_back(Phase::wait(parking.parkS));
      parked = true;
    }
    phases.push_back(phase);
  }
  sc.phases = phases;
  return sc;
}

void jitterStandingFixes(SimResult& result, const ReceiverOptions& receiver, double jitterM, uint64_t seed) {
  if (!(jitterM > 0.0)) return;
  Random random(seed * 7919u + 17u);
  for (Epoch& e : result.epochs) {
    if (!e.hasFix || e.speedMps != 0.0) continue;
    const double eastM = random.gaussian() * jitterM;
    const double northM = random.gaussian() * jitterM;
    e.reportedPosition.latitudeDeg += northM / kEarthRadiusM / kDeg;
    e.reportedPosition.longitudeDeg += eastM / (kEarthRadiusM * std::cos(e.reportedPosition.latitudeDeg * kDeg)) / kDeg;
    char ns = 'N', ew = 'E';
    const std::string latitude = formatLatitude(e.reportedPosition.latitudeDeg, receiver.minuteDecimals, ns);
    const std::string longitude = formatLongitude(e.reportedPosition.longitudeDeg, receiver.minuteDecimals, ew);
    e.text = withPosition(e.text, receiver.talker, latitude, ns, longitude, ew);
  }
}

}  // namespace corvantis::sim
