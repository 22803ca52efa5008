// Only the user's own changes reach the screen: what the screen sets itself
// sends nothing, while real input events on the same controls do.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "tests/platform/qt/qt_test_support.h"

namespace corvantis::platform::qt::test {
namespace {

QPoint rowCentre(QListWidget* list, int row) { return list->visualItemRect(list->item(row)).center(); }

TEST(Notifications, ProgrammaticChangesSendNothing) {
  QtWindowSystem windows;
  RecordingHandler handler;
  // The opening routine fills and selects too, before the window shows.
  handler.open = [](Dialog& dialog) {
    dialog.addItem(1014, "COM4:");
    dialog.setSelection(1014, 3);
    dialog.setSelection(1019, 2);
    dialog.setText(1020, "60");
  };
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    dialog.setText(1001, "Waiting for satellite fix...");
    dialog.setText(1030, "Silverstone");
    dialog.setText(1020, "30");
    dialog.setSelection(1020, 1);
    dialog.setSelection(1019, 0);
    dialog.setText(1019, "Distance");
    dialog.setSelection(1014, 0);
    dialog.setSelection(1014, -1);
    dialog.setSelected(1015, 1, true);
    dialog.setSelected(1015, 1, false);
    dialog.setSelected(1015, 2, true);
    dialog.removeItem(1015, 2);  // removing a selected row changes the selection
    dialog.setSelection(1014, 1);
    dialog.clearItems(1014);
    dialog.addItem(1019, "Acc.");
    dialog.removeItem(1019, 0);
    dialog.clearItems(1019);
    dialog.setFocus(1030);
    QTest::qWait(20);  // anything queued would arrive now
  });
  EXPECT_TRUE(handler.commands.empty()) << handler.commands.size() << " notifications";
}

TEST(Notifications, UserInputNotifiesWithTheControlsId) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    QTest::mouseClick(dialog.control(1012), Qt::LeftButton);
    ASSERT_EQ(handler.commands.size(), 1u);
    EXPECT_EQ(handler.commands.back(), (Command{1012, Notification::Clicked}));

    auto* dropList = qobject_cast<QComboBox*>(dialog.control(1019));
    dropList->setFocus();
    QTest::keyClick(dropList, Qt::Key_Down);
    ASSERT_EQ(handler.commands.size(), 2u);
    EXPECT_EQ(handler.commands.back(), (Command{1019, Notification::SelectionChanged}));
    EXPECT_EQ(dialog.selection(1019), 0);

    auto* combo = qobject_cast<QComboBox*>(dialog.control(1020));
    QTest::keyClicks(combo->lineEdit(), "45");
    ASSERT_EQ(handler.commands.size(), 4u);  // one per character typed
    EXPECT_EQ(handler.commands.back(), (Command{1020, Notification::EditChanged}));
    EXPECT_EQ(dialog.text(1020), "45");
    EXPECT_EQ(dialog.itemCount(1020), 3);  // typing adds no item
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);  // picking from the list is a selection change
    EXPECT_EQ(handler.commands.back(), (Command{1020, Notification::SelectionChanged}));
    const size_t afterCombo = handler.commands.size();

    QTest::keyClicks(dialog.control(1030), "X");
    ASSERT_EQ(handler.commands.size(), afterCombo + 1);
    EXPECT_EQ(handler.commands.back(), (Command{1030, Notification::EditChanged}));
    EXPECT_EQ(dialog.text(1030), "TrackX");

    auto* single = qobject_cast<QListWidget*>(dialog.control(1014));
    QTest::mouseClick(single->viewport(), Qt::LeftButton, {}, rowCentre(single, 1));
    ASSERT_EQ(handler.commands.size(), afterCombo + 2);
    EXPECT_EQ(handler.commands.back(), (Command{1014, Notification::SelectionChanged}));
    EXPECT_EQ(dialog.selection(1014), 1);
  });
}

TEST(Notifications, LengthLimitBindsTyping) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    dialog.setText(1030, "");
    dialog.setLengthLimit(1030, 5);
    QTest::keyClicks(dialog.control(1030), "Donington");
    EXPECT_EQ(dialog.text(1030), "Donin");
    dialog.setLengthLimit(1020, 2);
    QTest::keyClicks(qobject_cast<QComboBox*>(dialog.control(1020))->lineEdit(), "123");
    EXPECT_EQ(dialog.text(1020), "12");
  });
}

TEST(Notifications, TapTogglesARowOfAMultipleSelectionList) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    auto* list = qobject_cast<QListWidget*>(dialog.control(1015));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 2));
    EXPECT_TRUE(dialog.isSelected(1015, 0));
    EXPECT_FALSE(dialog.isSelected(1015, 1));
    EXPECT_TRUE(dialog.isSelected(1015, 2));
    // A second tap on the same row, even a quick one that Qt reports as a
    // double click, takes it out again.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 2));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 2));
    EXPECT_TRUE(dialog.isSelected(1015, 0));
    EXPECT_FALSE(dialog.isSelected(1015, 2));
    EXPECT_EQ(dialog.focusedItem(1015), 2);
  });
  ASSERT_FALSE(handler.commands.empty());
  for (const Command& c : handler.commands) {
    EXPECT_EQ(c, (Command{1015, Notification::SelectionChanged}));
  }
}

}  // namespace
}  // namespace corvantis::platform::qt::test
