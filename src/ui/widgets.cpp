#include "ui/widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace vorlend::ui {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setTextFormat(Qt::PlainText);
  QFont f = font();
  f.setUnderline(true);
  setFont(f);
  QPalette p = palette();
  p.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(p);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  m_pressed = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  m_pressed = false;
  QLabel::mouseReleaseEvent(event);
  if (click) emit clicked();
}

WrapRadioButton::WrapRadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

int WrapRadioButton::indicatorSpace() const {
  return style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this) +
         style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, this);
}

QRect WrapRadioButton::textRect(int width) const {
  const int left = indicatorSpace();
  const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, std::max(1, width - left), 10000), Qt::TextWordWrap, text());
  return QRect(left, 0, std::max(1, width - left), bounds.height());
}

int WrapRadioButton::heightForWidth(int width) const {
  const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, this);
  return std::max(indicator, textRect(width).height()) + 2;
}

QSize WrapRadioButton::sizeHint() const {
  // Wide enough for a few words per line; the layout gives the real width.
  const int width = std::min(indicatorSpace() + fontMetrics().horizontalAdvance(text()) + 4, 400);
  return QSize(width, heightForWidth(width));
}

QSize WrapRadioButton::minimumSizeHint() const {
  const int width = indicatorSpace() + fontMetrics().horizontalAdvance(QStringLiteral("MMMMMMMMMM"));
  return QSize(width, heightForWidth(width));
}

void WrapRadioButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const QString caption = option.text;
  option.text.clear();
  // The indicator sits beside the first line of the caption.
  const int lineHeight = fontMetrics().height();
  const int indicatorHeight = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, this);
  option.rect.setHeight(std::max(lineHeight, indicatorHeight));
  painter.drawControl(QStyle::CE_RadioButton, option);

  const QRect area = textRect(width());
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(area.translated(0, std::max(0, (option.rect.height() - lineHeight) / 2)),
                   Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, caption);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = area.adjusted(-1, 0, 1, 1);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

bool WrapRadioButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }

QLabel* PlainLabel(const QString& text, QWidget* parent, bool wordWrap) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(wordWrap);
  return label;
}

}  // namespace vorlend::ui
