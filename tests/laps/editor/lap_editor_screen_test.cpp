// The lap editor on a headless dialog: what it draws, the "Place" menu and
// its commands, panning and zooming, the name field, OK and Discard.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "laps/lap_editor_screen.h"
#include "platform/headless/headless_window_system.h"
#include "resources/layouts.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"

namespace corvantis::testing {
namespace {

using platform::MessageAnswer;
using platform::Point;
using platform::headless::DrawKind;
using platform::headless::DrawOp;
using platform::headless::HeadlessDialog;
using E = LapEditorScreen;

constexpr int kSetStart = resources::kCommandSetStartFinish;
constexpr int kSetSplit = resources::kCommandSetSplit;
constexpr int kRemoveSplit = resources::kCommandRemoveSplit;

// A closed track of n samples round an ellipse about 430 m by 450 m, each
// sample's altitude set to its index so that a reordering can be read back.
void recordLoop(FixHistory& history, int n) {
  history.count = n;
  for (int i = 0; i < n; ++i) {
    const double a = 2.0 * M_PI * i / n;
    FixSample& s = history.samples[static_cast<size_t>(i)];
    s.longitude = 10.0 + 0.003 * std::cos(a);
    s.latitude = 50.0 + 0.002 * std::sin(a);
    s.altitude = static_cast<float>(i);
  }
}

std::vector<int> sampleOrder(const FixHistory& history) {
  std::vector<int> order;
  for (int i = 0; i < history.count; ++i) order.push_back(static_cast<int>(history.samples[static_cast<size_t>(i)].altitude));
  return order;
}

TrackPoint positionOf(const FixHistory& history, int i) {
  return TrackPoint{history.samples[static_cast<size_t>(i)].longitude, history.samples[static_cast<size_t>(i)].latitude};
}

struct EditorHarness {
  explicit EditorHarness(int samples = 40, bool landscape = false) {
    ctx.landscape = landscape;
    recordLoop(ctx.gps.history, samples);
  }
  // Adds a stored definition of the history's track with some laps.
  int storeDefinition(const std::string& name, int laps) {
    const int index = ctx.lapDefinitions.createDefinition(ctx.gps.history, 0, nullptr, name);
    for (int i = 0; i < laps; ++i) {
      ctx.lapDefinitions.addLapTime(index, 60000 + 1000 * static_cast<uint32_t>(i), 36000000, 1796637300u,
                                    ctx.gps.history);
    }
    ctx.settings.lapDefinitionCount = ctx.lapDefinitions.count();
    return index;
  }
  // Shows an editor on lapIndex with the user's actions; answers its result.
  int show(int lapIndex, const std::function<void(HeadlessDialog&, LapEditorScreen&)>& user) {
    editor = std::make_unique<LapEditorScreen>(ctx, lapIndex);
    if (lapIndex >= 0) {
      const LapDefinition& d = ctx.lapDefinitions.at(lapIndex);
      editor->loadSplitLines(d.splitLines.data(), d.splitLineCount);
    }
    windows.pushModalScript([this, &user](HeadlessDialog& d) { user(d, *editor); });
    return editor->showModal();
  }
  // Holds on the screen at p and answers the menu with command (0: none).
  void holdAndChoose(HeadlessDialog& d, Point p, int command) {
    windows.pushMenuAnswer(command);
    d.userHold(0, p);
  }
  Point pixelOfSample(int i) const { return editor->map().project(positionOf(ctx.gps.history, i)); }

