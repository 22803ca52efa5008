// The run plot as drawn on the headless surface: ranges, ticks and labels at
// their pixels, curves in the runs' colours, the legend, and plots that stay
// sound whatever the stored traces hold.
#include "review/plot_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>

#include "tests/review/review_fixture.h"

namespace corvantis::testing {
namespace {

using platform::Rgb;
using platform::headless::DrawKind;
using platform::headless::DrawOp;
using platform::headless::HeadlessDialog;
using platform::headless::RecordingSurface;

constexpr uint32_t kT0 = 45319000;
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kGrey{192, 192, 192};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};

// A run from standstill: samples every 100 ms over durationMs, the speed
// rising evenly to topMph, the distance as driven.
RunRecord standingRun(uint32_t timeMs, uint32_t durationMs, float topMph) {
  RunRecord run;
  run.timeMs = timeMs;
  const int steps = static_cast<int>(durationMs / 100);
  for (int j = 0; j <= steps; ++j) {
    const float speed = topMph * static_cast<float>(j) / static_cast<float>(steps);
    run.trace.push_back({kT0 + 100u * static_cast<uint32_t>(j), speed, 0.5f * static_cast<float>(j * j)});
  }
  run.traceCount = static_cast<int32_t>(run.trace.size());
  return run;
}

// The same run with the distance it really covers (the acceleration view
// works from the distances): the speed rises evenly, the distance as a
// quadratic.
RunRecord evenlyAcceleratingRun(uint32_t timeMs, uint32_t durationMs, float topMph) {
  RunRecord run = standingRun(timeMs, durationMs, topMph);
  const double metresPerS2 = topMph * 0.44704 / (durationMs / 1000.0);
  for (TraceSample& sample : run.trace) {
    const double t = (sample.time - kT0) / 1000.0;
    sample.distance = static_cast<float>(0.5 * metresPerS2 * t * t);
  }
  return run;
}

struct PlotHarness : ReviewHarness {
  // Opens the plot, lets body look at it (and act), then presses OK.
  void show(int32_t key, const std::vector<const RunRecord*>& runs,
            const std::function<void(HeadlessDialog&, PlotScreen&)>& body, const std::string& lapName = "") {
    PlotScreen plot(ctx, key, lapName, runs);
    windows.pushModalScript([&](HeadlessDialog& d) {
      body(d, plot);
      d.userClick(PlotScreen::kOk);
    });
    EXPECT_EQ(plot.showModal(), PlotScreen::kOk);
  }
};

// The drawn texts with their top-left corners and colours.
struct Text {
  std::string text;
  int x;
  int y;
  Rgb colour;
  friend bool operator==(const Text&, const Text&) = default;
  friend void PrintTo(const Text& t, std::ostream* out) {
    *out << '"' << t.text << "\" at (" << t.x << ", " << t.y << ") in (" << int(t.colour.r) << ", "
         << int(t.colour.g) << ", " << int(t.colour.b) << ")";
  }
};
std::vector<Text> textsOf(const RecordingSurface& s) {
  std::vector<Text> out;
  for (const DrawOp& op : s.ops()) {
    if (op.kind == DrawKind::DrawText) out.push_back({op.text, op.at.x, op.at.y, op.textColour});
  }
  return out;
}
const Text* findText(const std::vector<Text>& texts, const std::string& text) {
  for (const Text& t : texts) {
    if (t.text == text) return &t;
  }
  return nullptr;
}
bool hasLine(const RecordingSurface& s, platform::Point from, platform::Point to, Rgb pen) {
  for (const auto& line : s.lines()) {
    if (line.from.x == from.x && line.from.y == from.y && line.to.x == to.x && line.to.y == to.y && line.pen == pen) {
      return true;
    }
  }
  return false;
}
int linesIn(const RecordingSurface& s, Rgb pen) {
  const auto lines = s.lines();
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) { return l.pen == pen; }));
}
// Repaints from a clean recording.
RecordingSurface& repaint(HeadlessDialog& d) {
  d.recording().clear();
  d.paint();
  return d.recording();
}

