// The controls of a QtDialog: built from their table rows, then addressed by
// id. Every change made here is programmatic and sends no notification.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QValidator>
#include <algorithm>
#include <vector>

#include "platform/qt/dialog_units.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_fonts.h"
#include "platform/qt/text_fit.h"
#include "platform/qt/wrapping_button.h"

namespace corvantis::platform::qt {

namespace {

// A text wider than a combo's edit field would otherwise show its end
// ("0 (1/4 mile)"); the driver must read the start ("440 (1/4 mile)").
void showTextStart(QComboBox* combo) {
  if (combo->isEditable() && combo->lineEdit() != nullptr) {
    combo->lineEdit()->setCursorPosition(0);
  }
}

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toStd(const QString& text) { return text.toUtf8().toStdString(); }

// An edit field's limit counts characters, as the user sees them, not the
// UTF-16 units Qt stores: 31 letters of any script fit a 31-character field,
// and a cut never leaves half of a surrogate pair. Text beyond the limit is
// taken off just before the cursor, which is where typing or a paste put it,
// so a further key press is refused and a long paste is cut to fit.
class CharacterLimit final : public QValidator {
 public:
  CharacterLimit(int maxChars, QObject* parent) : QValidator(parent), maxChars_(maxChars) {}

  State validate(QString& input, int& pos) const override {
    qsizetype chars = 0;
    for (qsizetype i = 0; i < input.size(); i += unitsAt(input, i)) ++chars;
    qsizetype excess = chars - maxChars_;
    if (excess <= 0) return Acceptable;
    qsizetype end = std::clamp<qsizetype>(pos, 0, input.size());
    qsizetype start = end;
    while (excess > 0 && start > 0) {
      start -= (start >= 2 && input[start - 1].isLowSurrogate() && input[start - 2].isHighSurrogate()) ? 2 : 1;
      --excess;
    }
    input.remove(start, end - start);
    pos = static_cast<int>(start);
    if (excess > 0) {
      // Not enough text before the cursor: the end goes instead.
      qsizetype keep = 0;
      for (qsizetype c = 0; c < maxChars_ && keep < input.size(); ++c) keep += unitsAt(input, keep);
      input.truncate(keep);
      pos = std::min(pos, static_cast<int>(keep));
    }
    return Acceptable;
  }

 private:
  static qsizetype unitsAt(const QString& s, qsizetype i) {
    return i + 1 < s.size() && s[i].isHighSurrogate() && s[i + 1].isLowSurrogate() ? 2 : 1;
  }

