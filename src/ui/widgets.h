#pragma once
// Small controls the window needs beyond what Qt offers as is: a label that acts as a link, and a
// radio button whose caption wraps onto several lines.
#include <QLabel>
#include <QRadioButton>

namespace vorlend::ui {

// Blue, underlined, with the hand cursor; emits clicked() when the left button is released over it.
class LinkLabel : public QLabel {
  Q_OBJECT
public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
  void clicked();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool m_pressed = false;
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
  int indicatorSpace() const;
  QRect textRect(int width) const;
};

// A label with the caption taken literally (never as rich text).
QLabel* PlainLabel(const QString& text, QWidget* parent, bool wordWrap = false);

}  // namespace vorlend::ui
