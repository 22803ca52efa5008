#pragma once
// Every screen's form in its two layouts, and the popup menus, as data. The
// window layers build the screens from these tables; the screens address the
// controls by the ids given here.
#include <vector>

#include "platform/dialog_layout.h"

namespace corvantis::resources {

// Form resource ids: portrait and landscape of each screen.
inline constexpr int kMainMenuPortrait = 132;
inline constexpr int kMainMenuLandscape = 149;
inline constexpr int kAccelerationPortrait = 102;
inline constexpr int kAccelerationLandscape = 151;
inline constexpr int kDistancePortrait = 137;
inline constexpr int kDistanceLandscape = 153;
inline constexpr int kLapTimingPortrait = 141;
inline constexpr int kLapTimingLandscape = 154;
inline constexpr int kLapEditorPortrait = 142;
inline constexpr int kLapEditorLandscape = 155;
inline constexpr int kRecordsPortrait = 134;
inline constexpr int kRecordsLandscape = 160;
inline constexpr int kPlotPortrait = 136;
inline constexpr int kPlotLandscape = 158;
inline constexpr int kConfigurationPortrait = 129;
inline constexpr int kConfigurationLandscape = 156;

// Popup menu resources and their commands.
inline constexpr int kRecordsMenu = 135;    // "Menu": Delete, Time Slip
inline constexpr int kLapEditorMenu = 145;  // "Place": start/finish and split lines
inline constexpr int kLapConfigMenu = 146;  // "Lap Config": Delete, Configure
inline constexpr int kCommandDelete = 32771;
inline constexpr int kCommandSetStartFinish = 32778;
inline constexpr int kCommandSetSplit = 32779;
inline constexpr int kCommandRemoveSplit = 32780;
inline constexpr int kCommandConfigure = 32781;
inline constexpr int kCommandTimeSlip = 32782;

inline constexpr const char* kTitle = "Corvantis v1.0";

enum class ScreenId { MainMenu, Acceleration, Distance, LapTiming, LapEditor, Records, Plot, Configuration };

// All eight screens, in the order above.
const std::vector<ScreenId>& allScreens();

const platform::DialogLayout& layoutFor(ScreenId screen, bool landscape);
// By form resource id; throws std::out_of_range for an id that is no form.
const platform::DialogLayout& layout(int resourceId);
// By menu resource id (135, 145, 146); throws std::out_of_range otherwise.
const platform::MenuSpec& menu(int resourceId);

const platform::DialogLayout& mainMenuLayout(bool landscape);
const platform::DialogLayout& accelerationLayout(bool landscape);
const platform::DialogLayout& distanceLayout(bool landscape);
const platform::DialogLayout& lapTimingLayout(bool landscape);
const platform::DialogLayout& lapEditorLayout(bool landscape);
const platform::DialogLayout& recordsLayout(bool landscape);
const platform::DialogLayout& plotLayout(bool landscape);
const platform::DialogLayout& configurationLayout(bool landscape);

// The control of a layout by id, nullptr when the form has none.
const platform::ControlSpec* findControl(const platform::DialogLayout& layout, int id);

}  // namespace corvantis::resources
