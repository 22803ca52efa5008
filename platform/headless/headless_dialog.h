#pragma once
// One modal screen with no window: every control's state is plain data, the
// surface records its drawing, and the test (or the log analyzer) acts as
// the user through the user* operations, which are the only ones that send
// notifications to the screen. Programmatic changes (setText, setSelection,
// ...) send nothing, as on the device.
//
// Rules of the model, chosen to match the device's controls:
// - Addressing a control id that the layout does not hold throws
//   std::out_of_range: a screen talking to a control that is not there is a
//   fault to see, not to ignore.
// - A drop-down combo's text is its edit field; selecting an item (by the
//   program or the user) copies the item's text into it, selecting -1
//   empties it; setText and typing leave the selection as it is. A
//   drop-down list's text is its selected item's text; setText on it
//   selects the item with exactly that text, if any.
// - A list with rows always has a focus row (the first until it is moved);
//   an empty list has none. On a multiple-selection list, selection() is
//   the focus row and setSelection() only moves it.
// - A list's rows are kRowHeightPx high from its top, never scrolled:
//   itemAt answers the row under a point, rowPoint a point on a row.
// - A length limit holds for whatever the field holds: the excess of typed
//   or set text is cut off, and setting a limit cuts the current text.
// - A user action on a hidden or disabled control, on an ended dialog or on
//   a dialog under a nested modal one does nothing and answers false.
// - Ids 1 and 2 without a control of their own are the platform's generic
//   OK and Cancel: userClick(1) and userClick(2) still deliver a click.
// - Paint: the screen is painted once when it opens, and after each user
//   action or timer tick that invalidated it (as an event loop would); with
//   the window system's autoPaint off, only paint() paints.
#include <string>
#include <string_view>
#include <vector>

#include "platform/headless/recording_surface.h"
#include "platform/window.h"

namespace corvantis::platform::headless {

class HeadlessWindowSystem;

struct ControlState {
  ControlSpec entry;  // as the layout gives it
  std::string text;
  FontSpec font;            // the dialog font until setFont
  bool fontSet = false;     // setFont was called
  Rgb textColour;           // black until setTextColour
  bool textColourSet = false;
  std::vector<std::string> items;
  int selection = -1;           // combos and single-selection lists
  std::vector<bool> selected;   // multiple-selection lists, one flag per item
  int focusedItem = -1;         // lists: the row with the focus rectangle (-1: the first)
  bool enabled = true;
  bool visible = true;
  int lengthLimit = 0;          // 0: none
};

// A popup menu as the dialog showed it.
struct ShownMenu {
  int resourceId = 0;
  std::string title;
  int controlId = 0;  // 0: the dialog itself
  Point at;
  std::vector<int> greyed;
  int answer = 0;  // the command chosen, 0 for none
  bool scripted = false;
};

class HeadlessDialog final : public Dialog {
 public:
  HeadlessDialog(HeadlessWindowSystem& windows, const DialogLayout& layout, DialogHandler& handler);

  // --- Dialog ---
  void setText(int id, std::string_view text) override;
  std::string text(int id) const override;
  void setFont(int id, const FontSpec& font) override;
  void setTextColour(int id, Rgb colour) override;
  void addItem(int id, std::string_view text) override;
  void removeItem(int id, int index) override;
  void clearItems(int id) override;
  int itemCount(int id) const override;
  std::string itemText(int id, int index) const override;
  int selection(int id) const override;
  void setSelection(int id, int index) override;
  bool isSelected(int id, int index) const override;
  void setSelected(int id, int index, bool selected) override;
  int focusedItem(int id) const override;
  int itemAt(int id, Point p) const override;
  void setEnabled(int id, bool enabled) override;
  bool isEnabled(int id) const override;
  void setVisible(int id, bool visible) override;
  bool isVisible(int id) const override;
  void setFocus(int id) override;
  void setLengthLimit(int id, int maxChars) override;
  Surface& surface() override { return surface_; }
  void invalidate() override { ++invalidations_; paintPending_ = true; }
  void requestFullScreen() override { ++fullScreenRequests_; }
  void end(int result) override;
  int popupMenu(const MenuSpec& menu, int id, Point p, const std::vector<int>& greyed) override;
  bool landscape() const override { return layout_.widthDu > layout_.heightDu; }

  static constexpr int kRowHeightPx = 14;
  // A point in the middle of the left part of row `row` of a list.
  static Point rowPoint(int row) { return Point{10, row * kRowHeightPx + kRowHeightPx / 2}; }

  // --- The user ---
  // Presses a button (Clicked).
  bool userClick(int id);
  // Picks item index of a combo or a single-selection list (SelectionChanged).
  bool userSelect(int id, int index);
  // Replaces the text of an edit field or of a combo's edit field
  // (EditChanged, sent only when the text changed).
  bool userType(int id, std::string_view text);
  // Taps a row of a multiple-selection list: toggles it (SelectionChanged).
  bool userToggleRow(int id, int row);
  // Holds the stylus still on a control (a list) or on the surface (id 0);
  // p in that control's own coordinates.
  bool userHold(int id, Point p);
  bool userPointerDown(Point p);
  bool userPointerMove(Point p);
  bool userPointerUp(Point p);
  // Turns the mouse wheel by notches (positive away from the user).
  bool userWheel(Point p, int notches);
  // One tick of the periodic timer (when it runs); answers whether it ran.
  bool fireTimer();
  // Paints now (onPaint into the surface).
  void paint();

  // --- Inspection ---
  bool hasControl(int id) const;
  const ControlState& control(int id) const;
  const std::vector<ControlState>& controls() const { return controls_; }
  const DialogLayout& layout() const { return layout_; }
  RecordingSurface& recording() { return surface_; }
  bool ended() const { return ended_; }
  int result() const { return result_; }
  int focus() const { return focus_; }
  int fullScreenRequests() const { return fullScreenRequests_; }
  int invalidations() const { return invalidations_; }
  int paints() const { return paints_; }
  const std::vector<ShownMenu>& shownMenus() const { return menus_; }

  // Used by the window system.
  void paintIfPending();
  void detach() { handler_ = nullptr; }

 private:
  ControlState& find(int id);
  const ControlState& find(int id) const;
  // The control when the user can act on it now, else nullptr.
  ControlState* reachable(int id);
  bool canAct() const;
  void afterUserAction();

  HeadlessWindowSystem& windows_;
  const DialogLayout layout_;
  DialogHandler* handler_;
  RecordingSurface surface_;
  std::vector<ControlState> controls_;
  int focus_ = 0;
  bool ended_ = false;
  int result_ = 0;
  int fullScreenRequests_ = 0;
  int invalidations_ = 0;
  int paints_ = 0;
  bool paintPending_ = false;
  std::vector<ShownMenu> menus_;
};

}  // namespace corvantis::platform::headless
