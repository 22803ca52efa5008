// The forms and menus as the screens and window layers rely on them: every
// screen in both layouts, checked against the ids, captions, kinds, fonts,
// rectangles and list contents each screen is built with.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "resources/layouts.h"

namespace corvantis::resources {
namespace {

using platform::ControlKind;
using platform::ControlSpec;
using platform::DialogLayout;
using platform::FontRole;
using platform::Rect;

struct ScreenExpectation {
  ScreenId screen;
  int portraitId;
  int landscapeId;
  int landscapeHeightDu;
  std::vector<int> ids;                  // every addressable control, no other
  std::map<int, FontRole> fonts;         // every control given a shell font
  std::vector<std::string> labels;       // captions of the unnamed statics and frames
};

const std::vector<ScreenExpectation>& screens() {
  static const std::vector<ScreenExpectation> all = {
      {ScreenId::MainMenu, 132, 149, 107,
       {1001, 1012, 1013, 1014, 1004, 1006, 1005},
       {{1001, FontRole::Small}, {1012, FontRole::Medium}, {1013, FontRole::Medium},
        {1004, FontRole::Medium}, {1006, FontRole::Medium}, {1005, FontRole::Medium}},
       {}},
      {ScreenId::Acceleration, 102, 151, 107,
       {1001, 1002, 1004, 1005, 1006, 1007, 1010, 1003, 1008, 1, 1009},
       {{1001, FontRole::Small}, {1002, FontRole::Large}, {1006, FontRole::Medium},
        {1007, FontRole::Medium}, {1010, FontRole::Medium}},
       {"Best Time:", "Avg Time:", "Time My", "..", "Run Params"}},
      {ScreenId::Distance, 137, 153, 108,
       {1001, 1002, 1003, 1005, 1018, 1006, 1007, 1010, 1004, 1, 1009},
       {{1001, FontRole::Small}, {1002, FontRole::Large}, {1003, FontRole::Large},
        {1006, FontRole::Medium}, {1007, FontRole::Medium}, {1010, FontRole::Medium},
        {1, FontRole::Medium}},
       {"Best Time:", "Avg Time:", "Time My", "Run Params"}},
      {ScreenId::LapTiming, 141, 154, 108,
       {1001, 1031, 1006, 1007, 1033, 1034, 1035, 1036, 1037, 1025, 1023, 1032, 1},
       {{1, FontRole::Medium}, {1023, FontRole::Medium}, {1032, FontRole::Medium},
        {1031, FontRole::Medium}, {1006, FontRole::Medium}, {1007, FontRole::Medium},
        {1001, FontRole::Small}},
       {"This Time:", "Last Time:", "Best Time:", "Split Times:", "Active Lap:"}},
      {ScreenId::LapEditor, 142, 155, 108,
       {1026, 1028, 1029, 1, 2},
       {{1, FontRole::Medium}, {2, FontRole::Medium}},
       {"Lap Name:"}},
      {ScreenId::Records, 134, 160, 108,
       {1014, 1015, 2, 1},
       {{1, FontRole::Medium}, {2, FontRole::Medium}},
       {}},
      {ScreenId::Plot, 136, 158, 108,
       {1016, 1017, 1019, 1},
       {{1016, FontRole::Small}, {1017, FontRole::Small}},
       {}},
      {ScreenId::Configuration, 129, 156, 108,
       {1000, 1001, 1017, 1038, 1, 2},
       {},
       {"Measurements:", "Lap Configuration:"}},
  };
  return all;
}

std::string name(const ScreenExpectation& s, bool landscape) {
  return std::to_string(landscape ? s.landscapeId : s.portraitId);
}

TEST(Layouts, EveryScreenHasBothForms) {
  ASSERT_EQ(allScreens().size(), screens().size());
  for (const ScreenExpectation& s : screens()) {
    for (bool landscape : {false, true}) {
      SCOPED_TRACE(name(s, landscape));
      const DialogLayout& form = layoutFor(s.screen, landscape);
      EXPECT_EQ(form.resourceId, landscape ? s.landscapeId : s.portraitId);
      EXPECT_EQ(form.title, "Corvantis v1.0");
      EXPECT_EQ(form.widthDu, landscape ? 184 : 139);
      EXPECT_EQ(form.heightDu, landscape ? s.landscapeHeightDu : 156);
      EXPECT_EQ(&layout(form.resourceId), &form);
    }
  }
  EXPECT_EQ(&mainMenuLayout(true), &layout(kMainMenuLandscape));
  EXPECT_EQ(&configurationLayout(false), &layout(kConfigurationPortrait));
  EXPECT_EQ(&lapTimingLayout(true), &layout(154));
  EXPECT_THROW(layout(133), std::out_of_range);
}

TEST(Layouts, IdsAreExactlyTheNamedOnesAndUnique) {
  for (const ScreenExpectation& s : screens()) {
    for (bool landscape : {false, true}) {
      SCOPED_TRACE(name(s, landscape));
      std::vector<int> ids;
      std::vector<std::string> labels;
      for (const ControlSpec& c : layoutFor(s.screen, landscape).controls) {
        if (c.id >= 0) {
          ids.push_back(c.id);
        } else {
          EXPECT_EQ(c.id, -1);
          EXPECT_TRUE(c.kind == ControlKind::Static || c.kind == ControlKind::GroupBox);
          labels.push_back(c.caption);
        }
      }
      std::vector<int> expected = s.ids;
      std::sort(ids.begin(), ids.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(ids, expected);  // also fails on a duplicate
      std::vector<std::string> expectedLabels = s.labels;
      std::sort(labels.begin(), labels.end());
      std::sort(expectedLabels.begin(), expectedLabels.end());
      EXPECT_EQ(labels, expectedLabels);
    }
  }
}

TEST(Layouts, FontsAreTheShellFontsNamedForEachControl) {
  for (const ScreenExpectation& s : screens()) {
    for (bool landscape : {false, true}) {
      SCOPED_TRACE(name(s, landscape));
      std::map<int, FontRole> fonts;
      for (const ControlSpec& c : layoutFor(s.screen, landscape).controls) {
        if (c.font != FontRole::Dialog) fonts[c.id] = c.font;
      }
      EXPECT_EQ(fonts, s.fonts);
    }
  }
}

TEST(Layouts, BothFormsOfAScreenHoldTheSameControls) {
  for (ScreenId screen : allScreens()) {
    const DialogLayout& portrait = layoutFor(screen, false);
    const DialogLayout& landscape = layoutFor(screen, true);
    SCOPED_TRACE(portrait.resourceId);
    ASSERT_EQ(portrait.controls.size(), landscape.controls.size());
    for (size_t i = 0; i < portrait.controls.size(); ++i) {
      const ControlSpec& p = portrait.controls[i];
      const ControlSpec& l = landscape.controls[i];
      EXPECT_EQ(p.id, l.id);
      EXPECT_EQ(p.kind, l.kind);
      EXPECT_EQ(p.caption, l.caption);
      EXPECT_EQ(p.font, l.font);
      EXPECT_EQ(p.defaultButton, l.defaultButton);
      EXPECT_EQ(p.contextMenu, l.contextMenu);
      // Only the plot's quantity list is worded differently across.
      if (!(screen == ScreenId::Plot && p.id == 1019)) {
        EXPECT_EQ(p.items, l.items);
      }
    }
  }
}

// A combo's height is its dropped list, which may run past the form's edge.
TEST(Layouts, ControlsLieInsideTheirForm) {
  for (ScreenId screen : allScreens()) {
    for (bool landscape : {false, true}) {
      const DialogLayout& form = layoutFor(screen, landscape);
      for (const ControlSpec& c : form.controls) {
        SCOPED_TRACE(std::to_string(form.resourceId) + " control " + std::to_string(c.id) + " " + c.caption);
        const bool combo = c.kind == ControlKind::DropDownCombo || c.kind == ControlKind::DropDownList;
        EXPECT_GE(c.rect.x, 0);
        EXPECT_GE(c.rect.y, 0);
        EXPECT_GT(c.rect.width, 0);
        EXPECT_GT(c.rect.height, 0);
        EXPECT_LE(c.rect.x + c.rect.width, form.widthDu);
        EXPECT_LE(combo ? c.rect.y : c.rect.y + c.rect.height, form.heightDu);
      }
    }
  }
}

struct ControlExpectation {
  ScreenId screen;
  int id;
  ControlKind kind;
  std::string caption;
  Rect portrait;
  Rect landscape;
};

// One control (or more) from every screen, labels by caption.
const ControlExpectation kSamples[] = {
    {ScreenId::MainMenu, 1001, ControlKind::Static, "Connecting to GPS device ...", {3, 3, 131, 11}, {4, 3, 131, 8}},
    {ScreenId::MainMenu, 1012, ControlKind::MultiLineButton, "Acceleration Timings", {2, 16, 65, 29}, {3, 13, 58, 29}},
    {ScreenId::MainMenu, 1014, ControlKind::MultiLineButton, "Lap Timings", {2, 47, 65, 29}, {123, 13, 58, 29}},
    {ScreenId::MainMenu, 1005, ControlKind::Button, "Exit", {2, 123, 134, 29}, {93, 75, 88, 29}},
    {ScreenId::Acceleration, 1008, ControlKind::Button, "Manual Run Start", {58, 106, 76, 27}, {137, 4, 45, 32}},
    {ScreenId::Acceleration, 1005, ControlKind::DropDownCombo, "", {86, 25, 34, 88}, {86, 86, 34, 88}},
    {ScreenId::Acceleration, 1009, ControlKind::Static, "Last Time:", {3, 61, 34, 11}, {3, 34, 34, 11}},
    {ScreenId::Acceleration, -1, ControlKind::GroupBox, "Run Params", {3, 15, 131, 26}, {3, 76, 131, 28}},
    {ScreenId::Acceleration, -1, ControlKind::Static, "..", {76, 27, 10, 8}, {76, 88, 10, 8}},
    {ScreenId::Distance, 1003, ControlKind::Static, "", {0, 62, 131, 17}, {0, 37, 116, 17}},
    {ScreenId::Distance, 1005, ControlKind::DropDownCombo, "", {39, 26, 57, 88}, {104, 21, 50, 88}},
    {ScreenId::Distance, 1004, ControlKind::Button, "Forget Last Run", {95, 82, 39, 44}, {137, 38, 45, 32}},
    {ScreenId::Distance, -1, ControlKind::Static, "Time My", {8, 28, 29, 8}, {106, 10, 29, 8}},
    {ScreenId::Distance, -1, ControlKind::GroupBox, "Run Params", {3, 16, 131, 26}, {102, 0, 81, 37}},
    {ScreenId::LapTiming, 1023, ControlKind::Button, "Start Lap Define", {71, 128, 65, 24}, {137, 38, 45, 32}},
    {ScreenId::LapTiming, 1032, ControlKind::Button, "Abort Lap", {94, 3, 42, 23}, {137, 4, 45, 32}},
    {ScreenId::LapTiming, 1025, ControlKind::DropDownList, "", {42, 112, 94, 90}, {42, 95, 94, 90}},
    {ScreenId::LapTiming, 1037, ControlKind::Static, "", {87, 90, 49, 8}, {80, 83, 49, 8}},
    {ScreenId::LapTiming, -1, ControlKind::Static, "Split Times:", {79, 49, 41, 8}, {76, 42, 38, 8}},
    {ScreenId::LapEditor, 1026, ControlKind::Edit, "", {2, 14, 134, 14}, {37, 1, 98, 14}},
    {ScreenId::LapEditor, 1029, ControlKind::MultiLineButton, "Zoom Out", {109, 80, 27, 40}, {111, 72, 24, 32}},
    {ScreenId::LapEditor, 2, ControlKind::Button, "Discard", {71, 127, 65, 25}, {137, 38, 45, 32}},
    {ScreenId::Records, 1015, ControlKind::MultiSelectList, "", {1, 18, 135, 105}, {1, 18, 134, 87}},
    {ScreenId::Records, 2, ControlKind::Button, "Plot Run", {71, 128, 65, 25}, {137, 38, 45, 32}},
    {ScreenId::Records, 1014, ControlKind::DropDownList, "", {1, 1, 135, 103}, {1, 2, 134, 103}},
    {ScreenId::Plot, 1, ControlKind::Button, "OK", {1, 128, 65, 25}, {138, 72, 45, 32}},
    {ScreenId::Plot, 1019, ControlKind::DropDownList, "", {67, 140, 70, 48}, {133, 11, 50, 48}},
    {ScreenId::Plot, 1016, ControlKind::Static, "", {67, 1, 70, 8}, {62, 0, 54, 8}},
    {ScreenId::Configuration, 1038, ControlKind::List, "", {2, 71, 134, 49}, {2, 62, 132, 41}},
    {ScreenId::Configuration, 1017, ControlKind::DropDownList, "", {53, 39, 83, 30}, {53, 35, 82, 30}},
    {ScreenId::Configuration, 2, ControlKind::Button, "Cancel", {71, 124, 65, 25}, {137, 38, 45, 32}},
    {ScreenId::Configuration, -1, ControlKind::Static, "Lap Configuration:", {2, 58, 61, 8}, {2, 51, 61, 8}},
};

const ControlSpec* findSample(const DialogLayout& form, const ControlExpectation& e) {
  if (e.id >= 0) return findControl(form, e.id);
  for (const ControlSpec& c : form.controls) {
    if (c.id == -1 && c.caption == e.caption) return &c;
  }
  return nullptr;
}

TEST(Layouts, SampledControlsHaveTheirKindCaptionAndRectangles) {
  for (const ControlExpectation& e : kSamples) {
    for (bool landscape : {false, true}) {
      const DialogLayout& form = layoutFor(e.screen, landscape);
      SCOPED_TRACE(std::to_string(form.resourceId) + " control " + std::to_string(e.id) + " " + e.caption);
      const ControlSpec* c = findSample(form, e);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->kind, e.kind);
      EXPECT_EQ(c->caption, e.caption);
      const Rect& want = landscape ? e.landscape : e.portrait;
      EXPECT_EQ(c->rect.x, want.x);
      EXPECT_EQ(c->rect.y, want.y);
      EXPECT_EQ(c->rect.width, want.width);
      EXPECT_EQ(c->rect.height, want.height);
    }
  }
}

std::vector<std::string> items(ScreenId screen, bool landscape, int id) {
  const ControlSpec* c = findControl(layoutFor(screen, landscape), id);
  return c != nullptr ? c->items : std::vector<std::string>{"<missing>"};
}

TEST(Layouts, ListsCarryTheirItems) {
  for (bool landscape : {false, true}) {
    SCOPED_TRACE(landscape ? "landscape" : "portrait");
    const auto from = items(ScreenId::Acceleration, landscape, 1004);
    ASSERT_EQ(from.size(), 25u);
    EXPECT_EQ(from.front(), "0");
    EXPECT_EQ(from[6], "60");
    EXPECT_EQ(from.back(), "240");
    const auto to = items(ScreenId::Acceleration, landscape, 1005);
    ASSERT_EQ(to.size(), 28u);
    EXPECT_EQ(to.front(), "30");
    EXPECT_EQ(to[3], "60");
    EXPECT_EQ(to.back(), "300");
    // The distance list is filled by unit when the screen opens.
    EXPECT_TRUE(items(ScreenId::Distance, landscape, 1005).empty());
    EXPECT_EQ(items(ScreenId::Configuration, landscape, 1000),
              (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    EXPECT_EQ(items(ScreenId::Configuration, landscape, 1001),
              (std::vector<std::string>{"4800", "9600", "14400", "19200", "38400", "57600", "115200", "128000",
                                        "256000"}));
    EXPECT_EQ(items(ScreenId::Configuration, landscape, 1017),
              (std::vector<std::string>{"Imperial  ( mph )", "Metric  ( kph )"}));
    EXPECT_TRUE(items(ScreenId::Configuration, landscape, 1038).empty());
    EXPECT_TRUE(items(ScreenId::Records, landscape, 1014).empty());
    EXPECT_TRUE(items(ScreenId::LapTiming, landscape, 1025).empty());
  }
  EXPECT_EQ(items(ScreenId::Plot, false, 1019), (std::vector<std::string>{"Speed", "Distance", "Acceleration"}));
  EXPECT_EQ(items(ScreenId::Plot, true, 1019), (std::vector<std::string>{"Speed", "Dist.", "Acc."}));
}

TEST(Layouts, DefaultButtonsAndContextMenus) {
  std::set<std::pair<int, int>> defaults;
  std::set<std::pair<int, int>> menus;
  for (ScreenId screen : allScreens()) {
    for (bool landscape : {false, true}) {
      const DialogLayout& form = layoutFor(screen, landscape);
      for (const ControlSpec& c : form.controls) {
        if (c.defaultButton) defaults.insert({form.resourceId, c.id});
        if (c.contextMenu != 0) {
          menus.insert({form.resourceId, c.id});
          EXPECT_NO_THROW(menu(c.contextMenu));
        }
      }
    }
  }
  EXPECT_EQ(defaults, (std::set<std::pair<int, int>>{{141, 1}, {154, 1}, {129, 1}, {156, 1}}));
  EXPECT_EQ(menus, (std::set<std::pair<int, int>>{{134, 1015}, {160, 1015}, {129, 1038}, {156, 1038}}));
  EXPECT_EQ(findControl(recordsLayout(true), 1015)->contextMenu, kRecordsMenu);
  EXPECT_EQ(findControl(configurationLayout(false), 1038)->contextMenu, kLapConfigMenu);
}

TEST(Menus, HoldTheirTitlesCommandsAndCaptions) {
  struct Item {
    int command;
    std::string caption;
  };
  struct Case {
    int resourceId;
    std::string title;
    std::vector<Item> items;
  };
  const Case cases[] = {
      {135, "Menu", {{32771, "Delete"}, {32782, "Time Slip"}}},
      {145, "Place", {{32778, "Set Start/Finish Line"}, {32779, "Set Split Time"}, {32780, "Remove Split Time"}}},
      {146, "Lap Config", {{32771, "Delete"}, {0, ""}, {32781, "Configure"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resourceId);
    const platform::MenuSpec& m = menu(c.resourceId);
    EXPECT_EQ(m.resourceId, c.resourceId);
    EXPECT_EQ(m.title, c.title);
    ASSERT_EQ(m.items.size(), c.items.size());
    for (size_t i = 0; i < c.items.size(); ++i) {
      EXPECT_EQ(m.items[i].commandId, c.items[i].command);
      EXPECT_EQ(m.items[i].caption, c.items[i].caption);
    }
  }
  EXPECT_THROW(menu(132), std::out_of_range);
}

}  // namespace
}  // namespace corvantis::resources
