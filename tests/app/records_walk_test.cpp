// A driver's visit to the records through the whole program: Records from
// the main menu, two runs plotted as speed, distance and acceleration, one
// deleted, and the deletion saved at exit.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_menu_screen.h"
#include "review/plot_screen.h"
#include "review/records_screen.h"
#include "store/options_file.h"
#include "tests/app/app_harness.h"

namespace corvantis::testing {
namespace {

using platform::headless::HeadlessDialog;

TEST(RecordsVisit, PlotTwoRunsThenDeleteOneAndTheFileKeepsTheRest) {
  AppHarness app;
  RunRecords records;
  FixHistory history;
  for (int i = 0; i < 5; ++i) history.recordFix(0.0, 0.0001 * i * i, 0.0, 45319000u + 1000u * static_cast<uint32_t>(i));
  const RecordKey key{0, 60};
  for (uint32_t t : {6843u, 6521u, 6709u}) records.addRun(key, t, 1796479620u, history);
  app.files.files[AppHarness::kOptionsPath] = encodeOptions(Settings{}, records, LapDefinitions{});

  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kRecordsButton); });
  // Screens take their scripts in the order they open: records, plot, menu.
  app.then([&app](HeadlessDialog& d) {
    d.userToggleRow(RecordsScreen::kTimesList, 0);
    d.userToggleRow(RecordsScreen::kTimesList, 2);
    d.userClick(RecordsScreen::kPlotButton);
    // The selection stays after the plot: delete the two runs just plotted.
    app.windows.pushMenuAnswer(RecordsScreen::kDeleteCommand);
    d.userHold(RecordsScreen::kTimesList, {10, 10});
    EXPECT_EQ(d.itemCount(RecordsScreen::kTimesList), 3);
    d.userClick(RecordsScreen::kMainMenu);
  });
  app.then([](HeadlessDialog& plot) {
    for (int kind : {0, 1, 2}) {
      plot.userSelect(PlotScreen::kQuantityList, kind);
      const auto lines = plot.recording().lines();
      EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const auto& l) { return l.pen == platform::Rgb{0, 255, 0}; }))
          << "kind " << kind;
    }
    plot.userClick(PlotScreen::kOk);
  });
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  app.run();
  EXPECT_EQ(app.screensShown(), (std::vector<int>{kMainMenu, 136, kRecords, kMainMenu}));

  Settings settings;
  RunRecords saved;
  LapDefinitions laps;
  ASSERT_TRUE(decodeOptions(app.files.files[AppHarness::kOptionsPath], settings, saved, laps).ok());
  ASSERT_EQ(saved.sets().size(), 1u);
  EXPECT_EQ(saved.sets()[0].filledCount(), 1);
  EXPECT_EQ(saved.sets()[0].runs[0].timeMs, 6521u);
  EXPECT_EQ(saved.sets()[0].runs[0].traceCount, 5);
}

}  // namespace
}  // namespace corvantis::testing
