#include "ui/tap_hold_list.h"

#include "resources/layouts.h"

namespace corvantis {

bool handleListHold(const platform::DialogLayout& layout, platform::Dialog& dialog,
                    platform::DialogHandler& owner, int listId, platform::Point p) {
  const platform::ControlSpec* list = nullptr;
  for (const auto& control : layout.controls) {
    if (control.id == listId) list = &control;
  }
  if (list == nullptr || list->contextMenu == 0) return false;
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
