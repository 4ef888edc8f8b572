#pragma once
// Keeps the second click of a double click off the page the first click has just shown.
//
// "Další >>" and "Start" sit in the same place on consecutive pages, so without this a double
// click on "Další >>" would press the next page's "Start" before the user ever saw that page.
// After a page change made by a click, the new page's buttons and links take no press until the
// page has been painted and the double-click interval has passed since that click; every press
// taken away starts the interval again, so a burst of clicks must pause before one counts. Times
// are the messages' own times (GetMessageTime), so a click queued behind a slow handler is judged
// by when the user made it.
#include <cstdint>
#include <optional>

namespace vorlend::win32 {

class ClickGuard {
public:
  // However short the system's double-click interval, the new page's buttons take no click for
  // this long after the click that showed it.
  static constexpr std::uint32_t kMinimumGuardMs = 600;

  explicit ClickGuard(std::uint32_t doubleClickMs) : m_interval(doubleClickMs) {}

  // The release of a click on a button or link is being handled: a page change made meanwhile
  // comes from that click.
  class Click {
  public:
    Click(ClickGuard& guard, std::uint32_t time);
    ~Click();
    Click(const Click&) = delete;
    Click& operator=(const Click&) = delete;

  private:
    ClickGuard& m_guard;
    std::optional<std::uint32_t> m_outer;
  };

  // The wizard shows another page. A change made by a click arms the guard; any other change (a
  // key, the end of a job started by the keyboard) lifts it.
  void PageChanged();
  // The new page has been painted: the user can see what a further click would press.
  void PagePainted() { m_painted = true; }
  // Whether a press at `time` on the current page's buttons and links is taken away; one that is
  // starts the interval again.
  bool TakesAway(std::uint32_t time);

  std::uint32_t Interval() const { return m_interval < kMinimumGuardMs ? kMinimumGuardMs : m_interval; }

private:
  std::uint32_t m_interval;
  std::optional<std::uint32_t> m_click;    // the release being handled, if any
  std::optional<std::uint32_t> m_armedAt;  // the click that changed the page, or the last press taken away
  bool m_painted = true;
};

}  // namespace vorlend::win32
