#pragma once
// The window system of the corvantis program on Qt 6 Widgets. This header
// includes no Qt: the program's main creates the QApplication (after
// applyScaleFactor) and then one QtWindowSystem, and hands it to the shell.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/window.h"

namespace corvantis::platform::qt {

inline constexpr const char* kWindowTitle = "Corvantis v1.0";

struct QtWindowOptions {
  // Forced orientation (--portrait / --landscape); unset: that of the screen.
  std::optional<bool> landscape;
  // --fullscreen: a screen's full-screen request fills the display, as on a
  // handheld. Otherwise every screen keeps the handheld's client size.
  bool fullScreen = false;
};

// --scale N: enlarges everything N times on a desktop display. Qt reads the
// factor when the QApplication is created, so this must come before that;
// answers false (and does nothing) when it is too late or N is not 1 to 8.
bool applyScaleFactor(int factor);

class QtDialog;

class QtWindowSystem final : public WindowSystem {
 public:
  // Needs a running QApplication.
  explicit QtWindowSystem(QtWindowOptions options = {});
  ~QtWindowSystem() override;
  QtWindowSystem(const QtWindowSystem&) = delete;
  QtWindowSystem& operator=(const QtWindowSystem&) = delete;

  int runModal(const DialogLayout& layout, DialogHandler& handler) override;
  MessageBoxes& messageBoxes() override;
  PeriodicTimer& timer() override;
  // The forced orientation's handheld size, else the primary screen's size.
  Size screenSize() const override;
  // The window's close button calls the quit handler; without one it is the
  // screen's Cancel.
  void setQuitHandler(std::function<void()> handler) override;
  // Ends every showing screen, innermost first. A popup menu or message box
  // open on top of them is closed too (a message box then answers as its
  // Escape does: OK, or No), so that a quit is never held up by a question.
  void endAllModal(int result) override;
  // Runs `whenShown` once the next message box is showing, then closes it
  // (a picture of the box over its screen: saveScreenshot takes both).
  void setMessageBoxShownHook(std::function<void()> whenShown);
  // What the close button does, for the program's SIGINT/SIGTERM handling
  // to call on the GUI thread.
  void requestQuit();

  // Called once for every modal screen, inside its modal run, after it has
  // opened and is showing: the screenshot mode takes its picture there and
  // ends the screen. Empty to switch off.
  void setAfterOpenHook(std::function<void(Dialog&)> hook);
  // Writes the screen showing in front (its controls on its surface) to a
  // PNG file; false when no screen is showing or the file cannot be written.
  bool saveScreenshot(const std::string& pngPath);
  // The screen showing in front, nullptr when none.
  QtDialog* frontDialog();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace corvantis::platform::qt
