// Lap timing: running, last, best and split times, the active lap list and
// the buttons; the map is drawn on the surface, not a control.
#include "resources/layout_table.h"
#include "resources/layouts.h"

namespace corvantis::resources::detail {

using K = platform::ControlKind;
using F = platform::FontRole;

const LayoutPair& lapTimingForms() {
  static const LayoutPair forms = makeLayouts(
      kLapTimingPortrait, kLapTimingLandscape, 108,
      {
          control(1001, K::Static, "Connecting to GPS device ...", {3, 3, 81, 8}, {0, 0, 127, 8}).font(F::Small),
          control(1031, K::Static, "", {37, 13, 56, 11}, {37, 7, 91, 11}).font(F::Medium),
          control(1006, K::Static, "", {8, 37, 56, 11}, {8, 30, 56, 11}).font(F::Medium),
          control(1007, K::Static, "", {72, 35, 58, 11}, {72, 28, 58, 11}).font(F::Medium),
          // Split line k shows in 1033 + k.
          control(1033, K::Static, "", {87, 58, 49, 8}, {80, 51, 49, 8}),
          control(1034, K::Static, "", {87, 66, 49, 8}, {80, 59, 49, 8}),
          control(1035, K::Static, "", {87, 74, 49, 8}, {80, 67, 49, 8}),
          control(1036, K::Static, "", {87, 82, 49, 8}, {80, 75, 49, 8}),
          control(1037, K::Static, "", {87, 90, 49, 8}, {80, 83, 49, 8}),
          control(1025, K::DropDownList, "", {42, 112, 94, 90}, {42, 95, 94, 90}),
          control(1023, K::Button, "Start Lap Define", {71, 128, 65, 24}, {137, 38, 45, 32}).font(F::Medium),
          control(1032, K::Button, "Abort Lap", {94, 3, 42, 23}, {137, 4, 45, 32}).font(F::Medium),
          control(1, K::Button, "Main Menu", {1, 128, 65, 25}, {137, 72, 45, 32}).font(F::Medium).defaultButton(),
          label("This Time:", {2, 15, 34, 8}, {2, 9, 34, 8}),
          label("Last Time:", {2, 29, 35, 8}, {2, 23, 35, 8}),
          label("Best Time:", {66, 27, 35, 8}, {66, 21, 35, 8}),
          label("Split Times:", {79, 49, 41, 8}, {76, 42, 38, 8}),
          label("Active Lap:", {2, 115, 37, 8}, {2, 98, 37, 8}),
      });
  return forms;
}

}  // namespace corvantis::resources::detail