  int maxChars_;
};

bool isCombo(ControlKind kind) {
  return kind == ControlKind::DropDownCombo || kind == ControlKind::DropDownList;
}

bool isList(ControlKind kind) {
  return kind == ControlKind::List || kind == ControlKind::MultiSelectList;
}

}  // namespace

void QtDialog::buildControl(const ControlSpec& entry) {
  const int id = entry.id;
  const QString caption = QString::fromStdString(entry.caption);
  Control control;
  control.kind = entry.kind;
  QWidget* widget = nullptr;
  switch (entry.kind) {
    case ControlKind::Static: {
      auto* label = new QLabel(caption, window_);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(true);
      // A static hides the surface under it and lets taps through to it.
      label->setAutoFillBackground(true);
      label->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = label;
      break;
    }
    case ControlKind::Button:
    case ControlKind::MultiLineButton: {
      // A plain button wraps too, but only a caption wider than the button:
      // the tables give some plain buttons ("Forget Last Run") a tall, narrow
      // box that one clipped line would leave unreadable.
      QPushButton* button = new WrappingButton(caption, window_);
      button->setAutoDefault(false);
      button->setDefault(entry.defaultButton);
      QObject::connect(button, &QPushButton::clicked, window_,
                       [this, id] { notify(id, Notification::Clicked); });
      widget = button;
      break;
    }
    case ControlKind::DropDownCombo:
    case ControlKind::DropDownList: {
      auto* combo = new QComboBox(window_);
      if (entry.kind == ControlKind::DropDownCombo) {
        combo->setEditable(true);
        // Typed text is the screen's to read; it never becomes an item nor
        // is completed from the items behind the user's back.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, window_,
                         [this, id] { notify(id, Notification::EditChanged); });
      }
      for (const std::string& item : entry.items) {
        combo->addItem(QString::fromStdString(item));
      }
      // Filling a combo selects nothing.
      combo->setCurrentIndex(-1);
      QObject::connect(combo, &QComboBox::activated, window_, [this, id, combo] {
        showTextStart(combo);
        notify(id, Notification::SelectionChanged);
      });
      widget = combo;
      break;
    }
    case ControlKind::List:
    case ControlKind::MultiSelectList: {
      auto* list = new QListWidget(window_);
      list->setSelectionMode(entry.kind == ControlKind::List ? QAbstractItemView::SingleSelection
                                                            : QAbstractItemView::MultiSelection);
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      for (const std::string& item : entry.items) {
        list->addItem(QString::fromStdString(item));
      }
      // itemSelectionChanged also follows the dialog's own changes; those
      // are filtered by notify().
      QObject::connect(list, &QListWidget::itemSelectionChanged, window_,
                       [this, id] { notify(id, Notification::SelectionChanged); });
      // Only a list with a context menu knows the gesture; on any other a
      // held press is an ordinary tap that selects.
      if (entry.contextMenu != 0) {
        new ListHoldFilter(list->viewport(), [this, id](QPoint p) {
          if (!ended_) {
            handler_.onHold(id, Point{p.x(), p.y()});
          }
        });
      }
      widget = list;
      break;
    }
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(caption, window_);
      QObject::connect(edit, &QLineEdit::textEdited, window_,
                       [this, id] { notify(id, Notification::EditChanged); });
      widget = edit;
      break;
    }
    case ControlKind::GroupBox: {
      auto* group = new QGroupBox(caption, window_);
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = group;
      break;
    }
  }
  const Rect px = duToPixels(entry.rect);
  widget->setGeometry(px.x, px.y, px.width, px.height);
  control.baseFont = toQFont(fontForRole(entry.font));
  widget->setFont(control.baseFont);
  if (entry.kind == ControlKind::GroupBox) {
    widget->lower();  // a frame round other controls stays under them
  }
  control.widget = widget;
  control.dropHeightPx = px.height;
  if (isCombo(entry.kind)) {
    fitCombo(control);
  }
  fitText(control);
  if (id >= 0) {
    controls_[id] = control;
    if (isCombo(entry.kind)) {
      // The shown text of a combo changes with the user's typing and picks
      // too: each change is fitted again.
      auto* combo = static_cast<QComboBox*>(widget);
      QObject::connect(combo, &QComboBox::currentTextChanged, window_, [this, id] {
        if (const Control* c = find(id)) fitText(*c);
      });
    }
  }
}

void QtDialog::fitText(const Control& control) {
  switch (control.kind) {
    case ControlKind::Static: {
      auto* label = static_cast<QLabel*>(control.widget);
      const QFont fitted = fittedFont(control.baseFont, label->text(), label->contentsRect().size(), true);
      if (label->font() != fitted) label->setFont(fitted);
      break;
    }
    case ControlKind::DropDownCombo:
    case ControlKind::DropDownList: {
      auto* combo = static_cast<QComboBox*>(control.widget);
      // The room the style gives the shown text, whether or not the combo
      // has been laid out on the screen yet.
      QStyleOptionComboBox option;
      option.initFrom(combo);
      option.editable = combo->isEditable();
      option.frame = combo->hasFrame();
      option.rect = QRect(QPoint(0, 0), combo->size());
      QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
      // An edit field keeps a margin of 2 pixels on either side of its text.
      if (combo->isEditable()) field.adjust(2, 0, -2, 0);
      const QFont fitted = fittedFont(control.baseFont, combo->currentText(), field.size(), false);
      QWidget* shown = combo->isEditable() ? static_cast<QWidget*>(combo->lineEdit()) : combo;
      if (shown->font() != fitted) shown->setFont(fitted);
      break;
    }
    default: break;
  }
}

