#pragma once
// The click guard of app/click_guard.h on Qt: the events' timestamps and the platform's
// double-click interval handed to the rule, which keeps the second click of a double click (and
// every further click of a burst) off the page the first click has just shown.
#include <QtGlobal>

#include "app/click_guard.h"

class QKeyEvent;
class QMouseEvent;

namespace vorlend::ui {

class ClickGuard {
public:
  static constexpr int kMinimumGuardMs = static_cast<int>(vorlend::ClickGuard::kMinimumIntervalMs);

  // Marks the handling of a click's release on a button or link: a page change made inside it
  // comes from that click.
  class Click {
  public:
    Click(ClickGuard& guard, quint64 timestamp) : m_click(guard.m_rule, timestamp) {}

  private:
    vorlend::ClickGuard::Click m_click;
  };

  // The wizard shows another page (see vorlend::ClickGuard::PageChanged).
  void PageChanged() { m_rule.PageChanged(); }
  // The new page has been painted.
  void PagePainted() { m_rule.PagePainted(); }
  // Whether a mouse press on the current page's buttons and links must be ignored; a swallowed
  // press makes the next click wait the interval again.
  [[nodiscard]] bool Swallows(const QMouseEvent& press);
  // The same for Enter on a focused button: a second Enter queued behind the one that pressed
  // "Start" must not press the progress page's "Přerušit".
  [[nodiscard]] bool Swallows(const QKeyEvent& press);

private:
  vorlend::ClickGuard m_rule;
};

}  // namespace vorlend::ui
