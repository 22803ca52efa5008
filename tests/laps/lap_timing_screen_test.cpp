// The lap timing screen on the headless window system: laps and splits timed
// live, recording a track and closing it, the map.
#include "laps/lap_timing_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/time_text.h"
#include "laps/lap_editor_screen.h"
#include "laps/loop_closing.h"
#include "tests/laps/lap_screen_fixture.h"

namespace corvantis {
namespace {

using platform::MessageAnswer;
using platform::MessageIcon;
using platform::headless::DrawKind;
using platform::headless::DrawOp;
using platform::headless::HeadlessDialog;
using testing::SquareCircuit;

// One lap of the square at kStep a second: 42.105 s.
constexpr double kLapMs = SquareCircuit::kPerimeter / 0.00019 * 1000.0;

class LapTimingScreenTest : public testing::LapScreenTest {};

TEST_F(LapTimingScreenTest, OpensIdleWithEveryDefinitionListed) {
  addSquareDefinition("North Loop", {});
  addSquareDefinition("South Loop", {10});
  ctx.lapDefinitions.addLapTime(1, 61000, 1, 2, ctx.gps.history);
  ctx.gps.history.count = 5;
  LapTimingScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    EXPECT_EQ(d.itemCount(LapTimingScreen::kActiveLap), 2);
    EXPECT_EQ(d.itemText(LapTimingScreen::kActiveLap, 1), "South Loop");
    EXPECT_EQ(d.selection(LapTimingScreen::kActiveLap), -1);
    EXPECT_EQ(d.text(LapTimingScreen::kBestTime), "");
    EXPECT_EQ(d.text(LapTimingScreen::kLastTime), "");
    // The receiver's state from the first frame, not "Connecting to GPS device ...".
    EXPECT_EQ(d.text(LapTimingScreen::kStatusLine), "fix quality: 1 (excellent)");
    EXPECT_EQ(ctx.gps.history.count, 0);
    // No definition: the map is its background only.
    for (const DrawOp& op : d.recording().ops()) EXPECT_EQ(op.kind, DrawKind::FillRect);
    d.userSelect(LapTimingScreen::kActiveLap, 1);
    EXPECT_EQ(screen.activeLap(), 1);
    EXPECT_EQ(d.text(LapTimingScreen::kBestTime), "1m 01.000s");
  });
}

TEST_F(LapTimingScreenTest, TimesLapsAndSplitsAndStoresEachLap) {
  addSquareDefinition("Square", {10, 30});
  LapTimingScreen screen(ctx);
  std::vector<LapEvent> events;
  screen.onLapEvent = [&](const LapEvent& e) { events.push_back(e); };
  show(screen, [&](HeadlessDialog& d) {
    d.userSelect(LapTimingScreen::kActiveLap, 0);
    double s = -0.0005;
    drive(screen, s, 3);
    EXPECT_FALSE(screen.running());
    // The first start/finish crossing starts the lap and stores nothing.
    drive(screen, s, 1);
    ASSERT_TRUE(screen.running());
    EXPECT_EQ(d.text(LapTimingScreen::kRunningTime), ".000s");
    clock.advanceMs(100);
    screen.update(false);
    EXPECT_EQ(d.text(LapTimingScreen::kRunningTime), ".100s");
    EXPECT_EQ(ctx.lapDefinitions.at(0).lapCount, 0);

    drive(screen, s, 20);  // past split 0 (a quarter of the way round)
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, LapEvent::Kind::Split);
    EXPECT_EQ(events[0].line, 0);
    EXPECT_NEAR(events[0].timeMs, kLapMs * 0.25, 100.0);
    EXPECT_EQ(d.text(LapTimingScreen::kFirstSplit), formatRunTime(events[0].timeMs));
    EXPECT_EQ(d.text(LapTimingScreen::kFirstSplit + 1), "");

    drive(screen, s, 23);  // past split 1 and the start/finish line
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].line, 1);
    EXPECT_NEAR(events[1].timeMs, kLapMs * 0.75, 100.0);
    ASSERT_EQ(events[2].kind, LapEvent::Kind::Lap);
    EXPECT_NEAR(events[2].timeMs, kLapMs, 5.0);
    const LapDefinition& def = ctx.lapDefinitions.at(0);
    ASSERT_EQ(def.lapCount, 1);
    EXPECT_EQ(def.laps[0].timeMs, events[2].timeMs);
    EXPECT_EQ(def.laps[0].startTime, events[2].startMs);
    EXPECT_NEAR(def.laps[0].startTime, kT0 + 2000.0 + 0.00012 / 0.00019 * 1000.0, 20.0);
    EXPECT_EQ(def.laps[0].stamp, 1700000000u);
    EXPECT_GT(def.laps[0].traceCount, 40);
    EXPECT_EQ(d.text(LapTimingScreen::kLastTime), formatRunTime(def.laps[0].timeMs));
    EXPECT_EQ(d.text(LapTimingScreen::kBestTime), formatRunTime(def.laps[0].timeMs));
    // The new lap runs, its splits empty again.
    EXPECT_TRUE(screen.running());
    EXPECT_EQ(d.text(LapTimingScreen::kFirstSplit), "");
    EXPECT_EQ(d.text(LapTimingScreen::kFirstSplit + 1), "");

    // Abort: the next crossing starts afresh and stores nothing.
    d.userClick(LapTimingScreen::kAbortButton);
    EXPECT_FALSE(screen.running());
    EXPECT_EQ(d.text(LapTimingScreen::kRunningTime), "");
    drive(screen, s, 44);
    EXPECT_EQ(ctx.lapDefinitions.at(0).lapCount, 1);
    EXPECT_TRUE(screen.running());
  });
}

