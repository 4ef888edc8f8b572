#pragma once
// The context menu of a one-line edit box with the words of Windows' own edit boxes in Czech,
// whatever the system's language (the core's app/edit_menu.h).
#include <windows.h>

namespace vorlend::win32 {

// The box shows the Czech menu on a right click, Shift+F10 and the menu key.
void UseCzechEditMenu(HWND edit);

}  // namespace vorlend::win32
