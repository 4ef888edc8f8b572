#include "app/click_guard.h"

#include <algorithm>

namespace vorlend {

ClickGuard::Click::Click(ClickGuard& guard, std::uint64_t releaseMs) : m_guard(guard), m_outer(guard.m_click) {
  m_guard.m_click = releaseMs;
}

ClickGuard::Click::~Click() {
  m_guard.m_click = m_outer;
}

void ClickGuard::PageChanged() {
  m_armedAt = m_click;
  m_painted = !m_click.has_value();
}

bool ClickGuard::Blocks(std::uint64_t pressMs, std::uint64_t doubleClickIntervalMs) const {
  if (!m_armedAt) return false;
  if (!m_painted) return true;
  // A press stamped before the click that changed the page was meant for the page before.
  if (pressMs < *m_armedAt) return true;
  return pressMs - *m_armedAt < std::max(kMinimumIntervalMs, doubleClickIntervalMs);
}

bool ClickGuard::Swallows(std::uint64_t pressMs, std::uint64_t doubleClickIntervalMs) {
  if (!Blocks(pressMs, doubleClickIntervalMs)) return false;
  // The burst goes on: the interval runs again from this click.
  m_armedAt = std::max(*m_armedAt, pressMs);
  return true;
}

}  // namespace vorlend
