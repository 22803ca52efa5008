// Every screen of the program built from its table, in both layouts: each
// control with its id, kind, caption, items, font and place, inside the
// handheld's client area. Pictures of all sixteen forms are left in the
// temporary folder for a person to look at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <string>
#include <tuple>

#include "platform/qt/dialog_units.h"
#include "platform/qt/qt_fonts.h"
#include "platform/qt/text_fit.h"
#include "resources/layouts.h"
#include "tests/platform/qt/qt_test_support.h"

namespace corvantis::platform::qt::test {
namespace {

using resources::ScreenId;

bool kindMatches(ControlKind kind, QWidget* widget) {
  switch (kind) {
    case ControlKind::Static: return qobject_cast<QLabel*>(widget) != nullptr;
    case ControlKind::Button:
    case ControlKind::MultiLineButton: return qobject_cast<QAbstractButton*>(widget) != nullptr;
    case ControlKind::DropDownCombo: {
      auto* combo = qobject_cast<QComboBox*>(widget);
      return combo != nullptr && combo->isEditable();
    }
    case ControlKind::DropDownList: {
      auto* combo = qobject_cast<QComboBox*>(widget);
      return combo != nullptr && !combo->isEditable();
    }
    case ControlKind::List:
    case ControlKind::MultiSelectList: {
      auto* list = qobject_cast<QListWidget*>(widget);
      return list != nullptr && (list->selectionMode() == QAbstractItemView::MultiSelection) ==
                                    (kind == ControlKind::MultiSelectList);
    }
    case ControlKind::Edit: return qobject_cast<QLineEdit*>(widget) != nullptr;
    case ControlKind::GroupBox: return qobject_cast<QGroupBox*>(widget) != nullptr;
  }
  return false;
}

bool hasCaption(ControlKind kind) {
  return kind == ControlKind::Static || kind == ControlKind::Button || kind == ControlKind::MultiLineButton ||
         kind == ControlKind::Edit || kind == ControlKind::GroupBox;
}

class EveryScreen : public ::testing::TestWithParam<std::tuple<ScreenId, bool>> {};

TEST_P(EveryScreen, BuildsFromItsTable) {
  // Plain variables: a lambda cannot capture structured bindings in C++20.
  const ScreenId screen = std::get<0>(GetParam());
  const bool landscape = std::get<1>(GetParam());
  const DialogLayout& layout = resources::layoutFor(screen, landscape);
  QtWindowSystem windows;
  RecordingHandler handler;
  QImage picture;
  runWith(windows, layout, handler, [&](QtDialog& dialog) {
    EXPECT_EQ(dialog.landscape(), landscape);
    EXPECT_EQ(dialog.window().windowTitle(), "Corvantis v1.0");
    const QSize client = dialog.window().size();
    EXPECT_EQ(client, landscape ? QSize(320, 240) : QSize(240, 320));
    for (const ControlSpec& entry : layout.controls) {
      if (entry.id < 0) continue;
      SCOPED_TRACE("control " + std::to_string(entry.id));
      QWidget* widget = dialog.control(entry.id);
      ASSERT_NE(widget, nullptr);
      EXPECT_TRUE(kindMatches(entry.kind, widget));
      if (hasCaption(entry.kind)) {
        EXPECT_EQ(dialog.text(entry.id), entry.caption);
      }
      ASSERT_EQ(dialog.itemCount(entry.id), static_cast<int>(entry.items.size()));
      for (size_t i = 0; i < entry.items.size(); ++i) {
        EXPECT_EQ(dialog.itemText(entry.id, static_cast<int>(i)), entry.items[i]);
      }
      const Rect px = duToPixels(entry.rect);
      EXPECT_EQ(widget->pos(), QPoint(px.x, px.y));
      EXPECT_EQ(widget->width(), px.width);
      const bool combo = entry.kind == ControlKind::DropDownCombo || entry.kind == ControlKind::DropDownList;
      if (combo) {
        EXPECT_LE(widget->height(), px.height);  // closed: one line of the open list's height
        // Even the shortest open list (the units, 30 units high) shows two rows.
        EXPECT_GE(qobject_cast<QComboBox*>(widget)->maxVisibleItems(),
                  std::min(static_cast<int>(entry.items.size()), 2));
      } else {
        EXPECT_EQ(widget->height(), px.height);
      }
      EXPECT_TRUE(QRect(QPoint(0, 0), client).contains(widget->geometry())) << "outside the client area";
      // The table's font, unless the caption cannot fit the static in it (a
      // status line too narrow for "Connecting to GPS device ..."): then a
      // smaller size, in which it fits.
      const QFont role = toQFont(fontForRole(entry.font));
      auto* label = qobject_cast<QLabel*>(widget);
      const QString caption = QString::fromStdString(entry.caption);
      if (label == nullptr || textFits(role, caption, label->contentsRect().size(), true)) {
        EXPECT_EQ(QFontMetrics(widget->font()).height(), QFontMetrics(role).height());
      } else {
        EXPECT_LT(widget->font().pixelSize(), role.pixelSize());
        EXPECT_TRUE(textFits(widget->font(), caption, label->contentsRect().size(), true));
      }
      EXPECT_EQ(widget->font().bold(), fontForRole(entry.font).weight >= 700);
    }
    picture = dialog.render();
  });
  const std::string name = "screen-" + std::to_string(layout.resourceId) + (landscape ? "-landscape" : "-portrait");
  keepImage(picture, name);
  EXPECT_FALSE(picture.isNull());
  EXPECT_TRUE(handler.commands.empty());
}

std::string screenName(const ::testing::TestParamInfo<EveryScreen::ParamType>& info) {
  static const char* const names[] = {"MainMenu", "Acceleration", "Distance", "LapTiming",
                                      "LapEditor", "Records", "Plot", "Configuration"};
  return std::string(names[static_cast<int>(std::get<0>(info.param))]) +
         (std::get<1>(info.param) ? "Landscape" : "Portrait");
}

// Where a text cannot fit its control in its font it is shown in the largest
// smaller size that fits, so nothing the driver needs is cut off; a text
// that fits keeps its font exactly, and a control whose text fits again
// gets its font back.
TEST(TextFitting, ATextThatCannotFitShrinksAndOneThatFitsKeepsItsFont) {
  const DialogLayout& layout = resources::layoutFor(ScreenId::Distance, true);
  QtWindowSystem windows;
  RecordingHandler handler;
  QImage picture;
  runWith(windows, layout, handler, [&](QtDialog& dialog) {
    const QFont large = toQFont(fontForRole(FontRole::Large));
    auto* speed = qobject_cast<QLabel*>(dialog.control(1002));
    auto* target = qobject_cast<QComboBox*>(dialog.control(1005));
    ASSERT_NE(speed, nullptr);
    ASSERT_NE(target, nullptr);
    const QFont comboFont = target->font();
    struct Case {
      int id;
      const char* text;
      bool shrinks;
    };
    const Case cases[] = {
        {1002, "Speed: 110.8 mph *", true}, {1002, "Dist", false},   {1002, "Speed: 178.3 kph", true},
        {1002, "", false},                  {1005, "440 (1/4 mile)", true}, {1005, "400", false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.text);
      dialog.setText(c.id, c.text);
      const QFont shown = c.id == 1002 ? speed->font() : target->lineEdit()->font();
      const QFont base = c.id == 1002 ? large : comboFont;
      if (c.shrinks) {
        EXPECT_LT(shown.pixelSize(), base.pixelSize());
        EXPECT_GE(shown.pixelSize(), kSmallestFittedPixelSize);
        // The largest that fits: one pixel more would not.
        QFont larger = shown;
        larger.setPixelSize(shown.pixelSize() + 1);
        const QSize room = c.id == 1002 ? speed->contentsRect().size() : QSize();
        if (c.id == 1002) {
          EXPECT_TRUE(textFits(shown, c.text, room, true));
          EXPECT_FALSE(textFits(larger, c.text, room, true));
        }
      } else {
        EXPECT_EQ(shown, base);
      }
    }
    dialog.setText(1002, "Speed: 110.8 mph");
    picture = dialog.render();
  });
  keepImage(picture, "distance-landscape-fitted");
}

TEST(TextFitting, FitsOnTheLinesTheBoxHolds) {
  QFont font("Arial");
  font.setPixelSize(20);
  const QFontMetrics metrics(font);
  const int word = metrics.horizontalAdvance("Speed:");
  const int line = metrics.lineSpacing();
  struct Case {
    const char* name;
    QString text;
    QSize room;
    bool wrap;
    bool fits;
  };
  const Case cases[] = {
      {"empty", "", QSize(1, 1), true, true},
      {"one line", "Speed:", QSize(word, line), false, true},
      {"a pixel too narrow", "Speed:", QSize(word - 1, line), true, false},
      {"two words, one line", "Speed: Speed:", QSize(word + 2, line), true, false},
      {"two words, two lines", "Speed: Speed:", QSize(word + 2, 2 * line), true, true},
      {"two lines unwrapped", "Speed: Speed:", QSize(word + 2, 2 * line), false, false},
      {"a short box still holds a line", "Speed:", QSize(word, line / 2), true, true},
      {"a line break", "Speed:\nSpeed:", QSize(3 * word, line), true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(textFits(font, c.text, c.room, c.wrap), c.fits) << c.name;
  }
  // Shrinking: the base when it fits, else the largest size that fits.
  EXPECT_EQ(fittedFont(font, "Speed:", QSize(word, line), false), font);
  const QFont smaller = fittedFont(font, "Speed: 110.8 mph", QSize(word, line), true);
  EXPECT_LT(smaller.pixelSize(), 20);
  EXPECT_TRUE(textFits(smaller, "Speed: 110.8 mph", QSize(word, line), true));
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, EveryScreen,
                         ::testing::Combine(::testing::ValuesIn(resources::allScreens()), ::testing::Bool()),
                         screenName);

TEST(MainMenuScreen, RenderedStatusLineShowsItsText) {
  const DialogLayout& layout = resources::layoutFor(ScreenId::MainMenu, false);
  QtWindowSystem windows;
  RecordingHandler handler;
  QImage before;
  QImage after;
  QRect status;
  runWith(windows, layout, handler, [&](QtDialog& dialog) {
    status = dialog.control(1001)->geometry();
    before = dialog.render();
    dialog.setText(1001, "");
    after = dialog.render();
  });
  keepImage(before, "main-menu-status");
  int inkBefore = 0;
  int inkAfter = 0;
  for (int y = status.top(); y <= status.bottom(); ++y) {
    for (int x = status.left(); x <= status.right(); ++x) {
      inkBefore += before.pixelColor(x, y) != QColor(Qt::white);
      inkAfter += after.pixelColor(x, y) != QColor(Qt::white);
    }
  }
  EXPECT_GT(inkBefore, 60);  // "Connecting to GPS device ..."
  EXPECT_EQ(inkAfter, 0);
}

}  // namespace
}  // namespace corvantis::platform::qt::test