TEST_F(LapTimingScreenTest, ADeviceErrorStopsEverythingButTheStatus) {
  addSquareDefinition("Square", {});
  LapTimingScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    d.userSelect(LapTimingScreen::kActiveLap, 0);
    double s = -0.0005;
    drive(screen, s, 3);
    ctx.gps.currentFix.deviceError = true;
    drive(screen, s, 3);  // across the line
    EXPECT_EQ(d.text(LapTimingScreen::kStatusLine), "GPS Device Error");
    EXPECT_FALSE(screen.running());
  });
}

class RecordingTest : public testing::LapScreenTest {
 protected:
  // Opens the screen, drives a little, starts a recording, drives `seconds`
  // and stands, then stops it with `answer` to the question; the editor (if
  // it opens) gets the name typed and OK.
  void recordAndStop(int seconds, MessageAnswer answer, const std::function<void(HeadlessDialog&)>& after) {
    LapTimingScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) {
      double s = -0.0005;
      drive(screen, s, 3);
      d.userClick(LapTimingScreen::kDefineButton);
      EXPECT_TRUE(screen.recording());
      EXPECT_EQ(d.text(LapTimingScreen::kDefineButton), "Stop Lap Define");
      EXPECT_FALSE(d.isEnabled(LapTimingScreen::kActiveLap));
      drive(screen, s, seconds);
      const int kept = ctx.gps.history.count;
      // Standing still: the recorded track does not grow.
      for (int i = 0; i < 4; ++i) fixAt(screen, SquareCircuit::at(s - kStep));
      EXPECT_EQ(ctx.gps.history.count, kept);
      windows.scriptedMessageBoxes().pushAnswer(answer);
      windows.pushModalScript([&](HeadlessDialog& editor) {
        EXPECT_FALSE(screen.live);
        editorTrack = std::vector<FixSample>(ctx.gps.history.samples.begin(),
                                             ctx.gps.history.samples.begin() + ctx.gps.history.count);
        editor.userType(LapEditorScreen::kNameField, "Test Circuit");
        editor.userClick(LapEditorScreen::kOk);
      });
      d.userClick(LapTimingScreen::kDefineButton);
      EXPECT_FALSE(screen.recording());
      EXPECT_EQ(d.text(LapTimingScreen::kDefineButton), "Start Lap Define");
      EXPECT_TRUE(d.isEnabled(LapTimingScreen::kActiveLap));
      EXPECT_TRUE(screen.live);
      after(d);
      active = screen.activeLap();
    });
  }

  std::vector<FixSample> editorTrack;
  int active = -2;
};

