#include "platform/qt/wrapping_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include "platform/qt/text_fit.h"

namespace corvantis::platform::qt {

WrappingButton::WrappingButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void WrappingButton::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  // The style draws the frame and focus; the caption is drawn here because
  // the style would put it on one line.
  const QString caption = option.text;
  option.text.clear();
  painter.drawControl(QStyle::CE_PushButton, option);
  const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  painter.setPen(palette().color(group, QPalette::ButtonText));
  // A caption that cannot fit even on several lines is drawn smaller.
  painter.setFont(fittedFont(font(), caption, contents.size(), true));
  painter.drawText(contents, Qt::AlignCenter | Qt::TextWordWrap, caption);
}

}  // namespace corvantis::platform::qt
