#pragma once
// The drawing surface of a screen: an image the size of the client area,
// shown behind the child controls. Painting and immediate drawing both draw
// into it; every change asks the window to show the changed area.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <functional>

#include "platform/window.h"

namespace corvantis::platform::qt {

class QtSurface final : public Surface {
 public:
  // changed: called with the area (client pixels) that a drawing call touched.
  explicit QtSurface(std::function<void(const QRect&)> changed);

  // New size in client pixels and the window's device pixel ratio (whole
  // numbers only, so that each client pixel is a square block). The content
  // is cleared.
  void resize(int widthPx, int heightPx, int devicePixelRatio);
  // Clears to the background and puts pen, brush, font, text colour, current
  // position and clip back to their defaults: every paint starts afresh.
  void beginPaint();

  const QImage& image() const { return image_; }
  int width() const { return widthPx_; }
  int height() const { return heightPx_; }
  static Rgb background() { return Rgb{255, 255, 255}; }

  void setPen(Rgb colour) override;
  void setBrush(Rgb colour) override;
  void moveTo(int x, int y) override;
  void lineTo(int x, int y) override;
  void fillRect(const Rect& rect, Rgb colour) override;
  void fillShape(int left, int top, int right, int bottom) override;
  void setFont(const FontSpec& font) override;
  void setTextColour(Rgb colour) override;
  void drawText(int x, int y, std::string_view text) override;
  Size textExtent(std::string_view text) override;
  void excludeClip(const Rect& rect) override;
  void resetClip() override;

 private:
  void resetState();
  void plot(int x, int y, QRgb colour);
  void drawScaledLine(long long x0, long long y0, long long x1, long long y1, bool drawEnd);
  bool visible(int x, int y) const;
  QRegion clipRegion() const;

  std::function<void(const QRect&)> changed_;
  QImage image_;
  int widthPx_ = 0;
  int heightPx_ = 0;
  int ratio_ = 1;

  QColor pen_;
  QColor brush_;
  QColor textColour_;
  QFont font_;
  int x_ = 0;
  int y_ = 0;
  // Areas left out of drawing by excludeClip, in client pixels.
  QRegion excluded_;
};

}  // namespace corvantis::platform::qt
