#pragma once
// A screen that remembers what reached it, for the headless tests.
#include <functional>
#include <string>
#include <vector>

#include "platform/window.h"

namespace corvantis::platform::headless::testing {

struct Received {
  std::string what;  // "open", "command", "menu", "paint", "down", "move", "up", "hold", "destroy"
  int id = 0;
  Notification notification = Notification::Clicked;
  Point p{};
  friend bool operator==(const Received& a, const Received& b) {
    return a.what == b.what && a.id == b.id && a.notification == b.notification && a.p.x == b.p.x &&
           a.p.y == b.p.y;
  }
};

inline Received make(std::string what, int id = 0, Notification n = Notification::Clicked, Point p = {}) {
  return Received{std::move(what), id, n, p};
}

class RecordingHandler : public DialogHandler {
 public:
  void onOpen(Dialog& dialog) override {
    dialog_ = &dialog;
    received.push_back(make("open"));
    if (openAction) openAction(dialog);
  }
  void onCommand(int id, Notification what) override {
    received.push_back(make("command", id, what));
    if (commandAction) commandAction(*dialog_, id, what);
  }
  void onMenuCommand(int id) override { received.push_back(make("menu", id)); }
  void onPaint(Surface& surface) override {
    received.push_back(make("paint"));
    if (paintAction) paintAction(surface);
  }
  void onPointerDown(Point p) override { received.push_back(make("down", 0, Notification::Clicked, p)); }
  void onPointerMove(Point p) override { received.push_back(make("move", 0, Notification::Clicked, p)); }
  void onPointerUp(Point p) override { received.push_back(make("up", 0, Notification::Clicked, p)); }
  void onHold(int id, Point p) override { received.push_back(make("hold", id, Notification::Clicked, p)); }
  void onDestroy() override { received.push_back(make("destroy")); }

  std::vector<Received> commands() const {
    std::vector<Received> out;
    for (const auto& r : received) {
      if (r.what == "command") out.push_back(r);
    }
    return out;
  }

  std::vector<Received> received;
  std::function<void(Dialog&)> openAction;
  std::function<void(Dialog&, int, Notification)> commandAction;
  std::function<void(Surface&)> paintAction;

 private:
  Dialog* dialog_ = nullptr;
};

}  // namespace corvantis::platform::headless::testing
