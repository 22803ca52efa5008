#include "tools/sim/receiver.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "tools/sim/full_sentences.h"
#include "tools/sim/nmea_format.h"
#include "tools/sim/random.h"

namespace corvantis::sim {
namespace {

constexpr uint32_t kDayMs = 86400000u;

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leapYear(y) ? 29 : days[static_cast<std::size_t>(m - 1)];
}

uint64_t splitmix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The sky: a dozen satellites drifting slowly, some now and then hidden by
// the surroundings. The count in use and the dilution follow from it.
class Sky {
 public:
  explicit Sky(uint64_t seed) : rng_(seed) {
    std::array<int, 32> prns{};
    for (int i = 0; i < 32; ++i) prns[static_cast<std::size_t>(i)] = i + 1;
    for (int i = 31; i > 0; --i) std::swap(prns[static_cast<std::size_t>(i)], prns[static_cast<std::size_t>(rng_.between(0, i))]);
    for (int i = 0; i < 12; ++i) {
      Sat s;
      s.prn = prns[static_cast<std::size_t>(i)];
      s.elevationDeg = 3.0 + 82.0 * rng_.uniform();
      s.azimuthDeg = 360.0 * rng_.uniform();
      s.drift = (rng_.uniform() - 0.5) * 0.008;
      s.hidden = rng_.uniform() < 0.1;
      sats_.push_back(s);
    }
    update(0.0);
  }

  // Advance to `seconds` since the start; called once a second.
  void update(double seconds) {
    for (Sat& s : sats_) {
      s.elevation = std::clamp(s.elevationDeg + s.drift * seconds, 0.0, 89.0);
      s.azimuth = std::fmod(s.azimuthDeg + 0.004 * seconds + 360.0, 360.0);
      if (rng_.uniform() < 0.01) s.hidden = !s.hidden;
      s.snr = std::clamp(static_cast<int>(22.0 + 24.0 * std::sin(s.elevation * std::numbers::pi / 180.0) + 3.0 * rng_.gaussian()), 10, 50);
    }
    used_.clear();
    for (const Sat& s : sats_)
      if (s.elevation >= 10.0 && !s.hidden) used_.push_back(s.prn);
    // A good receiver in the open keeps at least six in use.
    for (Sat& s : sats_) {
      if (used_.size() >= 6) break;
      if (s.hidden && s.elevation >= 10.0) {
        s.hidden = false;
        used_.push_back(s.prn);
      }
    }
    for (Sat& s : sats_) {
      if (used_.size() >= 6) break;
      if (std::find(used_.begin(), used_.end(), s.prn) == used_.end()) {
        s.elevation = std::max(s.elevation, 12.0);
        s.hidden = false;
        used_.push_back(s.prn);
      }
    }
    hdop_ = 0.55 + 4.2 / static_cast<double>(used_.size()) + 0.05 * rng_.uniform();
  }

  const std::vector<int>& used() const { return used_; }
  double hdop() const { return hdop_; }

  // The $..GSV sentences (GPS satellites, so always the GP talker).
  std::vector<std::string> gsv() const {
    std::vector<const Sat*> inView;
    for (const Sat& s : sats_)
      if (s.elevation > 0.0) inView.push_back(&s);
    std::vector<std::string> out;
    const std::size_t total = std::max<std::size_t>(1, (inView.size() + 3) / 4);
    for (std::size_t k = 0; k < total; ++k) {
      std::string body = "GPGSV," + std::to_string(total) + "," + std::to_string(k + 1) + "," + twoDigits(static_cast<int>(inView.size()));
      for (std::size_t j = k * 4; j < std::min(inView.size(), k * 4 + 4); ++j) {
        const Sat& s = *inView[j];
        char buf[32];
        std::snprintf(buf, sizeof buf, ",%02d,%02d,%03d,", s.prn, static_cast<int>(s.elevation), static_cast<int>(s.azimuth));
        body += buf;
        if (!s.hidden) body += twoDigits(s.snr);
      }
      out.push_back(frameSentence(body));
    }
    return out;
  }

