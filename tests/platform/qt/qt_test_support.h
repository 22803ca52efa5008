#pragma once
// Running real Qt screens in the tests: the offscreen QApplication, a
// handler that records what the screen hears, and a modal run whose body
// acts as the user while the screen is showing.
#include <functional>
#include <string>
#include <vector>

#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_window_system.h"
#include "platform/window.h"

namespace corvantis::platform::qt::test {

struct Command {
  int id = 0;
  Notification what = Notification::Clicked;
  friend bool operator==(const Command&, const Command&) = default;
};

struct Hold {
  int id = 0;
  Point p;
};

class RecordingHandler : public DialogHandler {
 public:
  void onOpen(Dialog& dialog) override {
    dialog_ = &dialog;
    if (open) open(dialog);
  }
  void onCommand(int id, Notification what) override {
    commands.push_back({id, what});
    if (command) command(id, what);
  }
  void onPaint(Surface& surface) override {
    ++paints;
    if (paint) paint(surface);
  }
  void onPointerDown(Point p) override { pointer.push_back("down " + text(p)); }
  void onPointerMove(Point p) override { pointer.push_back("move " + text(p)); }
  void onPointerUp(Point p) override { pointer.push_back("up " + text(p)); }
  void onHold(int id, Point p) override {
    holds.push_back({id, p});
    if (hold) hold(id, p);
  }
  void onDestroy() override {
    ++destroyed;
    dialog_ = nullptr;
  }

  static std::string text(Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

  std::function<void(Dialog&)> open;
  std::function<void(int, Notification)> command;
  std::function<void(Surface&)> paint;
  std::function<void(int, Point)> hold;
  std::vector<Command> commands;
  std::vector<Hold> holds;
  std::vector<std::string> pointer;
  int paints = 0;
  int destroyed = 0;

 private:
  Dialog* dialog_ = nullptr;
};

// Shows the layout modally; body runs inside the modal loop with the window
// shown. Unless body ended the screen, it is ended with 99 afterwards.
int runWith(QtWindowSystem& windows, const DialogLayout& layout, DialogHandler& handler,
            const std::function<void(QtDialog&)>& body);

// Waits (running events) until the predicate holds, at most a few seconds;
// answers whether it came to hold.
bool waitFor(const std::function<bool()>& predicate);

// Writes an image for a person to look at, under $TMPDIR or /tmp.
void keepImage(const QImage& image, const std::string& name);

// A small form with one control of every kind (portrait 139 x 156 or
// landscape 184 x 107 dialog units).
DialogLayout everyKindLayout(bool landscape);

}  // namespace corvantis::platform::qt::test