  platform::headless::HeadlessWindowSystem windows;
  FakeClock clock;
  FakeSerialPort port;
  AppContext ctx{windows, clock, port};
  std::unique_ptr<LapEditorScreen> editor;
};

std::vector<DrawOp> ofKind(const std::vector<DrawOp>& ops, DrawKind kind) {
  std::vector<DrawOp> out;
  for (const DrawOp& op : ops) {
    if (op.kind == kind) out.push_back(op);
  }
  return out;
}

TEST(LapEditor, OpensNewAndExistingDefinitionsAsTheyDiffer) {
  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "existing" : "new");
    EditorHarness h;
    const int index = existing ? h.storeDefinition("Club circuit", 0) : -1;
    h.show(index, [&](HeadlessDialog& d, LapEditorScreen&) {
      EXPECT_EQ(d.text(E::kNameField), existing ? "Club circuit" : "");
      EXPECT_EQ(d.isVisible(E::kDiscard), !existing);
      EXPECT_EQ(d.isEnabled(E::kOk), existing);
      EXPECT_EQ(d.focus(), E::kNameField);
      EXPECT_EQ(d.fullScreenRequests(), 1);
      // OK follows the field: off while it is empty, on otherwise.
      d.userType(E::kNameField, "");
      EXPECT_FALSE(d.isEnabled(E::kOk));
      d.userType(E::kNameField, "N");
      EXPECT_TRUE(d.isEnabled(E::kOk));
    });
  }
}