TEST_F(RecordingTest, ALoopDrivenOnceBecomesTheActiveDefinition) {
  recordAndStop(55, MessageAnswer::Yes, [&](HeadlessDialog& d) {
    ASSERT_EQ(ctx.lapDefinitions.count(), 1);
    EXPECT_EQ(d.itemText(LapTimingScreen::kActiveLap, 0), "Test Circuit");
    EXPECT_EQ(d.selection(LapTimingScreen::kActiveLap), 0);
    EXPECT_EQ(ctx.gps.history.count, 0);
    EXPECT_EQ(ctx.gps.holdOffTicks, LapTimingScreen::kEditorHoldOffTicks);
  });
  EXPECT_EQ(active, 0);
  const LapDefinition& def = ctx.lapDefinitions.at(0);
  ASSERT_EQ(static_cast<size_t>(def.trackPointCount()), editorTrack.size());
  // A tidy loop: it ends where it starts, about one lap of samples.
  EXPECT_EQ(def.track.front(), def.track.back());
  EXPECT_NEAR(def.trackPointCount(), SquareCircuit::kPerimeter / 0.00019, 3.0);
  EXPECT_EQ(windows.scriptedMessageBoxes().shown().at(0).text, LapTimingScreen::kClosedLoopQuestion);
}

TEST_F(RecordingTest, NoToTheQuestionKeepsTheRecordingAndStoresNothing) {
  recordAndStop(55, MessageAnswer::No, [&](HeadlessDialog&) {
    EXPECT_EQ(ctx.lapDefinitions.count(), 0);
    EXPECT_GT(ctx.gps.history.count, 40);
  });
  EXPECT_EQ(windows.pendingModalScripts(), 1u);  // the editor never opened
}

TEST_F(RecordingTest, ADriveThatNeverLoopsIsRefusedWithTheMessage) {
  recordAndStop(20, MessageAnswer::Yes, [&](HeadlessDialog&) {
    EXPECT_EQ(ctx.lapDefinitions.count(), 0);
    EXPECT_EQ(ctx.gps.history.count, 0);
    const auto& shown = windows.scriptedMessageBoxes().shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, LapTimingScreen::kCannotCloseMessage);
    EXPECT_EQ(shown[1].icon, MessageIcon::Stop);
  });
}

TEST_F(LapTimingScreenTest, StartingARecordingAbandonsTheLapUnderWay) {
  addSquareDefinition("Square", {});
  LapTimingScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    d.userSelect(LapTimingScreen::kActiveLap, 0);
    double s = -0.0005;
    drive(screen, s, 6);
    ASSERT_TRUE(screen.running());
    d.userClick(LapTimingScreen::kDefineButton);
    EXPECT_FALSE(screen.running());
    EXPECT_EQ(screen.activeLap(), -1);
    EXPECT_EQ(d.text(LapTimingScreen::kRunningTime), "");
    EXPECT_EQ(d.selection(LapTimingScreen::kActiveLap), -1);
  });
}

TEST_F(LapTimingScreenTest, SplitTextsShowOnlySplitsPassedInTheLapBeingTimed) {
  addSquareDefinition("Square", {10, 30});
  LapTimingScreen screen(ctx);
  std::vector<LapEvent> events;
  screen.onLapEvent = [&](const LapEvent& e) { events.push_back(e); };
  show(screen, [&](HeadlessDialog& d) {
    d.userSelect(LapTimingScreen::kActiveLap, 0);
    double s = 0.0015;  // the out lap joins after the start/finish line
    drive(screen, s, 5);  // past split 0, no lap yet
    EXPECT_FALSE(screen.running());
    EXPECT_EQ(d.text(LapTimingScreen::kFirstSplit), "");
    EXPECT_TRUE(events.empty());
    drive(screen, s, 40);  // past split 1 and the start/finish line
    EXPECT_EQ(d.text(LapTimingScreen::kFirstSplit + 1), "");
    ASSERT_TRUE(screen.timingLap());
    EXPECT_TRUE(events.empty());
    drive(screen, s, 12);  // split 0 of the first lap
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(d.text(LapTimingScreen::kFirstSplit), formatRunTime(events[0].timeMs));
    EXPECT_NEAR(events[0].timeMs, kLapMs * 0.25, 1000.0);
  });
}

