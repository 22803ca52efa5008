#include "ui/screen.h"

namespace corvantis {

Screen::Screen(AppContext& context, const platform::DialogLayout& portrait,
               const platform::DialogLayout& landscape)
    : ctx_(context), layout_(context.landscape ? landscape : portrait) {}

int Screen::showModal() { return ctx_.windows.runModal(layout_, *this); }

void Screen::onOpen(platform::Dialog& dialog) {
  dialog_ = &dialog;
  for (const auto& control : layout_.controls) {
    if (control.id >= 0 && control.font != platform::FontRole::Dialog) {
      dialog.setFont(control.id, font(control.font));
    }
  }
  openScreen();
  dialog.requestFullScreen();
}

void Screen::onDestroy() { dialog_ = nullptr; }

const platform::FontSpec& Screen::font(platform::FontRole role) const {
  switch (role) {
    case platform::FontRole::Large: return ctx_.fonts.large;
    case platform::FontRole::Medium: return ctx_.fonts.medium;
    case platform::FontRole::Small:
    case platform::FontRole::Dialog: break;
  }
  return ctx_.fonts.small;
}

bool Screen::endOnExit(int controlId, platform::Notification what, int exitId) {
  constexpr int kGenericCancel = 2;
  if (controlId != exitId && controlId != kGenericCancel) return false;
  if (what == platform::Notification::Clicked && dialog_ != nullptr) dialog_->end(controlId);
  return true;
}

}  // namespace corvantis
