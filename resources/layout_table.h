#pragma once
// Building a screen's two forms from one table: each row is one control
// with its portrait and landscape rectangle, so that the two layouts can
// never disagree on ids, kinds, captions or fonts.
#include <string>
#include <vector>

#include "platform/dialog_layout.h"

namespace corvantis::resources::detail {

struct Row {
  platform::ControlSpec entry;  // its rect is the portrait one
  platform::Rect landscape;

  Row& font(platform::FontRole role) {
    entry.font = role;
    return *this;
  }
  Row& items(std::vector<std::string> list) {
    entry.items = std::move(list);
    return *this;
  }
  Row& defaultButton() {
    entry.defaultButton = true;
    return *this;
  }
  Row& contextMenu(int menuResource) {
    entry.contextMenu = menuResource;
    return *this;
  }
};

Row control(int id, platform::ControlKind kind, std::string caption, platform::Rect portrait,
            platform::Rect landscape);
// A label the code never addresses (id -1).
Row label(std::string caption, platform::Rect portrait, platform::Rect landscape);
// A group box frame (id -1).
Row groupBox(std::string caption, platform::Rect portrait, platform::Rect landscape);

struct LayoutPair {
  platform::DialogLayout portrait;
  platform::DialogLayout landscape;
};

// Portrait forms measure 139 x 156 dialog units; landscape forms 184 wide
// and landscapeHeightDu high (107 or 108, depending on the screen).
LayoutPair makeLayouts(int portraitId, int landscapeId, int landscapeHeightDu, const std::vector<Row>& rows);

// Each screen's table (one file per screen).
const LayoutPair& mainMenuForms();
const LayoutPair& accelerationForms();
const LayoutPair& distanceForms();
const LayoutPair& lapTimingForms();
const LayoutPair& lapEditorForms();
const LayoutPair& recordsForms();
const LayoutPair& plotForms();
const LayoutPair& configurationForms();

}  // namespace corvantis::resources::detail
