#include "platform/headless/recording_surface.h"

#include <algorithm>

namespace corvantis::platform::headless {

DrawOp& RecordingSurface::record(DrawKind kind) {
  DrawOp op;
  op.kind = kind;
  op.pen = pen_;
  op.brush = brush_;
  op.textColour = textColour_;
  op.font = font_;
  op.excludedRects = excluded_.size();
  ops_.push_back(std::move(op));
  return ops_.back();
}

void RecordingSurface::setPen(Rgb colour) {
  pen_ = colour;
  record(DrawKind::SetPen).colour = colour;
}

void RecordingSurface::setBrush(Rgb colour) {
  brush_ = colour;
  record(DrawKind::SetBrush).colour = colour;
}

void RecordingSurface::moveTo(int x, int y) {
  DrawOp& op = record(DrawKind::MoveTo);
  op.from = position_;
  op.at = {x, y};
  position_ = {x, y};
}

void RecordingSurface::lineTo(int x, int y) {
  DrawOp& op = record(DrawKind::LineTo);
  op.from = position_;
  op.at = {x, y};
  position_ = {x, y};
}

void RecordingSurface::fillRect(const Rect& rect, Rgb colour) {
  DrawOp& op = record(DrawKind::FillRect);
  op.rect = rect;
  op.colour = colour;
}

void RecordingSurface::fillShape(int left, int top, int right, int bottom) {
  record(DrawKind::FillShape).rect = {left, top, right - left, bottom - top};
}

void RecordingSurface::setFont(const FontSpec& font) {
  font_ = font;
  record(DrawKind::SetFont);
}

void RecordingSurface::setTextColour(Rgb colour) {
  textColour_ = colour;
  record(DrawKind::SetTextColour).colour = colour;
}

void RecordingSurface::drawText(int x, int y, std::string_view text) {
  DrawOp& op = record(DrawKind::DrawText);
  op.at = {x, y};
  op.text = std::string(text);
}

Size RecordingSurface::extentOf(const FontSpec& font, std::string_view text) {
  const int charWidth = std::max(1, font.heightPx / 2);
  // Count code points: every byte that is not a UTF-8 continuation byte.
  const auto chars = std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  return {static_cast<int>(chars) * charWidth, font.heightPx};
}

Size RecordingSurface::textExtent(std::string_view text) { return extentOf(font_, text); }

void RecordingSurface::excludeClip(const Rect& rect) {
  excluded_.push_back(rect);
  record(DrawKind::ExcludeClip).rect = rect;
}

void RecordingSurface::resetClip() {
  excluded_.clear();
  record(DrawKind::ResetClip);
}

std::vector<DrawOp> RecordingSurface::opsOfKind(DrawKind kind) const {
  std::vector<DrawOp> out;
  std::copy_if(ops_.begin(), ops_.end(), std::back_inserter(out),
               [kind](const DrawOp& op) { return op.kind == kind; });
  return out;
}

std::vector<DrawnLine> RecordingSurface::lines() const {
  std::vector<DrawnLine> out;
  for (const DrawOp& op : ops_) {
    if (op.kind == DrawKind::LineTo) out.push_back({op.from, op.at, op.pen});
  }
  return out;
}

std::vector<std::string> RecordingSurface::texts() const {
  std::vector<std::string> out;
  for (const DrawOp& op : ops_) {
    if (op.kind == DrawKind::DrawText) out.push_back(op.text);
  }
  return out;
}

const char* drawKindName(DrawKind kind) {
  switch (kind) {
    case DrawKind::SetPen: return "SetPen";
    case DrawKind::SetBrush: return "SetBrush";
    case DrawKind::MoveTo: return "MoveTo";
    case DrawKind::LineTo: return "LineTo";
    case DrawKind::FillRect: return "FillRect";
    case DrawKind::FillShape: return "FillShape";
    case DrawKind::SetFont: return "SetFont";
    case DrawKind::SetTextColour: return "SetTextColour";
    case DrawKind::DrawText: return "DrawText";
    case DrawKind::ExcludeClip: return "ExcludeClip";
    case DrawKind::ResetClip: return "ResetClip";
  }
  return "?";
}

}  // namespace corvantis::platform::headless
