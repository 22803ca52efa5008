#pragma once
// The lap editor's map arithmetic: a track in degrees shown in a fixed area
// of the screen's pixels, with a zoom factor and a pan offset, and the
// snapping of a tapped point to the track. Plain numbers, no drawing, so
// that the screens that draw a track can share it and the tests can check
// every pixel.
//
// Degrees of longitude and latitude get the same scale: the larger extent
// of the track sets it. Away from the equator a degree of longitude is
// shorter on the ground than a degree of latitude, so the track shows wider
// than it is (by 1 / cos(latitude), 1.6 times at 51 degrees north); that is
// plain to see but harmless, since every line placed on the map is snapped
// onto a recorded sample.
#include "gps/fix_history.h"
#include "platform/dialog_layout.h"
#include "store/lap_definitions.h"

namespace corvantis {

// A rectangle of client pixels; right and bottom lie just outside it.
struct MapArea {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
  // Strictly inside: a point on the border is not.
  bool containsStrictly(platform::Point p) const {
    return left < p.x && p.x < right() && top < p.y && p.y < bottom();
  }
};

// The world point shown at the centre of the map, as an offset in degrees
// from the box's south-west corner (minLongitude, minLatitude).
struct MapPan {
  double longitude = 0.0;
  double latitude = 0.0;
  friend bool operator==(const MapPan&, const MapPan&) = default;
};

class TrackMap {
 public:
  static constexpr double kInitialZoom = 0.9;  // the whole track with a margin
  static constexpr double kMaxZoom = 20.0;
  static constexpr double kZoomInFactor = 1.25;
  static constexpr double kZoomOutFactor = 0.8;

  explicit TrackMap(MapArea area = {}) : area_(area) {}

  // Fits the view to samples 0 .. count - 1: the box of every sample with a
  // position (a longitude of exactly 0 is a fix without one and is skipped,
  // and a bound still at 0 counts as unset), its centre at the centre of
  // the area, zoom 0.9.
  void fit(const FixSample* samples, int count);

  // World (degrees) to pixel. The offset from the centre is truncated
  // toward zero; a point too far off the map to be held in an int lands at
  // a far-away pixel instead, which drawing clips.
  platform::Point project(double longitude, double latitude) const;
  platform::Point project(const TrackPoint& p) const { return project(p.longitude, p.latitude); }
  // Pixel to world. The vertical offset is taken from the bottom edge, so
  // with an odd height it lies one pixel below project's centre; snapping
  // to the track absorbs the difference.
  TrackPoint unproject(platform::Point p) const;

  // One zoom step each; the pan is kept, so the point at the centre stays.
  // Zoom stays between the initial fit (0.9) and 20.0.
  void zoomIn();
  void zoomOut();

  // The pan after dragging the map by (dx, dy) pixels from a view whose pan
  // was `from`: the world follows the pointer. Not limited.
  void dragFrom(const MapPan& from, int dx, int dy);

  // Both extents exactly 0: every sample at one place (or none at all),
  // nothing to show.
  bool empty() const { return maxLongitude_ - minLongitude_ == 0.0 && maxLatitude_ - minLatitude_ == 0.0; }
  // Degrees across the area at zoom 1: the larger of the two extents.
  double range() const;

  const MapArea& area() const { return area_; }
  double zoom() const { return zoom_; }
  const MapPan& pan() const { return pan_; }
  double minLongitude() const { return minLongitude_; }
  double maxLongitude() const { return maxLongitude_; }
  double minLatitude() const { return minLatitude_; }
  double maxLatitude() const { return maxLatitude_; }

 private:
  MapArea area_;
  double minLongitude_ = 0.0;
  double maxLongitude_ = 0.0;
  double minLatitude_ = 0.0;
  double maxLatitude_ = 0.0;
  MapPan pan_;
  double zoom_ = kInitialZoom;
};

// The sample among 0 .. count - 1 nearest to point, by squared differences
// of degrees; among equal distances the lowest index wins. point takes that
// sample's position; answers its index, or -1 (point unchanged) when count
// is 0 or less.
int snapToSamples(const FixSample* samples, int count, TrackPoint& point);

}  // namespace corvantis