// A combo's table height is that of its open list; the closed box is one
// line of its font high and the list shows as many rows as fit below it.
void QtDialog::fitCombo(Control& control) {
  auto* combo = static_cast<QComboBox*>(control.widget);
  const int closed = combo->sizeHint().height();
  combo->resize(combo->width(), closed);
  // A row of the open list is one line of the font, as the tables' list
  // heights were measured: "Imperial"/"Metric" in 30 units shows both.
  const int row = std::max(1, combo->fontMetrics().height());
  combo->setMaxVisibleItems(std::max(1, (control.dropHeightPx - closed) / row));
}

void QtDialog::setText(int id, std::string_view text) {
  const Control* c = find(id);
  if (c == nullptr) {
    return;
  }
  const Programmatic guard(*this);
  const QString s = toQString(text);
  switch (c->kind) {
    case ControlKind::Static:
      static_cast<QLabel*>(c->widget)->setText(s);
      fitText(*c);
      break;
    case ControlKind::Button:
    case ControlKind::MultiLineButton: static_cast<QPushButton*>(c->widget)->setText(s); break;
    case ControlKind::DropDownCombo: {
      auto* combo = static_cast<QComboBox*>(c->widget);
      combo->setEditText(s);
      showTextStart(combo);
      break;
    }
    case ControlKind::DropDownList: {
      // A list without an edit field can only show one of its items.
      auto* combo = static_cast<QComboBox*>(c->widget);
      const int index = combo->findText(s, Qt::MatchFixedString);
      if (index >= 0) {
        combo->setCurrentIndex(index);
      }
      break;
    }
    // An edit field keeps at most its length limit, whoever sets the text.
    case ControlKind::Edit: static_cast<QLineEdit*>(c->widget)->setText(s); break;
    case ControlKind::GroupBox: static_cast<QGroupBox*>(c->widget)->setTitle(s); break;
    case ControlKind::List:
    case ControlKind::MultiSelectList: break;
  }
}

std::string QtDialog::text(int id) const {
  const Control* c = find(id);
  if (c == nullptr) {
    return {};
  }
  switch (c->kind) {
    case ControlKind::Static: return toStd(static_cast<QLabel*>(c->widget)->text());
    case ControlKind::Button:
    case ControlKind::MultiLineButton: return toStd(static_cast<QPushButton*>(c->widget)->text());
    case ControlKind::DropDownCombo:
    case ControlKind::DropDownList: return toStd(static_cast<QComboBox*>(c->widget)->currentText());
    case ControlKind::Edit: return toStd(static_cast<QLineEdit*>(c->widget)->text());
    case ControlKind::GroupBox: return toStd(static_cast<QGroupBox*>(c->widget)->title());
    case ControlKind::List:
    case ControlKind::MultiSelectList: break;
  }
  return {};
}

void QtDialog::setFont(int id, const FontSpec& font) {
  const auto it = controls_.find(id);
  if (it == controls_.end()) {
    return;
  }
  it->second.baseFont = toQFont(font);
  it->second.widget->setFont(it->second.baseFont);
  if (isCombo(it->second.kind)) {
    auto* combo = static_cast<QComboBox*>(it->second.widget);
    if (combo->isEditable()) combo->lineEdit()->setFont(it->second.baseFont);
    fitCombo(it->second);
  }
  fitText(it->second);
}

void QtDialog::setTextColour(int id, Rgb colour) {
  const Control* c = find(id);
  if (c == nullptr) {
    return;
  }
  QPalette palette = c->widget->palette();
  const QColor q(colour.r, colour.g, colour.b);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Active, role, q);
    palette.setColor(QPalette::Inactive, role, q);
  }
  c->widget->setPalette(palette);
}

