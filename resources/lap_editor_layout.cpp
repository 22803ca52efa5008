// Lap definition editor: the lap's name, zoom buttons, OK and Discard; the
// map is drawn on the surface and its tap-and-hold menu is "Place" (145).
#include "resources/layout_table.h"
#include "resources/layouts.h"

namespace corvantis::resources::detail {

using K = platform::ControlKind;
using F = platform::FontRole;

const LayoutPair& lapEditorForms() {
  static const LayoutPair forms = makeLayouts(
      kLapEditorPortrait, kLapEditorLandscape, 108,
      {
          label("Lap Name:", {2, 3, 35, 8}, {1, 2, 35, 8}),
          // The screen limits the name to 31 characters when it opens.
          control(1026, K::Edit, "", {2, 14, 134, 14}, {37, 1, 98, 14}),
          control(1028, K::MultiLineButton, "Zoom In", {109, 36, 27, 40}, {111, 38, 24, 32}),
          control(1029, K::MultiLineButton, "Zoom Out", {109, 80, 27, 40}, {111, 72, 24, 32}),
          control(1, K::Button, "OK", {2, 127, 65, 25}, {137, 72, 45, 32}).font(F::Medium),
          control(2, K::Button, "Discard", {71, 127, 65, 25}, {137, 38, 45, 32}).font(F::Medium),
      });
  return forms;
}

}  // namespace corvantis::resources::detail
