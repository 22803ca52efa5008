#pragma once
// The window system as the screens see it. A screen is plain C++: it
// implements DialogHandler, and talks to its Dialog by control id (set the
// text of 1006, read the selection of 1014, end with result 3) and to the
// dialog's drawing Surface. platform/qt/ implements this on Qt Widgets,
// platform/headless/ with no window at all (tests, the log analyzer).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog_layout.h"
#include "platform/message_box.h"

namespace corvantis::platform {

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct FontSpec {
  std::string face = "Arial";
  int heightPx = 12;
  int weight = 400;  // 400 regular, 700 bold
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// Drawing surface of a dialog: the size of its client area, in client pixels,
// shown behind the child controls. Painting and immediate drawing both draw
// into it. Pens are solid and 1 pixel wide.
class Surface {
 public:
  virtual ~Surface() = default;
  virtual void setPen(Rgb colour) = 0;
  virtual void setBrush(Rgb colour) = 0;
  virtual void moveTo(int x, int y) = 0;
  virtual void lineTo(int x, int y) = 0;  // with the pen; the end point is not drawn
  virtual void fillRect(const Rect& rect, Rgb colour) = 0;
  // A filled shape (ellipse) inside the bounding box from (left, top) to
  // (right, bottom), outlined with the pen and filled with the brush.
  virtual void fillShape(int left, int top, int right, int bottom) = 0;
  virtual void setFont(const FontSpec& font) = 0;
  virtual void setTextColour(Rgb colour) = 0;
  // Text with a transparent background; (x, y) is its top-left corner.
  virtual void drawText(int x, int y, std::string_view text) = 0;
  virtual Size textExtent(std::string_view text) = 0;
  // Leave out this rectangle from later drawing, until resetClip.
  virtual void excludeClip(const Rect& rect) = 0;
  virtual void resetClip() = 0;
};

enum class Notification {
  Clicked,           // a button was pressed
  SelectionChanged,  // combo or list selection changed by the user
  EditChanged,       // text of an edit field or of a combo's edit field changed by the user
};

class Dialog;

// What a screen implements. Notifications arrive only for the user's own
// changes: text or selection that the screen sets itself sends nothing.
class DialogHandler {
 public:
  virtual ~DialogHandler() = default;
  // The opening routine, called once the controls exist.
  virtual void onOpen(Dialog& dialog) = 0;
  virtual void onCommand(int controlId, Notification what) = 0;
  // A command of a popup menu (ids from 32771 up).
  virtual void onMenuCommand(int /*commandId*/) {}
  virtual void onPaint(Surface& /*surface*/) {}
  // Pointer events on the dialog's own surface, in client pixels.
  virtual void onPointerDown(Point /*p*/) {}
  virtual void onPointerMove(Point /*p*/) {}
  virtual void onPointerUp(Point /*p*/) {}
  // The mouse wheel turned over the surface (or over a control that has no
  // use for it), by whole notches: positive away from the user (the usual
  // "zoom in" or "scroll up"), negative towards. p in client pixels.
  virtual void onWheel(Point /*p*/, int /*notches*/) {}
  // A press held still for about 0.5 s, or a secondary click: on a list
  // control (controlId) or on the surface (controlId 0). p is in the
  // coordinates of that control's own window.
  virtual void onHold(int /*controlId*/, Point /*p*/) {}
  virtual void onDestroy() {}
};

class Dialog {
 public:
  virtual ~Dialog() = default;

  // Texts: static captions, button captions, edit fields, a combo's edit field.
  virtual void setText(int id, std::string_view text) = 0;
  virtual std::string text(int id) const = 0;
  virtual void setFont(int id, const FontSpec& font) = 0;
  virtual void setTextColour(int id, Rgb colour) = 0;

  // Items of combos and lists.
  virtual void addItem(int id, std::string_view text) = 0;
  virtual void removeItem(int id, int index) = 0;
  virtual void clearItems(int id) = 0;
  virtual int itemCount(int id) const = 0;
  virtual std::string itemText(int id, int index) const = 0;
  // Current item of a combo or single-selection list, -1 for none.
  virtual int selection(int id) const = 0;
  virtual void setSelection(int id, int index) = 0;
  // Rows of a multiple-selection list.
  virtual bool isSelected(int id, int index) const = 0;
  virtual void setSelected(int id, int index, bool selected) = 0;
  // Row with the focus rectangle in a list, -1 for none.
  virtual int focusedItem(int id) const = 0;
  // Row of a list under point p, in the list's own coordinates (as onHold
  // gives them); -1 where no row is (below the last one, an empty list).
  virtual int itemAt(int id, Point p) const = 0;

  virtual void setEnabled(int id, bool enabled) = 0;
  virtual bool isEnabled(int id) const = 0;
  virtual void setVisible(int id, bool visible) = 0;
  virtual bool isVisible(int id) const = 0;
  virtual void setFocus(int id) = 0;
  virtual void setLengthLimit(int id, int maxChars) = 0;

  // Whole screen.
  virtual Surface& surface() = 0;
  // Schedule a paint of the whole surface (onPaint).
  virtual void invalidate() = 0;
  virtual void requestFullScreen() = 0;
  // Ends the modal run with this result.
  virtual void end(int result) = 0;
  // Shows a popup menu at a point in client pixels of control id (0: the
  // dialog itself), with some commands greyed. Answers the chosen command
  // id, or 0 when the user chose nothing. The command is also delivered to
  // onMenuCommand by the caller, not by the dialog.
  virtual int popupMenu(const MenuSpec& menu, int id, Point p, const std::vector<int>& greyed) = 0;
  virtual bool landscape() const = 0;
};

// The 100 ms periodic timer; its handler runs on the thread of the screens,
// also inside nested modal runs.
class PeriodicTimer {
 public:
  virtual ~PeriodicTimer() = default;
  virtual void start(uint32_t periodMs, std::function<void()> handler) = 0;
  virtual void stop() = 0;
  virtual bool running() const = 0;
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // Builds a screen from its layout and shows it modally: controls created,
  // handler.onOpen called, events delivered until Dialog::end; then
  // handler.onDestroy. Answers the result code.
  virtual int runModal(const DialogLayout& layout, DialogHandler& handler) = 0;
  virtual MessageBoxes& messageBoxes() = 0;
  virtual PeriodicTimer& timer() = 0;
  // Screen size at start, in pixels (decides the layout).
  virtual Size screenSize() const = 0;
  // Called when the user closes the window itself (rather than pressing a
  // button of the screen), and when the program is asked to end (SIGINT,
  // SIGTERM): the shell then leaves through its normal shutdown, which saves.
  // Without a handler, closing the window ends the screen with Cancel (2).
  virtual void setQuitHandler(std::function<void()> handler) = 0;
  // Ends every modal screen under way with this result, innermost first.
  virtual void endAllModal(int result) = 0;
};

}  // namespace corvantis::platform