TEST_F(LapTimingScreenTest, ThisTimeStopsWhenTheCarLeavesTheTrackAndTheLapIsStoredAsAlways) {
  addSquareDefinition("Square", {10});
  LapTimingScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    d.userSelect(LapTimingScreen::kActiveLap, 0);
    double s = -0.0005;
    drive(screen, s, 4);
    ASSERT_TRUE(screen.timingLap());
    drive(screen, s, 12);
    EXPECT_NE(d.text(LapTimingScreen::kFirstSplit), "");

    // Off the east side into the paddock: the lap stays open but no running
    // time shows.
    const double paddockLat = SquareCircuit::at(s).latitude;
    fixAt(screen, TrackPoint{10.0022, paddockLat});
    EXPECT_TRUE(screen.timingLap());
    fixAt(screen, TrackPoint{10.003, paddockLat}, 3);
    EXPECT_FALSE(screen.timingLap());
    EXPECT_TRUE(screen.running());
    EXPECT_EQ(d.text(LapTimingScreen::kRunningTime), "");
    EXPECT_EQ(d.text(LapTimingScreen::kFirstSplit), "");
    // Back on and round to the line: the lap is stored as it always was.
    s = SquareCircuit::kPerimeter - 0.0005;
    drive(screen, s, 4);
    EXPECT_EQ(ctx.lapDefinitions.at(0).lapCount, 1);
    ASSERT_TRUE(screen.timingLap());
    EXPECT_NE(d.text(LapTimingScreen::kRunningTime), "");
  });
}

// --- The map ----------------------------------------------------------------

std::vector<DrawOp> ofKind(const std::vector<DrawOp>& ops, DrawKind kind) {
  std::vector<DrawOp> out;
  std::copy_if(ops.begin(), ops.end(), std::back_inserter(out), [&](const DrawOp& op) { return op.kind == kind; });
  return out;
}

TEST_F(LapTimingScreenTest, MapShowsTrackMarkersAndCarInBothLayouts) {
  struct Case {
    bool landscape;
    platform::Rect area;
    platform::Point finish;  // where track point 0 (10.001 E, 50.0 N) lands
    int northSideY;          // where the north side of the square lands
  };
  for (const Case& c : {Case{false, {10, 84, 120, 104}, {70, 184}, 89}, Case{true, {15, 75, 100, 85}, {65, 157}, 79}}) {
    SCOPED_TRACE(c.landscape ? "landscape" : "portrait");
    ctx.landscape = c.landscape;
    ctx.lapDefinitions.definitions().clear();
    addSquareDefinition("Square", {10, 30});
    LapTimingScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) {
      d.userSelect(LapTimingScreen::kActiveLap, 0);
      double s = 0.0035;  // on the north side: the south side is too near the map's edge for the car
      drive(screen, s, 2);
      d.recording().clear();
      clock.advanceMs(600);
      fixAt(screen, SquareCircuit::at(s));  // more than 500 ms on: the map is drawn
      const auto& ops = d.recording().ops();
      ASSERT_FALSE(ops.empty());
      EXPECT_EQ(ops[0].kind, DrawKind::FillRect);
      EXPECT_EQ(ops[0].rect.x, c.area.x);
      EXPECT_EQ(ops[0].rect.y, c.area.y);
      EXPECT_EQ(ops[0].rect.width, c.area.width);
      EXPECT_EQ(ops[0].rect.height, c.area.height);
      EXPECT_EQ((platform::Rgb{200, 255, 200}), ops[0].colour);
      EXPECT_EQ(ofKind(ops, DrawKind::LineTo).size(), 39u);
      const auto shapes = ofKind(ops, DrawKind::FillShape);
      ASSERT_EQ(shapes.size(), 3u);  // two split markers, then the finish
      EXPECT_EQ(shapes[0].brush, (platform::Rgb{255, 0, 0}));
      EXPECT_EQ(shapes[2].brush, (platform::Rgb{0, 255, 0}));
      const platform::Rect& f = shapes[2].rect;
      EXPECT_NEAR(f.x + f.width / 2, c.finish.x, 1);
      EXPECT_NEAR(f.y + f.height / 2, c.finish.y, 1);
      const auto texts = ofKind(ops, DrawKind::DrawText);
      ASSERT_EQ(texts.size(), 3u);
      EXPECT_EQ(texts[0].text, "ST");
      EXPECT_EQ(texts[2].text, "F");
      EXPECT_EQ(texts[2].textColour, (platform::Rgb{255, 255, 255}));
      // The car: a blue square on the north side.
      const auto rects = ofKind(ops, DrawKind::FillRect);
      ASSERT_EQ(rects.size(), 2u);
      EXPECT_EQ(rects[1].colour, (platform::Rgb{0, 0, 255}));
      EXPECT_EQ(rects[1].rect.width, 8);
      EXPECT_NEAR(rects[1].rect.y + 4, c.northSideY, 1);
    });
  }
}

