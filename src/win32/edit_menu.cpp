#include "win32/edit_menu.h"

#include <commctrl.h>
#include <windowsx.h>

#include <string>

namespace vorlend::win32 {

namespace {

enum Command : UINT { kUndo = 1, kCut, kCopy, kPaste, kDelete, kSelectAll };

struct Item {
  Command command;
  const wchar_t* caption;  // the letter after "&" chooses the command from the keyboard
  bool separatorBefore;
};

constexpr Item kItems[] = {
    {kUndo, L"&Zpět", false},    {kCut, L"&Vyjmout", true},       {kCopy, L"&Kopírovat", false},
    {kPaste, L"V&ložit", false}, {kDelete, L"&Odstranit", false}, {kSelectAll, L"Vybrat &vše", true},
};

bool Enabled(Command command, HWND edit) {
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const bool selection = end > start;
  const auto length = static_cast<DWORD>(GetWindowTextLengthW(edit));
  const bool readOnly = (GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY) != 0;
  switch (command) {
    case kUndo:
      return !readOnly && SendMessageW(edit, EM_CANUNDO, 0, 0);
    case kCut:
    case kDelete:
      return !readOnly && selection;
    case kCopy:
      return selection;
    case kPaste:
      return !readOnly && IsClipboardFormatAvailable(CF_UNICODETEXT);
    case kSelectAll:
      return length > 0 && !(start == 0 && end >= length);
  }
  return false;
}

void Run(Command command, HWND edit) {
  switch (command) {
    case kUndo:
      SendMessageW(edit, EM_UNDO, 0, 0);
      break;
    case kCut:
      SendMessageW(edit, WM_CUT, 0, 0);
      break;
    case kCopy:
      SendMessageW(edit, WM_COPY, 0, 0);
      break;
    case kPaste:
      SendMessageW(edit, WM_PASTE, 0, 0);
      break;
    case kDelete:
      SendMessageW(edit, WM_CLEAR, 0, 0);
      break;
    case kSelectAll:
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
  HMENU menu = CreatePopupMenu();
  for (const Item& item : kItems) {
    if (item.separatorBefore) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | (Enabled(item.command, edit) ? MF_ENABLED : MF_GRAYED), item.command, item.caption);
  }
  const auto chosen =
      static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, edit, nullptr));
  DestroyMenu(menu);
  if (chosen != 0) Run(static_cast<Command>(chosen), edit);
  return 0;
}

}  // namespace

void UseCzechEditMenu(HWND edit) {
  SetWindowSubclass(edit, EditMenuProc, 2, 0);
}

}  // namespace vorlend::win32
