#pragma once
// Bringing a window to the top of the window order without giving it the focus.
class QWidget;

namespace vorlend::ui {

// Puts the top-level `window` above every other window once, leaving the focus where it is.
// Under an X11 window manager the request goes to the manager as a pager's restack request
// (_NET_RESTACK_WINDOW), which managers carry out even for a window that is not active; a plain
// raise from an application is ignored by most of them (their focus-stealing prevention). With no
// manager that supports it, or on another platform, the window is raised directly.
void BringToTopWithoutFocus(QWidget* window);

}  // namespace vorlend::ui