 private:
  static std::string twoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
  }
  struct Sat {
    int prn = 0;
    double elevationDeg = 0.0, azimuthDeg = 0.0, drift = 0.0;
    double elevation = 0.0, azimuth = 0.0;
    int snr = 0;
    bool hidden = false;
  };
  Random rng_;
  std::vector<Sat> sats_;
  std::vector<int> used_;
  double hdop_ = 1.0;
};

// White noise plus a slowly wandering bias on one axis. The bias is a
// first-order Gauss-Markov process drawn once a second and interpolated
// linearly between, so that it moves smoothly: its share of the speed
// between two fixes is the same at every fix rate.
class AxisError {
 public:
  AxisError(double white, double bias, double tau, Random& rng) : white_(white), bias_(bias), tau_(tau) {
    from_ = bias_ * rng.gaussian();
    to_ = step(from_, rng);
  }
  // Error at drive time tS (seconds, never decreasing between calls).
  double at(double tS, Random& rng) {
    while (tS >= knot_ + 1.0) {
      from_ = to_;
      to_ = step(to_, rng);
      knot_ += 1.0;
    }
    const double f = tS - knot_;
    return from_ + (to_ - from_) * f + white_ * rng.gaussian();
  }

 private:
  double step(double value, Random& rng) const {
    const double rho = std::exp(-1.0 / tau_);
    return rho * value + bias_ * std::sqrt(1.0 - rho * rho) * rng.gaussian();
  }
  double white_, bias_, tau_;
  double from_ = 0.0, to_ = 0.0, knot_ = 0.0;
};

// A binary packet of the kind receivers mix into their NMEA output
// (sync bytes, class, id, little-endian length, payload, Fletcher checksum).
std::string binaryBurst(Random& rng) {
  static constexpr std::array<uint8_t, 6> ids{0x02, 0x03, 0x06, 0x07, 0x12, 0x35};
  std::string p;
  p += static_cast<char>(0x01);
  p += static_cast<char>(ids[static_cast<std::size_t>(rng.between(0, 5))]);
  const int len = rng.between(8, 48);
  p += static_cast<char>(len & 0xFF);
  p += static_cast<char>(len >> 8);
  for (int i = 0; i < len; ++i) p += static_cast<char>(rng.between(0, 255));
  uint8_t a = 0, b = 0;
  for (char c : p) {
    a = static_cast<uint8_t>(a + static_cast<uint8_t>(c));
    b = static_cast<uint8_t>(b + a);
  }
  std::string out("\xB5\x62", 2);
  out += p;
  out += static_cast<char>(a);
  out += static_cast<char>(b);
  return out;
}

}  // namespace

UtcDate UtcDate::plusDays(int days) const {
  UtcDate d = *this;
  for (int i = 0; i < days; ++i) {
    if (++d.day > daysInMonth(d.year, d.month)) {
      d.day = 1;
      if (++d.month > 12) {
        d.month = 1;
        ++d.year;
      }
    }
  }
  return d;
}

bool UtcDate::valid() const {
  return year >= 1980 && year <= 2179 && month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
}

