#pragma once
// The delta panel of the lap timing screen, drawn on its surface below its
// controls (where the form leaves the screen free, so no control moves or
// hides): the delta to the reference lap in large figures, red behind and
// green ahead, grey while stale; a bar that grows from the middle the same
// way; the predicted lap time ("Pred") and the track's theoretical best
// ("Theo"). At the end of a lap it shows that lap's final difference.
#include <cstdint>
#include <string>

#include "laps/live_delta.h"
#include "platform/window.h"

namespace corvantis {

// "+0.42", "−0.31" (a true minus sign), "+12.3" from 10 s, "+123" from
// 100 s: hundredths where a glance can take them in.
std::string deltaText(int32_t deltaMs);

class DeltaPanel {
 public:
  // The bar's full length either way.
  static constexpr int32_t kBarFullScaleMs = 2000;

  explicit DeltaPanel(bool landscape);

  // What the panel shows; drawn only when it changed (or forced, on paint).
  struct Content {
    LiveDelta::Shown shown;
    uint32_t theoreticalBestMs = 0;
    bool hasReference = false;
    bool hasTrack = false;
    friend bool operator==(const Content& a, const Content& b) {
      return a.shown.kind == b.shown.kind && a.shown.stale == b.shown.stale && a.shown.deltaMs == b.shown.deltaMs &&
             a.shown.predictedMs == b.shown.predictedMs && a.theoreticalBestMs == b.theoreticalBestMs &&
             a.hasReference == b.hasReference && a.hasTrack == b.hasTrack;
    }
  };
  void show(platform::Surface& surface, const Content& content, bool force);

  platform::Rect area() const { return area_; }

 private:
  void draw(platform::Surface& surface, const Content& content);

  platform::Rect area_;
  Content drawn_;
  bool everDrawn_ = false;
};

}  // namespace corvantis
