#pragma once
// Keeps the second click of a double click off the page the first click has just shown.
//
// The wizard's "Další >>" and "Start" sit in the same place on consecutive pages, so without this
// a double click on "Další >>" would press the next page's "Start" before the user ever saw that
// page. After a page change made by a click, the buttons and links of the new page take no mouse
// press until the page has been painted and the platform's double-click interval has passed since
// that click. Times are the events' own timestamps, so a click queued behind a slow handler (the
// version check) is judged by when the user made it, not by when it is handled.
#include <QtGlobal>
#include <optional>

class QMouseEvent;

namespace vorlend::ui {

class ClickGuard {
public:
  // However short the platform's double-click interval, the new page's buttons take no click for
  // this long after the click that showed it.
  static constexpr int kMinimumGuardMs = 600;

  // Marks the handling of a click's release on a button or link: a page change made inside it
  // comes from that click.
  class Click {
  public:
    Click(ClickGuard& guard, quint64 timestamp);
    ~Click();
    Click(const Click&) = delete;
    Click& operator=(const Click&) = delete;

  private:
    ClickGuard& m_guard;
    std::optional<quint64> m_outer;
  };

  // The wizard shows another page. A change made by a click arms the guard; any other change
  // (a key, the end of a long operation started by the keyboard) lifts it.
  void PageChanged();
  // The new page has been painted: the user can see what a further click would press.
  void PagePainted() { m_painted = true; }
  // Whether a mouse press with this timestamp on the current page's buttons must be ignored.
  bool Blocks(quint64 pressTimestamp) const;
  bool Blocks(const QMouseEvent& press) const;

private:
  std::optional<quint64> m_click;    // the release being handled, if any
  std::optional<quint64> m_armedAt;  // the release that changed the page
  bool m_painted = true;
};

}  // namespace vorlend::ui
