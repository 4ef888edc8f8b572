#pragma once
// Small controls the window needs beyond what Qt offers as is: the wizard's buttons, a label that
// acts as a link, a label that elides its text, a radio button whose caption wraps onto several
// lines, and an edit box with a Czech context menu.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/edit_menu.h"

class QMenu;

namespace vorlend::ui {

class ClickGuard;

// A navigation button of the wizard. It takes the focus from the keyboard only: a mouse click
// leaves the focus where it was, so a page change never hands it to whatever follows the pressed
// button in the focus chain. Presses the guard blocks are ignored.
class WizardButton : public QPushButton {
  Q_OBJECT
public:
  WizardButton(const QString& text, ClickGuard& guard, QWidget* parent = nullptr);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Enter (and the keypad's Enter) presses the focused button, as Space does and as Windows users
  // expect; a key held down presses it once.
  void keyPressEvent(QKeyEvent* event) override;

private:
  ClickGuard& m_guard;
  bool m_swallowing = false;  // the press was blocked: its release is ignored too
};

// Blue, underlined, with the hand cursor; emits clicked() when the left button is released over it,
// or on Space or Enter while it has the focus (reached by Tab, as a button is).
class LinkLabel : public QLabel {
  Q_OBJECT
public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr, ClickGuard* guard = nullptr);

signals:
  void Clicked();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  ClickGuard* m_guard;
  bool m_pressed = false;
};

// A one-line label that shows as much of its text as fits, ending in "…", and the whole text in
// its tooltip when it had to be cut. text() is always the whole text.
class ElidedLabel : public QLabel {
  Q_OBJECT
public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  // The text as painted at the label's present width.
  QString DisplayedText() const;
  bool IsElided() const { return DisplayedText() != text(); }
  // The tooltip's rich text: the whole text, never read as markup.
  QString ToolTipHtml() const;

  QSize minimumSizeHint() const override;

protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

// A radio button whose caption is wrapped at word boundaries to the width it is given. text()
// keeps the whole caption; only the painting differs from QRadioButton.
class WrapRadioButton : public QRadioButton {
  Q_OBJECT
public:
  explicit WrapRadioButton(const QString& text, QWidget* parent = nullptr);

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

private:
  int IndicatorSpace() const;
  QRect TextRect(int width) const;
};

// A one-line edit box whose context menu has the Czech words of Windows' own edit boxes ("&Zpět",
// "Z&novu", "&Vyjmout", "&Kopírovat", "V&ložit", "&Odstranit", "Vybrat &vše"; app/edit_menu.h),
// where QLineEdit would show Qt's English ones. Everything else is QLineEdit's.
class CzechLineEdit : public QLineEdit {
  Q_OBJECT
public:
  explicit CzechLineEdit(QWidget* parent = nullptr);

  // The context menu as the box is now; the caller owns it.
  QMenu* CreateContextMenu();

protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  void Run(EditCommand command);
};

// A label with the caption taken literally (never as rich text).
QLabel* PlainLabel(const QString& text, QWidget* parent, bool wordWrap = false);

}  // namespace vorlend::ui