TEST(PlotScreen, OneAccelerationRunOverSevenSeconds) {
  PlotHarness h;
  const RunRecord run = standingRun(6521, 7000, 62.0f);
  h.show(static_cast<int32_t>(RecordKey{0, 60}.value()), {&run}, [](HeadlessDialog& d, PlotScreen& plot) {
    EXPECT_EQ(d.text(PlotScreen::kHeader), "Acc Run: 0..60 mph");
    EXPECT_EQ(d.text(PlotScreen::kRunTime), "6.521s");
    EXPECT_EQ(d.selection(PlotScreen::kQuantityList), 0);
    const RecordingSurface& s = repaint(d);
    const auto texts = textsOf(s);
    EXPECT_EQ(findText(texts, "SPEED (mph)")->x, 2);
    EXPECT_EQ(findText(texts, "SPEED (mph)")->y, 2);
    EXPECT_EQ(plot.ranges().spanMs, 7000);
    // Ticks every second, 28 pixels apart, labels centred under them.
    for (int k = 0; k <= 7; ++k) {
      const int x = 25 + 28 * k;
      const Text* label = findText(texts, std::to_string(k));
      ASSERT_NE(label, nullptr) << k;
      EXPECT_EQ(label->x, x - 3);
      EXPECT_EQ(label->y, 194);
      if (k >= 1) {
        EXPECT_TRUE(hasLine(s, {x, 192}, {x, 186}, kBlack)) << k;
        EXPECT_TRUE(hasLine(s, {x, 186}, {x, 19}, kGrey)) << k;
      }
    }
    EXPECT_EQ(*findText(texts, "TIME (seconds)"), (Text{"TIME (seconds)", 82, 206, kBlack}));
    // 62 mph at most: the speed axis ends at 65, thirteen ticks of 5 mph.
    EXPECT_EQ(plot.ranges().maxSpeed, 65);
    // The top label sits just below the axis title (12 px high at y 2)
    // instead of crowding it.
    EXPECT_EQ(*findText(texts, "65"), (Text{"65", 9, 15, kBlack}));
    EXPECT_EQ(*findText(texts, "10"), (Text{"10", 9, 156, kBlack}));
    EXPECT_TRUE(hasLine(s, {21, 19}, {25, 19}, kBlack));
    EXPECT_TRUE(hasLine(s, {25, 19}, {226, 19}, kGrey));
    // The axes, then the curve in red: 3.5 s at 31 mph is 98 px along and
    // 80 px up (of 196 and 169 used).
    EXPECT_TRUE(hasLine(s, {25, 20}, {25, 188}, kBlack));
    EXPECT_TRUE(hasLine(s, {25, 188}, {227, 188}, kBlack));
    bool found = false;
    for (const auto& line : s.lines()) found = found || (line.pen == kRed && line.to.x == 123 && line.to.y == 108);
    EXPECT_TRUE(found);
    EXPECT_EQ(linesIn(s, kRed), 70);
    EXPECT_EQ(findText(texts, "6.521s"), nullptr);  // one run: no legend
  });
}

TEST(PlotScreen, TheLandscapeSpeedAxisGrowsToWiderTicksAndKeepsIt) {
  PlotHarness h;
  h.ctx.landscape = true;
  const RunRecord run = standingRun(6521, 7000, 62.0f);
  h.show(static_cast<int32_t>(RecordKey{0, 60}.value()), {&run}, [](HeadlessDialog& d, PlotScreen& plot) {
    EXPECT_EQ(d.layout().resourceId, 158);
    // 140 px: thirteen ticks of 5 would be 10 px apart; ticks of 10 need the
    // axis to reach 70.
    for (int paint = 0; paint < 2; ++paint) {
      const auto texts = textsOf(repaint(d));
      EXPECT_EQ(plot.ranges().maxSpeed, 70);
      ASSERT_NE(findText(texts, "70"), nullptr);
      EXPECT_EQ(findText(texts, "70")->y, 2 + 12 + 1);  // just below the title
      EXPECT_EQ(findText(texts, "65"), nullptr);
    }
  });
}

