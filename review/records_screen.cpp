#include "review/records_screen.h"

#include <algorithm>
#include <utility>

#include "common/time_text.h"
#include "common/units.h"
#include "review/plot_screen.h"
#include "review/record_texts.h"
#include "slip/slip_text.h"
#include "slip/stored_run_slip.h"
#include "store/theoretical_best.h"
#include "ui/tap_hold_list.h"

namespace corvantis {

namespace {

constexpr const char* kOneTimeForSlip = "Select one time for its Time Slip.";
constexpr const char* kNoSlipOfLaps = "A lap time has no Time Slip.";

// Removes slots[index]: the later ones move up one place, keeping their
// order, and the freed last slot is empty. The removed run's trace goes.
template <size_t N>
void removeSlot(std::array<RunRecord, N>& slots, int index, int used) {
  for (int i = index; i + 1 < used; ++i) slots[static_cast<size_t>(i)] = std::move(slots[static_cast<size_t>(i + 1)]);
  slots[static_cast<size_t>(used - 1)] = RunRecord{};
}

// Laps in use of a track, held to what the track can store whatever a file
// said.
int lapsInUse(const LapDefinition& track) {
  return std::clamp(track.lapCount, 0, LapDefinition::kMaxLaps);
}

}  // namespace

RecordsScreen::RecordsScreen(AppContext& context)
    : Screen(context, resources::layout(resources::kRecordsPortrait),
             resources::layout(resources::kRecordsLandscape)) {}

int RecordsScreen::recordSetCount() const { return static_cast<int>(ctx_.records.sets().size()); }

int RecordsScreen::lapIndexOf(int category) const {
  const int lap = category - recordSetCount();
  return lap >= 0 && lap < ctx_.lapDefinitions.count() ? lap : -1;
}

void RecordsScreen::openScreen() {
  dialog_->setEnabled(kPlotButton, false);
  currentCategory_ = 0;
  fillCategories();
  dialog_->setSelection(kCategoryCombo, dialog_->itemCount(kCategoryCombo) > 0 ? currentCategory_ : -1);
  fillTimes();
}

void RecordsScreen::fillCategories() {
  dialog_->clearItems(kCategoryCombo);
  for (const RecordSet& set : ctx_.records.sets()) {
    dialog_->addItem(kCategoryCombo, recordSetCategoryText(keyFromValue(set.key), ctx_.settings.units));
  }
  for (const LapDefinition& track : ctx_.lapDefinitions.definitions()) {
    dialog_->addItem(kCategoryCombo, "Lap Times: " + track.name);
  }
}

void RecordsScreen::fillTimes() {
  currentCategory_ = dialog_->selection(kCategoryCombo);
  dialog_->clearItems(kTimesList);
  if (currentCategory_ >= 0) {
    const int lap = lapIndexOf(currentCategory_);
    uint32_t best = 0;
    int32_t average = 0;
    uint32_t theoreticalBest = 0;
    const RunRecord* runs = nullptr;
    int count = 0;
    if (lap >= 0) {
      const LapDefinition& track = ctx_.lapDefinitions.at(lap);
      best = ctx_.lapDefinitions.bestLapTime(lap);
      average = ctx_.lapDefinitions.averageLapTime(lap);
      // Only read: this screen sets no file aside and removes none.
      const ReferenceLapStore::Loaded kept = ctx_.referenceLaps.peek(track);
      theoreticalBest = trackTheoreticalBest(
          track, kept.status == ReferenceLapStore::Loaded::Status::Kept ? &kept.kept : nullptr, best);
      runs = track.laps.data();
      count = std::min(lapsInUse(track), kMaxRows);
    } else if (currentCategory_ < recordSetCount()) {
      const RecordSet& set = ctx_.records.sets()[static_cast<size_t>(currentCategory_)];
      const RecordKey key = keyFromValue(set.key);
      best = ctx_.records.bestTime(key);
      average = ctx_.records.averageTime(key);
      runs = set.runs.data();
      count = std::min(set.filledCount(), kMaxRows);
    }
    bool bestMarked = false;
    for (int row = 0; row < count; ++row) {
      const RunRecord& run = runs[row];
      const bool isBest = !bestMarked && run.timeMs == best;
      bestMarked = bestMarked || isBest;
      dialog_->addItem(kTimesList, timeRowText(run.timeMs, run.stamp, isBest));
    }
    dialog_->addItem(kTimesList, " ");
    // A track's theoretical best shares the average's row, so that the time
    // rows stay every row but the last two.
    dialog_->addItem(kTimesList, theoreticalBest != 0 ? averageRowText(average) + "  " +
                                                            theoreticalBestShortText(theoreticalBest)
                                                      : averageRowText(average));
  }
  updatePlotButton();
}

std::vector<int> RecordsScreen::selectedTimeRows() const {
  std::vector<int> rows;
  const int timeRows = dialog_->itemCount(kTimesList) - 2;
  for (int row = 0; row < timeRows; ++row) {
    if (dialog_->isSelected(kTimesList, row)) rows.push_back(row);
  }
  return rows;
}

void RecordsScreen::updatePlotButton() { dialog_->setEnabled(kPlotButton, !selectedTimeRows().empty()); }

void RecordsScreen::onCommand(int controlId, platform::Notification what) {
  if (dialog_ == nullptr) return;
  using platform::Notification;
  if (controlId == kCategoryCombo && what == Notification::SelectionChanged) {
    fillTimes();
  } else if (controlId == kTimesList && what == Notification::SelectionChanged) {
    updatePlotButton();
  } else if (controlId == kPlotButton && what == Notification::Clicked) {
    plotSelected();
  } else if (controlId == kMainMenu && what == Notification::Clicked) {
    dialog_->end(kMainMenu);
  }
}

void RecordsScreen::onHold(int controlId, platform::Point p) {
  if (dialog_ != nullptr) handleListHold(layout(), *dialog_, *this, controlId, p);
}

void RecordsScreen::onMenuCommand(int commandId) {
  if (dialog_ == nullptr) return;
  if (commandId == kDeleteCommand) deleteSelected();
  if (commandId == kTimeSlipCommand) showTimeSlip();
}

// The slip of the one selected time, from its trace, in a message box; a
// message says why when there is none. Nothing when no time is selected.
void RecordsScreen::showTimeSlip() {
  const std::vector<int> rows = selectedTimeRows();
  if (rows.empty() || currentCategory_ < 0) return;
  auto tell = [this](const std::string& text) {
    ctx_.windows.messageBoxes().show(text, platform::MessageIcon::Information, platform::MessageButtons::Ok);
  };
  if (rows.size() > 1) {
    tell(kOneTimeForSlip);
    return;
  }
  if (lapIndexOf(currentCategory_) >= 0 || currentCategory_ >= recordSetCount()) {
    tell(kNoSlipOfLaps);
    return;
  }
  const RecordSet& set = ctx_.records.sets()[static_cast<size_t>(currentCategory_)];
  const RunRecord& run = set.runs[static_cast<size_t>(rows.front())];
  slip::NoSlip why = slip::NoSlip::NoLaunch;
  const std::optional<slip::TimeSlip> slip = slip::slipOfStoredRun(keyFromValue(set.key), run, {}, &why);
  if (!slip) {
    tell(std::string("No time slip: ") + slip::noSlipText(why) + ".");
    return;
  }
  tell("Time Slip of " + formatRunTime(run.timeMs) + ",\n" +
       slip::screenSlipText(*slip, ctx_.settings.units == units::kMetric, !ctx_.landscape));
}

// Deletes at once, without a question: the menu item itself is the
// confirmation, as it always was on this screen.
void RecordsScreen::deleteSelected() {
  const std::vector<int> rows = selectedTimeRows();
  if (rows.empty() || currentCategory_ < 0) return;
  const int lap = lapIndexOf(currentCategory_);
  if (lap >= 0) {
    LapDefinition& track = ctx_.lapDefinitions.at(lap);
    int removed = 0;
    for (const int row : rows) {
      // Each removal moves the later laps up: the row's lap is now that
      // many places earlier.
      const int used = lapsInUse(track);
      const int index = row - removed;
      if (index >= used) break;
      removeSlot(track.laps, index, used);
      track.lapCount = used - 1;
      ++removed;
    }
    if (removed > 0) ctx_.lapDefinitions.noteChanged();
    // A track without laps keeps its category: the track itself stays.
  } else if (currentCategory_ < recordSetCount()) {
    RecordSet& set = ctx_.records.sets()[static_cast<size_t>(currentCategory_)];
    int removed = 0;
    for (const int row : rows) {
      removeSlot(set.runs, row - removed, RecordSet::kSlots);
      ++removed;
    }
    if (set.filledCount() == 0) {
      // Nothing left of the definition: the set goes from the store (no run
      // is stored to do it) and the list shows the first category.
      ctx_.records.removeRecordSet(static_cast<size_t>(currentCategory_));
      dialog_->removeItem(kCategoryCombo, currentCategory_);
      currentCategory_ = 0;
      dialog_->setSelection(kCategoryCombo, dialog_->itemCount(kCategoryCombo) > 0 ? 0 : -1);
    } else if (removed > 0) {
      ctx_.records.noteChanged();
    }
  }
  fillTimes();
}

void RecordsScreen::plotSelected() {
  const std::vector<int> rows = selectedTimeRows();
  if (rows.empty() || currentCategory_ < 0) return;
  // The plot takes a while to open and close; the pump decodes nothing
  // meanwhile, and the tick after the hold-off takes what arrived.
  ctx_.gps.holdOffTicks = kPlotHoldOffTicks;
  std::vector<const RunRecord*> runs;
  const int lap = lapIndexOf(currentCategory_);
  int32_t key = 0;
  std::string lapName;
  if (lap >= 0) {
    const LapDefinition& track = ctx_.lapDefinitions.at(lap);
    lapName = track.name;
    for (const int row : rows) runs.push_back(&track.laps[static_cast<size_t>(row)]);
  } else if (currentCategory_ < recordSetCount()) {
    const RecordSet& set = ctx_.records.sets()[static_cast<size_t>(currentCategory_)];
    key = static_cast<int32_t>(set.key);
    for (const int row : rows) runs.push_back(&set.runs[static_cast<size_t>(row)]);
  } else {
    return;
  }
  PlotScreen plot(ctx_, key, lapName, std::move(runs));
  plot.showModal();
}

}  // namespace corvantis