TEST(LapEditor, TheNameFieldCountsCharactersAndKeepsWhatTheFileHolds) {
  struct Case {
    const char* what;
    std::string typed;
    std::string kept;
  };
  std::string latin, accents, cjk, emoji;
  for (int i = 0; i < 32; ++i) latin += static_cast<char>('a' + i % 26);
  for (int i = 0; i < 31; ++i) accents += "\xC3\xA9";          // é, 2 bytes
  for (int i = 0; i < 31; ++i) cjk += "\xE8\xB5\x9B";          // 赛, 3 bytes
  for (int i = 0; i < 31; ++i) emoji += "\xF0\x9F\x8F\x81";    // 🏁, 2 UTF-16 units
  const std::vector<Case> cases = {
      {"a 32nd character is refused", latin, latin.substr(0, 31)},
      {"31 accented letters whole", accents, accents},
      {"31 CJK characters whole", cjk, cjk},
      // 33 units besides the NUL: 16 flags, cut between two of them.
      {"beyond the basic plane, what the file holds", emoji, emoji.substr(0, 16 * 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EditorHarness h;
    const int result = h.show(-1, [&](HeadlessDialog& d, LapEditorScreen&) {
      d.userType(E::kNameField, c.typed);
      EXPECT_EQ(d.text(E::kNameField), c.kept);
      d.userClick(E::kOk);
    });
    EXPECT_EQ(result, E::kOk);
    ASSERT_EQ(h.ctx.lapDefinitions.count(), 1);
    EXPECT_EQ(h.ctx.lapDefinitions.at(0).name, c.kept);
  }
}

TEST(LapEditor, DrawsTheOpenTrackThenSplitMarkersThenStartFinishInBothLayouts) {
  for (const bool landscape : {false, true}) {
    SCOPED_TRACE(landscape ? "landscape" : "portrait");
    EditorHarness h(12, landscape);
    const int index = h.storeDefinition("Hill loop", 0);
    LapDefinition& stored = h.ctx.lapDefinitions.at(index);
    stored.splitLineCount = 2;
    stored.splitLines[0] = positionOf(h.ctx.gps.history, 3);
    stored.splitLines[1] = positionOf(h.ctx.gps.history, 8);
    h.show(index, [&](HeadlessDialog& d, LapEditorScreen& editor) {
      const MapArea area = landscape ? E::kLandscapeMap : E::kPortraitMap;
      EXPECT_EQ(editor.map().area().left, area.left);
      EXPECT_EQ(editor.map().area().height, area.height);
      d.recording().clear();
      d.paint();
      const auto& ops = d.recording().ops();

      // Drawing stays inside the map: four bands round it are left out.
      const auto clips = ofKind(ops, DrawKind::ExcludeClip);
      ASSERT_EQ(clips.size(), 4u);
      const auto fills = ofKind(ops, DrawKind::FillRect);
      ASSERT_EQ(fills.size(), 1u);
      EXPECT_EQ(fills[0].colour, E::kMapBackground);
      EXPECT_EQ(fills[0].rect.x, area.left);
      EXPECT_EQ(fills[0].rect.y, area.top);
      EXPECT_EQ(fills[0].rect.width, area.width);
      EXPECT_EQ(fills[0].rect.height, area.height);
      EXPECT_EQ(fills[0].excludedRects, 4u);

      // The track: sample to sample in black, not closed back to sample 0.
      const auto lines = d.recording().lines();
      ASSERT_EQ(lines.size(), 11u);
      for (int i = 1; i < 12; ++i) {
        const Point from = h.pixelOfSample(i - 1);
        const Point to = h.pixelOfSample(i);
        EXPECT_EQ(lines[static_cast<size_t>(i - 1)].from.x, from.x);
        EXPECT_EQ(lines[static_cast<size_t>(i - 1)].from.y, from.y);
        EXPECT_EQ(lines[static_cast<size_t>(i - 1)].to.x, to.x);
        EXPECT_EQ(lines[static_cast<size_t>(i - 1)].to.y, to.y);
        EXPECT_EQ(lines[static_cast<size_t>(i - 1)].pen, E::kTrackColour);
      }

      // Markers: a circle in a square of the text's height plus one pixel
      // each way, the white text centred on the anchor; "F" last.
      const auto shapes = ofKind(ops, DrawKind::FillShape);
      const auto texts = ofKind(ops, DrawKind::DrawText);
      ASSERT_EQ(shapes.size(), 3u);
      ASSERT_EQ(texts.size(), 3u);
      struct Marker {
        int sample;
        const char* text;
        platform::Rgb colour;
      };
      const Marker expected[] = {{3, "ST", E::kSplitColour}, {8, "ST", E::kSplitColour}, {0, "F", E::kStartFinishColour}};
      for (size_t m = 0; m < 3; ++m) {
        const Point p = h.pixelOfSample(expected[m].sample);
        const platform::Size extent = platform::headless::RecordingSurface::extentOf(texts[m].font, expected[m].text);
        const int r = extent.height / 2;
        EXPECT_EQ(shapes[m].rect.x, p.x - r - 1);
        EXPECT_EQ(shapes[m].rect.y, p.y - r - 1);
        EXPECT_EQ(shapes[m].rect.width, 2 * r + 2);
        EXPECT_EQ(shapes[m].rect.height, 2 * r + 2);
        EXPECT_EQ(shapes[m].brush, expected[m].colour);
        EXPECT_EQ(shapes[m].pen, expected[m].colour);
        EXPECT_EQ(texts[m].text, expected[m].text);
        EXPECT_EQ(texts[m].at.x, p.x - extent.width / 2);
        EXPECT_EQ(texts[m].at.y, p.y - r);
        EXPECT_EQ(texts[m].textColour, E::kMarkerTextColour);
      }
      EXPECT_EQ(ops.back().kind, DrawKind::ResetClip);
    });
  }
}

TEST(LapEditor, ATrackAtOnePlaceShowsOnlyTheBackground) {
  EditorHarness h(5);
  for (int i = 0; i < 5; ++i) h.ctx.gps.history.samples[static_cast<size_t>(i)].longitude = 10.0,
                              h.ctx.gps.history.samples[static_cast<size_t>(i)].latitude = 50.0;
  h.show(-1, [&](HeadlessDialog& d, LapEditorScreen& editor) {
    editor.addSplitLine({10.0, 50.0});
    d.recording().clear();
    d.paint();
    const auto& ops = d.recording().ops();
    EXPECT_EQ(ofKind(ops, DrawKind::FillRect).size(), 1u);
    EXPECT_TRUE(d.recording().lines().empty());
    EXPECT_TRUE(ofKind(ops, DrawKind::FillShape).empty());
    // Nothing drawn, nothing to hit: a hold where the marker would be
    // offers no "Remove Split Time".
    h.holdAndChoose(d, {95, 134}, 0);
    ASSERT_EQ(h.windows.shownMenus().size(), 1u);
    EXPECT_EQ(h.windows.shownMenus()[0].greyed, std::vector<int>{kRemoveSplit});
  });
}

TEST(LapEditor, PlaceMenuGreysByWhatIsUnderTheHold) {
  struct Case {
    const char* what;
    int splitLines;  // on samples 0, 8, 16, ...
    Point offset;    // of the hold from the first split marker
    std::vector<int> greyed;
  };
  const std::vector<Case> cases = {
      {"no split line", 0, {0, 0}, {kRemoveSplit}},
      {"within 7 pixels", 1, {7, -7}, {kSetSplit}},
      {"exactly 8 pixels away", 1, {8, 0}, {kRemoveSplit}},
      {"8 pixels away vertically", 1, {0, -8}, {kRemoveSplit}},
      {"five lines, on one", 5, {0, 0}, {kSetSplit}},
      {"five lines, away from all", 5, {40, 40}, {kRemoveSplit, kSetSplit}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EditorHarness h;
    h.show(-1, [&](HeadlessDialog& d, LapEditorScreen& editor) {
      for (int i = 0; i < c.splitLines; ++i) editor.addSplitLine(positionOf(h.ctx.gps.history, 8 * i));
      d.paint();
      const Point marker = h.pixelOfSample(0);
      h.holdAndChoose(d, {marker.x + c.offset.x, marker.y + c.offset.y}, 0);
    });
    ASSERT_EQ(h.windows.shownMenus().size(), 1u);
    const auto& menu = h.windows.shownMenus()[0];
    EXPECT_EQ(menu.resourceId, resources::kLapEditorMenu);
    EXPECT_EQ(menu.title, "Place");
    EXPECT_EQ(menu.controlId, 0);
    EXPECT_EQ(menu.greyed, c.greyed);
  }
}

TEST(LapEditor, SetAndRemoveSplitLinesFromTheMenu) {
  EditorHarness h;
  h.show(-1, [&](HeadlessDialog& d, LapEditorScreen& editor) {
    // Holds a pixel or two off samples 5, 10, 20, 30 set lines there.
    for (int sample : {5, 10, 20, 30}) {
      const Point p = h.pixelOfSample(sample);
      h.holdAndChoose(d, {p.x + 1, p.y - 1}, kSetSplit);
    }
    ASSERT_EQ(editor.splitLineCount(), 4);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(editor.splitAnchors()[static_cast<size_t>(i)], positionOf(h.ctx.gps.history, std::vector{5, 10, 20, 30}[static_cast<size_t>(i)]));
    }
    // Removing line 1 of 0..3 moves the last into its place: 0, 3, 2.
    d.recording().clear();
    h.holdAndChoose(d, h.pixelOfSample(10), kRemoveSplit);
    ASSERT_EQ(editor.splitLineCount(), 3);
    EXPECT_EQ(editor.splitAnchors()[0], positionOf(h.ctx.gps.history, 5));
    EXPECT_EQ(editor.splitAnchors()[1], positionOf(h.ctx.gps.history, 30));
    EXPECT_EQ(editor.splitAnchors()[2], positionOf(h.ctx.gps.history, 20));
    // The map shows the change at once: three split markers and the "F".
    EXPECT_EQ(ofKind(d.recording().ops(), DrawKind::FillShape).size(), 4u);
  });
}

TEST(LapEditor, MovingTheStartFinishRotatesTheTrackAndAsksOnlyForAStoredOne) {
  struct Case {
    const char* what;
    bool existing;
    int tappedSample;
    MessageAnswer answer;
    bool asked;
    bool moved;
  };
  const std::vector<Case> cases = {
      {"new definition: no question", false, 30, MessageAnswer::No, false, true},
      {"stored, Yes", true, 30, MessageAnswer::Yes, true, true},
      {"stored, No", true, 30, MessageAnswer::No, true, false},
      {"nearest is sample 0: nothing, no question", true, 0, MessageAnswer::Yes, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EditorHarness h(40);
    const int index = c.existing ? h.storeDefinition("Club circuit", 3) : -1;
    if (c.asked) h.windows.scriptedMessageBoxes().pushAnswer(c.answer);
    h.show(index, [&](HeadlessDialog& d, LapEditorScreen&) {
      h.holdAndChoose(d, h.pixelOfSample(c.tappedSample), kSetStart);
      if (c.existing) {
        // The lap times go at once, before OK or anything else.
        const LapDefinition& stored = h.ctx.lapDefinitions.at(index);
        EXPECT_EQ(stored.lapCount, c.moved ? 0 : 3);
        EXPECT_EQ(stored.laps[0].timeMs, c.moved ? 0u : 60000u);
        EXPECT_EQ(stored.laps[0].trace.empty(), c.moved);
        EXPECT_EQ(h.ctx.lapDefinitions.bestLapTime(index), c.moved ? 0u : 60000u);
      }
      if (c.moved) {
        // The green "F" now stands on the new sample 0.
        const auto shapes = ofKind(d.recording().ops(), DrawKind::FillShape);
        ASSERT_FALSE(shapes.empty());
        const Point f = h.pixelOfSample(0);
        EXPECT_EQ(shapes.back().brush, E::kStartFinishColour);
        EXPECT_EQ(shapes.back().rect.x + shapes.back().rect.width / 2, f.x);
      }
    });
    const auto& asked = h.windows.scriptedMessageBoxes().shown();
    ASSERT_EQ(asked.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(asked[0].text, "Moving the Start/Finish line will reset all lap times.\n\nAre you sure you want to continue?");
      EXPECT_EQ(asked[0].icon, platform::MessageIcon::Question);
      EXPECT_EQ(asked[0].buttons, platform::MessageButtons::YesNo);
    }
    std::vector<int> expected;
    const int first = c.moved ? c.tappedSample : 0;
    for (int i = 0; i < 40; ++i) expected.push_back((first + i) % 40);
    EXPECT_EQ(sampleOrder(h.ctx.gps.history), expected);
  }
}

TEST(LapEditor, OkNeedsANameThenCreatesOrUpdatesAndDiscardStoresNothing) {
  // Empty name: the message, and the screen stays.
  {
    EditorHarness h;
    h.show(-1, [&](HeadlessDialog& d, LapEditorScreen&) {
      d.userClick(E::kOk);  // disabled: nothing happens
      d.setEnabled(E::kOk, true);
      d.userClick(E::kOk);
      EXPECT_FALSE(d.ended());
      d.userClick(E::kDiscard);
    });
    const auto& shown = h.windows.scriptedMessageBoxes().shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "You must name the lap");
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(shown[0].buttons, platform::MessageButtons::Ok);
    EXPECT_EQ(h.ctx.lapDefinitions.count(), 0);
  }
  // A new definition: the history's track, the split lines, the name.
  {
    EditorHarness h;
    const int result = h.show(-1, [&](HeadlessDialog& d, LapEditorScreen& editor) {
      editor.addSplitLine(positionOf(h.ctx.gps.history, 12));
      d.userType(E::kNameField, "North loop");
      d.userClick(E::kOk);
    });
    EXPECT_EQ(result, E::kOk);
    ASSERT_EQ(h.ctx.lapDefinitions.count(), 1);
    EXPECT_EQ(h.ctx.settings.lapDefinitionCount, 1);
    const LapDefinition& d = h.ctx.lapDefinitions.at(0);
    EXPECT_EQ(d.name, "North loop");
    EXPECT_EQ(d.trackPointCount(), 40);
    EXPECT_EQ(d.splitLineCount, 1);
    EXPECT_EQ(d.splitLines[0], positionOf(h.ctx.gps.history, 12));
  }
  // A stored one: updated in place, renamed, its laps kept.
  {
    EditorHarness h;
    const int index = h.storeDefinition("Club circuit", 2);
    const int result = h.show(index, [&](HeadlessDialog& d, LapEditorScreen&) {
      d.userType(E::kNameField, "Club circuit short");
      d.userClick(E::kOk);
    });
    EXPECT_EQ(result, E::kOk);
    ASSERT_EQ(h.ctx.lapDefinitions.count(), 1);
    EXPECT_EQ(h.ctx.lapDefinitions.at(0).name, "Club circuit short");
    EXPECT_EQ(h.ctx.lapDefinitions.at(0).lapCount, 2);
  }
  // Discard.
  {
    EditorHarness h;
    const int result = h.show(-1, [&](HeadlessDialog& d, LapEditorScreen&) {
      d.userType(E::kNameField, "Kept nowhere");
      d.userClick(E::kDiscard);
    });
    EXPECT_EQ(result, E::kDiscard);
    EXPECT_EQ(h.ctx.lapDefinitions.count(), 0);
  }
}

TEST(LapEditor, FixesAppendedWhileTheEditorIsOpenAreNoPartOfTheTrack) {
  EditorHarness h(40);
  h.show(-1, [&](HeadlessDialog& d, LapEditorScreen& editor) {
    // The tick goes on recording behind the editor opened from the lap screen.
    FixHistory& history = h.ctx.gps.history;
    for (int i = 0; i < 25; ++i) {
      FixSample& s = history.samples[static_cast<size_t>(history.count++)];
      s.longitude = 10.3, s.latitude = 50.3, s.altitude = 999.0f;
    }
    EXPECT_EQ(editor.trackCount(), 40);
    d.recording().clear();
    d.paint();
    EXPECT_EQ(d.recording().lines().size(), 39u);
    // A hold right where the late fixes lie still snaps onto the track.
    const TrackPoint late = editor.map().unproject({180, 60});
    for (int i = 40; i < history.count; ++i) {
      history.samples[static_cast<size_t>(i)].longitude = late.longitude;
      history.samples[static_cast<size_t>(i)].latitude = late.latitude;
    }
    h.holdAndChoose(d, {180, 60}, kSetSplit);
    ASSERT_EQ(editor.splitLineCount(), 1);
    EXPECT_NE(editor.splitAnchors()[0], late);
    d.userType(E::kNameField, "Ring");
    d.userClick(E::kOk);
  });
  ASSERT_EQ(h.ctx.lapDefinitions.count(), 1);
  EXPECT_EQ(h.ctx.lapDefinitions.at(0).trackPointCount(), 40);
}

TEST(LapEditor, DraggingPansTheMapAndTheWheelAndButtonsZoom) {
  EditorHarness h;
  h.show(-1, [&](HeadlessDialog& d, LapEditorScreen& editor) {
    const Point before = h.pixelOfSample(0);
    // A press outside the map (on the name's row) drags nothing.
    d.userPointerDown({100, 20});
    d.userPointerMove({150, 60});
    d.userPointerUp({150, 60});
    EXPECT_EQ(h.pixelOfSample(0).x, before.x);

    d.userPointerDown({100, 100});
    d.userPointerMove({110, 95});
    d.userPointerMove({130, 120});
    d.recording().clear();
    d.userPointerUp({130, 120});
    d.userPointerMove({10, 10});  // after the release: no drag
    const Point after = h.pixelOfSample(0);
    EXPECT_NEAR(after.x - before.x, 30, 1);
    EXPECT_NEAR(after.y - before.y, 20, 1);

    struct Step {
      std::function<void()> act;
      double zoom;
    };
    const std::vector<Step> steps = {
        {[&] { d.userWheel({100, 100}, 1); }, 0.9 * 1.25},
        {[&] { d.userWheel({100, 100}, 2); }, 0.9 * 1.25 * 1.25 * 1.25},
        {[&] { d.userWheel({100, 100}, -1); }, 0.9 * 1.25 * 1.25},
        {[&] { d.userClick(E::kZoomOutButton); }, 0.9 * 1.25},
        {[&] { d.userClick(E::kZoomInButton); }, 0.9 * 1.25 * 1.25},
        {[&] { d.userWheel({100, 100}, -50); }, 0.9},
    };
    for (const Step& step : steps) {
      d.recording().clear();
      step.act();
      EXPECT_NEAR(editor.map().zoom(), step.zoom, 1e-12);
      EXPECT_FALSE(ofKind(d.recording().ops(), DrawKind::FillRect).empty());  // redrawn
    }
  });
}

}  // namespace
}  // namespace corvantis::testing
