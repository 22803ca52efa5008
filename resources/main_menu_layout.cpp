// Main menu: six buttons naming the next screen and the live GPS status line.
#include "resources/layout_table.h"
#include "resources/layouts.h"

namespace corvantis::resources::detail {

using K = platform::ControlKind;
using F = platform::FontRole;

const LayoutPair& mainMenuForms() {
  static const LayoutPair forms = [] {
    LayoutPair pair = makeLayouts(
      kMainMenuPortrait, kMainMenuLandscape, 107,
      {
          control(1001, K::Static, "Connecting to GPS device ...", {3, 3, 131, 11}, {4, 3, 131, 8}).font(F::Small),
          control(1012, K::MultiLineButton, "Acceleration Timings", {2, 16, 65, 29}, {3, 13, 58, 29})
              .font(F::Medium),
          control(1013, K::MultiLineButton, "Distance Timings", {71, 16, 65, 29}, {63, 13, 58, 29})
              .font(F::Medium),
          // Keeps the form's own font: "Lap Timings" is the one button without the bold face.
          control(1014, K::MultiLineButton, "Lap Timings", {2, 47, 65, 29}, {123, 13, 58, 29}),
          control(1004, K::Button, "Configuration", {2, 92, 65, 29}, {3, 75, 88, 29}).font(F::Medium),
          control(1006, K::Button, "Records", {71, 92, 65, 29}, {123, 44, 58, 29}).font(F::Medium),
          control(1005, K::Button, "Exit", {2, 123, 134, 29}, {93, 75, 88, 29}).font(F::Medium),
      });
    // Escape leaves no screen here: the program ends by its Exit button only.
    pair.portrait.escapeCancels = false;
    pair.landscape.escapeCancels = false;
    return pair;
  }();
  return forms;
}

}  // namespace corvantis::resources::detail
