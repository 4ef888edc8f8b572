#include "win32/click_guard.h"

namespace vorlend::win32 {

ClickGuard::Click::Click(ClickGuard& guard, std::uint32_t time) : m_guard(guard), m_outer(guard.m_click) {
  m_guard.m_click = time;
}

ClickGuard::Click::~Click() {
  m_guard.m_click = m_outer;
}

void ClickGuard::PageChanged() {
  m_armedAt = m_click;
  m_painted = !m_click.has_value();
}

bool ClickGuard::TakesAway(std::uint32_t time) {
  if (!m_armedAt) return false;
  // Message times are milliseconds since the system started and wrap after 49 days: the
  // difference is read as signed, so a press stamped before the arming click counts as early.
  const auto since = static_cast<std::int32_t>(time - *m_armedAt);
  if (m_painted && since >= 0 && static_cast<std::uint32_t>(since) >= Interval()) {
    m_armedAt.reset();
    return false;
  }
  if (since > 0) m_armedAt = time;
  return true;
}

}  // namespace vorlend::win32