TEST(PlotScreen, ATwentyFiveSecondSpanIsStretchedToTwelveTicksOf2085Ms) {
  PlotHarness h;
  const RunRecord run = standingRun(25000, 25000, 120.0f);
  h.show(static_cast<int32_t>(distanceKey(800.0).value()), {&run}, [](HeadlessDialog& d, PlotScreen& plot) {
    const RecordingSurface& s = repaint(d);
    EXPECT_EQ(plot.ranges().spanMs, 25020);
    repaint(d);
    EXPECT_EQ(plot.ranges().spanMs, 25020);  // a repaint keeps the stretched span
    // Labels read to the millisecond; those that would crowd the one
    // before them are left out, and so is the label's stretch of the tick.
    std::vector<std::string> labels;
    for (const Text& t : textsOf(s)) {
      if (t.y == 194) labels.push_back(t.text);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"0.000", "8.340", "16.680", "25.020"}));
    EXPECT_TRUE(hasLine(s, {41, 190}, {41, 186}, kBlack));  // 2.085 s: no label
    EXPECT_TRUE(hasLine(s, {89, 192}, {89, 186}, kBlack));  // 8.340 s: labelled
    EXPECT_TRUE(hasLine(s, {217, 192}, {217, 186}, kBlack));  // the twelfth tick
    EXPECT_EQ(linesIn(s, kGrey), 12 + 14);  // a grid line per tick of either axis
  });
}

TEST(PlotScreen, TickLabelsShowMillisecondsAsThreeDigits) {
  struct Case {
    int64_t atMs;
    bool wholeSeconds;
    const char* text;
  };
  const Case cases[] = {{2085, false, "2.085"}, {4170, false, "4.170"}, {25020, false, "25.020"},
                        {0, false, "0.000"},    {7000, true, "7"},      {0, true, "0"}};
  for (const Case& c : cases) EXPECT_EQ(timeTickLabel(c.atMs, c.wholeSeconds), c.text);
  const std::pair<int, const char*> accel[] = {{-500, "-0.5"}, {1250, "1.2"}, {0, "0.0"}, {-1250, "-1.2"}, {-50, "-0.0"}};
  for (const auto& [milliG, text] : accel) EXPECT_EQ(accelerationLabel(milliG), text);
}

TEST(PlotScreen, AHalfGRunGivesAnAxisFromMinusToPlusPointSixG) {
  for (bool landscape : {false, true}) {
    SCOPED_TRACE(landscape ? "landscape" : "portrait");
    PlotHarness h;
    h.ctx.landscape = landscape;
    RunRecord run = evenlyAcceleratingRun(4000, 2000, 22.0f);  // 1.1 mph every 100 ms: about 0.5 g
    h.show(static_cast<int32_t>(RecordKey{0, 20}.value()), {&run}, [&](HeadlessDialog& d, PlotScreen& plot) {
      EXPECT_EQ(plot.ranges().accelRange, 1200);
      d.userSelect(PlotScreen::kQuantityList, 2);
      EXPECT_EQ(plot.plotKind(), PlotKind::Acceleration);
      std::vector<std::string> labels;
      const auto texts = textsOf(repaint(d));
      EXPECT_NE(findText(texts, "ACCELERATION (g)"), nullptr);
      for (const DrawOp& op : d.recording().ops()) {
        // Right-aligned on the axis, in whatever size fits there.
        if (op.kind == DrawKind::DrawText && op.at.x + RecordingSurface::extentOf(op.font, op.text).width == 21) {
          labels.push_back(op.text);
        }
      }
      const std::vector<std::string> portrait{"-0.5", "-0.4", "-0.3", "-0.2", "-0.1", "0.0",
                                              "0.1",  "0.2",  "0.3",  "0.4",  "0.5",  "0.6"};
      const std::vector<std::string> wide{"-0.4", "-0.2", "0.0", "0.2", "0.4", "0.6"};
      EXPECT_EQ(labels, landscape ? wide : portrait);
    });
  }
}

TEST(PlotScreen, AQuarterMileOpensOnDistanceInYards) {
  PlotHarness h;
  const RunRecord run = standingRun(13200, 13000, 100.0f);
  const RecordKey key = distanceKey(402.336);
  h.show(static_cast<int32_t>(key.value()), {&run}, [](HeadlessDialog& d, PlotScreen& plot) {
    EXPECT_EQ(d.text(PlotScreen::kHeader), "440 yards (1/4 mile)");
    EXPECT_EQ(d.selection(PlotScreen::kQuantityList), 1);
    EXPECT_EQ(plot.plotKind(), PlotKind::Distance);
    EXPECT_NE(findText(textsOf(repaint(d)), "DISTANCE (yards)"), nullptr);
  });
}

