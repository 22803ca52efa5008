// The configuration screen on a headless dialog: its lists, OK and Cancel,
// and the lap list's tap-and-hold menu with the Delete question.
#include <gtest/gtest.h>

#include "ui/tap_hold_list.h"
#include "config/configuration_screen.h"
#include "laps/lap_editor_screen.h"
#include "laps/track_map.h"
#include "platform/headless/headless_window_system.h"
#include "resources/layouts.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"

namespace corvantis::testing {
namespace {

using platform::MessageAnswer;
using platform::headless::HeadlessDialog;
using C = ConfigurationScreen;
using E = LapEditorScreen;

struct ConfigurationHarness {
  ConfigurationHarness() {
    // Three small square tracks, told apart by where they lie, each with
    // one split line and two laps.
    double west = 10.0;
    for (const char* name : {"North loop", "Club circuit", "Long track"}) {
      LapDefinition definition;
      definition.name = name;
      for (int k = 0; k < 8; ++k) {
        const double along = (k % 4) * 0.001;
        definition.track.push_back(k < 4 ? TrackPoint{west + along, 50.0} : TrackPoint{west + 0.003 - along, 50.002});
      }
      definition.splitLineCount = 1;
      definition.splitLines[0] = definition.track[5];
      definition.lapCount = 2;
      definition.laps[0].timeMs = 61000;
      definition.laps[1].timeMs = 59000;
      ctx.lapDefinitions.definitions().push_back(definition);
      west += 1.0;
    }
    ctx.settings.lapDefinitionCount = 3;
  }
  // Shows the screen with the user's actions; answers its result.
  int show(std::function<void(HeadlessDialog&)> user) {
    windows.pushModalScript(std::move(user));
    return screen.showModal();
  }
  std::vector<std::string> trackNames() const {
    std::vector<std::string> names;
    for (const auto& d : ctx.lapDefinitions.definitions()) names.push_back(d.name);
    return names;
  }
  // Holds the stylus on the lap list and picks command from its menu.
  // Held on the selected row, or below the rows when none is selected.
  void chooseFromLapMenu(HeadlessDialog& d, int command) {
    windows.pushMenuAnswer(command);
    const int row = d.selection(C::kLapList);
    d.userHold(C::kLapList, HeadlessDialog::rowPoint(row >= 0 ? row : d.itemCount(C::kLapList)));
  }

