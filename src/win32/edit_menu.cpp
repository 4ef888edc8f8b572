#include "win32/edit_menu.h"

#include <commctrl.h>
#include <windowsx.h>

#include <string>

#include "app/edit_menu.h"
#include "win32/controls.h"

namespace vorlend::win32 {

namespace {

EditBoxState StateOf(HWND edit) {
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const auto length = static_cast<DWORD>(GetWindowTextLengthW(edit));
  const auto style = GetWindowLongPtrW(edit, GWL_STYLE);
  EditBoxState box;
  box.readOnly = (style & ES_READONLY) != 0;
  box.hidesText = (style & ES_PASSWORD) != 0;
  box.canUndo = SendMessageW(edit, EM_CANUNDO, 0, 0) != 0;
  box.canRedo = false;  // an edit box of the system undoes one step, and undoes the undo as "Zpět"
  box.hasSelection = end > start;
  box.allSelected = length > 0 && start == 0 && end >= length;
  box.empty = length == 0;
  box.clipboardHasText = IsClipboardFormatAvailable(CF_UNICODETEXT) != 0;
  return box;
}

void Run(EditCommand command, HWND edit) {
  switch (command) {
    case EditCommand::Undo:
      SendMessageW(edit, EM_UNDO, 0, 0);
      break;
    case EditCommand::Redo:
      break;
    case EditCommand::Cut:
      SendMessageW(edit, WM_CUT, 0, 0);
      break;
    case EditCommand::Copy:
      SendMessageW(edit, WM_COPY, 0, 0);
      break;
    case EditCommand::Paste:
      SendMessageW(edit, WM_PASTE, 0, 0);
      break;
    case EditCommand::Delete:
      SendMessageW(edit, WM_CLEAR, 0, 0);
      break;
    case EditCommand::SelectAll:
      SendMessageW(edit, EM_SETSEL, 0, -1);
      break;
  }
}

LRESULT CALLBACK EditMenuProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message != WM_CONTEXTMENU) return DefSubclassProc(edit, message, wParam, lParam);
  POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  if (at.x == -1 && at.y == -1) {
    // From the keyboard: under the box's left end.
    RECT rc;
    GetWindowRect(edit, &rc);
    at = POINT{rc.left + 4, rc.bottom};
  }
  SetFocus(edit);
  // The menu's commands, captions and when each can be chosen are the core's, for every window.
  const EditBoxState box = StateOf(edit);
  HMENU menu = CreatePopupMenu();
  for (const EditMenuItem& item : kEditMenu) {
    if (item.separatorBefore) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const UINT flags = MF_STRING | (EditCommandEnabled(item.command, box) ? MF_ENABLED : MF_GRAYED);
    AppendMenuW(menu, flags, static_cast<UINT_PTR>(item.command) + 1, W(item.caption).c_str());
  }
  const auto chosen =
      static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, edit, nullptr));
  DestroyMenu(menu);
  if (chosen != 0) Run(static_cast<EditCommand>(chosen - 1), edit);
  return 0;
}

}  // namespace

void UseCzechEditMenu(HWND edit) {
  SetWindowSubclass(edit, EditMenuProc, 2, 0);
}

}  // namespace vorlend::win32
