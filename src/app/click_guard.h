#pragma once
// Keeps the second click of a double click off the page the first click has just shown, for every
// window of the add-on: the window hands in its events' times and its platform's double-click
// interval, and asks before a button or a link of the page takes a press.
//
// The wizard's "Další >>" and "Start" sit in the same place on consecutive pages, so without this
// a double click on "Další >>" would press the next page's "Start" before the user ever saw that
// page. After a page change made by a click, the buttons and links of the new page take no press
// until the page has been painted and the double-click interval (at least kMinimumIntervalMs) has
// passed since the last click. Every press the guard swallows starts that interval again, so a
// burst of quick clicks must pause before a click counts: a third click of a burst never lands on
// "Start" however long the burst lasts. Times are the events' own timestamps in milliseconds, so a
// click queued behind a slow handler (the version check) is judged by when the user made it, not
// by when it is handled.
#include <cstdint>
#include <optional>

namespace vorlend {

class ClickGuard {
public:
  // However short the platform's double-click interval, a click must come at least this long
  // after the last one (a slow double click, 450 ms apart, is still one).
  static constexpr std::uint64_t kMinimumIntervalMs = 600;

  // Marks the handling of a click's release on a button or link: a page change made inside it
  // comes from that click.
  class Click {
  public:
    Click(ClickGuard& guard, std::uint64_t releaseMs);
    ~Click();
    Click(const Click&) = delete;
    Click& operator=(const Click&) = delete;

  private:
    ClickGuard& m_guard;
    std::optional<std::uint64_t> m_outer;
  };

  // The window shows another page. A change made by a click arms the guard; any other change (a
  // key, the end of a long operation started by the keyboard) lifts it.
  void PageChanged();
  // The new page has been painted: the user can see what a further click would press.
  void PagePainted() { m_painted = true; }
  // Whether a press at `pressMs` on the current page's buttons and links must be ignored. A press
  // it swallows arms the guard again from its own time. `doubleClickIntervalMs`: the platform's.
  [[nodiscard]] bool Swallows(std::uint64_t pressMs, std::uint64_t doubleClickIntervalMs);

private:
  bool Blocks(std::uint64_t pressMs, std::uint64_t doubleClickIntervalMs) const;

  std::optional<std::uint64_t> m_click;    // the release being handled, if any
  std::optional<std::uint64_t> m_armedAt;  // the last click on the page the guard keeps
  bool m_painted = true;
};

}  // namespace vorlend
