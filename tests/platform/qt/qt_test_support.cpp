#include "tests/platform/qt/qt_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTest>

namespace corvantis::platform::qt::test {

int runWith(QtWindowSystem& windows, const DialogLayout& layout, DialogHandler& handler,
            const std::function<void(QtDialog&)>& body) {
  windows.setAfterOpenHook([&body](Dialog& dialog) {
    auto& qtDialog = static_cast<QtDialog&>(dialog);
    if (!QTest::qWaitForWindowExposed(&qtDialog.window())) {
      ADD_FAILURE() << "the screen never showed";
    }
    body(qtDialog);
    dialog.end(99);
  });
  const int result = windows.runModal(layout, handler);
  windows.setAfterOpenHook({});
  return result;
}

bool waitFor(const std::function<bool()>& predicate) { return QTest::qWaitFor(predicate, 5000); }

void keepImage(const QImage& image, const std::string& name) {
  const QString path = QDir::tempPath() + "/corvantis-qt-" + QString::fromStdString(name) + ".png";
  image.save(path, "PNG");
}

DialogLayout everyKindLayout(bool landscape) {
  DialogLayout layout;
  layout.resourceId = landscape ? 901 : 900;
  layout.title = "Corvantis v1.0";
  layout.widthDu = landscape ? 184 : 139;
  layout.heightDu = landscape ? 107 : 156;
  const int dx = landscape ? 45 : 0;  // landscape: everything moved right
  auto add = [&](int id, ControlKind kind, const char* caption, Rect r, FontRole font,
                 std::vector<std::string> items = {}) {
    ControlSpec entry;
    entry.id = id;
    entry.kind = kind;
    entry.caption = caption;
    entry.rect = Rect{r.x + dx, r.y, r.width, r.height};
    entry.font = font;
    entry.items = std::move(items);
    layout.controls.push_back(entry);
  };
  add(1001, ControlKind::Static, "Connecting to GPS device ...", {3, 3, 131, 11}, FontRole::Small);
  add(1012, ControlKind::MultiLineButton, "Acceleration Timings", {2, 16, 65, 29}, FontRole::Medium);
  add(1, ControlKind::Button, "OK", {71, 16, 65, 14}, FontRole::Dialog);
  layout.controls.back().defaultButton = true;
  add(1020, ControlKind::DropDownCombo, "", {71, 32, 65, 60}, FontRole::Dialog, {"0", "30", "60"});
  add(1019, ControlKind::DropDownList, "", {2, 47, 65, 48}, FontRole::Dialog,
      {"Speed", "Distance", "Acceleration"});
  add(1014, ControlKind::List, "", {2, 64, 65, 40}, FontRole::Dialog, {"COM1:", "COM2:", "COM3:"});
  layout.controls.back().contextMenu = 146;
  add(1015, ControlKind::MultiSelectList, "", {71, 64, 65, 40}, FontRole::Medium,
      {".234s", "5.234s", "1m 03.005s"});
  layout.controls.back().contextMenu = 135;
  add(1030, ControlKind::Edit, "Track", {2, 108, 65, 12}, FontRole::Dialog);
  add(-1, ControlKind::GroupBox, "Units", {71, 106, 65, 30}, FontRole::Dialog);
  add(-1, ControlKind::Static, "Name:", {2, 124, 40, 8}, FontRole::Large);
  // A list without a context menu (below the landscape client area).
  add(1040, ControlKind::List, "", {2, 138, 65, 16}, FontRole::Dialog, {"4800", "9600"});
  return layout;
}

}  // namespace corvantis::platform::qt::test
