#include "slip/speed_check.h"

#include <algorithm>
#include <cmath>

#include "slip/local_frame.h"

namespace corvantis::slip {
namespace {

constexpr double kNeighbourS = 3.0;   // fixes further apart say nothing of each other
// What a speed may differ from another one dt later: the most a car can
// gain, plus the noise and the last digit of both.
double allowedChange(const MotionFix& a, const MotionFix& b) {
  const double dt = std::fabs(b.timeMs - a.timeMs) / 1000.0;
  return kMaxCarAccelMps2 * dt + 0.5 + 2.0 * (a.speedResolutionMps + b.speedResolutionMps);
}

// The next fix with a speed after (step +1) or before (step -1) index i, or -1.
long neighbour(const std::vector<MotionFix>& fixes, long i, long step) {
  for (long j = i + step; j >= 0 && j < static_cast<long>(fixes.size()); j += step) {
    if (std::fabs(fixes[static_cast<size_t>(j)].timeMs - fixes[static_cast<size_t>(i)].timeMs) > kNeighbourS * 1000.0) break;
    if (fixes[static_cast<size_t>(j)].hasSpeed) return j;
  }
  return -1;
}

bool agree(const std::vector<MotionFix>& fixes, long a, long b) {
  const MotionFix& x = fixes[static_cast<size_t>(a)];
  const MotionFix& y = fixes[static_cast<size_t>(b)];
  return std::fabs(x.speedMps - y.speedMps) <= allowedChange(x, y);
}

// A speed out of line with the speeds on both sides of it, which agree
// with each other (at an end of the log: with the next two on its side).
bool isSpike(const std::vector<MotionFix>& fixes, long i) {
  const long before = neighbour(fixes, i, -1), after = neighbour(fixes, i, +1);
  if (before >= 0 && after >= 0) return !agree(fixes, i, before) && !agree(fixes, i, after) && agree(fixes, before, after);
  const long near = before >= 0 ? before : after;
  if (near < 0) return false;
  const long far = neighbour(fixes, near, before >= 0 ? -1 : +1);
  return far >= 0 && !agree(fixes, i, near) && agree(fixes, near, far);
}

// The speed the positions give around fix i: the straight line between the
// fixes about half a second (at least one fix) either side, over their
// time apart; NaN without positions there.
double positionSpeed(const std::vector<MotionFix>& fixes, size_t i, double& spanS) {
  const double t = fixes[i].timeMs;
  size_t a = i, b = i;
  for (size_t j = i; j-- > 0;) {
    if (t - fixes[j].timeMs > kNeighbourS * 1000.0) break;
    if (!fixes[j].hasPosition) continue;
    a = j;
    if (t - fixes[j].timeMs >= 500.0) break;
  }
  for (size_t j = i + 1; j < fixes.size(); ++j) {
    if (fixes[j].timeMs - t > kNeighbourS * 1000.0) break;
    if (!fixes[j].hasPosition) continue;
    b = j;
    if (fixes[j].timeMs - t >= 500.0) break;
  }
  if (a == i || b == i) return NAN;
  spanS = (fixes[b].timeMs - fixes[a].timeMs) / 1000.0;
  return straightLineM(fixes[a], fixes[b]) / spanS;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const auto mid = v.begin() + static_cast<long>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

}  // namespace

int dropImpossibleSpeeds(std::vector<MotionFix>& fixes) {
  int dropped = 0;
  auto drop = [&](MotionFix& fix) {
    fix.hasSpeed = false;
    ++dropped;
  };
  for (MotionFix& fix : fixes) {
    if (fix.hasSpeed && !(fix.speedMps <= kMaxCarSpeedMps)) drop(fix);
  }
  // Spikes, the largest first, so that one wild value does not make its
  // neighbours look wrong.
  for (bool found = true; found;) {
    found = false;
    long worst = -1;
    double worstJump = 0.0;
    for (long i = 0; i < static_cast<long>(fixes.size()); ++i) {
      if (!fixes[static_cast<size_t>(i)].hasSpeed || !isSpike(fixes, i)) continue;
      const long n = neighbour(fixes, i, -1) >= 0 ? neighbour(fixes, i, -1) : neighbour(fixes, i, +1);
      const double jump = std::fabs(fixes[static_cast<size_t>(i)].speedMps - fixes[static_cast<size_t>(n)].speedMps);
      if (jump > worstJump) {
        worstJump = jump;
        worst = i;
      }
    }
    if (worst >= 0) {
      drop(fixes[static_cast<size_t>(worst)]);
      found = true;
    }
  }
  // Against the positions: a speed far from what the positions around it
  // give, by more than their spread over the whole log allows.
  std::vector<double> residuals;
  std::vector<double> fromPositions(fixes.size(), NAN), spans(fixes.size(), 0.0);
  for (size_t i = 0; i < fixes.size(); ++i) {
    if (!fixes[i].hasSpeed || !fixes[i].hasPosition) continue;
    fromPositions[i] = positionSpeed(fixes, i, spans[i]);
    if (!std::isnan(fromPositions[i])) residuals.push_back(fixes[i].speedMps - fromPositions[i]);
  }
  if (residuals.size() >= 10) {
    const double centre = median(residuals);
    std::vector<double> deviations;
    for (const double r : residuals) deviations.push_back(std::fabs(r - centre));
    const double spread = 1.4826 * median(deviations);
    for (size_t i = 0; i < fixes.size(); ++i) {
      if (!fixes[i].hasSpeed || std::isnan(fromPositions[i])) continue;
      // The positions' speed is a mean over the span: where the speed bends
      // (a launch, a gear change, braking) it differs by up to a quarter of
      // the span at the car's largest acceleration.
      const double allowed = std::max(1.0, 6.0 * spread) + 0.1 * std::max(fixes[i].speedMps, fromPositions[i]) +
                             kMaxCarAccelMps2 * spans[i] / 4.0;
      if (std::fabs(fixes[i].speedMps - fromPositions[i]) > allowed) drop(fixes[i]);
    }
  }
  return dropped;
}

bool speedsAgreeWithPositions(const std::vector<MotionFix>& fixes, size_t from, size_t to) {
  // Distances from both, fix to fix over the moving stretch; the path of
  // the positions in steps of a second or more, so that their noise adds
  // little length.
  double bySpeed = 0.0, byPositions = 0.0;
  const MotionFix* anchor = nullptr;
  const MotionFix* previous = nullptr;
  double sinceAnchorM = 0.0;
  for (size_t i = from; i <= to && i < fixes.size(); ++i) {
    const MotionFix& fix = fixes[i];
    if (!fix.hasSpeed || !fix.hasPosition) continue;
    if (previous != nullptr) {
      const double dt = (fix.timeMs - previous->timeMs) / 1000.0;
      if (dt > kNeighbourS) {
        anchor = nullptr;
      } else {
        sinceAnchorM += 0.5 * (fix.speedMps + previous->speedMps) * dt;
      }
    }
    previous = &fix;
    if (anchor == nullptr) {
      anchor = &fix;
      sinceAnchorM = 0.0;
      continue;
    }
    if (fix.timeMs - anchor->timeMs >= 1000.0) {
      byPositions += straightLineM(*anchor, fix);
      bySpeed += sinceAnchorM;
      anchor = &fix;
      sinceAnchorM = 0.0;
    }
  }
  if (byPositions < 50.0) return true;
  // A few metres of position noise over the path, and a percent of scale.
  return std::fabs(bySpeed - byPositions) <= 0.03 * byPositions + 5.0;
}

}  // namespace corvantis::slip