// --- Closing a recorded loop -----------------------------------------------------

TEST(LoopClosingTest, ARecordedCircuitClosesAtItsStart) {
  auto history = std::make_unique<FixHistory>();
  history->samples[0] = FixSample{};  // the capture's first fix, before any position
  history->count = 1;
  for (int i = 0; i < 60; ++i) {
    const TrackPoint p = SquareCircuit::at(-0.0003 + i * 0.00019);
    history->samples[static_cast<size_t>(history->count++)] = FixSample{p.longitude, p.latitude, 0.0f, 0.0f, 0, 0};
  }
  const TrackPoint first = SquareCircuit::at(-0.0003);
  ASSERT_TRUE(closeLoop(*history));
  const int n = history->count;
  // One lap of samples, the first and the last on the midpoint of the start
  // and the sample that passed it.
  EXPECT_NEAR(n, SquareCircuit::kPerimeter / 0.00019, 2.0);
  EXPECT_EQ(history->samples[0].longitude, history->samples[static_cast<size_t>(n - 1)].longitude);
  EXPECT_EQ(history->samples[0].latitude, history->samples[static_cast<size_t>(n - 1)].latitude);
  EXPECT_NEAR(history->samples[0].longitude, first.longitude, 0.0002);
  EXPECT_EQ(history->samples[0].latitude, first.latitude);
  EXPECT_EQ(history->samples[1].longitude, SquareCircuit::at(-0.0003 + 0.00019).longitude);
}

TEST(LoopClosingTest, DrivesThatCannotBeClosed) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
  };
  std::vector<TrackPoint> straight;
  for (int i = 0; i < 100; ++i) straight.push_back({10.0 + i * 0.0002, 50.0});
  std::vector<TrackPoint> outAndBack{{0.0, 0.0}};  // back past the start, the other way
  for (int i = 0; i < 30; ++i) outAndBack.push_back({10.0 + i * 0.0002, 50.0});
  for (int i = 30; i > -30; --i) outAndBack.push_back({10.0 + i * 0.0002, 50.00001});
  std::vector<TrackPoint> shortOfStart{{0.0, 0.0}};  // round the square, stopped 20 m before the start
  for (int i = 0; i < 41; ++i) shortOfStart.push_back(SquareCircuit::at(i * 0.00019));
  const Case cases[] = {
      {"empty", {}},
      {"no position at all", {{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}}},
      {"one sample after the first", {{0.0, 0.0}, {10.0, 50.0}}},
      {"three samples kept", {{10.0, 50.0}, {10.0, 50.0}, {10.0002, 50.0}, {9.9999, 50.0001}}},
      {"no starting direction", {{10.0, 50.0}, {10.0, 50.0}, {10.0, 50.0}, {10.001, 50.0}, {10.001, 50.001},
                                 {9.999, 50.001}, {9.999, 49.999}, {10.001, 49.999}}},
      {"never comes back", straight},
      {"passes the start the other way", outAndBack},
      {"stops short of its start", shortOfStart},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto history = std::make_unique<FixHistory>();
    for (const TrackPoint& p : c.points) {
      history->samples[static_cast<size_t>(history->count++)] = FixSample{p.longitude, p.latitude, 0.0f, 0.0f, 0, 0};
    }
    EXPECT_FALSE(closeLoop(*history));
  }
}

}  // namespace
}  // namespace corvantis
