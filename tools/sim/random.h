#pragma once
// Seeded random numbers that come out the same with every compiler and
// standard library: the engine's output is fixed by the standard, and the
// distributions are written out here rather than taken from <random>, whose
// distributions each library implements in its own way.
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

namespace corvantis::sim {

class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}
  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(engine_() >> 11) * (1.0 / 9007199254740992.0); }
  // Uniform integer in [lo, hi].
  int between(int lo, int hi) {
    return lo + static_cast<int>(engine_() % static_cast<uint64_t>(hi - lo + 1));
  }
  // Standard normal (Box-Muller; the second value is dropped for simplicity).
  double gaussian() {
    double u1 = uniform();
    while (u1 <= 0.0) u1 = uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
  }
  uint64_t next() { return engine_(); }

 private:
  std::mt19937_64 engine_;
};

}  // namespace corvantis::sim
