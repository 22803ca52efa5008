// Acceleration timing: status and speed lines, the "Time My" from/to speed
// combos, last/best/average times and the run buttons.
#include <string>

#include "resources/layout_table.h"
#include "resources/layouts.h"

namespace corvantis::resources::detail {

namespace {

using K = platform::ControlKind;
using F = platform::FontRole;

// "from", "from + 10", ..., "to": the speeds offered, in the unit shown.
std::vector<std::string> speeds(int from, int to) {
  std::vector<std::string> out;
  for (int v = from; v <= to; v += 10) out.push_back(std::to_string(v));
  return out;
}

}  // namespace

const LayoutPair& accelerationForms() {
  static const LayoutPair forms = makeLayouts(
      kAccelerationPortrait, kAccelerationLandscape, 107,
      {
          control(1001, K::Static, "Connecting to GPS device ...", {3, 3, 131, 8}, {3, 3, 127, 11}).font(F::Small),
          // The screen draws the speed line in red.
          control(1002, K::Static, "", {3, 41, 131, 17}, {3, 13, 127, 17}).font(F::Large),
          control(1004, K::DropDownCombo, "", {39, 25, 34, 88}, {39, 86, 34, 88}).items(speeds(0, 240)),
          control(1005, K::DropDownCombo, "", {86, 25, 34, 88}, {86, 86, 34, 88}).items(speeds(30, 300)),
          control(1006, K::Static, "", {42, 60, 50, 11}, {42, 33, 50, 11}).font(F::Medium),
          control(1007, K::Static, "", {42, 74, 50, 11}, {42, 47, 50, 11}).font(F::Medium),
          control(1010, K::Static, "", {42, 88, 50, 11}, {42, 61, 50, 11}).font(F::Medium),
          control(1003, K::Button, "Forget Last Run", {95, 60, 39, 44}, {137, 38, 45, 32}),
          control(1008, K::Button, "Manual Run Start", {58, 106, 76, 27}, {137, 4, 45, 32}),
          control(1, K::Button, "Main Menu", {3, 106, 50, 27}, {137, 72, 45, 32}),
          control(1009, K::Static, "Last Time:", {3, 61, 34, 11}, {3, 34, 34, 11}),
          label("Best Time:", {3, 75, 35, 11}, {3, 48, 35, 11}),
          label("Avg Time:", {4, 89, 35, 11}, {4, 62, 35, 11}),
          label("Time My", {8, 27, 29, 8}, {8, 88, 29, 8}),
          label("..", {76, 27, 10, 8}, {76, 88, 10, 8}),
          groupBox("Run Params", {3, 15, 131, 26}, {3, 76, 131, 28}),
      });
  return forms;
}

}  // namespace corvantis::resources::detail
