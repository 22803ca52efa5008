#pragma once
// The records screen: one category per stored run definition and one per
// lap track; for the chosen category up to ten stored times with their
// dates, the best marked, and the average. Several times can be selected,
// then deleted from the list's tap-and-hold menu or plotted; the same menu
// shows the time slip of one selected time, made from its trace.
#include <cstdint>
#include <vector>

#include "resources/layouts.h"
#include "ui/screen.h"

namespace corvantis {

class RecordsScreen : public Screen {
 public:
  static constexpr int kCategoryCombo = 1014;
  static constexpr int kTimesList = 1015;
  static constexpr int kPlotButton = 2;
  static constexpr int kMainMenu = 1;
  static constexpr int kDeleteCommand = resources::kCommandDelete;
  static constexpr int kTimeSlipCommand = resources::kCommandTimeSlip;
  // Listed times per category; the list adds a spacer and the average row.
  static constexpr int kMaxRows = 10;
  // Pump ticks skipped when the plot opens (2 s).
  static constexpr int32_t kPlotHoldOffTicks = 20;

  explicit RecordsScreen(AppContext& context);

  void onCommand(int controlId, platform::Notification what) override;
  void onMenuCommand(int commandId) override;
  void onHold(int controlId, platform::Point p) override;

  // Index of the chosen category: record sets first, in store order, then
  // lap tracks. Reset to 0 at every open.
  int currentCategory() const { return currentCategory_; }

 protected:
  void openScreen() override;

 private:
  // The lap track a category stands for, or -1 for a record set.
  int lapIndexOf(int category) const;
  int recordSetCount() const;
  void fillCategories();
  void fillTimes();
  void updatePlotButton();
  void deleteSelected();
  void plotSelected();
  void showTimeSlip();
  // Time rows (the list less its spacer and average row) that are selected.
  std::vector<int> selectedTimeRows() const;

  int currentCategory_ = 0;
};

}  // namespace corvantis
