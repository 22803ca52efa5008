// The lap screen opens with the track the driver picked last: within a run,
// and after a restart through the state file beside the options file.
#include "store/remembered_track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/laps/lap_screen_fixture.h"
#include "tests/store/memory_files.h"

namespace corvantis {
namespace {

using platform::headless::HeadlessDialog;

std::vector<uint8_t> bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(RememberedTrackFileTest, ReadsBackExactlyWhatItWroteAndNothingElse) {
  RememberedTrack::Identity identity;
  identity.index = 3;
  identity.pointCount = 636;
  identity.box = {-1.7873191666666668, -1.7761, 51.571100000000001, 51.5745};
  identity.name = "Brands Hatch Indy";
  const std::vector<uint8_t> written = RememberedTrack::encode(identity);
  EXPECT_EQ(RememberedTrack::decode(written), identity);

  const std::string good(written.begin(), written.end());
  const std::string cases[] = {
      "",
      "corvantis active track 2\nindex 3\npoints 636\nbox 1 2 3 4\nname X\n",  // another version
      good.substr(0, good.size() - 1),                                           // cut short
      "corvantis active track 1\nindex three\npoints 636\nbox 1 2 3 4\nname X\n",
      "corvantis active track 1\nindex 3\npoints 636\nbox 1 2 3\nname X\n",
      "corvantis active track 1\nindex 3\npoints 636\nbox 1,5 2 3 4\nname X\n",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(RememberedTrack::decode(bytes(text)).has_value());
  }
  EXPECT_EQ(RememberedTrack::pathBeside("/home/d/.local/share/corvantis/options.bin"),
            "/home/d/.local/share/corvantis/options.active-track");
  EXPECT_EQ(RememberedTrack::pathBeside("/x/demo-options.bin"), "/x/demo-options.active-track");
  EXPECT_EQ(RememberedTrack::pathBeside(""), "");
}

class RememberedTrackTest : public testing::LapScreenTest {
 protected:
  static constexpr const char* kStatePath = "/data/options.active-track";

  RememberedTrackTest() {
    addSquareDefinition("North Loop", {});
    addSquareDefinition("South Loop", {10});
    // A third track elsewhere: its own points and box.
    addSquareDefinition("West Loop", {});
    for (TrackPoint& point : ctx.lapDefinitions.at(2).track) point.longitude -= 0.01;
    ctx.lapDefinitions.at(2).minLongitude -= 0.01;
    ctx.lapDefinitions.at(2).maxLongitude -= 0.01;
    ctx.lapDefinitions.at(1).track.push_back(ctx.lapDefinitions.at(1).track.back());  // one more point
    ctx.lapDefinitions.addLapTime(1, 61000, 1, 2, ctx.gps.history);
    ctx.rememberedTrack.keepIn(files, kStatePath);
  }

  // Opens the lap screen, runs body, closes it.
  void open(const std::function<void(HeadlessDialog&, LapTimingScreen&)>& body) {
    LapTimingScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) { body(d, screen); });
  }
  // As after a restart: only the state file knows the choice.
  void restart() {
    ctx.rememberedTrack = RememberedTrack{};
    ctx.rememberedTrack.keepIn(files, kStatePath);
  }

  testing::MemoryFiles files;
};

TEST_F(RememberedTrackTest, ADeletedTrackIsNotSelectedAndTheOthersAreFoundWhereverTheyMoved) {
  struct Case {
    const char* name;
    std::function<void(LapDefinitions&)> change;  // made in Configuration, say
    int selected;
  };
  const Case cases[] = {
      {"the track itself deleted", [](LapDefinitions& l) { l.deleteDefinition(1); }, -1},
      {"an earlier track deleted", [](LapDefinitions& l) { l.deleteDefinition(0); }, 0},
      {"renamed", [](LapDefinitions& l) { l.at(1).name = "Club Circuit"; }, 1},
      {"its start/finish moved", [](LapDefinitions& l) {
         auto& track = l.at(1).track;
         std::rotate(track.begin(), track.begin() + 5, track.end());
       }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LapDefinitions saved = ctx.lapDefinitions;
    open([](HeadlessDialog& d, LapTimingScreen&) { d.userSelect(LapTimingScreen::kActiveLap, 1); });
    restart();
    c.change(ctx.lapDefinitions);
    open([&](HeadlessDialog& d, LapTimingScreen& screen) {
      EXPECT_EQ(screen.activeLap(), c.selected);
      EXPECT_EQ(d.selection(LapTimingScreen::kActiveLap), c.selected);
    });
    ctx.lapDefinitions = saved;
  }
}

}  // namespace
}  // namespace corvantis
