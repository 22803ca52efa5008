#pragma once
// A push button whose caption is word-wrapped over as many lines as its
// width needs and centred, as the main menu's tall buttons show
// "Acceleration Timings" on two lines. A caption that fits shows on one
// centred line, as on any button; one that cannot fit even wrapped is drawn
// in the largest smaller size that fits.
#include <QPushButton>

namespace corvantis::platform::qt {

class WrappingButton final : public QPushButton {
 public:
  explicit WrappingButton(const QString& text, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace corvantis::platform::qt
