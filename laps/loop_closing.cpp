#include "laps/loop_closing.h"

#include <algorithm>
#include <cmath>

namespace corvantis {
namespace {

constexpr int kMaxStride = 9;

struct Offset {
  double x = 0.0;  // longitude
  double y = 0.0;
  double z = 0.0;  // latitude
};

}  // namespace

bool closeLoop(FixHistory& history) {
  auto& h = history.samples;
  const int n = std::clamp(history.count, 0, FixHistory::kCapacity);
  if (n < 1) return false;
  // Sample 0 is always dropped, and so are the samples after it that have no
  // position yet.
  int first = 1;
  while (first < n && h[static_cast<size_t>(first)].longitude == 0.0) ++first;
  if (first >= n || first == n - 1) return false;
  std::copy(h.begin() + first, h.begin() + n, h.begin());
  history.count = n - first;

  Offset d0{(h[1].longitude - h[0].longitude) * 1000.0, 0.0, (h[1].latitude - h[0].latitude) * 1000.0};
  const double length = std::sqrt(d0.x * d0.x + d0.y * d0.y + d0.z * d0.z);
  // The first two kept samples at one place give no starting direction to
  // come back along.
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  const double inverse = 1.0 / length;
  d0 = Offset{d0.x * inverse, d0.y * inverse, d0.z * inverse};

  for (int stride = 1; stride <= kMaxStride; ++stride) {
    const int count = history.count;
    if (count <= 2) continue;
    // Each pass starts afresh. Carried over from the pass before, the first
    // step of a pass would compare the path's last sample with its third:
    // a drive stopped short of its start would "pass" it there and close
    // into a three-point track instead of failing.
    Offset previousOffset;
    FixSample previousPoint = h[0];
    for (int j = 2; j < count; j += stride) {
      FixSample& sample = h[static_cast<size_t>(j)];
      const Offset offset{sample.longitude - h[0].longitude, 0.0, sample.latitude - h[0].latitude};
      const double dot = offset.z * previousOffset.z + offset.x * previousOffset.x + previousOffset.y * 0.0;
      previousOffset = offset;
      if (dot < 0.0) {
        // The path is passing the start point; it closes the loop when it
        // passes heading the way it left.
        const Offset move{sample.longitude - previousPoint.longitude, 0.0, sample.latitude - previousPoint.latitude};
        const double dot2 = move.z * d0.z + move.y * d0.y + move.x * d0.x;
        if (dot2 > 0.0) {
          const double longitude = (h[0].longitude + sample.longitude) * 0.5;
          const double latitude = (sample.latitude + h[0].latitude) * 0.5;
          h[0].longitude = longitude;
          h[0].latitude = latitude;
          sample.longitude = longitude;
          sample.latitude = latitude;
          history.count = j + 1;
          return true;
        }
      }
      previousPoint = sample;
    }
  }
  return false;
}

}  // namespace corvantis