  platform::headless::HeadlessWindowSystem windows;
  FakeClock clock;
  FakeSerialPort port;
  AppContext ctx{windows, clock, port};
  ConfigurationScreen screen{ctx};
};

std::vector<std::string> itemsOf(HeadlessDialog& d, int id) {
  std::vector<std::string> items;
  for (int i = 0; i < d.itemCount(id); ++i) items.push_back(d.itemText(id, i));
  return items;
}

TEST(ConfigurationScreen, OpensWithTheSettingsSelectedAndEveryTrackListed) {
  ConfigurationHarness h;
  h.ctx.settings.port = 7;
  h.ctx.settings.baudIndex = 2;
  h.ctx.settings.units = 1;
  h.show([](HeadlessDialog& d) {
    EXPECT_EQ(itemsOf(d, C::kPortCombo),
              (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    EXPECT_EQ(itemsOf(d, C::kRateCombo), (std::vector<std::string>{"4800", "9600", "14400", "19200", "38400",
                                                                    "57600", "115200", "128000", "256000"}));
    EXPECT_EQ(itemsOf(d, C::kUnitsCombo), (std::vector<std::string>{"Imperial  ( mph )", "Metric  ( kph )"}));
    EXPECT_EQ(d.selection(C::kPortCombo), 7);
    EXPECT_EQ(d.selection(C::kRateCombo), 2);
    EXPECT_EQ(d.selection(C::kUnitsCombo), 1);
    EXPECT_EQ(itemsOf(d, C::kLapList), (std::vector<std::string>{"North loop", "Club circuit", "Long track"}));
    EXPECT_EQ(d.fullScreenRequests(), 1);
  });
}

TEST(ConfigurationScreen, OkStoresTheThreeSettingsAndCancelStoresNothing) {
  for (int button : {C::kOk, C::kCancel}) {
    ConfigurationHarness h;
    const int result = h.show([button](HeadlessDialog& d) {
      d.userSelect(C::kPortCombo, 0);
      d.userSelect(C::kRateCombo, 8);
      d.userSelect(C::kUnitsCombo, 1);
      d.userClick(button);
    });
    EXPECT_EQ(result, button);
    const bool stored = button == C::kOk;
    EXPECT_EQ(h.ctx.settings.port, stored ? 0 : 5);
    EXPECT_EQ(h.ctx.settings.baudIndex, stored ? 8 : 0);
    EXPECT_EQ(h.ctx.settings.units, stored ? 1 : 0);
  }
}

TEST(ConfigurationScreen, AStoredValueOutsideAListIsKeptOnOk) {
  ConfigurationHarness h;
  h.ctx.settings.baudIndex = 12;  // from a file written elsewhere
  h.show([](HeadlessDialog& d) {
    EXPECT_EQ(d.selection(C::kRateCombo), -1);
    d.userClick(C::kOk);
  });
  EXPECT_EQ(h.ctx.settings.baudIndex, 12);
}

TEST(ConfigurationScreen, HoldingARowThatIsNotSelectedSelectsItFirst) {
  struct Case {
    const char* what;
    int selectedBefore;  // -1: none
    int command;
    std::vector<std::string> left;
    const char* editorOpenedOn;  // nullptr: no editor
  };
  const Case cases[] = {
      {"Delete, nothing selected", -1, C::kDeleteCommand, {"North loop", "Long track"}, nullptr},
      {"Delete, another row selected", 0, C::kDeleteCommand, {"North loop", "Long track"}, nullptr},
      {"Configure, another row selected", 2, C::kConfigureCommand, {"North loop", "Club circuit", "Long track"},
       "Club circuit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConfigurationHarness h;
    std::string editorName;
    h.show([&](HeadlessDialog& d) {
      if (c.selectedBefore >= 0) d.userSelect(C::kLapList, c.selectedBefore);
      h.windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
      if (c.editorOpenedOn != nullptr) {
        h.windows.pushModalScript([&](HeadlessDialog& editor) {
          editorName = editor.text(LapEditorScreen::kNameField);
          editor.userClick(LapEditorScreen::kOk);
        });
      }
      h.windows.pushMenuAnswer(c.command);
      d.userHold(C::kLapList, HeadlessDialog::rowPoint(1));  // "Club circuit"
      EXPECT_EQ(itemsOf(d, C::kLapList), c.left);
      d.userClick(C::kCancel);
    });
    EXPECT_EQ(h.trackNames(), c.left);
    EXPECT_EQ(editorName, c.editorOpenedOn == nullptr ? "" : c.editorOpenedOn);
  }
}

// A reference lap kept for each track (the store keeps them in memory here).
void keepAReferenceLapForEveryTrack(ConfigurationHarness& h) {
  KeptLaps kept;
  kept.reference.lapTimeMs = 60000;
  kept.reference.path = {{1.0, 50.0, 0}, {1.001, 50.0, 60000}};
  std::string error;
  for (const LapDefinition& track : h.ctx.lapDefinitions.definitions()) {
    ASSERT_TRUE(h.ctx.referenceLaps.save(track, kept, error));
  }
}

TEST(ConfigurationScreen, DeleteAsksItsQuestionAndOnlyYesDeletes) {
  struct Case {
    const char* what;
    int selectRow;  // -1: no row selected
    bool questionAsked;
    MessageAnswer answer;
    std::vector<std::string> left;
  };
  const std::vector<Case> cases = {
      {"no row selected", -1, false, MessageAnswer::No, {"North loop", "Club circuit", "Long track"}},
      {"answer No", 1, true, MessageAnswer::No, {"North loop", "Club circuit", "Long track"}},
      {"answer Yes", 1, true, MessageAnswer::Yes, {"North loop", "Long track"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConfigurationHarness h;
    keepAReferenceLapForEveryTrack(h);
    const LapDefinition clubCircuit = h.ctx.lapDefinitions.at(1);
    h.show([&](HeadlessDialog& d) {
      if (c.selectRow >= 0) d.userSelect(C::kLapList, c.selectRow);
      if (c.questionAsked) h.windows.scriptedMessageBoxes().pushAnswer(c.answer);
      h.chooseFromLapMenu(d, C::kDeleteCommand);
      EXPECT_EQ(itemsOf(d, C::kLapList), c.left);
      d.userClick(C::kCancel);
    });
    EXPECT_EQ(h.trackNames(), c.left);
    EXPECT_EQ(h.ctx.settings.lapDefinitionCount, static_cast<int>(c.left.size()));
    // A deleted track's reference lap goes with it; the others' stay.
    for (const LapDefinition& track : h.ctx.lapDefinitions.definitions()) {
      EXPECT_EQ(h.ctx.referenceLaps.load(track).status, ReferenceLapStore::Loaded::Status::Kept) << track.name;
    }
    if (c.left.size() == 2) {
      EXPECT_EQ(h.ctx.referenceLaps.load(clubCircuit).status, ReferenceLapStore::Loaded::Status::None);
    }
    const auto& shown = h.windows.scriptedMessageBoxes().shown();
    ASSERT_EQ(shown.size(), c.questionAsked ? 1u : 0u);
    if (c.questionAsked) {
      EXPECT_EQ(shown[0].text, "Are you sure you want to delete this lap definition?\n\nAll lap times will be lost.");
      EXPECT_EQ(shown[0].icon, platform::MessageIcon::Question);
      EXPECT_EQ(shown[0].buttons, platform::MessageButtons::YesNo);
    }
  }
}

TEST(ConfigurationScreen, RowsAndTracksStayAlignedAfterADeletion) {
  ConfigurationHarness h;
  h.show([&](HeadlessDialog& d) {
    d.userSelect(C::kLapList, 1);
    h.windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
    h.chooseFromLapMenu(d, C::kDeleteCommand);
    // The former third track is now row 1 and index 1; deleting row 1
    // again removes it.
    d.userSelect(C::kLapList, 1);
    EXPECT_EQ(d.itemText(C::kLapList, 1), "Long track");
    h.windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
    h.chooseFromLapMenu(d, C::kDeleteCommand);
    d.userClick(C::kOk);
  });
  EXPECT_EQ(h.trackNames(), std::vector<std::string>{"North loop"});
}

TEST(ConfigurationScreen, TheLapListAlwaysOpensItsMenuEvenWhenEmpty) {
  ConfigurationHarness h;
  h.ctx.lapDefinitions.definitions().clear();
  h.ctx.settings.lapDefinitionCount = 0;
  h.show([&](HeadlessDialog& d) {
    h.chooseFromLapMenu(d, C::kDeleteCommand);
    h.chooseFromLapMenu(d, C::kConfigureCommand);
    d.userClick(C::kCancel);
  });
  ASSERT_EQ(h.windows.shownMenus().size(), 2u);
  EXPECT_EQ(h.windows.shownMenus()[0].resourceId, 146);
  EXPECT_EQ(h.windows.shownMenus()[0].title, "Lap Config");
  EXPECT_EQ(h.windows.shownMenus()[0].controlId, C::kLapList);
  EXPECT_TRUE(h.windows.scriptedMessageBoxes().shown().empty());
}

// What the editor opened by Configure finds: its name field, and the track
// in the fix history.
struct EditorSeen {
  std::string name;
  std::vector<TrackPoint> track;
  size_t markers = 0;  // split markers and the start/finish drawn
};

EditorSeen look(HeadlessDialog& editor, const FixHistory& history) {
  EditorSeen seen;
  seen.name = editor.text(E::kNameField);
  for (int k = 0; k < history.count; ++k) {
    seen.track.push_back({history.samples[static_cast<size_t>(k)].longitude, history.samples[static_cast<size_t>(k)].latitude});
  }
  editor.recording().clear();
  editor.paint();
  seen.markers = editor.recording().opsOfKind(platform::headless::DrawKind::FillShape).size();
  return seen;
}

TEST(ConfigurationScreen, ConfigureOpensTheEditorOnTheRowsDefinitionEvenAfterADeletion) {
  ConfigurationHarness h;
  const LapDefinition third = h.ctx.lapDefinitions.at(2);
  EditorSeen seen;
  h.show([&](HeadlessDialog& d) {
    d.userSelect(C::kLapList, 1);
    h.windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
    h.chooseFromLapMenu(d, C::kDeleteCommand);
    d.userSelect(C::kLapList, 1);
    h.windows.pushModalScript([&](HeadlessDialog& editor) {
      seen = look(editor, h.ctx.gps.history);
      editor.userClick(E::kOk);
    });
    h.chooseFromLapMenu(d, C::kConfigureCommand);
    d.userClick(C::kCancel);
  });
  ASSERT_EQ(h.windows.runs().size(), 2u);
  EXPECT_EQ(h.windows.runs()[0].resourceId, resources::kLapEditorPortrait);
  EXPECT_EQ(h.windows.runs()[0].result, E::kOk);
  EXPECT_EQ(seen.name, "Long track");
  EXPECT_EQ(seen.track, third.track);
  EXPECT_EQ(seen.markers, 2u);  // its split line and the start/finish
  EXPECT_EQ(h.trackNames(), (std::vector<std::string>{"North loop", "Long track"}));
}

TEST(ConfigurationScreen, AfterOkInTheEditorTheRowShowsTheNewName) {
  ConfigurationHarness h;
  h.show([&](HeadlessDialog& d) {
    d.userSelect(C::kLapList, 2);
    h.windows.pushModalScript([&](HeadlessDialog& editor) {
      editor.userType(E::kNameField, "Long track reversed");
      editor.userClick(E::kOk);
    });
    h.chooseFromLapMenu(d, C::kConfigureCommand);
    EXPECT_EQ(itemsOf(d, C::kLapList),
              (std::vector<std::string>{"North loop", "Club circuit", "Long track reversed"}));
    EXPECT_EQ(d.selection(C::kLapList), 2);
    d.userClick(C::kOk);
  });
  EXPECT_EQ(h.ctx.lapDefinitions.at(2).name, "Long track reversed");
}

TEST(ConfigurationScreen, MovingTheStartFinishResetsTheLapTimesEvenWhenTheScreenIsCancelled) {
  ConfigurationHarness h;
  keepAReferenceLapForEveryTrack(h);
  const std::vector<TrackPoint> before = h.ctx.lapDefinitions.at(0).track;
  h.show([&](HeadlessDialog& d) {
    d.userSelect(C::kLapList, 0);
    h.windows.pushModalScript([&](HeadlessDialog& editor) {
      TrackMap map(E::kPortraitMap);
      map.fit(h.ctx.gps.history.samples.data(), h.ctx.gps.history.count);
      h.windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
      h.windows.pushMenuAnswer(resources::kCommandSetStartFinish);
      editor.userHold(0, map.project(before[2]));
      editor.userClick(E::kOk);
    });
    h.chooseFromLapMenu(d, C::kConfigureCommand);
    d.userClick(C::kCancel);
  });
  const LapDefinition& moved = h.ctx.lapDefinitions.at(0);
  EXPECT_EQ(moved.lapCount, 0);
  EXPECT_EQ(h.ctx.lapDefinitions.bestLapTime(0), 0u);
  ASSERT_EQ(moved.track.size(), before.size());
  for (size_t k = 0; k < before.size(); ++k) EXPECT_EQ(moved.track[k], before[(k + 2) % before.size()]);
  EXPECT_EQ(moved.splitLines[0], before[5]);  // a position: still on the track
  EXPECT_EQ(h.ctx.lapDefinitions.at(1).lapCount, 2);
  // Its reference lap went as the line moved (not left to be found stale).
  EXPECT_EQ(h.ctx.referenceLaps.load(moved).status, ReferenceLapStore::Loaded::Status::None);
  EXPECT_EQ(h.ctx.referenceLaps.load(h.ctx.lapDefinitions.at(1)).status, ReferenceLapStore::Loaded::Status::Kept);
}

TEST(ConfigurationScreen, ConfigureWithoutASelectedRowOpensNothing) {
  ConfigurationHarness h;
  h.show([&](HeadlessDialog& d) {
    h.chooseFromLapMenu(d, C::kConfigureCommand);
    d.userClick(C::kCancel);
  });
  EXPECT_EQ(h.windows.runs().size(), 1u);  // the configuration screen alone
  EXPECT_TRUE(h.windows.scriptedMessageBoxes().shown().empty());
}

TEST(ConfigurationScreen, ATrackLongerThanTheHistoryLoadsOnlyWhatTheHistoryHolds) {
  ConfigurationHarness h;
  LapDefinition& big = h.ctx.lapDefinitions.at(1);
  big.track.clear();
  for (int k = 0; k < FixHistory::kCapacity + 100; ++k) big.track.push_back({20.0 + k * 1e-5, 50.0 + (k % 7) * 1e-5});
  const std::vector<TrackPoint> before = big.track;
  int loaded = 0;
  h.show([&](HeadlessDialog& d) {
    d.userSelect(C::kLapList, 1);
    h.windows.pushModalScript([&](HeadlessDialog& editor) {
      loaded = h.ctx.gps.history.count;
      editor.userClick(E::kOk);
    });
    h.chooseFromLapMenu(d, C::kConfigureCommand);
    d.userClick(C::kOk);
  });
  EXPECT_EQ(loaded, FixHistory::kCapacity);
  EXPECT_EQ(h.ctx.lapDefinitions.at(1).track, before);
}

// The records screen's list allows several selections: held while empty it
// opens nothing; with a selected row it opens the "Menu" popup, whose
// command reaches the owning screen.
TEST(TapHoldList, AnEmptyMultipleSelectionListIgnoresTheHold) {
  struct Owner : platform::DialogHandler {
    void onOpen(platform::Dialog&) override {}
    void onCommand(int, platform::Notification) override {}
    void onMenuCommand(int command) override { commands.push_back(command); }
    std::vector<int> commands;
  };
  const auto& records = resources::layout(134);
  constexpr int kTimesList = 1015;
  for (bool withRow : {false, true}) {
    SCOPED_TRACE(withRow ? "a selected row" : "empty");
    platform::headless::HeadlessWindowSystem windows;
    Owner owner;
    windows.pushModalScript([&](HeadlessDialog& d) {
      if (withRow) {
        d.addItem(kTimesList, "5.234s on 07/12/26 at 10:15(Best)");
        d.setSelected(kTimesList, 0, true);
      }
      windows.pushMenuAnswer(32771);
      EXPECT_TRUE(handleListHold(records, d, owner, kTimesList, {4, 4}));
      EXPECT_FALSE(handleListHold(records, d, owner, 1014, {4, 4}));  // the combo has no menu
    });
    windows.runModal(records, owner);
    ASSERT_EQ(windows.shownMenus().size(), withRow ? 1u : 0u);
    if (withRow) {
      EXPECT_EQ(windows.shownMenus()[0].title, "Menu");
      EXPECT_EQ(owner.commands, std::vector<int>{32771});
    } else {
      EXPECT_TRUE(owner.commands.empty());
    }
  }
}

}  // namespace
}  // namespace corvantis::testing
