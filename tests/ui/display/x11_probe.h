#pragma once
// Reads what the X server and the window manager know about windows, on a connection of its own:
// the stacking order, the active window, window titles. Used by the tests that run only when a
// display is available.
#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vorlend::test {

class X11Probe {
public:
  X11Probe();  // connects to $DISPLAY
  ~X11Probe();
  X11Probe(const X11Probe&) = delete;
  X11Probe& operator=(const X11Probe&) = delete;

  bool Connected() const { return m_connection != nullptr; }
  // A window manager that follows the EWMH hints is running.
  bool ManagerRunning();
  // The managed windows from bottom to top.
  std::vector<std::uint32_t> Stacking();
  // The window the manager shows as active (0 when none).
  std::uint32_t ActiveWindow();
  // The title the manager shows for a client window (_NET_WM_NAME, else WM_NAME).
  std::string Title(std::uint32_t window);
  // Asks the manager, as a pager would, to activate `window` (a user's click on it in a taskbar).
  void Activate(std::uint32_t window);
  // Whether `upper` lies above `lower` in the stacking order (both must be listed).
  bool Above(std::uint32_t upper, std::uint32_t lower);

private:
  std::uint32_t Atom(const char* name);
  std::vector<std::uint32_t> Property32(std::uint32_t window, const char* property, std::uint32_t type);

  xcb_connection_t* m_connection = nullptr;
  xcb_window_t m_root = 0;
};

}  // namespace vorlend::test
