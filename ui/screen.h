#pragma once
// Screen plumbing shared by every screen: the modal show with its result
// code, the live flag that the screen loop sets, and the common opening
// routine (fonts from the layout table, full-screen request).
#include "ui/context.h"
#include "platform/window.h"

namespace corvantis {

class Screen : public platform::DialogHandler {
 public:
  Screen(AppContext& context, const platform::DialogLayout& portrait,
         const platform::DialogLayout& landscape);

  // Shows the screen modally and answers its result code.
  int showModal();
  // Called by the pump at the end of every tick while live is set.
  virtual void update(bool /*newFix*/) {}

  bool live = false;

  // The dialog while the screen is showing, else nullptr.
  platform::Dialog* dialog() { return dialog_; }
  const platform::DialogLayout& layout() const { return layout_; }

  // DialogHandler: runs openScreen() inside the common opening routine.
  void onOpen(platform::Dialog& dialog) final;
  void onDestroy() override;

 protected:
  // The screen's own opening steps, after the fonts are given.
  virtual void openScreen() {}
  // A click on the screen's own way out (exitId: "Main Menu") or on the
  // platform's generic Cancel ends the screen with that id. Answers whether
  // the command was one of them.
  bool endOnExit(int controlId, platform::Notification what, int exitId);
  // The font of a role, as the shell owns them.
  const platform::FontSpec& font(platform::FontRole role) const;

  AppContext& ctx_;
  platform::Dialog* dialog_ = nullptr;

 private:
  const platform::DialogLayout& layout_;
};

}  // namespace corvantis