TEST(PlotScreen, TwoRunsDrawRedThenGreenWithTheirTimesStackedBottomRight) {
  PlotHarness h;
  const RunRecord first = standingRun(6843, 7000, 62.0f);
  const RunRecord second = standingRun(6521, 6000, 61.0f);
  h.show(static_cast<int32_t>(RecordKey{0, 60}.value()), {&first, &second}, [](HeadlessDialog& d, PlotScreen&) {
    EXPECT_EQ(d.text(PlotScreen::kRunTime), "");
    const RecordingSurface& s = repaint(d);
    EXPECT_EQ(linesIn(s, kRed), 70);
    EXPECT_EQ(linesIn(s, kGreen), 60);
    const auto lines = s.lines();
    const auto lastRed = std::find_if(lines.rbegin(), lines.rend(), [](const auto& l) { return l.pen == kRed; });
    const auto firstGreen = std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.pen == kGreen; });
    EXPECT_LT(std::distance(lines.begin(), lastRed.base()) - 1, std::distance(lines.begin(), firstGreen));
    const auto texts = textsOf(s);
    EXPECT_EQ(*findText(texts, "6.843s"), (Text{"6.843s", 23 + 202 - 36, 190 - 12 - 4, kRed}));
    EXPECT_EQ(*findText(texts, "6.521s"), (Text{"6.521s", 23 + 202 - 36, 190 - 24 - 4, kGreen}));
  });
}

TEST(PlotScreen, LapTimesRunFromTheirLineCrossingAndAreHeadedWithTheTrack) {
  PlotHarness h;
  RunRecord lap = standingRun(91000, 3000, 80.0f);
  lap.startTime = kT0 + 500;
  h.show(0, {&lap}, [](HeadlessDialog& d, PlotScreen& plot) {
    EXPECT_EQ(d.text(PlotScreen::kHeader), "Club circuit");
    EXPECT_EQ(plot.ranges().originsMs, std::vector<uint32_t>{kT0 + 500});
    EXPECT_EQ(plot.ranges().spanMs, 3000);  // 2.5 s after the crossing, whole seconds
    // Samples before the crossing sit on the value axis.
    const auto moves = repaint(d).opsOfKind(DrawKind::MoveTo);
    const auto start = std::find_if(moves.begin(), moves.end(), [](const DrawOp& op) { return op.pen == kRed; });
    ASSERT_NE(start, moves.end());
    EXPECT_EQ(start->at.x, 25);
  }, "Club circuit");
}

TEST(PlotScreen, RunsWithoutSamplesAreListedButDrawNothing) {
  PlotHarness h;
  RunRecord empty;
  empty.timeMs = 7100;
  const RunRecord drawn = standingRun(6521, 7000, 62.0f);
  h.show(static_cast<int32_t>(RecordKey{0, 60}.value()), {&empty, &drawn}, [](HeadlessDialog& d, PlotScreen& plot) {
    EXPECT_EQ(plot.ranges().spanMs, 7000);
    EXPECT_EQ(plot.ranges().maxSpeed, 65);
    const RecordingSurface& s = repaint(d);
    EXPECT_EQ(linesIn(s, kRed), 0);
    EXPECT_EQ(linesIn(s, kGreen), 70);
    EXPECT_NE(findText(textsOf(s), "7.100s"), nullptr);  // still in the legend
  });
  // Alone, it leaves every axis at its shortest.
  h.show(static_cast<int32_t>(RecordKey{0, 60}.value()), {&empty}, [](HeadlessDialog& d, PlotScreen& plot) {
    const PlotRanges& r = plot.ranges();
    EXPECT_EQ(std::vector<int>({r.spanMs, r.maxDistance, r.maxSpeed, r.accelRange}),
              std::vector<int>({1000, 10, 5, 400}));
    for (int kind = 0; kind < 3; ++kind) {
      d.userSelect(PlotScreen::kQuantityList, kind);
      EXPECT_EQ(linesIn(repaint(d), kRed), 0);
    }
  });
}

