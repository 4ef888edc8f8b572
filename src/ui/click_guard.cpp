#include "ui/click_guard.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

namespace vorlend::ui {

ClickGuard::Click::Click(ClickGuard& guard, quint64 timestamp) : m_guard(guard), m_outer(guard.m_click) {
  m_guard.m_click = timestamp;
}

ClickGuard::Click::~Click() {
  m_guard.m_click = m_outer;
}

void ClickGuard::PageChanged() {
  m_armedAt = m_click;
  m_painted = !m_click.has_value();
}

bool ClickGuard::Blocks(quint64 pressTimestamp) const {
  if (!m_armedAt) return false;
  if (!m_painted) return true;
  // A press stamped before the click that changed the page was meant for the page before.
  if (pressTimestamp < *m_armedAt) return true;
  // At least 600 ms: a slow double click (450 ms apart) must not press the new page's button either.
  const auto interval =
      static_cast<quint64>(std::max(kMinimumGuardMs, QGuiApplication::styleHints()->mouseDoubleClickInterval()));
  return pressTimestamp - *m_armedAt < interval;
}

bool ClickGuard::Blocks(const QMouseEvent& press) const {
  return press.button() == Qt::LeftButton && Blocks(press.timestamp());
}

}  // namespace vorlend::ui