void ReceiverOptions::validate() const {
  if (rateHz != 1 && rateHz != 5 && rateHz != 10 && rateHz != 20 && rateHz != 25)
    throw std::invalid_argument("the fix rate must be 1, 5, 10, 20 or 25 Hz");
  if (startTimeOfDayMs >= kDayMs) throw std::invalid_argument("the start time must be a time of day (below 24:00)");
  if (!startDate.valid()) throw std::invalid_argument("the start date is not a calendar date between 1980 and 2179");
  if (!(whiteNoiseM >= 0.0 && whiteNoiseM <= 100.0) || !(biasNoiseM >= 0.0 && biasNoiseM <= 100.0))
    throw std::invalid_argument("noise must be 0 to 100 m");
  if (!(staticHoldMps >= 0.0 && staticHoldMps <= 5.0)) throw std::invalid_argument("the static hold speed must be 0 to 5 m/s");
  if (!(speedNoiseMps >= 0.0 && speedNoiseMps <= 10.0)) throw std::invalid_argument("speed noise must be 0 to 10 m/s");
  if (!(biasTimeS > 0.0)) throw std::invalid_argument("the bias time must be above 0 s");
  if (!(verticalFactor >= 0.0)) throw std::invalid_argument("the vertical noise factor cannot be negative");
  if (talker.size() != 2 || talker[0] < 'A' || talker[0] > 'Z' || talker[1] < 'A' || talker[1] > 'Z')
    throw std::invalid_argument("the talker must be two capital letters (GP, GN, ...)");
  if (minuteDecimals < 1 || minuteDecimals > 8) throw std::invalid_argument("minute decimals must be 1 to 8");
  if (timeDecimals < 0 || timeDecimals > 3) throw std::invalid_argument("time decimals must be 0 to 3");
  if (speedDecimals < 0 || speedDecimals > 4) throw std::invalid_argument("speed decimals must be 0 to 4");
  if (!(fixNoiseM >= 0.0 && fixNoiseM <= 100.0)) throw std::invalid_argument("noise must be 0 to 100 m");
  const int periodMs = 1000 / (rateHz > 0 ? rateHz : 1);
  const int resolution = timeDecimals == 0 ? 1000 : timeDecimals == 1 ? 100 : timeDecimals == 2 ? 10 : 1;
  if (periodMs % resolution != 0)
    throw std::invalid_argument("the time field's decimals cannot tell " + std::to_string(rateHz) + " Hz fixes apart");
  if (!(dropoutsPerMinute >= 0.0 && dropoutsPerMinute <= 60.0)) throw std::invalid_argument("dropouts must be 0 to 60 a minute");
  if (!(dropoutMeanS > 0.0 && dropoutMeanS <= 600.0)) throw std::invalid_argument("the mean dropout must be above 0 and at most 600 s");
  if (!(corruptProbability >= 0.0 && corruptProbability <= 1.0)) throw std::invalid_argument("the corruption probability must be 0 to 1");
  if (!(binaryProbability >= 0.0 && binaryProbability <= 1.0)) throw std::invalid_argument("the binary-noise probability must be 0 to 1");
}

