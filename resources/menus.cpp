// The three popup menus: the records list's, the lap editor map's and the
// configuration screen's lap list's. A command id of 0 is a separator.
#include <stdexcept>
#include <string>

#include "resources/layouts.h"

namespace corvantis::resources {

const platform::MenuSpec& menu(int resourceId) {
  static const platform::MenuSpec records{
      kRecordsMenu, "Menu", {{kCommandDelete, "Delete"}, {kCommandTimeSlip, "Time Slip"}}};
  static const platform::MenuSpec place{kLapEditorMenu,
                                        "Place",
                                        {{kCommandSetStartFinish, "Set Start/Finish Line"},
                                         {kCommandSetSplit, "Set Split Time"},
                                         {kCommandRemoveSplit, "Remove Split Time"}}};
  static const platform::MenuSpec lapConfig{
      kLapConfigMenu, "Lap Config", {{kCommandDelete, "Delete"}, {0, ""}, {kCommandConfigure, "Configure"}}};
  switch (resourceId) {
    case kRecordsMenu: return records;
    case kLapEditorMenu: return place;
    case kLapConfigMenu: return lapConfig;
    default: break;
  }
  throw std::out_of_range("no menu with resource id " + std::to_string(resourceId));
}

}  // namespace corvantis::resources