void QtDialog::addItem(int id, std::string_view text) {
  const Control* c = find(id);
  if (c == nullptr) {
    return;
  }
  const Programmatic guard(*this);
  if (isCombo(c->kind)) {
    auto* combo = static_cast<QComboBox*>(c->widget);
    const int before = combo->currentIndex();
    const QString editText = combo->currentText();
    combo->addItem(toQString(text));
    // Qt selects the first item put into an empty combo; the screens expect
    // adding to leave the selection (and a typed text) alone.
    if (before < 0 && combo->currentIndex() >= 0) {
      combo->setCurrentIndex(-1);
      if (combo->isEditable()) {
        combo->setEditText(editText);
      }
    }
  } else if (isList(c->kind)) {
    static_cast<QListWidget*>(c->widget)->addItem(toQString(text));
  }
}

void QtDialog::removeItem(int id, int index) {
  const Control* c = find(id);
  if (c == nullptr || index < 0 || index >= itemCount(id)) {
    return;
  }
  const Programmatic guard(*this);
  if (isCombo(c->kind)) {
    static_cast<QComboBox*>(c->widget)->removeItem(index);
  } else if (isList(c->kind)) {
    auto* list = static_cast<QListWidget*>(c->widget);
    std::vector<QListWidgetItem*> keep;
    for (QListWidgetItem* item : list->selectedItems()) {
      if (list->row(item) != index) {
        keep.push_back(item);
      }
    }
    delete list->takeItem(index);
    // Qt hands the selection of a removed row to its neighbour; the rows
    // that were selected stay so and no other row becomes selected.
    list->clearSelection();
    for (QListWidgetItem* item : keep) {
      item->setSelected(true);
    }
  }
}

void QtDialog::clearItems(int id) {
  const Control* c = find(id);
  if (c == nullptr) {
    return;
  }
  const Programmatic guard(*this);
  if (isCombo(c->kind)) {
    auto* combo = static_cast<QComboBox*>(c->widget);
    combo->clear();
    if (combo->isEditable()) {
      combo->clearEditText();
    }
  } else if (isList(c->kind)) {
    static_cast<QListWidget*>(c->widget)->clear();
  }
}

int QtDialog::itemCount(int id) const {
  const Control* c = find(id);
  if (c == nullptr) {
    return 0;
  }
  if (isCombo(c->kind)) {
    return static_cast<QComboBox*>(c->widget)->count();
  }
  if (isList(c->kind)) {
    return static_cast<QListWidget*>(c->widget)->count();
  }
  return 0;
}

std::string QtDialog::itemText(int id, int index) const {
  const Control* c = find(id);
  if (c == nullptr || index < 0 || index >= itemCount(id)) {
    return {};
  }
  if (isCombo(c->kind)) {
    return toStd(static_cast<QComboBox*>(c->widget)->itemText(index));
  }
  return toStd(static_cast<QListWidget*>(c->widget)->item(index)->text());
}

int QtDialog::selection(int id) const {
  const Control* c = find(id);
  if (c == nullptr) {
    return -1;
  }
  if (isCombo(c->kind)) {
    return static_cast<QComboBox*>(c->widget)->currentIndex();
  }
  if (c->kind == ControlKind::List) {
    auto* list = static_cast<QListWidget*>(c->widget);
    for (int i = 0; i < list->count(); ++i) {
      if (list->item(i)->isSelected()) {
        return i;
      }
    }
    return -1;
  }
  if (c->kind == ControlKind::MultiSelectList) {
    // A multiple-selection list has no single current item; its focused row
    // is the nearest thing to one.
    return focusedItem(id);
  }
  return -1;
}

