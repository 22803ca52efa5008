#include "platform/qt/qt_surface.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/qt/qt_fonts.h"

namespace corvantis::platform::qt {

namespace {

QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtSurface::QtSurface(std::function<void(const QRect&)> changed) : changed_(std::move(changed)) {
  resetState();
}

void QtSurface::resize(int widthPx, int heightPx, int devicePixelRatio) {
  widthPx_ = std::max(widthPx, 0);
  heightPx_ = std::max(heightPx, 0);
  ratio_ = std::max(devicePixelRatio, 1);
  image_ = QImage(widthPx_ * ratio_, heightPx_ * ratio_, QImage::Format_RGB32);
  image_.setDevicePixelRatio(ratio_);
  image_.fill(toQColor(background()));
}

void QtSurface::beginPaint() {
  image_.fill(toQColor(background()));
  resetState();
}

void QtSurface::resetState() {
  pen_ = QColor(0, 0, 0);
  brush_ = QColor(255, 255, 255);
  textColour_ = QColor(0, 0, 0);
  font_ = toQFont(dialogFont());
  x_ = 0;
  y_ = 0;
  excluded_ = QRegion();
}

void QtSurface::setPen(Rgb colour) { pen_ = toQColor(colour); }
void QtSurface::setBrush(Rgb colour) { brush_ = toQColor(colour); }

void QtSurface::moveTo(int x, int y) {
  x_ = x;
  y_ = y;
}

bool QtSurface::visible(int x, int y) const {
  return x >= 0 && y >= 0 && x < widthPx_ && y < heightPx_ && !excluded_.contains(QPoint(x, y));
}

void QtSurface::plot(int x, int y, QRgb colour) {
  if (!visible(x, y)) {
    return;
  }
  for (int dy = 0; dy < ratio_; ++dy) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y * ratio_ + dy));
    for (int dx = 0; dx < ratio_; ++dx) {
      line[x * ratio_ + dx] = colour;
    }
  }
}

// A one-pixel line from the current position up to, but not including, the
// end point, which becomes the current position: a polyline drawn point to
// point then sets each joint exactly once.
void QtSurface::lineTo(int x, int y) {
  const int fromX = x_;
  const int fromY = y_;
  x_ = x;
  y_ = y;
  if (image_.isNull()) {
    return;
  }
  long long x0 = fromX;
  long long y0 = fromY;
  long long x1 = x;
  long long y1 = y;
  bool drawEnd = false;
  // A map zoomed far in or a bad sample can put a point millions of pixels
  // away; such a line is cut to a margin round the surface first, so that
  // drawing it never walks millions of pixels. Ordinary lines are walked
  // whole, which keeps their pixels exactly where the screens expect them.
  constexpr long long kFar = 1 << 15;
  auto far = [&](long long v) { return v < -kFar || v > kFar; };
  if (far(x0) || far(y0) || far(x1) || far(y1)) {
    const double minX = -2.0;
    const double minY = -2.0;
    const double maxX = widthPx_ + 2.0;
    const double maxY = heightPx_ + 2.0;
    const double dx = static_cast<double>(x1 - x0);
    const double dy = static_cast<double>(y1 - y0);
    double t0 = 0.0;
    double t1 = 1.0;
    auto cut = [&](double p, double q) {
      if (p == 0.0) {
        return q >= 0.0;
      }
      const double r = q / p;
      if (p < 0.0) {
        t0 = std::max(t0, r);
      } else {
        t1 = std::min(t1, r);
      }
      return t0 <= t1;
    };
    if (!cut(-dx, static_cast<double>(x0) - minX) || !cut(dx, maxX - static_cast<double>(x0)) ||
        !cut(-dy, static_cast<double>(y0) - minY) || !cut(dy, maxY - static_cast<double>(y0))) {
      return;
    }
    // The far end lies outside the surface, so drawing up to the cut point
    // inclusive draws nothing that the whole line would not.
    drawEnd = t1 < 1.0;
    const double sx0 = static_cast<double>(x0) + t0 * dx;
    const double sy0 = static_cast<double>(y0) + t0 * dy;
    x1 = std::llround(static_cast<double>(x0) + t1 * dx);
    y1 = std::llround(static_cast<double>(y0) + t1 * dy);
    x0 = std::llround(sx0);
    y0 = std::llround(sy0);
  }
  if (ratio_ > 1) {
    drawScaledLine(x0, y0, x1, y1, drawEnd);
    return;
  }
  const QRgb colour = pen_.rgb();
  const long long dx = x1 > x0 ? x1 - x0 : x0 - x1;
  const long long dy = -(y1 > y0 ? y1 - y0 : y0 - y1);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  long long err = dx + dy;
  long long px = x0;
  long long py = y0;
  while (px != x1 || py != y1) {
    plot(static_cast<int>(px), static_cast<int>(py), colour);
    const long long e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      px += sx;
    }
    if (e2 <= dx) {
      err += dx;
      py += sy;
    }
  }
  if (drawEnd) {
    plot(static_cast<int>(px), static_cast<int>(py), colour);
  }
  changed_(QRect(QPoint(static_cast<int>(std::min(x0, x1)), static_cast<int>(std::min(y0, y1))),
                 QPoint(static_cast<int>(std::max(x0, x1)), static_cast<int>(std::max(y0, y1)))));
}

