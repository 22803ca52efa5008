#pragma once
// One showing screen on Qt Widgets: a modal QDialog built from a layout
// table, its controls addressed by id, its drawing surface, its gestures.
// Screens see it only as platform::Dialog; the window system and the tests
// see the Qt side too.
#include <QDialog>
#include <QImage>
#include <functional>
#include <map>
#include <memory>

#include "platform/qt/hold_gesture.h"
#include "platform/qt/qt_surface.h"
#include "platform/window.h"

namespace corvantis::platform::qt {

class QtDialog;

// The window itself: paints the surface behind the controls and turns
// mouse input on the surface, Escape and the close button into the
// screen's events.
class DialogWindow final : public QDialog {
 public:
  DialogWindow(QtDialog& owner, QWidget* parent);
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  QtDialog& owner_;
};

class QtDialog final : public Dialog {
 public:
  // fullScreenAllowed: whether requestFullScreen fills the display (on a
  // handheld) or is answered by the window's fixed handheld size (desktop).
  QtDialog(const DialogLayout& layout, DialogHandler& handler, bool fullScreenAllowed,
           QWidget* parent);
  ~QtDialog() override;
  QtDialog(const QtDialog&) = delete;
  QtDialog& operator=(const QtDialog&) = delete;

  // The modal run: onOpen, the event loop until end, onDestroy. afterOpen
  // (may be empty) is called once the loop is running and the window shown.
  int run(const std::function<void(QtDialog&)>& afterOpen);

  DialogWindow& window() { return *window_; }
  // The widget of control id, nullptr when the form has none.
  QWidget* control(int id) const;
  QtSurface& qtSurface() { return surface_; }
  // The dialog as the user sees it: the surface with the controls on it.
  QImage render();
  // What the window's close button does; without it, it is Cancel.
  void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
  // The generic Cancel (Escape): the screen hears of it as a click of
  // control 2; when it does not end itself, Cancel ends it with 2.
  void cancel();

  // Dialog
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
  void invalidate() override;
  void requestFullScreen() override;
  void end(int result) override;
  int popupMenu(const MenuSpec& menu, int id, Point p, const std::vector<int>& greyed) override;
  bool landscape() const override { return landscape_; }

 private:
  friend class DialogWindow;
  struct Control {
    ControlKind kind = ControlKind::Static;
    QWidget* widget = nullptr;
    int dropHeightPx = 0;  // combos: the height of the open list
    QFont baseFont;        // the font the control was given; its text may show smaller
  };
  // Set while the dialog itself changes a control, so that the change sends
  // no notification: only the user's own changes reach the screen.
  class Programmatic {
   public:
    explicit Programmatic(const QtDialog& d) : d_(d) { ++d_.programmatic_; }
    ~Programmatic() { --d_.programmatic_; }
    Programmatic(const Programmatic&) = delete;
    Programmatic& operator=(const Programmatic&) = delete;

   private:
    const QtDialog& d_;
  };

  void buildControl(const ControlSpec& entry);
  void fitCombo(Control& control);
  // Shows the control's text in its base font, or in the largest smaller
  // size in which it fits the control when it does not fit in that font.
  static void fitText(const Control& control);
  void notify(int id, Notification what);
  const Control* find(int id) const;
  void paint(QPainter& painter);
  void resized();
  void pointerPressed(QMouseEvent* event);
  void pointerMoved(QMouseEvent* event);
  void pointerReleased(QMouseEvent* event);
  void wheelTurned(QWheelEvent* event);

  DialogHandler& handler_;
  bool landscape_ = false;
  bool escapeCancels_ = true;
  bool fullScreenAllowed_ = false;
  DialogWindow* window_ = nullptr;  // owned; deleted in the destructor
  QtSurface surface_;
  std::map<int, Control> controls_;
  HoldTimer surfaceHold_;
  // Wheel movement not yet a whole notch: fine-grained wheels and touchpads
  // report parts of one.
  int wheelEighths_ = 0;
  std::function<void()> closeHandler_;
  mutable int programmatic_ = 0;
  bool paintPending_ = true;
  bool painting_ = false;
  bool running_ = false;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace corvantis::platform::qt