void QtDialog::setSelection(int id, int index) {
  const Control* c = find(id);
  if (c == nullptr) {
    return;
  }
  const Programmatic guard(*this);
  const bool inRange = index >= 0 && index < itemCount(id);
  if (isCombo(c->kind)) {
    auto* combo = static_cast<QComboBox*>(c->widget);
    combo->setCurrentIndex(inRange ? index : -1);
    showTextStart(combo);
  } else if (c->kind == ControlKind::List) {
    auto* list = static_cast<QListWidget*>(c->widget);
    if (inRange) {
      list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
      list->scrollToItem(list->item(index));
    } else {
      list->clearSelection();
    }
  } else if (c->kind == ControlKind::MultiSelectList && inRange) {
    static_cast<QListWidget*>(c->widget)->setCurrentRow(index, QItemSelectionModel::NoUpdate);
  }
}

bool QtDialog::isSelected(int id, int index) const {
  const Control* c = find(id);
  if (c == nullptr || !isList(c->kind) || index < 0 || index >= itemCount(id)) {
    return false;
  }
  return static_cast<QListWidget*>(c->widget)->item(index)->isSelected();
}

void QtDialog::setSelected(int id, int index, bool selected) {
  const Control* c = find(id);
  if (c == nullptr || !isList(c->kind) || index < 0 || index >= itemCount(id)) {
    return;
  }
  const Programmatic guard(*this);
  auto* list = static_cast<QListWidget*>(c->widget);
  if (c->kind == ControlKind::List && selected) {
    list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  } else {
    list->item(index)->setSelected(selected);
  }
}

int QtDialog::focusedItem(int id) const {
  const Control* c = find(id);
  if (c == nullptr || !isList(c->kind)) {
    return -1;
  }
  auto* list = static_cast<QListWidget*>(c->widget);
  if (list->count() == 0) {
    return -1;
  }
  // A list with rows always has a focus row, the first until the user or
  // the screen moves it: only an empty list has none.
  return std::max(list->currentRow(), 0);
}

int QtDialog::itemAt(int id, Point p) const {
  const Control* c = find(id);
  if (c == nullptr || !isList(c->kind)) {
    return -1;
  }
  // The hold's point is in the list's viewport, where the rows are laid out.
  const QModelIndex index = static_cast<QListWidget*>(c->widget)->indexAt(QPoint(p.x, p.y));
  return index.isValid() ? index.row() : -1;
}

void QtDialog::setEnabled(int id, bool enabled) {
  if (const Control* c = find(id)) {
    c->widget->setEnabled(enabled);
  }
}

bool QtDialog::isEnabled(int id) const {
  const Control* c = find(id);
  return c != nullptr && c->widget->isEnabled();
}

void QtDialog::setVisible(int id, bool visible) {
  if (const Control* c = find(id)) {
    c->widget->setVisible(visible);
  }
}

bool QtDialog::isVisible(int id) const {
  // The control's own flag: it holds before the window is first shown.
  const Control* c = find(id);
  return c != nullptr && !c->widget->isHidden();
}

void QtDialog::setFocus(int id) {
  if (const Control* c = find(id)) {
    c->widget->setFocus(Qt::OtherFocusReason);
  }
}

void QtDialog::setLengthLimit(int id, int maxChars) {
  const Control* c = find(id);
  if (c == nullptr) {
    return;
  }
  // No limit (0 or less) is the field's largest size.
  constexpr int kLargest = 32767;
  maxChars = maxChars > 0 ? std::min(maxChars, kLargest) : kLargest;
  if (c->kind == ControlKind::Edit) {
    auto* edit = static_cast<QLineEdit*>(c->widget);
    const Programmatic guard(*this);
    // Room for every character to take two units; the validator counts.
    edit->setMaxLength(std::min(maxChars * 2, kLargest));
    const QValidator* old = edit->validator();
    edit->setValidator(new CharacterLimit(maxChars, edit));
    delete old;
    // The limit holds for the text already there too.
    QString text = edit->text();
    int pos = static_cast<int>(text.size());
    edit->validator()->validate(text, pos);
    if (text != edit->text()) edit->setText(text);
  } else if (c->kind == ControlKind::DropDownCombo) {
    static_cast<QComboBox*>(c->widget)->lineEdit()->setMaxLength(maxChars);
  }
}

}  // namespace corvantis::platform::qt
