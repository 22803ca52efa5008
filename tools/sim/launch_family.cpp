#include "tools/sim/launch_family.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

namespace corvantis::sim {
namespace {

uint64_t mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

double between(Random& rng, double lo, double hi) { return lo + (hi - lo) * rng.uniform(); }

std::string describe(const char* format, double a, double b = 0.0, double c = 0.0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// Upshifts at full throttle: the first anywhere from 9 to 20 m/s, each
// later one half as fast again or a little more; quick gearboxes and slow
// hands, some keeping a share of the drive through the change.
void drawShifts(Random& rng, LaunchShape& shape) {
  shape.shiftSpeedsMps.clear();
  double v = between(rng, 9.0, 20.0);
  for (int i = 0; i < 4; ++i) {
    shape.shiftSpeedsMps.push_back(v);
    v *= between(rng, 1.4, 1.7);
  }
  shape.shiftTimeS = between(rng, 0.08, 0.5);
  shape.shiftForceShare = between(rng, 0.0, 0.45);
}

// The share of the full drive force that gives the car this acceleration
// on the level from rest.
double shareFor(const VehicleParams& car, double accelMps2) {
  return (car.massKg * accelMps2 + car.rollingForceN()) / car.fullDriveForceN(0.0);
}

}  // namespace

FamilyHalf familyHalf(uint64_t seed) { return (mix(seed ^ 0x51175EEDull) & 1u) == 0 ? FamilyHalf::Choosing : FamilyHalf::Reported; }

const std::vector<std::string>& launchKinds() {
  static const std::vector<std::string> kinds{"step", "ramp", "creep", "wheelspin", "clutch slip"};
  return kinds;
}

VehicleParams drawFamilyCar(Random& rng) {
  VehicleParams car;
  car.massKg = between(rng, 1000.0, 2000.0);
  car.powerW = between(rng, 100000.0, 450000.0);
  car.tractionG = between(rng, 0.45, 1.15);
  car.dragAreaM2 = between(rng, 0.5, 0.9);
  return car;
}

LaunchShape drawLaunchShape(Random& rng, const VehicleParams& car, const std::string& wanted) {
  const std::vector<std::string>& kinds = launchKinds();
  std::string kind = wanted;
  if (kind.empty() || kind == "any") kind = kinds[static_cast<size_t>(rng.between(0, static_cast<int>(kinds.size()) - 1))];
  LaunchShape shape;
  auto& table = shape.shareAtS;
  if (kind == "step") {
    // Full drive force at once.
  } else if (kind == "ramp") {
    // The drive force taken up over r: straight, or S-shaped as a clutch
    // meets the flywheel, from nothing and gently into full drive, or
    // S-shaped from the bite point, where the drive just holds the car:
    // then the car moves off with no jerk at all, its acceleration rising
    // as the square of the time at first.
    const double r = between(rng, 0.0, 0.5);
    const double form = rng.uniform();
    const bool sShaped = form < 0.5;
    const double from = form < 0.25 ? shareFor(car, 0.0) : 0.0;
    table = {{0.0, from}};
    // Finely from the bite point, where the start's curve is all there is.
    const double stepS = from > 0.0 ? 0.002 : 0.01;
    for (double t = stepS; sShaped && t < r; t += stepS)
      table.push_back({t, from + (1.0 - from) * 0.5 * (1.0 - std::cos(std::numbers::pi * t / r))});
    table.push_back({r, 1.0});
    shape.description = describe(!sShaped ? "ramp %.3f s" : from > 0.0 ? "S-shaped ramp from the bite point %.3f s" : "S-shaped ramp %.3f s", r);
  } else if (kind == "creep") {
    // Rolling forward gently before the launch proper.
    const double accel = between(rng, 0.4, 1.2), forS = between(rng, 0.3, 1.0), rise = between(rng, 0.0, 0.3);
    const double share = shareFor(car, accel);
    table = {{0.0, share}, {forS, share}, {forS + rise, 1.0}};
    shape.description = describe("creep %.2f m/s2 for %.3f s, then %.3f s to full", accel, forS, rise);
  } else if (kind == "wheelspin") {
    // The tyres break loose for a moment after the take-up; the drive that
    // reaches the road drops and comes back. Sometimes twice.
    const double r = between(rng, 0.0, 0.3);
    if (r > 0.0) table = {{0.0, 0.0}, {r, 1.0}};
    double at = r + between(rng, 0.05, 1.0);
    const int spins = rng.uniform() < 0.3 ? 2 : 1;
    shape.description = describe("ramp %.3f s", r);
    for (int i = 0; i < spins; ++i) {
      const double drop = between(rng, 0.01, 0.05), hold = between(rng, 0.05, 0.4), back = between(rng, 0.03, 0.2);
      const double share = between(rng, 0.25, 0.6);
      table.push_back({at, 1.0});
      table.push_back({at + drop, share});
      table.push_back({at + drop + hold, share});
      table.push_back({at + drop + hold + back, 1.0});
      shape.description += describe(", spin at %.3f s to %.2f for %.3f s", at, share, hold);
      at += drop + hold + back + between(rng, 0.2, 0.6);
    }
  } else if (kind == "clutch slip") {
    // The clutch slips at part of the drive for a while, perhaps juddering,
    // then bites.
    const double rise = rng.uniform() < 0.3 ? 0.0 : between(rng, 0.0, 0.15);
    const double share = between(rng, 0.3, 0.7), hold = between(rng, 0.2, 0.8), bite = between(rng, 0.05, 0.3);
    const bool judder = rng.uniform() < 0.5;
    table.push_back({0.0, rise > 0.0 ? 0.0 : share});
    if (rise > 0.0) table.push_back({rise, share});
    if (judder) {
      const double amplitude = between(rng, 0.05, 0.2), hz = between(rng, 6.0, 14.0);
      for (double t = rise + 0.01; t < rise + hold; t += 0.01) {
        table.push_back({t, share + amplitude * std::sin(2.0 * std::numbers::pi * hz * (t - rise))});
      }
      shape.description = describe("clutch slip at %.2f juddering %.2f at %.1f Hz", share, amplitude, hz);
    } else {
      shape.description = describe("clutch slip at %.2f", share);
    }
    table.push_back({rise + hold, share});
    table.push_back({rise + hold + bite, 1.0});
    shape.description += describe(" for %.3f s, bites over %.3f s", hold, bite);
  } else {
    throw std::invalid_argument("unknown launch \"" + wanted + "\" (step, ramp, creep, wheelspin, clutch slip or any)");
  }
  drawShifts(rng, shape);
  shape.description = shape.description.empty() ? kind : kind + ": " + shape.description;
  return shape;
}

void drawFamilyReceiver(Random& rng, ReceiverOptions& rx) {
  // Position noise of each fix up to 0.3 m on top of a slowly wandering
  // bias; Doppler speeds good to a few cm/s, some as the velocity's length;
  // some receivers hold their position while standing.
  rx.whiteNoiseM = 0.0;
  rx.fixNoiseM = between(rng, 0.0, 0.3);
  rx.biasNoiseM = between(rng, 0.0, 0.5);
  rx.biasTimeS = between(rng, 30.0, 300.0);
  rx.speedNoiseMps = between(rng, 0.03, 0.08);
  rx.staticHoldMps = rng.uniform() < 0.5 ? 0.3 : 0.0;
  rx.speedDecimals = rng.uniform() < 0.5 ? 1 : 3;
  rx.minuteDecimals = rng.between(4, 7);
  rx.timeDecimals = rng.uniform() < 0.5 ? 2 : 3;
  rx.talker = rng.uniform() < 0.5 ? "GP" : "GN";
  const double sentences = rng.uniform();
  rx.rmc = sentences < 0.85;                   // RMC, and with it sometimes VTG
  rx.vtg = sentences >= 0.6 && sentences < 0.95;  // VTG alone from 0.85 on; neither from 0.95
  // Half write the length of the velocity (drawn last, so that every draw
  // above stays what it was).
  rx.speedIsLength = rng.uniform() < 0.5;
}

Scenario launchesScenario(const ScenarioParams& params) {
  Random rng(mix(params.familySeed * 2 + 1));
  ScenarioParams p = params;
  p.car = drawFamilyCar(rng);
  Scenario sc = quarterScenario(p);
  sc.name = "launches";
  for (Phase& phase : sc.phases) {
    if (phase.kind == Phase::Kind::Run) phase.launchShape = drawLaunchShape(rng, sc.car, params.launchKind);
  }
  return sc;
}

}  // namespace corvantis::sim
