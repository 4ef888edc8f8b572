#include "ui/click_guard.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

namespace vorlend::ui {

bool ClickGuard::Swallows(const QMouseEvent& press) {
  if (press.button() != Qt::LeftButton) return false;
  const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
  return m_rule.Swallows(press.timestamp(), static_cast<std::uint64_t>(std::max(interval, 0)));
}

}  // namespace vorlend::ui
