// Distance timing: status, speed and distance lines, the target distance
// combo (filled when the screen opens, by unit), times and buttons.
#include "resources/layout_table.h"
#include "resources/layouts.h"

namespace corvantis::resources::detail {

using K = platform::ControlKind;
using F = platform::FontRole;

const LayoutPair& distanceForms() {
  static const LayoutPair forms = makeLayouts(
      kDistancePortrait, kDistanceLandscape, 108,
      {
          control(1001, K::Static, "Connecting to GPS device ...", {3, 3, 131, 11}, {3, 3, 96, 8}).font(F::Small),
          // The screen draws the speed and distance lines in red.
          control(1002, K::Static, "", {3, 45, 131, 17}, {3, 14, 94, 17}).font(F::Large),
          control(1003, K::Static, "", {0, 62, 131, 17}, {0, 37, 116, 17}).font(F::Large),
          control(1005, K::DropDownCombo, "", {39, 26, 57, 88}, {104, 21, 50, 88}),
          control(1018, K::Static, "", {101, 28, 23, 8}, {157, 24, 22, 8}),
          control(1006, K::Static, "", {42, 82, 50, 11}, {42, 59, 50, 11}).font(F::Medium),
          control(1007, K::Static, "", {42, 96, 50, 11}, {42, 73, 50, 11}).font(F::Medium),
          control(1010, K::Static, "", {42, 110, 50, 11}, {42, 87, 50, 11}).font(F::Medium),
          control(1004, K::Button, "Forget Last Run", {95, 82, 39, 44}, {137, 38, 45, 32}),
          control(1, K::Button, "Main Menu", {1, 128, 65, 25}, {137, 72, 45, 32}).font(F::Medium),
          control(1009, K::Static, "Last Time:", {3, 83, 34, 11}, {3, 60, 34, 11}),
          label("Best Time:", {3, 97, 35, 11}, {3, 74, 35, 11}),
          label("Avg Time:", {4, 111, 35, 11}, {4, 88, 35, 11}),
          label("Time My", {8, 28, 29, 8}, {106, 10, 29, 8}),
          groupBox("Run Params", {3, 16, 131, 26}, {102, 0, 81, 37}),
      });
  return forms;
}

}  // namespace corvantis::resources::detail
