#pragma once
// Description of one screen form and of the popup menus, as data. The tables
// themselves live in resources/; the window layers build screens from them.
#include <string>
#include <vector>

namespace corvantis::platform {

// Rectangle in dialog units of the dialog font (x·bx/4, y·by/8 to pixels),
// or in client pixels where a function says so.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct Point {
  int x = 0;
  int y = 0;
};

struct Size {
  int width = 0;
  int height = 0;
};

enum class ControlKind {
  Static,           // static text
  Button,           // push button
  MultiLineButton,  // push button with a word-wrapped caption
  DropDownCombo,    // drop-down combo with an edit field
  DropDownList,     // drop-down list, no edit field
  List,             // list, single selection
  MultiSelectList,  // list, multiple selection (a tap toggles a row)
  Edit,             // single-line edit field
  GroupBox,
};

// Which of the shell's three fonts a control is given when the screen opens;
// Dialog means the form's own dialog font.
enum class FontRole { Dialog, Small, Medium, Large };

struct ControlSpec {
  int id = -1;  // -1 for labels and group boxes the code never addresses
  ControlKind kind = ControlKind::Static;
  std::string caption;
  Rect rect;  // dialog units; for a combo box the height of its dropped list
  FontRole font = FontRole::Dialog;
  std::vector<std::string> items;  // initial list content of combos and lists
  bool defaultButton = false;
  int contextMenu = 0;  // menu resource opened by tap-and-hold on a list, 0 for none
};

struct DialogLayout {
  int resourceId = 0;
  std::string title;  // "Corvantis v1.0"
  int widthDu = 0;
  int heightDu = 0;
  std::vector<ControlSpec> controls;
  // Escape is the generic Cancel (2) of the screen; false where Escape does
  // nothing (the main menu, which has its own Exit button).
  bool escapeCancels = true;
};

struct MenuItem {
  int commandId = 0;  // 0 for a separator
  std::string caption;
};

struct MenuSpec {
  int resourceId = 0;
  std::string title;  // the popup's title ("Menu", "Place", "Lap Config")
  std::vector<MenuItem> items;
};

}  // namespace corvantis::platform
