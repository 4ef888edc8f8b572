#include "ui/click_guard.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleHints>

namespace vorlend::ui {

namespace {
std::uint64_t DoubleClickInterval() {
  return static_cast<std::uint64_t>(std::max(QGuiApplication::styleHints()->mouseDoubleClickInterval(), 0));
}
}  // namespace

bool ClickGuard::Swallows(const QMouseEvent& press) {
  if (press.button() != Qt::LeftButton) return false;
  return m_rule.Swallows(press.timestamp(), DoubleClickInterval());
}

bool ClickGuard::Swallows(const QKeyEvent& press) {
  return m_rule.Swallows(press.timestamp(), DoubleClickInterval());
}

}  // namespace vorlend::ui
