// The records screen on a headless dialog: categories and rows as the
// stores hold them, deletion from the list's hold menu, the Plot Run rule.
#include "review/records_screen.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/time_text.h"
#include "review/plot_screen.h"
#include "tests/review/review_fixture.h"
#include "tests/support/standing_start_trace.h"

namespace corvantis::testing {
namespace {

using platform::headless::HeadlessDialog;
using R = RecordsScreen;

constexpr uint32_t kDec5At1407 = 1796479620u;  // 2026-12-05 14:07:00
const RecordKey k0to60{0, 60};

struct RecordsHarness : ReviewHarness {
  // Shows the screen with the user's actions, then Main Menu.
  void show(const std::function<void(HeadlessDialog&)>& user) {
    windows.pushModalScript([&](HeadlessDialog& d) {
      user(d);
      d.userClick(R::kMainMenu);
    });
    EXPECT_EQ(screen.showModal(), R::kMainMenu);
  }
  // Selects rows of the times list, then deletes them from the hold menu
  // held on the first of them.
  void deleteRows(HeadlessDialog& d, const std::vector<int>& rows) {
    for (int row : rows) d.userToggleRow(R::kTimesList, row);
    windows.pushMenuAnswer(R::kDeleteCommand);
    d.userHold(R::kTimesList, HeadlessDialog::rowPoint(rows.empty() ? 0 : rows.front()));
  }
  RecordsScreen screen{ctx};
};

TEST(RecordsScreen, HoldingARowThatIsNotSelectedSelectsItAloneFirst) {
  RecordsHarness h;
  for (uint32_t t : {6843u, 6521u, 6709u}) h.addRun(k0to60, t, kDec5At1407);
  h.show([&](HeadlessDialog& d) {
    d.userToggleRow(R::kTimesList, 0);
    h.windows.pushMenuAnswer(0);  // the menu closed with no choice
    d.userHold(R::kTimesList, HeadlessDialog::rowPoint(2));
    EXPECT_FALSE(d.isSelected(R::kTimesList, 0));
    EXPECT_TRUE(d.isSelected(R::kTimesList, 2));
    EXPECT_TRUE(d.isEnabled(R::kPlotButton));  // told as a selection of the user's
    // Held on a selected row, the selection stays as it is.
    d.userToggleRow(R::kTimesList, 1);
    h.windows.pushMenuAnswer(R::kDeleteCommand);
    d.userHold(R::kTimesList, HeadlessDialog::rowPoint(1));
    EXPECT_EQ(itemsOf(d, R::kTimesList), (std::vector<std::string>{"6.843s on 05/12/26 at 14:07(Best)", " ",
                                                                   "6.843s Average"}));
  });
}

TEST(RecordsScreen, ListsRecordSetsThenTracksWithTheFirstCategorysTimes) {
  RecordsHarness h;
  for (uint32_t t : {6843u, 6521u, 6709u}) h.addRun(k0to60, t, kDec5At1407);
  h.addRun(distanceKey(402.336), 15112, kDec5At1407 + 60);
  h.addTrack("Club circuit", {92345});
  h.show([](HeadlessDialog& d) {
    EXPECT_EQ(itemsOf(d, R::kCategoryCombo),
              (std::vector<std::string>{"Acc Run: 0..60 mph", "Dist Run: 440 yards (1/4 mile)",
                                        "Lap Times: Club circuit"}));
    EXPECT_EQ(d.selection(R::kCategoryCombo), 0);
    EXPECT_EQ(itemsOf(d, R::kTimesList), (std::vector<std::string>{
                                             "6.843s on 05/12/26 at 14:07",
                                             "6.521s on 05/12/26 at 14:07(Best)",
                                             "6.709s on 05/12/26 at 14:07",
                                             " ",
                                             "6.691s Average",
                                         }));
    EXPECT_FALSE(d.isEnabled(R::kPlotButton));
    EXPECT_EQ(d.control(R::kPlotButton).font.heightPx, 17);

    // A track's theoretical best shares its average's row: without split
    // lines it is the track's best lap.
    d.userSelect(R::kCategoryCombo, 2);
    EXPECT_EQ(itemsOf(d, R::kTimesList), (std::vector<std::string>{"1m 32.345s on 01/01/70 at 00:16(Best)", " ",
                                                                   "1m 32.345s Average  Theo 1m 32.345s"}));
  });
}

TEST(RecordsScreen, OnlyTheFirstOfEqualBestTimesIsMarked) {
  RecordsHarness h;
  for (uint32_t t : {7000u, 6000u, 6500u, 6000u}) h.addRun(k0to60, t, kDec5At1407);
  h.show([](HeadlessDialog& d) {
    const auto rows = itemsOf(d, R::kTimesList);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[1], "6.000s on 05/12/26 at 14:07(Best)");
    EXPECT_EQ(rows[3], "6.000s on 05/12/26 at 14:07");
  });
}

TEST(RecordsScreen, ACategoryWithoutTimesShowsTheSpacerAndAZeroAverage) {
  RecordsHarness h;
  h.addTrack("Reset track", {});  // laps reset in the lap editor
  h.show([](HeadlessDialog& d) {
    EXPECT_EQ(itemsOf(d, R::kTimesList), (std::vector<std::string>{" ", ".000s Average"}));
  });
}

TEST(RecordsScreen, NothingStoredGivesEmptyListsAndNoPlot) {
  RecordsHarness h;
  h.show([&](HeadlessDialog& d) {
    EXPECT_EQ(d.itemCount(R::kCategoryCombo), 0);
    EXPECT_EQ(d.itemCount(R::kTimesList), 0);
    EXPECT_FALSE(d.isEnabled(R::kPlotButton));
    h.windows.pushMenuAnswer(R::kDeleteCommand);
    d.userHold(R::kTimesList, {10, 10});  // an empty list opens no menu
  });
  EXPECT_TRUE(h.windows.shownMenus().empty());
}

TEST(RecordsScreen, PlotRunIsEnabledExactlyWhileATimeRowIsSelected) {
  RecordsHarness h;
  for (uint32_t t : {6843u, 6521u}) h.addRun(k0to60, t, kDec5At1407);
  h.addRun(RecordKey{0, 100}, 16000, kDec5At1407);
  h.show([](HeadlessDialog& d) {
    // Rows: 0 and 1 times, 2 spacer, 3 average.
    const auto toggleAndCheck = [&d](int row, bool enabled) {
      d.userToggleRow(R::kTimesList, row);
      EXPECT_EQ(d.isEnabled(R::kPlotButton), enabled) << "after toggling row " << row;
    };
    toggleAndCheck(3, false);  // the average alone
    toggleAndCheck(2, false);  // and the spacer
    toggleAndCheck(1, true);   // a time joins them
    toggleAndCheck(0, true);
    toggleAndCheck(1, true);
    toggleAndCheck(0, false);  // no time left selected
    toggleAndCheck(0, true);
    // Another category starts with nothing selected.
    d.userSelect(R::kCategoryCombo, 1);
    EXPECT_FALSE(d.isEnabled(R::kPlotButton));
  });
}

TEST(RecordsScreen, DeletingRowsZeroAndTwoOfThreeLeavesTheMiddleRunWithItsTrace) {
  RecordsHarness h;
  h.addRun(k0to60, 6843, kDec5At1407, {{1000, 0.0f, 0.0f}});
  h.addRun(k0to60, 6521, kDec5At1407 + 3600, {{2000, 0.0f, 0.0f}, {2100, 1.0f, 0.5f}});
  h.addRun(k0to60, 6709, kDec5At1407, {{3000, 0.0f, 0.0f}});
  h.show([&](HeadlessDialog& d) {
    h.deleteRows(d, {0, 2});
    EXPECT_EQ(itemsOf(d, R::kTimesList),
              (std::vector<std::string>{"6.521s on 05/12/26 at 15:07(Best)", " ", "6.521s Average"}));
    EXPECT_FALSE(d.isEnabled(R::kPlotButton));  // the refilled list has nothing selected
  });
  const RecordSet& set = *h.ctx.records.findRecordSet(k0to60);
  EXPECT_EQ(set.filledCount(), 1);
  EXPECT_EQ(set.runs[0].trace.size(), 2u);
  EXPECT_EQ(set.runs[0].trace[0].time, 2000u);
  EXPECT_EQ(set.runs[1].timeMs, 0u);
  EXPECT_TRUE(set.runs[2].trace.empty());  // the removed runs' traces went with them
}

TEST(RecordsScreen, DeletingEveryTimeOfASetRemovesItsCategoryAndShowsTheFirst) {
  for (int removed : {0, 1}) {
    SCOPED_TRACE(removed == 0 ? "first category" : "second category");
    RecordsHarness h;
    const RecordKey keys[] = {k0to60, distanceKey(402.336), RecordKey{0, 100}};
    for (RecordKey key : keys) {
      h.addRun(key, 5000, kDec5At1407);
      h.addRun(key, 6000, kDec5At1407);
    }
    h.show([&](HeadlessDialog& d) {
      d.userSelect(R::kCategoryCombo, removed);
      h.deleteRows(d, {0, 1});
      EXPECT_EQ(d.itemCount(R::kCategoryCombo), 2);
      EXPECT_EQ(d.selection(R::kCategoryCombo), 0);
      EXPECT_EQ(h.screen.currentCategory(), 0);
      EXPECT_EQ(d.itemText(R::kCategoryCombo, 0), removed == 0 ? "Dist Run: 440 yards (1/4 mile)" : "Acc Run: 0..60 mph");
      EXPECT_EQ(d.itemCount(R::kTimesList), 4);  // the first category's two times
    });
    ASSERT_EQ(h.ctx.records.sets().size(), 2u);
    EXPECT_EQ(h.ctx.records.findRecordSet(keys[removed]), nullptr);
    // The other sets are untouched, and no placeholder run was stored anywhere.
    for (const RecordSet& set : h.ctx.records.sets()) {
      EXPECT_EQ(set.filledCount(), 2);
      EXPECT_EQ(set.runs[0].timeMs, 5000u);
      EXPECT_EQ(set.runs[1].timeMs, 6000u);
    }
  }
}

TEST(RecordsScreen, OfTwoSetsWithOneKeyTheEmptiedOneGoes) {
  // A file written elsewhere may hold one definition twice.
  RecordsHarness h;
  h.addRun(k0to60, 5000, kDec5At1407);
  h.ctx.records.sets().push_back(h.ctx.records.sets()[0]);
  h.ctx.records.sets()[1].runs[0].timeMs = 6000;
  h.show([&](HeadlessDialog& d) {
    d.userSelect(R::kCategoryCombo, 1);
    h.deleteRows(d, {0});
    EXPECT_EQ(d.itemCount(R::kCategoryCombo), 1);
  });
  ASSERT_EQ(h.ctx.records.sets().size(), 1u);
  EXPECT_EQ(h.ctx.records.sets()[0].runs[0].timeMs, 5000u);
}

TEST(RecordsScreen, DeletingTheLastCategoryLeavesNothingSelected) {
  RecordsHarness h;
  h.addRun(k0to60, 5000, kDec5At1407);
  h.show([&](HeadlessDialog& d) {
    h.deleteRows(d, {0});
    EXPECT_EQ(d.itemCount(R::kCategoryCombo), 0);
    EXPECT_EQ(d.itemCount(R::kTimesList), 0);
    EXPECT_FALSE(d.isEnabled(R::kPlotButton));
  });
  EXPECT_TRUE(h.ctx.records.sets().empty());
}

TEST(RecordsScreen, DeletingALapMovesUpEveryLapInUseAndKeepsTheTrack) {
  RecordsHarness h;
  std::vector<uint32_t> laps;
  for (uint32_t i = 0; i < 12; ++i) laps.push_back(90000 + i);
  h.addTrack("Club circuit", laps);
  h.show([&](HeadlessDialog& d) {
    EXPECT_EQ(d.itemCount(R::kTimesList), 12);  // ten laps, spacer, average
    h.deleteRows(d, {3});
    const auto rows = itemsOf(d, R::kTimesList);
    ASSERT_EQ(rows.size(), 12u);
    for (int row = 0; row < 10; ++row) {
      const uint32_t expected = 90000 + static_cast<uint32_t>(row < 3 ? row : row + 1);
      EXPECT_EQ(rows[static_cast<size_t>(row)].substr(0, 11), formatRunTime(expected) + " ");
    }
    // Now every lap goes: the track keeps its category with no times.
    std::vector<int> all;
    for (int row = 0; row < 10; ++row) all.push_back(row);
    h.deleteRows(d, all);
    h.deleteRows(d, {0});
    EXPECT_EQ(itemsOf(d, R::kTimesList), (std::vector<std::string>{" ", ".000s Average"}));
    EXPECT_EQ(itemsOf(d, R::kCategoryCombo), std::vector<std::string>{"Lap Times: Club circuit"});
  });
  EXPECT_EQ(h.ctx.lapDefinitions.at(0).lapCount, 0);
}

TEST(RecordsScreen, ALapDeletionLowersTheLapCountAndShiftsBeyondTheListedTen) {
  RecordsHarness h;
  std::vector<uint32_t> laps;
  for (uint32_t i = 0; i < 12; ++i) laps.push_back(90000 + i);
  h.addTrack("Club circuit", laps);
  h.show([&](HeadlessDialog& d) { h.deleteRows(d, {3}); });
  const LapDefinition& track = h.ctx.lapDefinitions.at(0);
  EXPECT_EQ(track.lapCount, 11);
  EXPECT_EQ(track.laps[9].timeMs, 90010u);
  EXPECT_EQ(track.laps[10].timeMs, 90011u);
  EXPECT_EQ(track.laps[11].timeMs, 0u);
}

TEST(RecordsScreen, PlotRunOpensThePlotWithTheSelectedRunsInRowOrder) {
  RecordsHarness h;
  for (uint32_t t : {6843u, 6521u, 6709u}) h.addRun(k0to60, t, kDec5At1407, {{1000, 0.0f, 0.0f}, {2000, 20.0f, 5.0f}});
  h.addTrack("Club circuit", {92345, 91000});
  h.windows.pushModalScript([&](HeadlessDialog& d) {
    d.userToggleRow(R::kTimesList, 2);
    d.userToggleRow(R::kTimesList, 0);
    h.ctx.gps.holdOffTicks = 0;
    h.windows.pushModalScript([&](HeadlessDialog& plot) {
      EXPECT_EQ(plot.layout().resourceId, 136);
      EXPECT_EQ(h.ctx.gps.holdOffTicks, 20);
      EXPECT_EQ(plot.text(PlotScreen::kHeader), "Acc Run: 0..60 mph");
      EXPECT_EQ(plot.text(PlotScreen::kRunTime), "");  // two runs: the legend tells them apart
      const auto texts = plot.recording().texts();
      EXPECT_NE(std::find(texts.begin(), texts.end(), "6.843s"), texts.end());
      EXPECT_NE(std::find(texts.begin(), texts.end(), "6.709s"), texts.end());
      EXPECT_EQ(std::find(texts.begin(), texts.end(), "6.521s"), texts.end());
      plot.userClick(PlotScreen::kOk);
    });
    d.userClick(R::kPlotButton);
    // A lap track's plot is headed with the track's name.
    d.userSelect(R::kCategoryCombo, 1);
    d.userToggleRow(R::kTimesList, 1);
    h.windows.pushModalScript([&](HeadlessDialog& plot) {
      EXPECT_EQ(plot.text(PlotScreen::kHeader), "Club circuit");
      EXPECT_EQ(plot.text(PlotScreen::kRunTime), "1m 31.000s");
      plot.userClick(PlotScreen::kOk);
    });
    d.userClick(R::kPlotButton);
    d.userClick(R::kMainMenu);
  });
  h.screen.showModal();
  EXPECT_EQ(h.windows.pendingModalScripts(), 0u);
  ASSERT_EQ(h.windows.runs().size(), 3u);
  EXPECT_EQ(h.windows.runs()[0].depth, 1);
}

TEST(RecordsScreen, TimeSlipOfTheOneSelectedTimeFromItsTrace) {
  RecordsHarness h;
  const RecordKey quarter = distanceKey(402.336);
  h.addRun(quarter, 12793, kDec5At1407, standingQuarterMileTrace());
  h.addRun(quarter, 12900, kDec5At1407);  // stored without a trace
  h.addTrack("Club circuit", {92345});
  // A hold on a row selects it first when it is not selected.
  auto timeSlipOf = [&h](HeadlessDialog& d, int row) {
    h.windows.pushMenuAnswer(R::kTimeSlipCommand);
    d.userHold(R::kTimesList, HeadlessDialog::rowPoint(row));
  };
  h.show([&](HeadlessDialog& d) {
    timeSlipOf(d, 0);  // nothing selected: the row held is, and its slip shows
    d.userToggleRow(R::kTimesList, 1);
    timeSlipOf(d, 0);  // two selected
    d.userToggleRow(R::kTimesList, 0);
    timeSlipOf(d, 1);  // the one without a trace
    d.userSelect(R::kCategoryCombo, 1);
    timeSlipOf(d, 0);  // a lap
  });
  const auto& shown = h.windows.scriptedMessageBoxes().shown();
  ASSERT_EQ(shown.size(), 4u);
  // 60 ft at 5 m/s^2 is 2.7045 s from first motion, 2.355 s from one foot.
  const std::string& slip = shown[0].text;
  EXPECT_EQ(slip.rfind("Time Slip of 12.793s,\nfrom ", 0), 0u) << slip;
  EXPECT_TRUE(slip.find("60 ft  2.70") != std::string::npos || slip.find("60 ft  2.35") != std::string::npos) << slip;
  EXPECT_NE(slip.find("1/4 mile  12."), std::string::npos) << slip;
  EXPECT_NE(slip.find("\n    trap "), std::string::npos) << slip;  // the portrait screen is narrow
  EXPECT_EQ(shown[0].icon, platform::MessageIcon::Information);
  EXPECT_EQ(shown[1].text, "Select one time for its Time Slip.");
  EXPECT_EQ(shown[2].text, "No time slip: the run was stored without a trace.");
  EXPECT_EQ(shown[3].text, "A lap time has no Time Slip.");
  // Nothing was changed.
  EXPECT_EQ(h.ctx.records.findRecordSet(quarter)->filledCount(), 2);
}

}  // namespace
}  // namespace corvantis::testing