TEST(PlotScreen, DamagedTracesStillGiveABoundedPlot) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    std::vector<TraceSample> trace;
  };
  const std::vector<Case> cases = {
      {"two samples at one time", {{kT0, 0.0f, 0.0f}, {kT0, 30.0f, 1.0f}, {kT0 + 100, 31.0f, 4.0f}}},
      {"not a number", {{kT0, 0.0f, 0.0f}, {kT0 + 100, nan, nan}, {kT0 + 200, 5.0f, nan}}},
      {"infinite", {{kT0, 0.0f, 0.0f}, {kT0 + 100, inf, inf}, {kT0 + 200, -inf, -inf}}},
      {"time running backwards", {{kT0, 0.0f, 0.0f}, {kT0 + 100, 3.0f, 1.0f}, {7, 4.0f, 2.0f}}},
      {"time jumping ahead", {{0, 0.0f, 0.0f}, {1, 3.0f, 1.0f}, {4294967295u, 4.0f, 2.0f}}},
      {"a single sample", {{kT0, 12.0f, 0.0f}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlotHarness h;
    RunRecord run;
    run.timeMs = 5000;
    run.trace = c.trace;
    run.traceCount = static_cast<int32_t>(c.trace.size());
    h.show(static_cast<int32_t>(RecordKey{0, 60}.value()), {&run}, [](HeadlessDialog& d, PlotScreen& plot) {
      for (int kind = 0; kind < 3; ++kind) {
        d.userSelect(PlotScreen::kQuantityList, kind);
        const RecordingSurface& s = repaint(d);
        const PlotRanges& r = plot.ranges();
        EXPECT_GE(r.spanMs, 1000);
        EXPECT_LE(r.spanMs, 2 * 86400000);  // at most a day, stretched to its ticks
        EXPECT_GE(r.maxDistance, 10);
        EXPECT_GE(r.maxSpeed, 5);
        EXPECT_GE(r.accelRange, 400);
        for (const auto& line : s.lines()) {
          EXPECT_LE(std::abs(line.to.x), 2000000);
          // Curves never go below the time axis.
          if (line.pen == kRed) {
            EXPECT_LE(line.to.y, 188);
          }
        }
      }
    });
  }
}

TEST(PlotCurve, PointsBelowTheTimeAxisAreCutWhereTheCurveCrossesIt) {
  // Speeds below 0 (a damaged file) map 1 mph to 1 pixel here.
  CurveScale scale;
  scale.kind = PlotKind::Speed;
  scale.spanMs = 1000;
  scale.usedWidthPx = 200;
  scale.usedHeightPx = 168;
  scale.heightPx = 170;
  scale.range = 168;
  struct Case {
    const char* what;
    std::vector<float> speedsMph;  // 100 ms apart
    std::vector<CurvePoint> points;
  };
  const std::vector<Case> cases = {
      {"recovering", {85, 85, -85, 85}, {{0, 85}, {20, 85}, {50, 0}, {60, 85}}},
      {"ending below", {85, 85, -85}, {{0, 85}, {20, 85}}},
      {"below twice", {85, 85, -85, -85, 85}, {{0, 85}, {20, 85}, {40, 0}, {70, 0}, {80, 85}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunRecord run;
    for (size_t j = 0; j < c.speedsMph.size(); ++j) run.trace.push_back({100u * static_cast<uint32_t>(j), c.speedsMph[j], 0.0f});
    run.traceCount = static_cast<int32_t>(run.trace.size());
    EXPECT_EQ(curvePoints(run, 0, scale), c.points);
  }
}

TEST(PlotCurve, AccelerationNeedsThreeInstants) {
  CurveScale scale;
  scale.kind = PlotKind::Acceleration;
  scale.range = 400;
  RunRecord run;
  // Two instants only: no curve can be fitted, so no acceleration point.
  run.trace = {{0, 0.0f, 0.0f}, {100, 1.0f, 0.1f}, {100, 2.0f, 0.1f}};
  run.traceCount = 3;
  EXPECT_TRUE(curvePoints(run, 0, scale).empty());
  scale.kind = PlotKind::Speed;
  EXPECT_EQ(curvePoints(run, 0, scale).size(), 3u);
  // A third instant gives every sample its acceleration, the repeated one too.
  run.trace.push_back({200, 3.0f, 0.3f});
  run.traceCount = 4;
  scale.kind = PlotKind::Acceleration;
  EXPECT_EQ(curvePoints(run, 0, scale).size(), 4u);
}

}  // namespace
}  // namespace corvantis::testing
