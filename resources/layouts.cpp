#include "resources/layouts.h"

#include <stdexcept>
#include <string>

#include "resources/layout_table.h"

namespace corvantis::resources {

namespace {

const detail::LayoutPair& forms(ScreenId screen) {
  switch (screen) {
    case ScreenId::MainMenu: return detail::mainMenuForms();
    case ScreenId::Acceleration: return detail::accelerationForms();
    case ScreenId::Distance: return detail::distanceForms();
    case ScreenId::LapTiming: return detail::lapTimingForms();
    case ScreenId::LapEditor: return detail::lapEditorForms();
    case ScreenId::Records: return detail::recordsForms();
    case ScreenId::Plot: return detail::plotForms();
    case ScreenId::Configuration: return detail::configurationForms();
  }
  throw std::out_of_range("unknown screen");
}

}  // namespace

const std::vector<ScreenId>& allScreens() {
  static const std::vector<ScreenId> screens = {ScreenId::MainMenu,  ScreenId::Acceleration, ScreenId::Distance,
                                                ScreenId::LapTiming, ScreenId::LapEditor,    ScreenId::Records,
                                                ScreenId::Plot,      ScreenId::Configuration};
  return screens;
}

const platform::DialogLayout& layoutFor(ScreenId screen, bool landscape) {
  const detail::LayoutPair& pair = forms(screen);
  return landscape ? pair.landscape : pair.portrait;
}

const platform::DialogLayout& layout(int resourceId) {
  for (ScreenId screen : allScreens()) {
    for (bool landscape : {false, true}) {
      const platform::DialogLayout& form = layoutFor(screen, landscape);
      if (form.resourceId == resourceId) return form;
    }
  }
  throw std::out_of_range("no form with resource id " + std::to_string(resourceId));
}

const platform::DialogLayout& mainMenuLayout(bool landscape) { return layoutFor(ScreenId::MainMenu, landscape); }
const platform::DialogLayout& accelerationLayout(bool landscape) {
  return layoutFor(ScreenId::Acceleration, landscape);
}
const platform::DialogLayout& distanceLayout(bool landscape) { return layoutFor(ScreenId::Distance, landscape); }
const platform::DialogLayout& lapTimingLayout(bool landscape) { return layoutFor(ScreenId::LapTiming, landscape); }
const platform::DialogLayout& lapEditorLayout(bool landscape) { return layoutFor(ScreenId::LapEditor, landscape); }
const platform::DialogLayout& recordsLayout(bool landscape) { return layoutFor(ScreenId::Records, landscape); }
const platform::DialogLayout& plotLayout(bool landscape) { return layoutFor(ScreenId::Plot, landscape); }
const platform::DialogLayout& configurationLayout(bool landscape) {
  return layoutFor(ScreenId::Configuration, landscape);
}

const platform::ControlSpec* findControl(const platform::DialogLayout& layout, int id) {
  if (id < 0) return nullptr;
  for (const platform::ControlSpec& c : layout.controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

}  // namespace corvantis::resources
