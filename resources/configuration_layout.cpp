// Configuration: port, rate and units lists, and the lap definitions list
// whose tap-and-hold menu is "Lap Config" (146).
#include "resources/layout_table.h"
#include "resources/layouts.h"

namespace corvantis::resources::detail {

using K = platform::ControlKind;

const LayoutPair& configurationForms() {
  static const LayoutPair forms = makeLayouts(
      kConfigurationPortrait, kConfigurationLandscape, 108,
      {
          control(1000, K::DropDownList, "", {2, 7, 134, 114}, {2, 3, 133, 114})
              .items({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}),
          // In the order of the serial link's rate table: the position is the stored rate index.
          control(1001, K::DropDownList, "", {2, 23, 134, 114}, {2, 19, 133, 114})
              .items({"4800", "9600", "14400", "19200", "38400", "57600", "115200", "128000", "256000"}),
          label("Measurements:", {2, 41, 50, 8}, {2, 37, 50, 8}),
          control(1017, K::DropDownList, "", {53, 39, 83, 30}, {53, 35, 82, 30})
              .items({"Imperial  ( mph )", "Metric  ( kph )"}),
          label("Lap Configuration:", {2, 58, 61, 8}, {2, 51, 61, 8}),
          control(1038, K::List, "", {2, 71, 134, 49}, {2, 62, 132, 41}).contextMenu(kLapConfigMenu),
          control(1, K::Button, "OK", {2, 124, 65, 25}, {137, 72, 45, 32}).defaultButton(),
          control(2, K::Button, "Cancel", {71, 124, 65, 25}, {137, 38, 45, 32}),
      });
  return forms;
}

}  // namespace corvantis::resources::detail
