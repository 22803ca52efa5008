#include "tools/sim/launch_shape.h"

namespace corvantis::sim {

double LaunchShape::shareAt(double tauS) const {
  if (shareAtS.empty()) return 1.0;
  if (tauS <= shareAtS.front().first) return shareAtS.front().second;
  for (size_t i = 1; i < shareAtS.size(); ++i) {
    const auto& [t1, s1] = shareAtS[i];
    if (tauS <= t1) {
      const auto& [t0, s0] = shareAtS[i - 1];
      return t1 > t0 ? s0 + (s1 - s0) * (tauS - t0) / (t1 - t0) : s1;
    }
  }
  return 1.0;
}

double LaunchShape::firstReaching(double share) const {
  if (shareAtS.empty() || shareAtS.front().second >= share) return 0.0;
  for (size_t i = 1; i < shareAtS.size(); ++i) {
    const auto& [t0, s0] = shareAtS[i - 1];
    const auto& [t1, s1] = shareAtS[i];
    if (s1 >= share) return s1 > s0 ? t0 + (t1 - t0) * (share - s0) / (s1 - s0) : t1;
  }
  return share <= 1.0 ? endS() : -1.0;
}

}  // namespace corvantis::sim
