// Run plot: header and time lines, the quantity list and OK; the plot itself
// is drawn on the surface.
#include "resources/layout_table.h"
#include "resources/layouts.h"

namespace corvantis::resources::detail {

using K = platform::ControlKind;
using F = platform::FontRole;

const LayoutPair& plotForms() {
  static const LayoutPair forms = [] {
    LayoutPair pair = makeLayouts(
        kPlotPortrait, kPlotLandscape, 108,
        {
            control(1016, K::Static, "", {67, 1, 70, 8}, {62, 0, 54, 8}).font(F::Small),
            control(1017, K::Static, "", {67, 130, 70, 8}, {123, 0, 60, 8}).font(F::Small),
            control(1019, K::DropDownList, "", {67, 140, 70, 48}, {133, 11, 50, 48})
                .items({"Speed", "Distance", "Acceleration"}),
            control(1, K::Button, "OK", {1, 128, 65, 25}, {138, 72, 45, 32}),
        });
    // The landscape list is narrower and offers the same three in short.
    for (platform::ControlSpec& c : pair.landscape.controls) {
      if (c.id == 1019) c.items = {"Speed", "Dist.", "Acc."};
    }
    return pair;
  }();
  return forms;
}

}  // namespace corvantis::resources::detail
