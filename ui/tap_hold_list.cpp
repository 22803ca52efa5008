#include "ui/tap_hold_list.h"

#include "resources/layouts.h"

namespace corvantis {
namespace {

void selectHeldRow(const platform::ControlSpec& list, platform::Dialog& dialog, platform::DialogHandler& owner,
                   platform::Point p) {
  const int row = dialog.itemAt(list.id, p);
  if (row < 0 || dialog.isSelected(list.id, row)) return;
  if (list.kind == platform::ControlKind::MultiSelectList) {
    for (int other = 0, rows = dialog.itemCount(list.id); other < rows; ++other) {
      if (dialog.isSelected(list.id, other)) dialog.setSelected(list.id, other, false);
    }
    dialog.setSelected(list.id, row, true);
    dialog.setSelection(list.id, row);  // the focus row
  } else {
    dialog.setSelection(list.id, row);
  }
  owner.onCommand(list.id, platform::Notification::SelectionChanged);
}

}  // namespace

bool handleListHold(const platform::DialogLayout& layout, platform::Dialog& dialog,
                    platform::DialogHandler& owner, int listId, platform::Point p) {
  const platform::ControlSpec* list = nullptr;
  for (const auto& control : layout.controls) {
    if (control.id == listId) list = &control;
  }
  if (list == nullptr || list->contextMenu == 0) return false;
  selectHeldRow(*list, dialog, owner, p);
  if (list->kind == platform::ControlKind::MultiSelectList && dialog.focusedItem(listId) < 0) {
    bool anySelected = false;
    for (int row = 0, rows = dialog.itemCount(listId); row < rows && !anySelected; ++row) {
      anySelected = dialog.isSelected(listId, row);
    }
    if (!anySelected) return true;
  }
  const int command = dialog.popupMenu(resources::menu(list->contextMenu), listId, p, {});
  if (command != 0) owner.onMenuCommand(command);
  return true;
}

}  // namespace corvantis
