#include "ui/widgets.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolTip>

#include "app/edit_menu.h"
#include "ui/click_guard.h"

namespace vorlend::ui {

WizardButton::WizardButton(const QString& text, ClickGuard& guard, QWidget* parent)
    : QPushButton(text, parent), m_guard(guard) {
  setFocusPolicy(Qt::TabFocus);
  setAutoDefault(false);
}

void WizardButton::mousePressEvent(QMouseEvent* event) {
  // A double click reaches here as a press too (QWidget's default double-click handling).
  if (m_guard.Swallows(*event)) {
    m_swallowing = true;
    event->accept();
    return;
  }
  QPushButton::mousePressEvent(event);
}

void WizardButton::mouseReleaseEvent(QMouseEvent* event) {
  if (m_swallowing && event->button() == Qt::LeftButton) {
    m_swallowing = false;
    event->accept();
    return;
  }
  // The click handler runs inside the base class's release handling.
  ClickGuard::Click click(m_guard, event->timestamp());
  QPushButton::mouseReleaseEvent(event);
}

void WizardButton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    // Like a click, an Enter that shows another page keeps a second Enter off that page's buttons.
    if (event->isAutoRepeat() || !isEnabled() || m_guard.Swallows(*event)) return;
    ClickGuard::Click pressed(m_guard, event->timestamp());
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent, ClickGuard* guard) : QLabel(text, parent), m_guard(guard) {
  setTextFormat(Qt::PlainText);
  setFocusPolicy(Qt::TabFocus);
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
  m_pressed = event->button() == Qt::LeftButton && !(m_guard && m_guard->Swallows(*event));
  QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  m_pressed = false;
  QLabel::mouseReleaseEvent(event);
  if (!click) return;
  if (m_guard) {
    ClickGuard::Click scope(*m_guard, event->timestamp());
    emit Clicked();
  } else {
    emit Clicked();
  }
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    event->accept();
    if (!event->isAutoRepeat()) emit Clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect focus;
  focus.initFrom(this);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QString ElidedLabel::DisplayedText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(0, contentsRect().width() - 2 * margin()));
}

QString ElidedLabel::ToolTipHtml() const {
  return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text().toHtmlEscaped());
}

QSize ElidedLabel::minimumSizeHint() const {
  // Any width will do: the text is cut to it.
  return QSize(fontMetrics().horizontalAdvance(QChar(0x2026)), QLabel::minimumSizeHint().height());
}

bool ElidedLabel::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (IsElided()) {
      QToolTip::showText(help->globalPos(), ToolTipHtml(), this);
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
  return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  painter.drawText(area, static_cast<int>(alignment()) | Qt::TextSingleLine, DisplayedText());
}

WrapRadioButton::WrapRadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

int WrapRadioButton::IndicatorSpace() const {
  return style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this) +
         style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, this);
}

QRect WrapRadioButton::TextRect(int width) const {
  const int left = IndicatorSpace();
  const QRect bounds =
      fontMetrics().boundingRect(QRect(0, 0, std::max(1, width - left), 10000), Qt::TextWordWrap, text());
  return QRect(left, 0, std::max(1, width - left), bounds.height());
}

int WrapRadioButton::heightForWidth(int width) const {
  const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, this);
  return std::max(indicator, TextRect(width).height()) + 2;
}

QSize WrapRadioButton::sizeHint() const {
  // Wide enough for a few words per line; the layout gives the real width.
  const int width = std::min(IndicatorSpace() + fontMetrics().horizontalAdvance(text()) + 4, 400);
  return QSize(width, heightForWidth(width));
}

QSize WrapRadioButton::minimumSizeHint() const {
  const int width = IndicatorSpace() + fontMetrics().horizontalAdvance(QStringLiteral("MMMMMMMMMM"));
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

  const QRect area = TextRect(width());
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

bool WrapRadioButton::hitButton(const QPoint& pos) const {
  return rect().contains(pos);
}

CzechLineEdit::CzechLineEdit(QWidget* parent) : QLineEdit(parent) {}

QMenu* CzechLineEdit::CreateContextMenu() {
  EditBoxState box;
  box.readOnly = isReadOnly();
  box.hidesText = echoMode() != QLineEdit::Normal;
  box.canUndo = isUndoAvailable();
  box.canRedo = isRedoAvailable();
  box.hasSelection = hasSelectedText();
  box.allSelected = hasSelectedText() && selectedText().size() == text().size();
  box.empty = text().isEmpty();
  box.clipboardHasText = !QGuiApplication::clipboard()->text().isEmpty();

  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("edit_menu"));
  for (const EditMenuItem& item : kEditMenu) {
    if (item.separatorBefore) menu->addSeparator();
    QAction* action = menu->addAction(QString::fromUtf8(item.caption));
    action->setEnabled(EditCommandEnabled(item.command, box));
    connect(action, &QAction::triggered, this, [this, command = item.command] { Run(command); });
  }
  return menu;
}

void CzechLineEdit::Run(EditCommand command) {
  switch (command) {
    case EditCommand::Undo:
      undo();
      break;
    case EditCommand::Redo:
      redo();
      break;
    case EditCommand::Cut:
      cut();
      break;
    case EditCommand::Copy:
      copy();
      break;
    case EditCommand::Paste:
      paste();
      break;
    case EditCommand::Delete:
      del();
      break;
    case EditCommand::SelectAll:
      selectAll();
      break;
  }
}

void CzechLineEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = CreateContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

QLabel* PlainLabel(const QString& text, QWidget* parent, bool wordWrap) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(wordWrap);
  return label;
}

}  // namespace vorlend::ui