// On an enlarged window (--scale) a line is drawn at the device's own
// resolution: one handheld pixel wide, but its slope stepped in device
// pixels, so that it is as sharp as the text beside it instead of a
// staircase of enlarged handheld pixels. Its extent along the line is that
// of the handheld line: from the start pixel up to, not including, the end
// pixel (or including it when drawEnd), so level and upright lines cover
// exactly the blocks of the handheld pixels they stand for.
void QtSurface::drawScaledLine(long long x0, long long y0, long long x1, long long y1, bool drawEnd) {
  const double dx = static_cast<double>(x1 - x0);
  const double dy = static_cast<double>(y1 - y0);
  const double length = std::hypot(dx, dy);
  if (length == 0.0 && !drawEnd) {
    return;
  }
  // Pixel centres, and half a pixel back along the line at each end: with a
  // flat cap the stroke then starts at the start pixel's near edge and ends
  // at the end pixel's near edge (its far edge when drawEnd).
  const double ux = length > 0.0 ? dx / length : 1.0;
  const double uy = length > 0.0 ? dy / length : 0.0;
  const double endShift = drawEnd ? 0.5 : -0.5;
  const QPointF from(static_cast<double>(x0) + 0.5 - 0.5 * ux, static_cast<double>(y0) + 0.5 - 0.5 * uy);
  const QPointF to(static_cast<double>(x1) + 0.5 + endShift * ux, static_cast<double>(y1) + 0.5 + endShift * uy);
  QPainter painter(&image_);  // the image's device pixel ratio scales the painter
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setClipRegion(clipRegion());
  QPen pen(pen_);
  pen.setWidthF(1.0);
  pen.setCapStyle(Qt::FlatCap);
  painter.setPen(pen);
  painter.drawLine(from, to);
  painter.end();
  changed_(QRect(QPoint(static_cast<int>(std::min(x0, x1)) - 1, static_cast<int>(std::min(y0, y1)) - 1),
                 QPoint(static_cast<int>(std::max(x0, x1)) + 1, static_cast<int>(std::max(y0, y1)) + 1)));
}

QRegion QtSurface::clipRegion() const { return QRegion(0, 0, widthPx_, heightPx_).subtracted(excluded_); }

void QtSurface::fillRect(const Rect& rect, Rgb colour) {
  if (image_.isNull() || rect.width <= 0 || rect.height <= 0) {
    return;
  }
  const QRect area(rect.x, rect.y, rect.width, rect.height);
  QPainter painter(&image_);
  painter.setClipRegion(clipRegion());
  painter.fillRect(area, toQColor(colour));
  painter.end();
  changed_(area);
}

// The shape covers the box from (left, top) up to, not including, (right,
// bottom), outline in the pen's colour and inside in the brush's.
void QtSurface::fillShape(int left, int top, int right, int bottom) {
  if (image_.isNull()) {
    return;
  }
  const QRect box(QPoint(std::min(left, right), std::min(top, bottom)),
                  QPoint(std::max(left, right) - 1, std::max(top, bottom) - 1));
  if (box.width() <= 0 || box.height() <= 0) {
    return;
  }
  QPainter painter(&image_);
  painter.setClipRegion(clipRegion());
  QPen pen(pen_);
  pen.setWidth(1);
  painter.setPen(pen);
  painter.setBrush(brush_);
  // An outlined ellipse covers one pixel more than its rectangle each way.
  painter.drawEllipse(box.adjusted(0, 0, -1, -1));
  painter.end();
  changed_(box);
}

void QtSurface::setFont(const FontSpec& font) { font_ = toQFont(font); }
void QtSurface::setTextColour(Rgb colour) { textColour_ = toQColor(colour); }

void QtSurface::drawText(int x, int y, std::string_view text) {
  if (image_.isNull() || text.empty()) {
    return;
  }
  const QString s = toQString(text);
  const QFontMetrics metrics(font_);
  QPainter painter(&image_);
  painter.setClipRegion(clipRegion());
  painter.setFont(font_);
  painter.setPen(textColour_);
  painter.drawText(QPoint(x, y + metrics.ascent()), s);
  painter.end();
  changed_(QRect(x, y, metrics.horizontalAdvance(s) + 2, metrics.height()));
}

Size QtSurface::textExtent(std::string_view text) {
  const QFontMetrics metrics(font_);
  return Size{metrics.horizontalAdvance(toQString(text)), metrics.height()};
}

void QtSurface::excludeClip(const Rect& rect) {
  if (rect.width > 0 && rect.height > 0) {
    excluded_ += QRect(rect.x, rect.y, rect.width, rect.height);
  }
}

void QtSurface::resetClip() { excluded_ = QRegion(); }

}  // namespace corvantis::platform::qt
