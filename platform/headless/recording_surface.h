#pragma once
// A drawing surface that draws nothing and remembers everything: each call
// becomes one DrawOp, in order, with the pen, brush, font and text colour in
// effect when it ran. Tests assert on the order, coordinates and colours of
// what a screen drew; the log analyzer simply ignores the list.
//
// Text extent model (deterministic, no font files): a text is as high as its
// font's pixel height, and each character is half the font height wide
// (rounded down, at least 1 pixel); bold and regular are the same width. So
// "ST" in the default Arial 12 measures 12 x 12. Characters are counted as
// UTF-8 code points.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace corvantis::platform::headless {

enum class DrawKind {
  SetPen,
  SetBrush,
  MoveTo,
  LineTo,
  FillRect,
  FillShape,
  SetFont,
  SetTextColour,
  DrawText,
  ExcludeClip,
  ResetClip,
};

struct DrawOp {
  DrawKind kind = DrawKind::MoveTo;
  // MoveTo and LineTo: the target point; DrawText: the text's top-left corner.
  Point at;
  // LineTo: where the line starts (the current position before the call).
  Point from;
  // FillRect and ExcludeClip: the rectangle. FillShape: the bounding box
  // with x = left, y = top, width = right - left, height = bottom - top.
  Rect rect;
  // SetPen, SetBrush, SetTextColour and FillRect: the colour given.
  Rgb colour;
  // DrawText: the text.
  std::string text;
  // The state in effect for this operation (after it, for the setters).
  Rgb pen;
  Rgb brush;
  Rgb textColour;
  FontSpec font;
  // Rectangles excluded from drawing when the operation ran.
  size_t excludedRects = 0;
};

// A line segment as drawn with the pen, for assertions on polylines.
struct DrawnLine {
  Point from;
  Point to;
  Rgb pen;
};

class RecordingSurface final : public Surface {
 public:
  // Initial state: black pen and brush, default FontSpec, black text.
  RecordingSurface() = default;

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

  // The extent model, usable without a surface.
  static Size extentOf(const FontSpec& font, std::string_view text);

  const std::vector<DrawOp>& ops() const { return ops_; }
  // Forgets the recorded operations; the drawing state stays.
  void clear() { ops_.clear(); }

  // Convenience views over ops().
  std::vector<DrawOp> opsOfKind(DrawKind kind) const;
  std::vector<DrawnLine> lines() const;
  std::vector<std::string> texts() const;

  Rgb pen() const { return pen_; }
  Rgb brush() const { return brush_; }
  Rgb textColour() const { return textColour_; }
  const FontSpec& font() const { return font_; }
  Point position() const { return position_; }
  const std::vector<Rect>& excludedRects() const { return excluded_; }

 private:
  DrawOp& record(DrawKind kind);

  std::vector<DrawOp> ops_;
  Rgb pen_{};
  Rgb brush_{};
  Rgb textColour_{};
  FontSpec font_{};
  Point position_{};
  std::vector<Rect> excluded_;
};

const char* drawKindName(DrawKind kind);

}  // namespace corvantis::platform::headless