ReceiverOutput sampleDrive(const Scenario& sc, const DriveTrace& trace, const ReceiverOptions& o) {
  o.validate();
  ReceiverOutput out;
  // Separate streams, so that switching damage on leaves the noise as it was.
  Random noiseRng(splitmix(o.seed * 4 + 0));
  Random damageRng(splitmix(o.seed * 4 + 1));
  Sky sky(splitmix(o.seed * 4 + 2));
  Random dopplerRng(splitmix(o.seed * 4 + 3));
  const double speedNoise = o.noise ? o.speedNoiseMps : 0.0;
  const double smoothedWhite = o.whiteNoiseM / static_cast<double>(o.rateHz);
  const double white = !o.noise ? 0.0
                       : o.fixNoiseM > 0.0 ? std::hypot(smoothedWhite, o.fixNoiseM)
                                           : smoothedWhite;
  const double bias = o.noise ? o.biasNoiseM : 0.0;
  AxisError east(white, bias, o.biasTimeS, noiseRng), north(white, bias, o.biasTimeS, noiseRng);
  AxisError up(white * o.verticalFactor, bias * o.verticalFactor, o.biasTimeS, noiseRng);

  const uint64_t period = 1000u / static_cast<uint64_t>(o.rateHz);
  const uint64_t startMs = o.startTimeOfDayMs;
  const uint64_t endMs = startMs + static_cast<uint64_t>(std::floor(trace.endTimeS * 1000.0));
  const double dtS = static_cast<double>(period) / 1000.0;
  const double dropoutChance = o.dropoutsPerMinute * dtS / 60.0;
  const bool gsaEveryFix = o.rateHz <= 10 || o.fullSentenceSets;
  uint64_t dropoutEnd = 0;
  bool inDropout = false;
  int lastSkySecond = 0;
  // Static hold: standing, the receiver keeps reporting the error it had
  // when it stopped; moving again, its solution converges back to the free
  // one over a few seconds instead of jumping.
  constexpr double kSettleS = 2.0;
  bool holding = false, settling = false;
  std::array<double, 3> heldError{}, settleOffset{};
  double releaseS = 0.0;

  for (uint64_t dayMs = (startMs + period - 1) / period * period; dayMs <= endMs; dayMs += period) {
    Epoch e;
    e.dayMs = dayMs;
    e.timeOfDayMs = static_cast<uint32_t>(dayMs % kDayMs);
    e.date = o.startDate.plusDays(static_cast<int>(dayMs / kDayMs));
    e.driveTimeS = static_cast<double>(dayMs - startMs) / 1000.0;
    const MotionState m = trace.stateAt(e.driveTimeS);
    const PathPoint pp = sc.path.at(m.sM);
    e.speedMps = m.vMps;
    e.pathM = m.sM;
    e.truePosition = toGeo(sc.origin, pp.pose.xM, pp.pose.yM, pp.altitudeM);
    std::array<double, 3> err{east.at(e.driveTimeS, noiseRng), north.at(e.driveTimeS, noiseRng), up.at(e.driveTimeS, noiseRng)};
    const int second = static_cast<int>(e.driveTimeS);
    while (lastSkySecond < second) sky.update(++lastSkySecond);

    if (inDropout && dayMs >= dropoutEnd) {
      inDropout = false;
      out.dropoutsMs.back().second = static_cast<double>(dayMs);
    }
    if (!inDropout && dropoutChance > 0.0 && damageRng.uniform() < dropoutChance) {
      inDropout = true;
      const double len = std::max(0.3, -o.dropoutMeanS * std::log(std::max(1e-12, 1.0 - damageRng.uniform())));
      dropoutEnd = dayMs + static_cast<uint64_t>(len * 1000.0);
      out.dropoutsMs.emplace_back(static_cast<double>(dayMs), static_cast<double>(endMs + period));
    }
    e.hasFix = !inDropout;
    if (!e.hasFix) {
      holding = settling = false;  // a receiver that lost its fix starts afresh
    } else if (o.noise && m.vMps < o.staticHoldMps) {
      if (!holding) {
        if (settling) {
          const double f = std::exp(-(e.driveTimeS - releaseS) / kSettleS);
          for (std::size_t i = 0; i < 3; ++i) err[i] += settleOffset[i] * f;
        }
        holding = true;
        settling = false;
        heldError = err;
      }
      err = heldError;
    } else {
      if (holding) {
        holding = false;
        settling = true;
        releaseS = e.driveTimeS;
        for (std::size_t i = 0; i < 3; ++i) settleOffset[i] = heldError[i] - err[i];
      }
      if (settling) {
        const double f = std::exp(-(e.driveTimeS - releaseS) / kSettleS);
        for (std::size_t i = 0; i < 3; ++i) err[i] += settleOffset[i] * f;
      }
    }
    e.reportedPosition = toGeo(sc.origin, pp.pose.xM + err[0], pp.pose.yM + err[1], pp.altitudeM + err[2]);
    e.satellites = e.hasFix ? static_cast<int>(sky.used().size()) : 0;
    e.hdop = sky.hdop();

    const std::string time = formatTimeOfDay(e.timeOfDayMs, o.timeDecimals);
    const std::string date = formatDate(e.date.year, e.date.month, e.date.day);
    char ns = 'N', ew = 'E';
    const std::string lat = formatLatitude(e.reportedPosition.latitudeDeg, o.minuteDecimals, ns);
    const std::string lon = formatLongitude(e.reportedPosition.longitudeDeg, o.minuteDecimals, ew);
    std::vector<std::string> sentences;
    if (e.hasFix) {
      char sats[8];
      std::snprintf(sats, sizeof sats, "%02d", e.satellites);
      sentences.push_back(frameSentence(o.talker + "GGA," + time + "," + lat + "," + ns + "," + lon + "," + ew + ",1," + sats + "," +
                                        formatFixed(e.hdop, 1) + "," + formatFixed(e.reportedPosition.altitudeM, 1) + ",M," +
                                        formatFixed(o.geoidSeparationM, 1) + ",M,,"));
    } else {
      sentences.push_back(frameSentence(o.talker + "GGA," + time + ",,,,,0,00,99.99,,M,,M,,"));
    }
    if (gsaEveryFix || e.timeOfDayMs % 1000u == 0) {
      std::string gsa = o.talker + "GSA,A,";
      if (e.hasFix) {
        gsa += "3";
        const auto& used = sky.used();
        for (std::size_t i = 0; i < 12; ++i) {
          gsa += ',';
          if (i < used.size()) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%02d", used[i]);
            gsa += buf;
          }
        }
        // PDOP, HDOP, VDOP; appended piece by piece (gcc 12 at -O3 warns
        // wrongly about overlapping copies in a chain of temporaries).
        for (const double dop : {e.hdop * 1.8, e.hdop, e.hdop * 1.5}) {
          gsa += ',';
          gsa += formatFixed(dop, 2);
        }
      } else {
        gsa += "1,,,,,,,,,,,,,99.99,99.99,99.99";
      }
      sentences.push_back(frameSentence(gsa));
    }
    if (o.fullSentenceSets || e.timeOfDayMs % 1000u == 0)
      for (const std::string& s : sky.gsv()) sentences.push_back(s);
    if (o.fullSentenceSets) {
      appendOtherSystems(sentences, EpochFields{o.talker, time, lat, ns, lon, ew, e.hasFix, e.hdop, e.driveTimeS}, o.seed);
    }
    // Drawn every epoch, fix or not, so that the stream stays in step.
    const double dopplerError = speedNoise * dopplerRng.gaussian();
    const double acrossError = o.speedIsLength ? speedNoise * dopplerRng.gaussian() : 0.0;
    if (e.hasFix) {
      const double reportedMps =
          o.speedIsLength ? std::hypot(m.vMps + dopplerError, acrossError) : std::max(0.0, m.vMps + dopplerError);
      const double knots = reportedMps * 3.6 / 1.852;
      const std::string course = m.vMps > 0.0 ? formatFixed(std::fmod(pp.pose.headingRad * 180.0 / std::numbers::pi + 720.0, 360.0), 2) : "";
      if (o.rmc) {
        sentences.push_back(frameSentence(o.talker + "RMC," + time + ",A," + lat + "," + ns + "," + lon + "," + ew +
                                          "," + formatFixed(knots, o.speedDecimals) + "," + course + "," + date + ",,,A"));
      }
      if (o.vtg) {
        sentences.push_back(frameSentence(o.talker + "VTG," + course + ",T,,M," + formatFixed(knots, o.speedDecimals) +
                                          ",N," + formatFixed(reportedMps * 3.6, o.speedDecimals) + ",K,A"));
      }
    } else {
      if (o.rmc) sentences.push_back(frameSentence(o.talker + "RMC," + time + ",V,,,,,,," + date + ",,,N"));
      if (o.vtg) sentences.push_back(frameSentence(o.talker + "VTG,,T,,M,,N,,K,N"));
    }
    for (std::string& s : sentences) {
      if (o.corruptProbability > 0.0 && damageRng.uniform() < o.corruptProbability && s.size() > 7) {
        // One flipped bit somewhere between the "$" and the "*HH" CR LF.
        const int at = damageRng.between(1, static_cast<int>(s.size()) - 6);
        s[static_cast<std::size_t>(at)] = static_cast<char>(s[static_cast<std::size_t>(at)] ^ (1 << damageRng.between(0, 7)));
        ++out.corruptedSentences;
      }
      e.text += s;
    }
    if (o.binaryProbability > 0.0 && damageRng.uniform() < o.binaryProbability) {
      e.text += binaryBurst(damageRng);
      ++out.binaryBursts;
    }
    out.epochs.push_back(std::move(e));
  }
  return out;
}

}  // namespace corvantis::sim
