#include "laps/track_map.h"

#include <algorithm>
#include <cmath>

namespace corvantis {
namespace {

// Far enough off any screen to clip, near enough that adding the area's
// origin cannot overflow an int.
constexpr double kFarPixels = 1 << 28;

// Truncation toward zero, held to +-kFarPixels: zoomed far in, panned far
// away or on a degenerate track the offset can exceed an int (or be a NaN
// from 0 / 0), and converting such a double to int is undefined.
int truncatedPixels(double v) {
  if (std::isnan(v)) return 0;
  if (v >= kFarPixels) return static_cast<int>(kFarPixels);
  if (v <= -kFarPixels) return -static_cast<int>(kFarPixels);
  return static_cast<int>(v);
}

}  // namespace

void TrackMap::fit(const FixSample* samples, int count) {
  minLongitude_ = maxLongitude_ = minLatitude_ = maxLatitude_ = 0.0;
  for (int i = 0; i < count; ++i) {
    const FixSample& s = samples[i];
    if (s.longitude == 0.0) continue;
    if (s.longitude < minLongitude_ || minLongitude_ == 0.0) minLongitude_ = s.longitude;
    if (s.longitude > maxLongitude_ || maxLongitude_ == 0.0) maxLongitude_ = s.longitude;
    if (s.latitude < minLatitude_ || minLatitude_ == 0.0) minLatitude_ = s.latitude;
    if (s.latitude > maxLatitude_ || maxLatitude_ == 0.0) maxLatitude_ = s.latitude;
  }
  pan_ = MapPan{(maxLongitude_ - minLongitude_) * 0.5, (maxLatitude_ - minLatitude_) * 0.5};
  zoom_ = kInitialZoom;
}

double TrackMap::range() const {
  const double across = maxLongitude_ - minLongitude_;
  const double up = maxLatitude_ - minLatitude_;
  return across > up ? across : up;
}

platform::Point TrackMap::project(double longitude, double latitude) const {
  const double r = range();
  const double dx = (longitude - minLongitude_ - pan_.longitude) * zoom_ * area_.width / r;
  const double dy = (latitude - minLatitude_ - pan_.latitude) * zoom_ * area_.height / r;
  return platform::Point{area_.left + area_.width / 2 + truncatedPixels(dx),
                         area_.top + area_.height / 2 - truncatedPixels(dy)};
}

TrackPoint TrackMap::unproject(platform::Point p) const {
  const double r = range();
  const double x = p.x - area_.width / 2 - area_.left;
  const double y = area_.bottom() - area_.height / 2 - p.y;
  return TrackPoint{x / area_.width / zoom_ * r + pan_.longitude + minLongitude_,
                    y / area_.height / zoom_ * r + pan_.latitude + minLatitude_};
}

void TrackMap::zoomIn() { zoom_ = std::min(zoom_ * kZoomInFactor, kMaxZoom); }

void TrackMap::zoomOut() { zoom_ = std::max(zoom_ * kZoomOutFactor, kInitialZoom); }

void TrackMap::dragFrom(const MapPan& from, int dx, int dy) {
  const double r = range();
  pan_.longitude = from.longitude - static_cast<double>(dx) / area_.width / zoom_ * r;
  pan_.latitude = from.latitude + static_cast<double>(dy) / area_.height / zoom_ * r;
}

int snapToSamples(const FixSample* samples, int count, TrackPoint& point) {
  int best = -1;
  double bestDistance = 0.0;
  for (int i = 0; i < count; ++i) {
    const double dLat = samples[i].latitude - point.latitude;
    const double dLon = samples[i].longitude - point.longitude;
    const double distance = dLat * dLat + dLon * dLon;
    if (best < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  if (best >= 0) {
    point.longitude = samples[best].longitude;
    point.latitude = samples[best].latitude;
  }
  return best;
}

}  // namespace corvantis
