#include "ui/qt_ports.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

namespace vorlend::ui {

namespace {

QMessageBox::Icon IconOf(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning:
      return QMessageBox::Warning;
    case MsgKind::Error:
      return QMessageBox::Critical;
    case MsgKind::Information:
      return QMessageBox::Information;
    case MsgKind::Confirmation:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

// The message box of the window: the kind's bare title, the text never read as markup, long
// paths wrapped, and the whole box on the screen.
class MessageBox : public QMessageBox {
public:
  MessageBox(MsgKind kind, const std::string& text, QWidget* owner)
      : QMessageBox(IconOf(kind), Q(MsgKindTitle(kind)), BreakableText(MessageBoxText(text)), QMessageBox::NoButton,
                    owner),
        m_text(MessageBoxText(text)) {
    // Paths and agenda names come from outside: never let them be read as markup.
    setTextFormat(Qt::PlainText);
  }

protected:
  void keyPressEvent(QKeyEvent* event) override {
    // Copying gives the text as written, without the invisible break points.
    if (event->matches(QKeySequence::Copy)) {
      QGuiApplication::clipboard()->setText(windowTitle() + QStringLiteral("\n\n") + m_text);
      event->accept();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }

  void showEvent(QShowEvent* event) override {
    // QMessageBox gives itself its final size here, after QDialog has placed it.
    QMessageBox::showEvent(event);
    KeepOnScreen();
  }

private:
  void KeepOnScreen() {
    const QScreen* where = screen();
    if (!where) return;
    const QRect available = where->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint to = frame.topLeft();
    if (frame.right() > available.right()) to.rx() = available.right() - frame.width() + 1;
    if (frame.bottom() > available.bottom()) to.ry() = available.bottom() - frame.height() + 1;
    to.rx() = std::max(to.x(), available.left());
    to.ry() = std::max(to.y(), available.top());
    if (to != frame.topLeft()) move(to);
  }

  QString m_text;
};

// A box asked while the hourglass is up (the version check on the first page) shows the arrow.
class ArrowCursor {
public:
  ArrowCursor() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~ArrowCursor() { QGuiApplication::restoreOverrideCursor(); }
  ArrowCursor(const ArrowCursor&) = delete;
  ArrowCursor& operator=(const ArrowCursor&) = delete;
};

}  // namespace

QString MessageBoxText(const std::string& text) {
  QString result = Q(text);
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return result;
}

QString BreakableText(const QString& text) {
  // A line may break after a path separator, and inside any longer run that offers no break of
  // its own; the break points are zero-width spaces, which are not drawn.
  constexpr int LongestRun = 40;
  const QChar breakPoint(0x200B);
  QString result;
  result.reserve(text.size() + text.size() / 8);
  int run = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    result.append(c);
    if (c.isSpace() || c == breakPoint) {
      run = 0;
      continue;
    }
    ++run;
    const bool separator = c == QLatin1Char('/') || c == QLatin1Char('\\');
    const bool more = i + 1 < text.size() && !text.at(i + 1).isSpace();
    // Never between the two halves of a surrogate pair.
    if (more && (separator || run >= LongestRun) && !c.isHighSurrogate()) {
      result.append(breakPoint);
      run = 0;
    }
  }
  return result;
}

void QtDialogs::Message(MsgKind kind, const std::string& text) {
  QWidget* owner = m_owner && m_owner->isVisible() ? m_owner.data() : nullptr;
  MessageBox box(kind, text, owner);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  ArrowCursor arrow;
  box.exec();
}

bool QtDialogs::Question(MsgKind kind, const std::string& text) {
  return Asked(kind, text, true);
}

bool QtDialogs::Ask(QuestionId id, MsgKind kind, const std::string& text) {
  return Asked(kind, text, !AnoIsRisky(id));
}

bool QtDialogs::Asked(MsgKind kind, const std::string& text, bool anoByDefault) {
  QWidget* owner = m_owner && m_owner->isVisible() ? m_owner.data() : nullptr;
  MessageBox box(kind, text, owner);
  QPushButton* yes = box.addButton(QStringLiteral("&Ano"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("&Ne"), QMessageBox::NoRole);
  box.setDefaultButton(anoByDefault ? yes : no);
  box.setEscapeButton(no);
  ArrowCursor arrow;
  box.exec();
  return box.clickedButton() == yes;
}

QtProgress::QtProgress(QLabel* text, QProgressBar* bar, std::function<void()> begin)
    : m_text(text), m_bar(bar), m_begin(std::move(begin)) {}

void QtProgress::Begin() {
  m_job.Reset();
  if (m_overall) m_overall->clear();
  if (m_begin) m_begin();
}

void QtProgress::SetOverallLabel(QLabel* overall) {
  m_overall = overall;
}

void QtProgress::JobBegins(const std::vector<int>& tableDocuments) {
  m_job.JobBegins(tableDocuments);
}

void QtProgress::TableBegins(int number, int count) {
  m_job.TableBegins(number, count);
  ShowOverall();
}

void QtProgress::TableEnds() {
  m_job.TableEnds();
  ShowOverall();
}

void QtProgress::ShowOverall() {
  if (m_overall && m_job.Shown()) m_overall->setText(Q(m_job.Text()));
}

void QtProgress::SetText(const std::string& text) {
  if (m_text) m_text->setText(Q(text));
}

void QtProgress::SetMaximum(int maximum) {
  // A range of 0..0 would turn the bar into a busy indicator.
  if (m_bar) m_bar->setRange(0, std::max(1, maximum));
  m_job.SetMaximum(maximum);
}

void QtProgress::SetPosition(int position) {
  // QProgressBar ignores a value outside its range; the bar is clamped instead.
  if (m_bar) m_bar->setValue(std::clamp(position, m_bar->minimum(), m_bar->maximum()));
  m_job.SetPosition(position);
  if (position > 0) ShowOverall();
}

void QtProgress::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool QtShell::OpenUrl(const std::string& url) {
  if (!IsWebAddress(url)) return false;
  const QUrl address(Q(url).trimmed(), QUrl::StrictMode);
  const QString scheme = address.scheme().toLower();
  if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) return false;
  return QDesktopServices::openUrl(address);
}

}  // namespace vorlend::ui
