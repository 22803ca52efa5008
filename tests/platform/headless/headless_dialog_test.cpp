// The headless dialog's control model: what the user does reaches the
// screen, what the screen does to itself does not.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/headless/headless_window_system.h"
#include "tests/platform/headless/recording_handler.h"

namespace corvantis::platform::headless {
namespace {

using testing::Received;
using testing::RecordingHandler;

constexpr int kButton = 1003;
constexpr int kCombo = 1004;
constexpr int kDropList = 1005;
constexpr int kList = 1006;
constexpr int kMultiList = 1007;
constexpr int kEdit = 1008;
constexpr int kStatic = 1009;

ControlSpec entry(int id, ControlKind kind, std::string caption, std::vector<std::string> items = {}) {
  ControlSpec c;
  c.id = id;
  c.kind = kind;
  c.caption = std::move(caption);
  c.rect = {2, 2, 60, 20};
  c.items = std::move(items);
  return c;
}

DialogLayout testLayout() {
  DialogLayout layout;
  layout.resourceId = 900;
  layout.title = "Corvantis v1.0";
  layout.widthDu = 139;
  layout.heightDu = 156;
  layout.controls = {
      entry(-1, ControlKind::GroupBox, "Run Params"),
      entry(kButton, ControlKind::Button, "Forget Last Run"),
      entry(kCombo, ControlKind::DropDownCombo, "", {"0", "10", "20"}),
      entry(kDropList, ControlKind::DropDownList, "", {"COM1", "COM2"}),
      entry(kList, ControlKind::List, "", {"Oval", "Ring", "Hill"}),
      entry(kMultiList, ControlKind::MultiSelectList, "", {"a", "b", "c", "d"}),
      entry(kEdit, ControlKind::Edit, ""),
      entry(kStatic, ControlKind::Static, "Connecting to GPS device ..."),
  };
  return layout;
}

// Runs the test layout once with body as the user's script.
void withDialog(RecordingHandler& handler, const std::function<void(HeadlessDialog&)>& body) {
  HeadlessWindowSystem windows;
  windows.setAutoPaint(false);
  windows.pushModalScript([&](HeadlessDialog& d) {
    body(d);
    d.end(1);
  });
  windows.runModal(testLayout(), handler);
}

TEST(HeadlessDialog, ControlsStartFromTheLayout) {
  RecordingHandler handler;
  withDialog(handler, [](HeadlessDialog& d) {
    EXPECT_EQ(d.text(kStatic), "Connecting to GPS device ...");
    EXPECT_EQ(d.text(kButton), "Forget Last Run");
    EXPECT_EQ(d.itemCount(kCombo), 3);
    EXPECT_EQ(d.itemText(kList, 2), "Hill");
    EXPECT_EQ(d.selection(kCombo), -1);
    EXPECT_EQ(d.selection(kList), -1);
    // A list with rows has a focus row from the start; an empty one has none.
    EXPECT_EQ(d.focusedItem(kMultiList), 0);
    EXPECT_EQ(d.selection(kMultiList), 0);
    EXPECT_TRUE(d.isEnabled(kButton));
    EXPECT_TRUE(d.isVisible(kButton));
    EXPECT_FALSE(d.control(kStatic).fontSet);
    EXPECT_FALSE(d.hasControl(-1));  // the unnamed group box cannot be addressed
    EXPECT_FALSE(d.landscape());
  });
}

TEST(HeadlessDialog, ProgrammaticChangesSendNothing) {
  RecordingHandler handler;
  withDialog(handler, [](HeadlessDialog& d) {
    d.setText(kStatic, "fix quality: 2 (excellent)");
    d.setText(kCombo, "60");
    d.setSelection(kCombo, 1);
    d.setSelection(kDropList, 0);
    d.setSelection(kList, 2);
    d.setSelected(kMultiList, 1, true);
    d.setText(kEdit, "Oval");
    d.addItem(kList, "Dunes");
    d.removeItem(kList, 0);
    d.clearItems(kMultiList);
    d.setEnabled(kButton, false);
    d.setVisible(kButton, false);
    d.setFont(kStatic, FontSpec{"Arial", 25, 700});
    d.setTextColour(kStatic, Rgb{255, 0, 0});
    d.setFocus(kEdit);
    d.setLengthLimit(kEdit, 31);
  });
  EXPECT_TRUE(handler.commands().empty());
}

// Each user action and the one notification it sends, with the state it leaves.
TEST(HeadlessDialog, UserActionsSendTheirNotification) {
  struct Case {
    const char* name;
    std::function<bool(HeadlessDialog&)> act;
    int id;
    Notification expected;
  };
  const Case cases[] = {
      {"click", [](HeadlessDialog& d) { return d.userClick(kButton); }, kButton, Notification::Clicked},
      {"select combo", [](HeadlessDialog& d) { return d.userSelect(kCombo, 2); }, kCombo,
       Notification::SelectionChanged},
      {"type in combo", [](HeadlessDialog& d) { return d.userType(kCombo, "65"); }, kCombo,
       Notification::EditChanged},
      {"select drop list", [](HeadlessDialog& d) { return d.userSelect(kDropList, 1); }, kDropList,
       Notification::SelectionChanged},
      {"select list row", [](HeadlessDialog& d) { return d.userSelect(kList, 1); }, kList,
       Notification::SelectionChanged},
      {"toggle row", [](HeadlessDialog& d) { return d.userToggleRow(kMultiList, 3); }, kMultiList,
       Notification::SelectionChanged},
      {"type in edit", [](HeadlessDialog& d) { return d.userType(kEdit, "Oval"); }, kEdit,
       Notification::EditChanged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingHandler handler;
    withDialog(handler, [&](HeadlessDialog& d) { EXPECT_TRUE(c.act(d)); });
    ASSERT_EQ(handler.commands().size(), 1u);
    EXPECT_EQ(handler.commands()[0], testing::make("command", c.id, c.expected));
  }
}

TEST(HeadlessDialog, ComboSelectionFillsTheEditFieldAndTypingKeepsTheSelection) {
  RecordingHandler handler;
  handler.commandAction = [](Dialog& d, int id, Notification what) {
    // What the screen sees when the notification arrives.
    if (id == kCombo && what == Notification::SelectionChanged) {
      EXPECT_EQ(d.text(kCombo), "20");
    }
  };
  withDialog(handler, [](HeadlessDialog& d) {
    d.userSelect(kCombo, 2);
    EXPECT_EQ(d.selection(kCombo), 2);
    d.userType(kCombo, "25");
    EXPECT_EQ(d.text(kCombo), "25");
    EXPECT_EQ(d.selection(kCombo), 2);
    d.setSelection(kCombo, 0);
    EXPECT_EQ(d.text(kCombo), "0");
    d.setSelection(kCombo, -1);
    EXPECT_EQ(d.text(kCombo), "");
    d.setText(kCombo, "1000");
    d.clearItems(kCombo);
    EXPECT_EQ(d.text(kCombo), "");
    // A drop-down list reads as its selected item and has no text of its own.
    d.setSelection(kDropList, 1);
    EXPECT_EQ(d.text(kDropList), "COM2");
    d.setText(kDropList, "COM1");
    EXPECT_EQ(d.selection(kDropList), 0);
    d.setText(kDropList, "COM9");  // no such item: nothing changes
    EXPECT_EQ(d.text(kDropList), "COM1");
  });
}

TEST(HeadlessDialog, LengthLimitCutsTypingButNotTheProgram) {
  RecordingHandler handler;
  withDialog(handler, [](HeadlessDialog& d) {
    d.setLengthLimit(kEdit, 31);
    const std::string name31(31, 'x');
    d.userType(kEdit, name31 + "y");
    EXPECT_EQ(d.text(kEdit), name31);
    // The refused 32nd character changes nothing, so nothing is sent.
    d.userType(kEdit, name31 + "z");
    // Multi-byte characters count as one and are never split.
    d.userType(kEdit, std::string(30, 'a') + "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(d.text(kEdit), std::string(30, 'a') + "\xC3\xA9");
    // The limit holds for the program's text too, and cuts what is there.
    d.setText(kEdit, std::string(40, 'p'));
    EXPECT_EQ(d.text(kEdit), std::string(31, 'p'));
    d.setLengthLimit(kEdit, 5);
    EXPECT_EQ(d.text(kEdit), "ppppp");
  });
  EXPECT_EQ(handler.commands().size(), 2u);
}

TEST(HeadlessDialog, RemovingRowsMovesSelectionFocusAndMarks) {
  RecordingHandler handler;
  withDialog(handler, [](HeadlessDialog& d) {
    d.setSelection(kList, 2);
    d.removeItem(kList, 0);
    EXPECT_EQ(d.selection(kList), 1);
    EXPECT_EQ(d.focusedItem(kList), 1);
    d.removeItem(kList, 1);
    EXPECT_EQ(d.selection(kList), -1);

    d.userToggleRow(kMultiList, 1);
    d.userToggleRow(kMultiList, 3);
    d.userToggleRow(kMultiList, 1);  // a second tap deselects
    EXPECT_FALSE(d.isSelected(kMultiList, 1));
    EXPECT_TRUE(d.isSelected(kMultiList, 3));
    EXPECT_EQ(d.focusedItem(kMultiList), 1);
    d.removeItem(kMultiList, 0);
    EXPECT_TRUE(d.isSelected(kMultiList, 2));
    EXPECT_EQ(d.focusedItem(kMultiList), 0);
    d.setSelection(kMultiList, 2);  // moves the focus row, selects nothing
    EXPECT_EQ(d.focusedItem(kMultiList), 2);
    EXPECT_FALSE(d.isSelected(kMultiList, 0));
    EXPECT_THROW(d.removeItem(kMultiList, 3), std::out_of_range);
    d.clearItems(kMultiList);
    EXPECT_EQ(d.focusedItem(kMultiList), -1);
  });
}

TEST(HeadlessDialog, HiddenOrDisabledControlsIgnoreTheUser) {
  RecordingHandler handler;
  withDialog(handler, [](HeadlessDialog& d) {
    d.setEnabled(kButton, false);
    EXPECT_FALSE(d.userClick(kButton));
    d.setEnabled(kButton, true);
    d.setVisible(kButton, false);
    EXPECT_FALSE(d.userClick(kButton));
    d.setEnabled(kCombo, false);
    EXPECT_FALSE(d.userSelect(kCombo, 1));
    EXPECT_EQ(d.selection(kCombo), -1);
    EXPECT_FALSE(d.userType(kCombo, "5"));
    d.setEnabled(kMultiList, false);
    EXPECT_FALSE(d.userToggleRow(kMultiList, 0));
    EXPECT_FALSE(d.userHold(kMultiList, {4, 4}));
  });
  EXPECT_TRUE(handler.commands().empty());
}

TEST(HeadlessDialog, FaultsOfTheCallerAreReported) {
  RecordingHandler handler;
  withDialog(handler, [](HeadlessDialog& d) {
    EXPECT_THROW(d.setText(4711, "x"), std::out_of_range);
    EXPECT_THROW(d.userClick(4711), std::out_of_range);
    EXPECT_THROW(d.userClick(kStatic), std::logic_error);
    EXPECT_THROW(d.userType(kButton, "x"), std::logic_error);
    EXPECT_THROW(d.userSelect(kCombo, 3), std::out_of_range);
    EXPECT_THROW(d.userSelect(kMultiList, 0), std::logic_error);
    EXPECT_THROW(d.setSelection(kMultiList, 4), std::out_of_range);
    EXPECT_THROW(d.itemCount(kEdit), std::logic_error);
    EXPECT_THROW(d.setLengthLimit(kButton, 3), std::logic_error);
  });
}

TEST(HeadlessDialog, GenericOkAndCancelArriveWithoutControls) {
  RecordingHandler handler;
  withDialog(handler, [](HeadlessDialog& d) {
    EXPECT_TRUE(d.userClick(1));
    EXPECT_TRUE(d.userClick(2));
  });
  ASSERT_EQ(handler.commands().size(), 2u);
  EXPECT_EQ(handler.commands()[0].id, 1);
  EXPECT_EQ(handler.commands()[1].id, 2);
}

TEST(HeadlessDialog, PointerAndHoldReachTheScreen) {
  RecordingHandler handler;
  withDialog(handler, [](HeadlessDialog& d) {
    d.userPointerDown({50, 60});
    d.userPointerMove({55, 61});
    d.userPointerUp({56, 62});
    d.userHold(0, {50, 60});
    d.userHold(kList, {3, 9});
  });
  using testing::make;
  const std::vector<Received> expected = {
      make("open"),
      make("down", 0, Notification::Clicked, {50, 60}),
      make("move", 0, Notification::Clicked, {55, 61}),
      make("up", 0, Notification::Clicked, {56, 62}),
      make("hold", 0, Notification::Clicked, {50, 60}),
      make("hold", kList, Notification::Clicked, {3, 9}),
      make("destroy"),
  };
  EXPECT_EQ(handler.received, expected);
  // A hold selects nothing: the list's own tap handling is skipped.
}

TEST(HeadlessDialog, EndedDialogTakesNoMoreInput) {
  HeadlessWindowSystem windows;
  RecordingHandler handler;
  windows.pushModalScript([](HeadlessDialog& d) {
    d.end(5);
    EXPECT_FALSE(d.userClick(kButton));
    EXPECT_FALSE(d.userPointerDown({1, 1}));
    d.end(3);  // the last result given counts
  });
  EXPECT_EQ(windows.runModal(testLayout(), handler), 3);
  EXPECT_TRUE(handler.commands().empty());
}

}  // namespace
}  // namespace corvantis::platform::headless
