// Building a screen from its table: kinds, ids, captions, items, fonts and
// pixel geometry in both orientations.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "platform/qt/dialog_units.h"
#include "platform/qt/qt_fonts.h"
#include "platform/qt/wrapping_button.h"
#include "tests/platform/qt/qt_test_support.h"

namespace corvantis::platform::qt::test {
namespace {

TEST(DialogUnits, PortraitFormFillsTheHandheldWidth) {
  struct Case {
    int du;
    int px;
  };
  // 240 / 139 = 1.7266 pixels a unit, rounded to the nearest pixel.
  for (const Case c : {Case{0, 0}, Case{1, 2}, Case{3, 5}, Case{8, 14}, Case{11, 19}, Case{65, 112},
                       Case{139, 240}, Case{156, 269}, Case{184, 318}, Case{-3, -5}}) {
    EXPECT_EQ(duToPixels(c.du), c.px) << c.du << " units";
  }
}

TEST(DialogUnits, NeighboursStillAbutAfterConversion) {
  // Controls that abut in the table abut in pixels wherever the rounding
  // falls: no gap and no overlap of a pixel between neighbours.
  for (int y = 0; y < 40; ++y) {
    const Rect upper = duToPixels(Rect{2, y, 65, 29});
    const Rect lower = duToPixels(Rect{2, y + 29, 65, 29});
    EXPECT_EQ(upper.y + upper.height, lower.y) << "at y " << y;
  }
}

TEST(DialogUnits, ClientSizeFollowsTheFormsOrientation) {
  DialogLayout portrait;
  portrait.widthDu = 139;
  portrait.heightDu = 156;
  DialogLayout landscape;
  landscape.widthDu = 184;
  landscape.heightDu = 107;
  EXPECT_EQ(clientSizeFor(portrait).width, 240);
  EXPECT_EQ(clientSizeFor(portrait).height, 320);
  EXPECT_EQ(clientSizeFor(landscape).width, 320);
  EXPECT_EQ(clientSizeFor(landscape).height, 240);
}

TEST(Fonts, HeightNamesTheWholeCellAndArialIsFound) {
  for (const FontSpec& entry : {FontSpec{"Arial", 12, 400}, FontSpec{"Arial", 17, 700},
                              FontSpec{"Arial", 25, 700}, dialogFont()}) {
    const QFont font = toQFont(entry);
    const int cell = QFontMetrics(font).height();
    EXPECT_LE(cell, entry.heightPx) << entry.heightPx;
    EXPECT_GE(cell, entry.heightPx - 2) << entry.heightPx;
    EXPECT_EQ(QFontInfo(font).bold(), entry.weight >= 700) << entry.heightPx;
    // fontconfig's stand-in for Arial is a metric-compatible sans face.
    const QString family = QFontInfo(font).family();
    EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
  }
}

class BuildEveryKind : public ::testing::TestWithParam<bool> {};

TEST_P(BuildEveryKind, ControlsHaveTheirKindCaptionItemsFontAndPlace) {
  const bool landscape = GetParam();
  const DialogLayout layout = everyKindLayout(landscape);
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, layout, handler, [&](QtDialog& dialog) {
    EXPECT_EQ(dialog.landscape(), landscape);
    QDialog& window = dialog.window();
    EXPECT_EQ(window.windowTitle(), "Corvantis v1.0");
    EXPECT_EQ(window.width(), landscape ? 320 : 240);
    EXPECT_EQ(window.height(), landscape ? 240 : 320);

    for (const ControlSpec& entry : layout.controls) {
      if (entry.id < 0) {
        continue;
      }
      SCOPED_TRACE(entry.id);
      QWidget* widget = dialog.control(entry.id);
      ASSERT_NE(widget, nullptr);
      const Rect px = duToPixels(entry.rect);
      EXPECT_EQ(widget->x(), px.x);
      EXPECT_EQ(widget->y(), px.y);
      EXPECT_EQ(widget->width(), px.width);
      const bool combo = entry.kind == ControlKind::DropDownCombo || entry.kind == ControlKind::DropDownList;
      if (combo) {
        // The table gives the open list's height; the closed box is one line.
        EXPECT_LT(widget->height(), px.height);
        EXPECT_GE(widget->height(), QFontMetrics(widget->font()).height());
        EXPECT_LE(widget->height(), 2 * QFontMetrics(widget->font()).height());
      } else {
        EXPECT_EQ(widget->height(), px.height);
      }
      EXPECT_EQ(QFontMetrics(widget->font()).height(), QFontMetrics(toQFont(fontForRole(entry.font))).height());
      EXPECT_EQ(widget->font().bold(), fontForRole(entry.font).weight >= 700);
      EXPECT_EQ(dialog.itemCount(entry.id), static_cast<int>(entry.items.size()));
      for (size_t i = 0; i < entry.items.size(); ++i) {
        EXPECT_EQ(dialog.itemText(entry.id, static_cast<int>(i)), entry.items[i]);
      }
    }

    EXPECT_NE(qobject_cast<QLabel*>(dialog.control(1001)), nullptr);
    EXPECT_EQ(dialog.text(1001), "Connecting to GPS device ...");
    EXPECT_NE(dynamic_cast<WrappingButton*>(dialog.control(1012)), nullptr);
    EXPECT_EQ(dialog.text(1012), "Acceleration Timings");
    auto* ok = qobject_cast<QPushButton*>(dialog.control(1));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(qobject_cast<QPushButton*>(dialog.control(1012))->isDefault());

    auto* editable = qobject_cast<QComboBox*>(dialog.control(1020));
    ASSERT_NE(editable, nullptr);
    EXPECT_TRUE(editable->isEditable());
    auto* dropList = qobject_cast<QComboBox*>(dialog.control(1019));
    ASSERT_NE(dropList, nullptr);
    EXPECT_FALSE(dropList->isEditable());
    // Filled from the table, a combo selects nothing yet.
    EXPECT_EQ(dialog.selection(1020), -1);
    EXPECT_EQ(dialog.selection(1019), -1);
    EXPECT_EQ(dialog.text(1020), "");
    EXPECT_GE(dropList->maxVisibleItems(), 2);

    auto* single = qobject_cast<QListWidget*>(dialog.control(1014));
    auto* multi = qobject_cast<QListWidget*>(dialog.control(1015));
    ASSERT_NE(single, nullptr);
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(single->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(multi->selectionMode(), QAbstractItemView::MultiSelection);
    EXPECT_EQ(dialog.selection(1014), -1);

    auto* edit = qobject_cast<QLineEdit*>(dialog.control(1030));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(dialog.text(1030), "Track");

    // Group boxes and statics without an id are built but not addressable.
    const auto groups = window.findChildren<QGroupBox*>();
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups.front()->title(), "Units");
    bool nameLabelFound = false;
    for (QLabel* label : window.findChildren<QLabel*>()) {
      if (label->text() == "Name:") {
        nameLabelFound = true;
        EXPECT_TRUE(label->font().bold());  // its role is the large font
      }
    }
    EXPECT_TRUE(nameLabelFound);
    EXPECT_EQ(dialog.control(-1), nullptr);
  });
}

INSTANTIATE_TEST_SUITE_P(BothOrientations, BuildEveryKind, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Landscape" : "Portrait"; });

TEST(BuildEveryKind, StateOperationsActOnTheirControls) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    dialog.setText(1001, "fix quality: 2 (excellent)");
    EXPECT_EQ(dialog.text(1001), "fix quality: 2 (excellent)");

    // Adding to an empty combo leaves it without a selection.
    dialog.clearItems(1019);
    EXPECT_EQ(dialog.itemCount(1019), 0);
    dialog.addItem(1019, "Speed");
    dialog.addItem(1019, "Dist.");
    EXPECT_EQ(dialog.selection(1019), -1);
    dialog.setSelection(1019, 1);
    EXPECT_EQ(dialog.text(1019), "Dist.");
    dialog.setSelection(1019, 7);  // out of range: nothing selected
    EXPECT_EQ(dialog.selection(1019), -1);
    dialog.setText(1019, "Speed");  // a drop-down list shows only its items
    EXPECT_EQ(dialog.selection(1019), 0);

    dialog.setText(1020, "45");
    EXPECT_EQ(dialog.text(1020), "45");
    EXPECT_EQ(dialog.selection(1020), -1);
    dialog.addItem(1020, "100");  // keeps a typed text
    EXPECT_EQ(dialog.text(1020), "45");
    dialog.clearItems(1020);
    EXPECT_EQ(dialog.text(1020), "");

    dialog.setSelection(1014, 2);
    EXPECT_EQ(dialog.selection(1014), 2);
    EXPECT_EQ(dialog.focusedItem(1014), 2);
    dialog.removeItem(1014, 2);
    EXPECT_EQ(dialog.selection(1014), -1);
    dialog.removeItem(1014, 5);  // no such row: nothing happens
    EXPECT_EQ(dialog.itemCount(1014), 2);

    dialog.setSelected(1015, 0, true);
    dialog.setSelected(1015, 2, true);
    EXPECT_TRUE(dialog.isSelected(1015, 0));
    EXPECT_FALSE(dialog.isSelected(1015, 1));
    EXPECT_TRUE(dialog.isSelected(1015, 2));
    dialog.setSelected(1015, 0, false);
    EXPECT_FALSE(dialog.isSelected(1015, 0));
    EXPECT_GE(dialog.focusedItem(1015), 0);
    dialog.clearItems(1015);
    EXPECT_EQ(dialog.focusedItem(1015), -1);  // only an empty list has no focus row

    dialog.setLengthLimit(1030, 4);
    dialog.setText(1030, "Brands Hatch");
    EXPECT_EQ(dialog.text(1030), "Bran");

    dialog.setEnabled(1, false);
    EXPECT_FALSE(dialog.isEnabled(1));
    dialog.setVisible(1012, false);
    EXPECT_FALSE(dialog.isVisible(1012));
    EXPECT_TRUE(dialog.isVisible(1));

    dialog.setTextColour(1001, Rgb{255, 0, 0});
    EXPECT_EQ(dialog.control(1001)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    dialog.setFont(1019, FontSpec{"Arial", 25, 700});
    EXPECT_TRUE(dialog.control(1019)->font().bold());

    // Unknown ids are ignored, and read as empty.
    dialog.setText(4242, "x");
    EXPECT_EQ(dialog.text(4242), "");
    EXPECT_EQ(dialog.selection(4242), -1);
    EXPECT_FALSE(dialog.isVisible(4242));
  });
  EXPECT_TRUE(handler.commands.empty());
}

}  // namespace
}  // namespace corvantis::platform::qt::test
