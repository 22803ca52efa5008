#include "resources/layout_table.h"

#include "resources/layouts.h"

namespace corvantis::resources::detail {

Row control(int id, platform::ControlKind kind, std::string caption, platform::Rect portrait,
            platform::Rect landscape) {
  Row row;
  row.entry.id = id;
  row.entry.kind = kind;
  row.entry.caption = std::move(caption);
  row.entry.rect = portrait;
  row.landscape = landscape;
  return row;
}

Row label(std::string caption, platform::Rect portrait, platform::Rect landscape) {
  return control(-1, platform::ControlKind::Static, std::move(caption), portrait, landscape);
}

Row groupBox(std::string caption, platform::Rect portrait, platform::Rect landscape) {
  return control(-1, platform::ControlKind::GroupBox, std::move(caption), portrait, landscape);
}

LayoutPair makeLayouts(int portraitId, int landscapeId, int landscapeHeightDu, const std::vector<Row>& rows) {
  LayoutPair pair;
  pair.portrait = {portraitId, kTitle, 139, 156, {}, true};
  pair.landscape = {landscapeId, kTitle, 184, landscapeHeightDu, {}, true};
  // Group boxes go first: a frame created after the controls inside it would
  // lie on top of them and take their taps.
  for (bool frames : {true, false}) {
    for (const Row& row : rows) {
      if ((row.entry.kind == platform::ControlKind::GroupBox) != frames) continue;
      pair.portrait.controls.push_back(row.entry);
      platform::ControlSpec wide = row.entry;
      wide.rect = row.landscape;
      pair.landscape.controls.push_back(std::move(wide));
    }
  }
  return pair;
}

}  // namespace corvantis::resources::detail
