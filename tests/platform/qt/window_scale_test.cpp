// The window's size on a desktop without --scale.
#include "platform/qt/window_scale.h"

#include <gtest/gtest.h>

namespace corvantis::platform::qt {
namespace {

TEST(WindowScale, LargestWholeScaleInTwoThirdsOfTheScreenHeight) {
  const struct {
    Size screen;
    bool landscape;
    int scale;
  } cases[] = {
      {{1920, 1080}, true, 3},   // 720 px of 1080
      {{1920, 1080}, false, 2},  // 640 px; 3 would be 960
      {{1366, 768}, true, 2},
      {{2560, 1440}, true, 4},
      {{3840, 2160}, true, 6},
      {{1080, 1920}, false, 4},  // a portrait monitor
      {{800, 600}, true, 1},
      {{240, 320}, false, 1},  // the handheld itself
      {{320, 240}, true, 1},
      {{0, 0}, true, 1},       // no screen known
      {{1000, 4000}, true, 3},  // a tall, narrow screen: the width limits it
      {{20000, 20000}, true, kMaxWindowScale},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(windowScaleFor(c.screen, c.landscape), c.scale)
        << c.screen.width << " x " << c.screen.height << (c.landscape ? " landscape" : " portrait");
  }
}

}  // namespace
}  // namespace corvantis::platform::qt
