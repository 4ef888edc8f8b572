#include "ui/qt_ports.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

namespace vorlend::ui {

namespace {

QMessageBox::Icon IconOf(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning: return QMessageBox::Warning;
    case MsgKind::Error: return QMessageBox::Critical;
    case MsgKind::Information: return QMessageBox::Information;
    case MsgKind::Confirmation: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

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

void QtDialogs::Message(MsgKind kind, const std::string& text) {
  QWidget* owner = m_owner && m_owner->isVisible() ? m_owner.data() : nullptr;
  QMessageBox box(IconOf(kind), Q(MsgKindTitle(kind)), MessageBoxText(text), QMessageBox::NoButton, owner);
  // Paths and agenda names come from outside: never let them be read as markup.
  box.setTextFormat(Qt::PlainText);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  ArrowCursor arrow;
  box.exec();
}

bool QtDialogs::Question(MsgKind kind, const std::string& text) {
  QWidget* owner = m_owner && m_owner->isVisible() ? m_owner.data() : nullptr;
  QMessageBox box(IconOf(kind), Q(MsgKindTitle(kind)), MessageBoxText(text), QMessageBox::NoButton, owner);
  box.setTextFormat(Qt::PlainText);
  QPushButton* yes = box.addButton(QStringLiteral("&Ano"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("&Ne"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  ArrowCursor arrow;
  box.exec();
  return box.clickedButton() == yes;
}

QtProgress::QtProgress(QLabel* text, QProgressBar* bar, std::function<void()> begin)
    : m_text(text), m_bar(bar), m_begin(std::move(begin)) {}

void QtProgress::Begin() {
  if (m_begin) m_begin();
}

void QtProgress::SetText(const std::string& text) {
  if (m_text) m_text->setText(Q(text));
}

void QtProgress::SetMaximum(int maximum) {
  // A range of 0..0 would turn the bar into a busy indicator.
  if (m_bar) m_bar->setRange(0, std::max(1, maximum));
}

void QtProgress::SetPosition(int position) {
  // QProgressBar ignores a value outside its range; the bar is clamped instead.
  if (m_bar) m_bar->setValue(std::clamp(position, m_bar->minimum(), m_bar->maximum()));
}

void QtProgress::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool QtShell::OpenUrl(const std::string& url) {
  if (!IsWebAddress(url)) return false;
  const QUrl address(Q(url).trimmed(), QUrl::StrictMode);
  const QString scheme = address.scheme().toLower();
  if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) return false;
  return QDesktopServices::openUrl(address);
}

}  // namespace vorlend::ui
