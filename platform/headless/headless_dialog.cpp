#include "platform/headless/headless_dialog.h"

#include <stdexcept>

#include "platform/headless/headless_window_system.h"

namespace corvantis::platform::headless {

namespace {

bool hasItems(ControlKind kind) {
  return kind == ControlKind::DropDownCombo || kind == ControlKind::DropDownList ||
         kind == ControlKind::List || kind == ControlKind::MultiSelectList;
}

bool isButton(ControlKind kind) {
  return kind == ControlKind::Button || kind == ControlKind::MultiLineButton;
}

bool hasEditField(ControlKind kind) {
  return kind == ControlKind::Edit || kind == ControlKind::DropDownCombo;
}

// The first maxChars code points of text (a limit counts characters, and a
// cut never splits a UTF-8 sequence).
std::string_view firstChars(std::string_view text, int maxChars) {
  int chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == maxChars) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

std::string describe(const ControlState& c) { return "control " + std::to_string(c.entry.id); }

void requireItems(const ControlState& c, const char* what) {
  if (!hasItems(c.entry.kind)) {
    throw std::logic_error(std::string(what) + " on " + describe(c) + ", which holds no items");
  }
}

void requireIndex(const ControlState& c, int index) {
  if (index < 0 || index >= static_cast<int>(c.items.size())) {
    throw std::out_of_range("item " + std::to_string(index) + " of " + describe(c) + ", which holds " +
                            std::to_string(c.items.size()));
  }
}

}  // namespace

HeadlessDialog::HeadlessDialog(HeadlessWindowSystem& windows, const DialogLayout& layout,
                               DialogHandler& handler)
    : windows_(windows), layout_(layout), handler_(&handler) {
  controls_.reserve(layout_.controls.size());
  for (const ControlSpec& entry : layout_.controls) {
    ControlState c;
    c.entry = entry;
    c.text = entry.caption;
    c.items = entry.items;
    c.selected.assign(c.items.size(), false);
    controls_.push_back(std::move(c));
  }
}

bool HeadlessDialog::hasControl(int id) const {
  if (id < 0) return false;
  for (const ControlState& c : controls_) {
    if (c.entry.id == id) return true;
  }
  return false;
}

ControlState& HeadlessDialog::find(int id) {
  if (id >= 0) {
    for (ControlState& c : controls_) {
      if (c.entry.id == id) return c;
    }
  }
  throw std::out_of_range("control " + std::to_string(id) + " is not on layout " +
                          std::to_string(layout_.resourceId));
}

const ControlState& HeadlessDialog::find(int id) const {
  return const_cast<HeadlessDialog*>(this)->find(id);
}

const ControlState& HeadlessDialog::control(int id) const { return find(id); }

// --- Programmatic side: no notifications -----------------------------------

void HeadlessDialog::setText(int id, std::string_view text) {
  ControlState& c = find(id);
  if (c.entry.kind == ControlKind::DropDownList) {
    // A list without an edit field can only show one of its items: the text
    // picks the item that reads so, and any other text changes nothing.
    for (size_t i = 0; i < c.items.size(); ++i) {
      if (c.items[i] == text) c.selection = static_cast<int>(i);
    }
    return;
  }
  // A field holds at most its length limit, whoever sets the text.
  // Into the text's own storage: a live line is set on every tick.
  c.text.assign(c.lengthLimit > 0 ? firstChars(text, c.lengthLimit) : text);
}

std::string HeadlessDialog::text(int id) const {
  const ControlState& c = find(id);
  if (c.entry.kind == ControlKind::DropDownList) {
    return c.selection >= 0 ? c.items[static_cast<size_t>(c.selection)] : std::string();
  }
  return c.text;
}

void HeadlessDialog::setFont(int id, const FontSpec& font) {
  ControlState& c = find(id);
  c.font = font;
  c.fontSet = true;
}

void HeadlessDialog::setTextColour(int id, Rgb colour) {
  ControlState& c = find(id);
  c.textColour = colour;
  c.textColourSet = true;
}

void HeadlessDialog::addItem(int id, std::string_view text) {
  ControlState& c = find(id);
  requireItems(c, "addItem");
  c.items.emplace_back(text);
  c.selected.push_back(false);
}

void HeadlessDialog::removeItem(int id, int index) {
  ControlState& c = find(id);
  requireItems(c, "removeItem");
  requireIndex(c, index);
  c.items.erase(c.items.begin() + index);
  c.selected.erase(c.selected.begin() + index);
  // Later rows move up one place, and so do the marks that point at them.
  for (int* mark : {&c.selection, &c.focusedItem}) {
    if (*mark == index) {
      *mark = -1;
    } else if (*mark > index) {
      --*mark;
    }
  }
}

void HeadlessDialog::clearItems(int id) {
  ControlState& c = find(id);
  requireItems(c, "clearItems");
  c.items.clear();
  c.selected.clear();
  c.selection = -1;
  c.focusedItem = -1;
  // Emptying a combo empties its edit field too.
  if (c.entry.kind == ControlKind::DropDownCombo) c.text.clear();
}

int HeadlessDialog::itemCount(int id) const {
  const ControlState& c = find(id);
  requireItems(c, "itemCount");
  return static_cast<int>(c.items.size());
}

std::string HeadlessDialog::itemText(int id, int index) const {
  const ControlState& c = find(id);
  requireItems(c, "itemText");
  requireIndex(c, index);
  return c.items[static_cast<size_t>(index)];
}

int HeadlessDialog::selection(int id) const {
  const ControlState& c = find(id);
  requireItems(c, "selection");
  // A multiple-selection list has no single current item; the row with the
  // focus rectangle stands in for it.
  if (c.entry.kind == ControlKind::MultiSelectList) return focusedItem(id);
  return c.selection;
}

int HeadlessDialog::itemAt(int id, Point p) const {
  const ControlState& c = find(id);
  if (c.entry.kind != ControlKind::List && c.entry.kind != ControlKind::MultiSelectList) return -1;
  if (p.x < 0 || p.y < 0) return -1;
  const int row = p.y / kRowHeightPx;
  return row < static_cast<int>(c.items.size()) ? row : -1;
}

void HeadlessDialog::setSelection(int id, int index) {
  ControlState& c = find(id);
  requireItems(c, "setSelection");
  if (index != -1) requireIndex(c, index);
  if (c.entry.kind == ControlKind::MultiSelectList) {
    // Rows are selected with setSelected; this only moves the focus row.
    if (index >= 0) c.focusedItem = index;
    return;
  }
  c.selection = index;
  if (c.entry.kind == ControlKind::List) c.focusedItem = index;
  if (c.entry.kind == ControlKind::DropDownCombo) {
    c.text = index >= 0 ? c.items[static_cast<size_t>(index)] : std::string();
  }
}

bool HeadlessDialog::isSelected(int id, int index) const {
  const ControlState& c = find(id);
  requireItems(c, "isSelected");
  requireIndex(c, index);
  if (c.entry.kind == ControlKind::MultiSelectList) return c.selected[static_cast<size_t>(index)];
  return c.selection == index;
}

void HeadlessDialog::setSelected(int id, int index, bool selected) {
  ControlState& c = find(id);
  if (c.entry.kind != ControlKind::MultiSelectList && c.entry.kind != ControlKind::List) {
    throw std::logic_error("setSelected on " + describe(c) + ", which is not a list");
  }
  requireIndex(c, index);
  if (c.entry.kind == ControlKind::MultiSelectList) {
    c.selected[static_cast<size_t>(index)] = selected;
  } else if (selected) {
    c.selection = index;
    c.focusedItem = index;
  } else if (c.selection == index) {
    c.selection = -1;
  }
}

int HeadlessDialog::focusedItem(int id) const {
  const ControlState& c = find(id);
  if (c.entry.kind != ControlKind::MultiSelectList && c.entry.kind != ControlKind::List) {
    throw std::logic_error("focusedItem on " + describe(c) + ", which is not a list");
  }
  // A list with rows always has a focus row, the first until the user or the
  // screen moves it: only an empty list has none.
  if (c.items.empty()) return -1;
  return c.focusedItem >= 0 ? c.focusedItem : 0;
}

void HeadlessDialog::setEnabled(int id, bool enabled) { find(id).enabled = enabled; }
bool HeadlessDialog::isEnabled(int id) const { return find(id).enabled; }
void HeadlessDialog::setVisible(int id, bool visible) { find(id).visible = visible; }
bool HeadlessDialog::isVisible(int id) const { return find(id).visible; }

void HeadlessDialog::setFocus(int id) {
  find(id);
  focus_ = id;
}

void HeadlessDialog::setLengthLimit(int id, int maxChars) {
  ControlState& c = find(id);
  if (!hasEditField(c.entry.kind)) {
    throw std::logic_error("setLengthLimit on " + describe(c) + ", which has no edit field");
  }
  c.lengthLimit = maxChars > 0 ? maxChars : 0;
  if (c.lengthLimit > 0) c.text.resize(firstChars(c.text, c.lengthLimit).size());
}

void HeadlessDialog::end(int result) {
  // As on the device, the last result given before the run returns counts.
  ended_ = true;
  result_ = result;
}

int HeadlessDialog::popupMenu(const MenuSpec& menu, int id, Point p, const std::vector<int>& greyed) {
  if (id != 0) find(id);
  ShownMenu shown{menu.resourceId, menu.title, id, p, greyed, 0, false};
  const int answer = windows_.answerMenu(shown, menu);
  menus_.push_back(std::move(shown));
  return answer;
}

// --- The user's side: the only notifications ----------------------------------

bool HeadlessDialog::canAct() const {
  return handler_ != nullptr && !ended_ && windows_.isInnermost(*this);
}

ControlState* HeadlessDialog::reachable(int id) {
  ControlState& c = find(id);
  if (!canAct() || !c.visible || !c.enabled) return nullptr;
  return &c;
}

void HeadlessDialog::afterUserAction() {
  if (windows_.autoPaint()) windows_.paintPendingDialogs();
}

bool HeadlessDialog::userClick(int id) {
  if ((id == 1 || id == 2) && !hasControl(id)) {
    if (!canAct()) return false;
    handler_->onCommand(id, Notification::Clicked);
    afterUserAction();
    return true;
  }
  ControlState& c = find(id);
  if (!isButton(c.entry.kind)) throw std::logic_error("userClick on " + describe(c) + ", not a button");
  if (reachable(id) == nullptr) return false;
  handler_->onCommand(id, Notification::Clicked);
  afterUserAction();
  return true;
}

bool HeadlessDialog::userSelect(int id, int index) {
  ControlState& c = find(id);
  requireItems(c, "userSelect");
  if (c.entry.kind == ControlKind::MultiSelectList) {
    throw std::logic_error("userSelect on " + describe(c) + ": rows of a multiple-selection list are toggled");
  }
  requireIndex(c, index);
  if (reachable(id) == nullptr) return false;
  setSelection(id, index);
  handler_->onCommand(id, Notification::SelectionChanged);
  afterUserAction();
  return true;
}

bool HeadlessDialog::userType(int id, std::string_view text) {
  ControlState& c = find(id);
  if (!hasEditField(c.entry.kind)) throw std::logic_error("userType on " + describe(c) + ", no edit field");
  if (reachable(id) == nullptr) return false;
  std::string typed(c.lengthLimit > 0 ? firstChars(text, c.lengthLimit) : text);
  if (typed == c.text) return true;  // nothing changed, nothing to tell
  c.text = std::move(typed);
  handler_->onCommand(id, Notification::EditChanged);
  afterUserAction();
  return true;
}

bool HeadlessDialog::userToggleRow(int id, int row) {
  ControlState& c = find(id);
  if (c.entry.kind != ControlKind::MultiSelectList) {
    throw std::logic_error("userToggleRow on " + describe(c) + ", not a multiple-selection list");
  }
  requireIndex(c, row);
  if (reachable(id) == nullptr) return false;
  c.selected[static_cast<size_t>(row)] = !c.selected[static_cast<size_t>(row)];
  c.focusedItem = row;
  handler_->onCommand(id, Notification::SelectionChanged);
  afterUserAction();
  return true;
}

bool HeadlessDialog::userHold(int id, Point p) {
  if (id == 0 ? !canAct() : reachable(id) == nullptr) return false;
  handler_->onHold(id, p);
  afterUserAction();
  return true;
}

bool HeadlessDialog::userPointerDown(Point p) {
  if (!canAct()) return false;
  handler_->onPointerDown(p);
  afterUserAction();
  return true;
}

bool HeadlessDialog::userPointerMove(Point p) {
  if (!canAct()) return false;
  handler_->onPointerMove(p);
  afterUserAction();
  return true;
}

bool HeadlessDialog::userPointerUp(Point p) {
  if (!canAct()) return false;
  handler_->onPointerUp(p);
  afterUserAction();
  return true;
}

bool HeadlessDialog::userWheel(Point p, int notches) {
  if (!canAct()) return false;
  if (notches != 0) handler_->onWheel(p, notches);
  afterUserAction();
  return true;
}

bool HeadlessDialog::fireTimer() { return windows_.fireTimer(); }

void HeadlessDialog::paint() {
  if (handler_ == nullptr) return;
  paintPending_ = false;
  ++paints_;
  handler_->onPaint(surface_);
}

void HeadlessDialog::paintIfPending() {
  if (paintPending_ && !ended_) paint();
}

}  // namespace corvantis::platform::headless
