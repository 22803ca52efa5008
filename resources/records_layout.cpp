// Records: the category list, the times of the chosen category (several
// may be selected; held, it offers "Delete" and "Time Slip"), Plot Run and
// Main Menu.
#include "resources/layout_table.h"
#include "resources/layouts.h"

namespace corvantis::resources::detail {

using K = platform::ControlKind;
using F = platform::FontRole;

const LayoutPair& recordsForms() {
  static const LayoutPair forms = makeLayouts(
      kRecordsPortrait, kRecordsLandscape, 108,
      {
          control(1014, K::DropDownList, "", {1, 1, 135, 103}, {1, 2, 134, 103}),
          control(1015, K::MultiSelectList, "", {1, 18, 135, 105}, {1, 18, 134, 87}).contextMenu(kRecordsMenu),
          control(2, K::Button, "Plot Run", {71, 128, 65, 25}, {137, 38, 45, 32}).font(F::Medium),
          control(1, K::Button, "Main Menu", {1, 128, 65, 25}, {137, 72, 45, 32}).font(F::Medium),
      });
  return forms;
}

}  // namespace corvantis::resources::detail
