// Accuracy of the time slips, and whether their ± hold, on launches the
// simulator's launches family never draws, from a generator of their own:
// a traction peak that fades, a two-stage launch, a take-up whose pull rises
// as the square of time, a first-order lag, a ramp of up to a second, wheel
// hop, a lift of the pedal, and a pull that wanders at random; half of them
// with gear changes that cut the drive. The receivers are drawn apart from
// the family's too: white noise of 2-15 cm a fix and 5 cm/s Doppler noise,
// 5 to 7 decimals of the minute, speeds to 0.01 kn or 0.001 kn.
//
//   build/release/bench/slip/slip_unseen [--half choosing|reported] [--launches N]
//       [--rates 25,20,10,5] [--folded | --kept-at-zero] [--twins] [--verbose]
//
// The speed over ground is the length of the noisy velocity, as receivers
// write it (a standing car reads a few hundredths of a metre a second);
// --folded writes the size of the speed plus one axis's noise, and
// --kept-at-zero that sum kept at or above 0.
//
// One row per fix rate, noise and source, as slip_accuracy gives them, and
// then each kind of launch over all rates: how often its first motion's and
// its marks' ± held the truth, and its largest errors.
//
// --twins: what no method can tell. Each launch without noise gets twins:
// cars that leave rest earlier or later and join the launch's path before
// or at its first fixes, on a quintic from rest that never pulls harder than
// the launch itself. Their logs read the same byte for byte (for positions
// alone, the same positions), so any reading of them puts first motion at
// least half the twins' span from the truth of one of them. The table gives
// the earliest and latest twin found, their span, and how far the slip is
// from the further end.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "bench/slip/error_sample.h"
#include "slip/nmea_motion.h"
#include "slip/time_slip.h"
#include "tools/sim/nmea_format.h"

namespace {

namespace slip = corvantis::slip;
namespace sim = corvantis::sim;
using corvantis::bench::printRow;
using corvantis::bench::Sample;

constexpr double kMpsToMph = 1.0 / 0.44704;
constexpr double kStepS = 1e-4;

class Draw {
 public:
  explicit Draw(uint64_t seed) : rng_(seed) {}
  double between(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  double gaussian() { return std::normal_distribution<double>(0.0, 1.0)(rng_); }
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool chance(double p) { return between(0.0, 1.0) < p; }

 private:
  std::mt19937_64 rng_;
};

// The drive's pull (m/s^2) at tau seconds after first motion, before it
// fades with speed and before gear changes.
struct LaunchKind {
  std::string name;
  std::function<double(double)> pull;
};

LaunchKind drawKind(Draw& d) {
  const double full = d.between(5.0, 10.0);
  switch (d.pick(8)) {
    case 0: {
      const double peak = d.between(full + 1.0, 13.0), fadeS = d.between(0.1, 0.6);
      return {"traction peak", [=](double t) { return full + (peak - full) * std::exp(-t / fadeS); }};
    }
    case 1: {
      const double first = d.between(1.0, 3.0), forS = d.between(0.1, 0.4), riseS = d.between(0.05, 0.2);
      return {"two-stage", [=](double t) { return t < forS ? first : first + (full - first) * std::min(1.0, (t - forS) / riseS); }};
    }
    case 2: {
      const double overS = d.between(0.1, 0.6);
      return {"square-law take-up", [=](double t) { return full * std::min(1.0, (t / overS) * (t / overS)); }};
    }
    case 3: {
      const double lagS = d.between(0.02, 0.2);
      return {"lag", [=](double t) { return full * (1.0 - std::exp(-t / lagS)); }};
    }
    case 4: {
      const double overS = d.between(0.5, 1.0);
      return {"long ramp", [=](double t) { return full * std::min(1.0, t / overS); }};
    }
    case 5: {
      const double rampS = d.between(0.0, 0.15), hz = d.between(6.0, 15.0), depth = d.between(1.0, 0.6 * full),
                   decayS = d.between(0.2, 1.0);
      return {"wheel hop", [=](double t) {
                const double base = rampS > 0.0 ? full * std::min(1.0, t / rampS) : full;
                return base + depth * std::sin(2.0 * std::numbers::pi * hz * t) * std::exp(-t / decayS) * std::min(1.0, t / 0.05);
              }};
    }
    case 6: {
      const double rampS = d.between(0.0, 0.2), atS = d.between(0.3, 1.5), liftS = d.between(0.1, 0.4),
                   lifted = d.between(0.0, 2.0);
      return {"pedal lift", [=](double t) {
                if (t >= atS && t < atS + liftS) return lifted;
                return rampS > 0.0 ? full * std::min(1.0, t / rampS) : full;
              }};
    }
    default: {
      // Knots every 0.2 s over two seconds, joined by half cosines.
      std::vector<double> knots{d.between(0.0, 8.0)};
      for (int i = 0; i < 10; ++i) knots.push_back(d.between(3.0, 11.0));
      return {"wandering pull", [=](double t) {
                const double at = std::min(t / 0.2, static_cast<double>(knots.size() - 1));
                const size_t i = std::min(static_cast<size_t>(at), knots.size() - 2);
                const double f = 0.5 * (1.0 - std::cos(std::numbers::pi * (at - static_cast<double>(i))));
                return knots[i] + (knots[i + 1] - knots[i]) * f;
              }};
    }
  }
}

// A launch integrated finely from first motion until past the quarter mile.
struct Motion {
  std::vector<double> s, v;  // every kStepS
  double distanceAt(double tau) const { return at(s, tau); }
  double speedAt(double tau) const { return at(v, tau); }
  double reachS(double target, bool speed) const {
    const std::vector<double>& y = speed ? v : s;
    for (size_t i = 1; i < y.size(); ++i) {
      if (y[i] >= target) return kStepS * (static_cast<double>(i - 1) + (target - y[i - 1]) / (y[i] - y[i - 1]));
    }
    return NAN;
  }
  double durationS() const { return kStepS * static_cast<double>(s.size() - 1); }

 private:
  static double at(const std::vector<double>& y, double tau) {
    if (tau <= 0.0) return 0.0;
    const size_t i = std::min(static_cast<size_t>(tau / kStepS), y.size() - 2);
    const double f = std::min(1.0, tau / kStepS - static_cast<double>(i));
    return y[i] + f * (y[i + 1] - y[i]);
  }
};

Motion integrate(const LaunchKind& kind, Draw& d, std::string& shifts) {
  const double topMps = d.between(60.0, 95.0);
  std::vector<double> shiftAtMps;
  double shiftS = 0.0, shiftShare = 1.0;
  if (d.chance(0.5)) {
    shiftS = d.between(0.1, 0.35);
    shiftShare = d.between(-0.05, 0.3);
    for (double at = d.between(10.0, 22.0); at < topMps; at *= d.between(1.35, 1.6)) shiftAtMps.push_back(at);
    char text[64];
    std::snprintf(text, sizeof text, ", shifts from %.1f m/s over %.2f s", shiftAtMps.front(), shiftS);
    shifts = text;
  }
  Motion m;
  double s = 0.0, v = 0.0, shiftEndS = -1.0;
  size_t nextShift = 0;
  for (double tau = 0.0; s < 430.0 && tau < 40.0; tau += kStepS) {
    m.s.push_back(s);
    m.v.push_back(v);
    if (nextShift < shiftAtMps.size() && v >= shiftAtMps[nextShift]) {
      shiftEndS = tau + shiftS;
      ++nextShift;
    }
    double a = kind.pull(tau + kStepS / 2.0) * (tau < shiftEndS ? shiftShare : 1.0);
    a *= 1.0 - v / topMps;
    const double next = std::max(0.0, v + a * kStepS);
    s += 0.5 * (v + next) * kStepS;
    v = next;
  }
  return m;
}

// A twin of the launch: standing until it leaves rest at startS (from the
// launch's first motion, either side of it), then on a quintic from rest
// onto the launch's distance, speed and acceleration at joinS, and the
// launch's own path from there; its arrays start at its own first motion.
// False when the quintic would roll backwards or pull harder than the launch
// ever does: the twin is a launch the car could make.
bool twinOf(const Motion& m, double startS, double joinS, Motion& twin) {
  const long shift = std::lround(startS / kStepS);  // the twin's index 0 on the launch's
  const long join = static_cast<long>(std::floor(joinS / kStepS));
  if (join <= shift + 1 || join < 1 || join + 1 >= static_cast<long>(m.s.size())) return false;
  const size_t i1 = static_cast<size_t>(join);
  const double length = kStepS * static_cast<double>(join - shift);
  const double S = m.s[i1], V = m.v[i1], A = (m.v[i1 + 1] - m.v[i1 - 1]) / (2.0 * kStepS);
  const double l2 = length * length, l3 = l2 * length;
  const double c3 = (10.0 * S - 4.0 * V * length + 0.5 * A * l2) / l3;
  const double c4 = (-15.0 * S + 7.0 * V * length - A * l2) / (l3 * length);
  const double c5 = (6.0 * S - 3.0 * V * length + 0.5 * A * l2) / (l3 * l2);
  double mostPull = 0.0;
  for (size_t i = 1; i < m.v.size(); ++i) mostPull = std::max(mostPull, (m.v[i] - m.v[i - 1]) / kStepS);
  twin.s.assign(m.s.begin() + join, m.s.end());
  twin.v.assign(m.v.begin() + join, m.v.end());
  std::vector<double> s, v;
  for (long i = shift; i < join; ++i) {
    const double u = kStepS * static_cast<double>(i - shift);
    s.push_back(((c5 * u + c4) * u + c3) * u * u * u);
    v.push_back(((5.0 * c5 * u + 4.0 * c4) * u + 3.0 * c3) * u * u);
    if (v.back() < 0.0 || std::fabs(((20.0 * c5 * u + 12.0 * c4) * u + 6.0 * c3) * u) > mostPull) return false;
  }
  twin.s.insert(twin.s.begin(), s.begin(), s.end());
  twin.v.insert(twin.v.begin(), v.begin(), v.end());
  return true;
}

enum class SpeedForm { Length, Folded, KeptAtZero };

struct Receiver {
  int rateHz = 10;
  bool noise = false;
  double positionSdM = 0.0, speedSdMps = 0.0;
  int minuteDecimals = 6, speedDecimals = 3, timeDecimals = 2;
  SpeedForm speeds = SpeedForm::Length;
};

// The log of one launch: standing, then the launch at launchMs (ms of the
// day) along a straight course.
std::string logOf(const Motion& m, double launchMs, double standS, const Receiver& rx, Draw& d) {
  constexpr double kRadiusM = 6371000.0;
  const double lat0 = d.between(30.0, 55.0), lon0 = d.between(-10.0, 20.0);
  const double course = d.between(0.0, 360.0), c = course * std::numbers::pi / 180.0;
  const double periodMs = 1000.0 / rx.rateHz;
  std::string log;
  for (double t = std::floor((launchMs - standS * 1000.0) / periodMs) * periodMs;
       t <= launchMs + m.durationS() * 1000.0; t += periodMs) {
    const double tau = (t - launchMs) / 1000.0;
    const double along = m.distanceAt(tau), speed = m.speedAt(tau);
    const double north = along * std::cos(c) + rx.positionSdM * d.gaussian();
    const double east = along * std::sin(c) + rx.positionSdM * d.gaussian();
    const double lat = lat0 + north / kRadiusM * 180.0 / std::numbers::pi;
    const double lon = lon0 + east / (kRadiusM * std::cos(lat0 * std::numbers::pi / 180.0)) * 180.0 / std::numbers::pi;
    // Doppler noise on each axis: the length of the velocity, so that a
    // standing car reads a small speed; or one axis's, folded or kept at or
    // above 0.
    const double n1 = d.gaussian(), n2 = d.gaussian();
    const double sog = rx.speeds == SpeedForm::KeptAtZero ? std::max(0.0, speed + rx.speedSdMps * n1)
                       : rx.speeds == SpeedForm::Folded   ? std::fabs(speed + rx.speedSdMps * n1)
                                                          : std::hypot(speed + rx.speedSdMps * n1, rx.speedSdMps * n2);
    char ns = 'N', ew = 'E';
    const std::string latText = sim::formatLatitude(lat, rx.minuteDecimals, ns);
    const std::string lonText = sim::formatLongitude(lon, rx.minuteDecimals, ew);
    const std::string time = sim::formatTimeOfDay(static_cast<uint32_t>(std::llround(t)), rx.timeDecimals);
    log += sim::frameSentence("GPGGA," + time + "," + latText + "," + ns + "," + lonText + "," + ew +
                              ",1,12,0.7,95.0,M,47.0,M,,");
    log += sim::frameSentence("GPRMC," + time + ",A," + latText + "," + ns + "," + lonText + "," + ew + "," +
                              sim::formatFixed(sog / 0.514444, rx.speedDecimals) + "," + sim::formatFixed(course, 2) +
                              ",081226,,,A");
  }
  return log;
}

// Whether two logs read alike: byte for byte, or with speeds dropped, in
// their fixes' times and positions.
bool readAlike(const std::string& a, const std::string& b, bool positionsOnly) {
  if (!positionsOnly) return a == b;
  const std::vector<slip::MotionFix> fa = slip::readMotion(a), fb = slip::readMotion(b);
  if (fa.size() != fb.size()) return false;
  for (size_t i = 0; i < fa.size(); ++i) {
    if (fa[i].timeMs != fb[i].timeMs || fa[i].latitudeDeg != fb[i].latitudeDeg ||
        fa[i].longitudeDeg != fb[i].longitudeDeg)
      return false;
  }
  return true;
}

// The launch's log, and what a twin must read alike.
struct LaunchLog {
  const Motion& motion;
  double launchMs, standS;
  const Receiver& rx;
  Draw drawn;  // as it was when the log's receiver draws began
  bool positionsOnly;
};

// The first n steps of a motion.
Motion firstSteps(const Motion& m, long n) {
  Motion out;
  out.s.assign(m.s.begin(), m.s.begin() + std::min<long>(n, static_cast<long>(m.s.size())));
  out.v.assign(m.v.begin(), m.v.begin() + std::min<long>(n, static_cast<long>(m.v.size())));
  return out;
}

// Whether a twin leaving rest at startS and joining at joinS reads alike.
// From the join on the two are one path, drawn alike: the logs are
// compared up to a fifth of a second past it.
bool twinReadsAlike(const LaunchLog& launch, double startS, double joinS) {
  Motion twin;
  if (!twinOf(launch.motion, startS, joinS, twin)) return false;
  const long end = static_cast<long>((joinS + 0.2) / kStepS);
  const long shift = std::lround(startS / kStepS);
  Draw a = launch.drawn, b = launch.drawn;
  // The same fixes: standing from the same instant, to the same end.
  return readAlike(logOf(firstSteps(launch.motion, end), launch.launchMs, launch.standS, launch.rx, a),
                   logOf(firstSteps(twin, end - shift), launch.launchMs + 1000.0 * kStepS * static_cast<double>(shift),
                         launch.standS + kStepS * static_cast<double>(shift), launch.rx, b),
                   launch.positionsOnly);
}

// The furthest start between alike (known to read alike) and unlike that
// still reads alike, to a tenth of a millisecond.
double furthestAlike(const LaunchLog& launch, double alike, double unlike, double joinS) {
  while (std::fabs(unlike - alike) > 1e-4) {
    const double mid = 0.5 * (alike + unlike);
    (twinReadsAlike(launch, mid, joinS) ? alike : unlike) = mid;
  }
  return alike;
}

// The earliest and the latest first motion (s from the launch's) of twins
// whose logs read like the launch's: the latest leaves rest after the last
// fix that still reads as standing and joins the path by the next; the
// earliest leaves before the launch and joins it at one of its first three
// fixes, its start sought every 5 ms over the 0.6 s before.
std::pair<double, double> twinsSpanS(const LaunchLog& launch) {
  const double periodS = 1.0 / launch.rx.rateHz;
  const double firstFixS = std::ceil(launch.launchMs / 1000.0 / periodS) * periodS - launch.launchMs / 1000.0;
  double latest = 0.0;
  for (double fixS = firstFixS;; fixS += periodS) {
    if (twinReadsAlike(launch, fixS, fixS + periodS)) continue;
    const bool first = fixS == firstFixS;
    const double from = first ? 0.0 : fixS - periodS;
    if (!first || twinReadsAlike(launch, from, fixS)) latest = furthestAlike(launch, from, fixS, fixS);
    break;
  }
  double earliest = 0.0;
  for (int k = 0; k < 3; ++k) {
    const double joinS = firstFixS + k * periodS;
    for (double startS = -0.6; startS < earliest; startS += 0.005) {
      if (!twinReadsAlike(launch, startS, joinS)) continue;
      earliest = startS > -0.6 ? furthestAlike(launch, startS, startS - 0.005, joinS) : startS;
      break;
    }
  }
  return {earliest, latest};
}

struct TwinTally {
  Sample early, late, apart;  // ms from the launch's first motion to the earliest and latest twin's, and between
  Sample furthest;            // ms from the slip's first motion to the further of those truths
  int unresolvable = 0;       // twins over 20 ms apart: no reading is within 10 ms of both
  int allHeld = 0;            // the slip's ± holds every truth of the span
};

struct Group {
  int launches = 0, found = 0;
  Sample firstMotion, fromOnset, fromRollout, traps;
};

struct KindTally {
  Sample firstMotion, marks;  // marks: from first motion and from the rollout
};

// The marks of one slip against the truth of its launch.
void score(const slip::TimeSlip& s, const Motion& m, double launchMs, Group& g, KindTally& k) {
  const double onsetError = s.launchMs - launchMs;
  g.firstMotion.add(onsetError, s.launchPlusMinusMs);
  k.firstMotion.add(onsetError, s.launchPlusMinusMs);
  const double rolloutS = m.reachS(slip::kRolloutM, false);
  for (const bool fromRollout : {false, true}) {
    for (const slip::MarkResult& mark : fromRollout ? s.rolloutMarks : s.marks) {
      if (!mark.reached) continue;
      const slip::MarkDefinition& def = *mark.definition;
      const bool speed = def.speedMps > 0.0;
      const double atS = m.reachS(speed ? def.speedMps : def.distanceM, speed);
      if (std::isnan(atS)) continue;
      const double error = mark.timeMs - 1000.0 * (atS - (fromRollout ? rolloutS : 0.0));
      (fromRollout ? g.fromRollout : g.fromOnset).add(error, mark.plusMinusMs);
      k.marks.add(error, mark.plusMinusMs);
      if (mark.hasTrap && !fromRollout) {
        const double trueTrap = slip::kTrapLengthM / (atS - m.reachS(def.distanceM - slip::kTrapLengthM, false));
        g.traps.add((mark.trapMps - trueTrap) * kMpsToMph, mark.trapPlusMinusMps * kMpsToMph);
      }
    }
  }
}

uint64_t mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace

int main(int argc, char** argv) {
  bool choosing = false, verbose = false, twins = false;
  SpeedForm speeds = SpeedForm::Length;
  int launches = 24;
  std::vector<int> rates{25, 20, 10, 5};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--half") == 0 && i + 1 < argc) {
      choosing = std::strcmp(argv[++i], "choosing") == 0;
    } else if (std::strcmp(argv[i], "--launches") == 0 && i + 1 < argc) {
      launches = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--rates") == 0 && i + 1 < argc) {
      rates.clear();
      for (const char* p = argv[++i]; *p != '\0';) {
        rates.push_back(std::atoi(p));
        const char* comma = std::strchr(p, ',');
        if (comma == nullptr) break;
        p = comma + 1;
      }
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[i], "--twins") == 0) {
      twins = true;
    } else if (std::strcmp(argv[i], "--kept-at-zero") == 0) {
      speeds = SpeedForm::KeptAtZero;
    } else if (std::strcmp(argv[i], "--folded") == 0) {
      speeds = SpeedForm::Folded;
    }
  }
  std::printf("Half: %s, %d launches per rate and noise, kinds the launches family never draws\n\n",
              choosing ? "choosing" : "reported", launches);
  std::printf("| rate | noise | source | found | first motion | from first motion | from rollout | traps |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  std::map<std::string, KindTally> byKind[2];  // [noise]
  std::map<std::pair<int, bool>, TwinTally> twinsOf;  // [rate, with speeds]
  uint64_t seed = 1;
  for (const int rate : rates) {
    for (const bool noise : {false, true}) {
      Group withSpeed, positions;
      for (int n = 0; n < launches; ++n) {
        while (((mix(seed ^ 0x0DDBA11ull) & 1u) == 0) != choosing) ++seed;
        Draw d(mix(seed++));
        const LaunchKind kind = drawKind(d);
        std::string shifts;
        const Motion motion = integrate(kind, d, shifts);
        Receiver rx;
        rx.rateHz = rate;
        rx.noise = noise;
        rx.positionSdM = noise ? d.between(0.02, 0.15) : 0.0;
        rx.speedSdMps = noise ? 0.05 : 0.0;
        rx.minuteDecimals = 5 + d.pick(3);
        rx.speedDecimals = 2 + d.pick(2);
        rx.timeDecimals = 2 + d.pick(2);
        rx.speeds = speeds;
        // First motion anywhere between two fixes.
        const double launchMs = 43200000.0 + d.between(3000.0, 8000.0);
        const double standS = d.between(2.0, 6.0);
        const Draw drawn = d;
        const std::string log = logOf(motion, launchMs, standS, rx, d);
        const std::vector<slip::MotionFix> read = slip::readMotion(log);
        for (const bool useSpeed : {true, false}) {
          Group& g = useSpeed ? withSpeed : positions;
          std::vector<slip::MotionFix> fixes = read;
          if (!useSpeed) {
            for (slip::MotionFix& f : fixes) f.hasSpeed = false;
          }
          ++g.launches;
          const slip::TimeSlip* match = nullptr;
          const std::vector<slip::TimeSlip> slips = slip::timeSlips(fixes, {});
          for (const slip::TimeSlip& s : slips) {
            if (std::fabs(s.launchMs - launchMs) < 3000.0) match = &s;
          }
          if (match == nullptr) {
            if (verbose) std::printf("  %s seed %llu: no slip [%s%s]\n", useSpeed ? "speed" : "posns",
                                     static_cast<unsigned long long>(seed - 1), kind.name.c_str(), shifts.c_str());
            continue;
          }
          ++g.found;
          score(*match, motion, launchMs, g, byKind[noise ? 1 : 0][kind.name + (useSpeed ? ", speeds" : ", positions")]);
          if (twins && !noise) {
            TwinTally& tally = twinsOf[{rate, useSpeed}];
            const auto [earliestS, latestS] = twinsSpanS({motion, launchMs, standS, rx, drawn, !useSpeed});
            const double error = match->launchMs - launchMs;
            const double furthest = std::max(std::fabs(error - 1000.0 * earliestS), std::fabs(error - 1000.0 * latestS));
            tally.early.add(1000.0 * earliestS);
            tally.late.add(1000.0 * latestS);
            tally.apart.add(1000.0 * (latestS - earliestS));
            tally.furthest.add(furthest);
            if (furthest <= match->launchPlusMinusMs) ++tally.allHeld;
            if (1000.0 * (latestS - earliestS) > 20.0) ++tally.unresolvable;
          }
          if (verbose) {
            const slip::MarkResult& quarter = match->rolloutMarks[4];
            std::printf("  %s seed %llu: onset %+.1f ± %.1f, 1/4(r) %+.1f ± %.1f [%s%s] dec %d spdec %d sd %.2f\n",
                        useSpeed ? "speed" : "posns", static_cast<unsigned long long>(seed - 1),
                        match->launchMs - launchMs, match->launchPlusMinusMs,
                        quarter.timeMs - 1000.0 * (motion.reachS(402.336, false) - motion.reachS(slip::kRolloutM, false)),
                        quarter.plusMinusMs, kind.name.c_str(), shifts.c_str(), rx.minuteDecimals, rx.speedDecimals,
                        rx.positionSdM);
          }
        }
      }
      for (const bool useSpeed : {true, false}) {
        const Group& g = useSpeed ? withSpeed : positions;
        std::printf("| %d Hz | %s | %s | %d of %d |", rate, noise ? "noise" : "none", useSpeed ? "speeds" : "positions",
                    g.found, g.launches);
        printRow("", g.firstMotion, "ms");
        printRow("", g.fromOnset, "ms");
        printRow("", g.fromRollout, "ms");
        printRow("", g.traps, "mph");
        std::printf("\n");
      }
      std::fflush(stdout);
    }
  }
  for (const int noise : {0, 1}) {
    std::printf("\n%s, all rates: | kind, source | first motion | marks from it and from the rollout |\n|---|---|---|\n",
                noise ? "With noise" : "Without noise");
    for (const auto& [name, tally] : byKind[noise]) {
      std::printf("| %s |", name.c_str());
      printRow("", tally.firstMotion, "ms");
      printRow("", tally.marks, "ms");
      std::printf("\n");
    }
  }
  if (twins) {
    std::printf("\nTwins without noise (median/p95/max ms): | rate | source | earliest twin before | latest twin after |"
                " span | over 20 ms | slip to the further end | its ± holds the span |\n|---|---|---|---|---|---|---|---|\n");
    auto cell = [](const Sample& x) { std::printf(" %.1f/%.1f/%.1f |", x.percentile(0.5), x.percentile(0.95), x.percentile(1.0)); };
    for (const auto& [key, tally] : twinsOf) {
      const double n = static_cast<double>(tally.apart.errors.size());
      std::printf("| %d Hz | %s |", key.first, key.second ? "speeds" : "positions");
      cell(tally.early);
      cell(tally.late);
      cell(tally.apart);
      std::printf(" %.1f %% |", 100.0 * tally.unresolvable / n);
      cell(tally.furthest);
      std::printf(" %.1f %% |\n", 100.0 * tally.allHeld / n);
    }
  }
  return 0;
}
