// TfrmMain's messages: the keys and clicks of the window, the controls' notes, and what the page
// model asks of the window.
#include "win32/main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <exception>

#include "archive/catalogue.h"
#include "archive/modules.h"
#include "win32/comparison.h"
#include "win32/control_table.h"
#include "win32/ports.h"

namespace vorlend::win32 {

namespace {

constexpr COLORREF kWarningRed = RGB(0xa0, 0x00, 0x00);

bool KeyHeld(int key) {
  return (GetKeyState(key) & 0x8000) != 0;
}

// A key message that repeats because the key is held down.
bool Repeated(const MSG& msg) {
  return (msg.lParam & (1 << 30)) != 0;
}

void SetVisible(HWND control, bool visible) {
  ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  TfrmMain* window = nullptr;
  if (message == WM_NCCREATE) {
    window = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    window->m_hwnd = hwnd;
  } else {
    window = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  // Nothing may leave a window procedure: what a handler throws is said in an error box.
  try {
    return window->Proc(message, wParam, lParam);
  } catch (const std::exception& e) {
    window->ShowError(e.what());
  } catch (...) {
    window->ShowError("Nastala neočekávaná chyba.");
  }
  return 0;
}

TfrmMain::TfrmMain(Dialogs* dialogs, Shell* shell)
    : m_fonts(std::make_unique<Fonts>()),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<Win32Dialogs>()),
      m_ownShell(shell ? nullptr : std::make_unique<Win32Shell>()),
      m_progress(std::make_unique<Win32Progress>([this] { ProcessMessages(); })),
      m_dialogs(dialogs ? dialogs : m_ownDialogs.get()),
      m_shell(shell ? shell : m_ownShell.get()),
      m_wizard(*this, *m_dialogs, *m_shell, *m_progress, m_progress.get()) {
  RegisterWindowClasses(MainWindowProc, ComparisonProc);
  BuildWindow();
  if (m_ownDialogs) m_ownDialogs->SetOwner(m_hwnd);
  UpdateButtons();
}

TfrmMain::~TfrmMain() {
  if (m_hwnd) {
    KillTimer(m_hwnd, kForegroundTimer);
    DestroyWindow(m_hwnd);
  }
  if (m_check) DeleteObject(m_check);
}

HWND TfrmMain::Control(const std::string& name) const {
  const auto it = m_controls.find(name);
  return it == m_controls.end() ? nullptr : it->second;
}

std::string TfrmMain::NameOf(HWND control) const {
  const auto it = m_names.find(control);
  return it == m_names.end() ? std::string() : it->second;
}

void TfrmMain::ShowError(const std::string& text) {
  try {
    m_dialogs->Message(MsgKind::Error, text);
  } catch (...) {
  }
}

// ---------------------------------------------------------------------------------------------
// The window's life

void TfrmMain::Show() {
  if (!m_placed) {
    // Centred on the screen's work area the first time it shows.
    m_placed = true;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame;
    GetWindowRect(m_hwnd, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(m_hwnd, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ShowWindow(m_hwnd, SW_SHOW);
  UpdateWindow(m_hwnd);
  FocusFirstControl(m_shownPage);
  FormShow();
}

int TfrmMain::RunMessageLoop() {
  m_inLoop = true;
  MSG msg;
  while (!m_closed) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) break;
    HandleMessage(msg);
  }
  m_inLoop = false;
  return 0;
}

void TfrmMain::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Left for the loop that waits for it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    HandleMessage(msg);
  }
}

void TfrmMain::HandleMessage(MSG& msg) {
  if (msg.message == WM_KEYDOWN && OnKey(msg)) return;
  if (GuardClick(msg)) return;
  if (m_hwnd && IsDialogMessageW(m_hwnd, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void TfrmMain::FormShow() {
  SetTimer(m_hwnd, kForegroundTimer, 2000, nullptr);
}

void TfrmMain::tmSetFormInForegroundTimer() {
  KillTimer(m_hwnd, kForegroundTimer);
  // Brings the window to the top of the window order once, without taking the focus; nothing here
  // may disturb the user, so failures are ignored.
  constexpr UINT flags = SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW;
  ProcessMessages();
  if (m_closed) return;
  SetWindowPos(m_hwnd, HWND_TOPMOST, 0, 0, 0, 0, flags);
  ProcessMessages();
  if (m_closed) return;
  SetWindowPos(m_hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, flags);
  ProcessMessages();
}

void TfrmMain::StopForegroundTimer() {
  KillTimer(m_hwnd, kForegroundTimer);
}

void TfrmMain::Close() {
  m_closed = true;
  KillTimer(m_hwnd, kForegroundTimer);
  ShowWindow(m_hwnd, SW_HIDE);
  // The loop wakes up and sees the end.
  if (m_inLoop) PostMessageW(m_hwnd, WM_NULL, 0, 0);
}

void TfrmMain::SetWaitCursor(bool wait) {
  m_waitCursor = wait;
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

void TfrmMain::ShowComparison(const ArchiveRow& row) {
  ComparisonDialog dialog(m_hwnd, *m_fonts, *m_dialogs);
  dialog.Run(m_wizard.Context(), row);
}

// ---------------------------------------------------------------------------------------------
// Pages

void TfrmMain::ShowPage(WizardPage page) {
  const auto index = static_cast<std::size_t>(page);
  if (index >= m_pages.size()) return;
  m_updating = true;
  switch (page) {
    case WizardPage::ArchiveName:
      SetText(Control("edtNazevMapy"), m_wizard.ArchiveName());
      break;
    case WizardPage::Recapitulation:
      SetRecapitulationTexts(m_wizard.Recap(), m_wizard.IncompleteText());
      break;
    case WizardPage::SaveDone:
      PlaceOutcome("lblSouhrnUlozeni", "Label13", "lblTarvellWebPage1", m_wizard.OutcomeText());
      break;
    case WizardPage::Error:
      PlaceOutcome("lblSouhrnChyby", nullptr, nullptr, m_wizard.OutcomeText());
      break;
    case WizardPage::RestoreDone:
      PlaceOutcome("lblSouhrnObnoveni", "Label28", "lblTarvellWebPage2", m_wizard.OutcomeText());
      break;
    default:
      break;
  }
  m_updating = false;
  UpdateButtons();
  const auto shown = static_cast<std::size_t>(m_shownPage);
  if (index != shown || !IsWindowVisible(m_pages[index])) {
    ShowWindow(m_pages[index], SW_SHOW);
    if (index != shown) ShowWindow(m_pages[shown], SW_HIDE);
    m_shownPage = page;
    m_guard.PageChanged();
  }
  FocusFirstControl(page);
}

void TfrmMain::SetLineText(const char* name, const std::string& text) {
  HWND label = Control(name);
  SetText(label, text);
  // A text cut with "…" shows whole in the label's tooltip.
  RECT rc;
  GetClientRect(label, &rc);
  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = m_hwnd;
  tool.uId = reinterpret_cast<UINT_PTR>(label);
  SendMessageW(m_tooltip, TTM_DELTOOL, 0, reinterpret_cast<LPARAM>(&tool));
  if (m_fonts->Measure(text, font ? font : m_fonts->Normal()).cx <= rc.right) return;
  std::wstring whole = W(text);
  tool.lpszText = whole.data();
  SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TfrmMain::SetRecapitulationTexts(const Recapitulation& recap, const std::string& incomplete) {
  SetLineText("lblNazevMapy", recap.Name);
  SetLineText("lblNazevArchAgendy", recap.AgendaName);
  SetLineText("lblDatumUlozeni", recap.Date);
  SetLineText("lblCasUlozeni", recap.Time);
  SetText(Control("lblFiltrRoku"), recap.yearFilter);
  SetText(Control("lblFiltrDokladu"), recap.documentFilter);
  SetText(Control("lblNedokonceny"), incomplete);
  SetVisible(Control("lblNedokonceny"), !incomplete.empty());
  PlaceRecapitulationWarning(!incomplete.empty());
}

void TfrmMain::FocusFirstControl(WizardPage page) {
  // Never left to the system: hiding the page that held the focus would pass it on to whatever
  // follows. The first page's first choice is the chosen action.
  if (page == WizardPage::Start) {
    SetFocus(Control(m_wizard.SaveChosen() ? "RadioButton1" : "RadioButton2"));
    return;
  }
  // A page begins at its first control that is no link: Space on the advertising link would open
  // a web page instead of going on. The links are reached with Tab.
  HWND first = nullptr;
  for (HWND c = GetWindow(m_pages[static_cast<std::size_t>(page)], GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(c, GWL_STYLE));
    if (!(style & WS_TABSTOP) || !(style & WS_VISIBLE) || (style & WS_DISABLED)) continue;
    if (!first) first = c;
    if (!IsLink(c)) {
      first = c;
      break;
    }
  }
  if (first) SetFocus(first);
}

void TfrmMain::ControlsChanged() {
  m_updating = true;
  SetText(Control("lblProgramVersion"), m_wizard.ProgramVersionText());
  SetLineText("lblAgendaName", m_wizard.AgendaName());
  const bool save = m_wizard.SaveChosen();
  Button_SetCheck(Control("RadioButton1"), save ? BST_CHECKED : BST_UNCHECKED);
  Button_SetCheck(Control("RadioButton2"), save ? BST_UNCHECKED : BST_CHECKED);
  for (std::size_t i = 0; i < kModuleCount; ++i) {
    Button_SetCheck(Control(kModules[i].checkBox), m_wizard.Modules()[i] ? BST_CHECKED : BST_UNCHECKED);
  }
  const LockAction action = m_wizard.Action();
  Button_SetCheck(Control("rbAllUnlock"), action == LockAction::Unlock ? BST_CHECKED : BST_UNCHECKED);
  Button_SetCheck(Control("rbAllLock"), action == LockAction::Lock ? BST_CHECKED : BST_UNCHECKED);
  Button_SetCheck(Control("rbAllNoAction"), action == LockAction::NoAction ? BST_CHECKED : BST_UNCHECKED);
  HWND edit = Control("edtNazevMapy");
  if (GetText(edit) != m_wizard.ArchiveName()) SetText(edit, m_wizard.ArchiveName());
  m_updating = false;
}

void TfrmMain::UpdateButtons() {
  EnableWindow(Control("btnNext4"), m_wizard.ArchiveButtonsEnabled());
  EnableWindow(Control("btnDelete"), m_wizard.ArchiveButtonsEnabled());
  EnableWindow(Control("btnNext3"), m_wizard.NextEnabled(WizardPage::ArchiveName));
  EnableWindow(Control("btnNext5"), m_wizard.NextEnabled(WizardPage::Recapitulation));
}

void TfrmMain::ShowClosingNote() {
  SetVisible(Control("lblZavreni"), true);
}

// ---------------------------------------------------------------------------------------------
// The grids

void TfrmMain::YearListChanged() {
  HWND grid = Control("grYearName");
  const YearList& years = m_wizard.Years();
  m_updating = true;
  ListView_DeleteAllItems(grid);
  for (std::size_t i = 0; i < years.Count(); ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<wchar_t*>(L"");
    ListView_InsertItem(grid, &item);
    std::wstring name = W(years.Row(i).YearName);
    ListView_SetItemText(grid, static_cast<int>(i), 1, name.data());
  }
  m_updating = false;
  if (years.Count() > 0) SelectGridRow(grid, static_cast<int>(years.Current()));
}

void TfrmMain::YearRowChanged(int row) {
  HWND grid = Control("grYearName");
  ListView_RedrawItems(grid, row, row);
  SelectGridRow(grid, static_cast<int>(m_wizard.Years().Current()));
}

void TfrmMain::ArchiveListChanged() {
  HWND grid = Control("grInfoFiles");
  const ArchiveList& archives = m_wizard.Archives();
  m_updating = true;
  ListView_DeleteAllItems(grid);
  for (std::size_t i = 0; i < archives.Count(); ++i) {
    const ArchiveRow& row = archives.Row(i);
    // The marker stands first, so a long name never hides it.
    std::string name = row.MapName;
    if (!row.damage.empty()) {
      name = std::string(kDamagedMarker) + " " + row.MapName;
    } else if (!row.complete) {
      name = std::string(row.running ? kRunningMarker : kIncompleteMarker) + " " + row.MapName;
    }
    std::wstring texts[] = {W(name), W(row.MapDate), W(row.MapTime)};
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = texts[0].data();
    ListView_InsertItem(grid, &item);
    ListView_SetItemText(grid, static_cast<int>(i), 1, texts[1].data());
    ListView_SetItemText(grid, static_cast<int>(i), 2, texts[2].data());
  }
  m_updating = false;
  if (!archives.Empty()) SelectGridRow(grid, static_cast<int>(archives.Current()));
  UpdateButtons();
}

void TfrmMain::SelectGridRow(HWND grid, int row) {
  if (row < 0 || row >= ListView_GetItemCount(grid)) return;
  m_updating = true;
  ListView_SetItemState(grid, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(grid, row, FALSE);
  m_updating = false;
}

int TfrmMain::GridCurrent(HWND grid) const {
  return ListView_GetNextItem(grid, -1, LVNI_SELECTED);
}

LRESULT TfrmMain::OnYearListDraw(NMLVCUSTOMDRAW& draw) {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      return CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPOSTPAINT: {
      // After the grid's own drawing: the check image at the top-left corner of a marked row's
      // mark cell.
      const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
      const YearList& years = m_wizard.Years();
      if (row >= years.Count() || !years.Row(row).Checked) return CDRF_DODEFAULT;
      HWND grid = draw.nmcd.hdr.hwndFrom;
      RECT cell{};
      ListView_GetItemRect(grid, static_cast<int>(row), &cell, LVIR_BOUNDS);
      const int width = ListView_GetColumnWidth(grid, 0);
      HDC source = CreateCompatibleDC(draw.nmcd.hdc);
      const HGDIOBJ old = SelectObject(source, m_check);
      const int saved = SaveDC(draw.nmcd.hdc);
      IntersectClipRect(draw.nmcd.hdc, cell.left, cell.top, cell.left + width, cell.bottom);
      TransparentBlt(draw.nmcd.hdc, cell.left, cell.top, 16, 17, source, 0, 0, 16, 17, RGB(255, 0, 255));
      RestoreDC(draw.nmcd.hdc, saved);
      SelectObject(source, old);
      DeleteDC(source);
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

LRESULT TfrmMain::OnArchiveListDraw(NMLVCUSTOMDRAW& draw) {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      // An archive that is not whole, or not sound, is listed in red.
      const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
      const ArchiveList& archives = m_wizard.Archives();
      if (row < archives.Count() && (!archives.Row(row).complete || !archives.Row(row).damage.empty())) {
        draw.clrText = kWarningRed;
        return CDRF_NEWFONT;
      }
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

LRESULT TfrmMain::OnHeaderDraw(NMCUSTOMDRAW& draw) {
  // The grids' titles are bold and grey.
  switch (draw.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      SelectObject(draw.hdc, m_fonts->Bold());
      SetTextColor(draw.hdc, RGB(128, 128, 128));
      return CDRF_NEWFONT;
    default:
      return CDRF_DODEFAULT;
  }
}

// ---------------------------------------------------------------------------------------------
// Messages

LRESULT TfrmMain::Proc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case kPagePainted:
      if (reinterpret_cast<HWND>(lParam) == m_pages[static_cast<std::size_t>(m_shownPage)]) m_guard.PagePainted();
      return 0;
    case kReselectRow: {
      // Whenever a grid's selection would be empty (a click below the last row), the row the window
      // acts on is selected again.
      const ControlEntry* entry = ControlById(static_cast<int>(wParam));
      if (!entry) return 0;
      HWND grid = Control(entry->name);
      if (ListView_GetSelectedCount(grid) != 0) return 0;
      if (grid == Control("grYearName") && m_wizard.Years().Count() > 0) {
        SelectGridRow(grid, static_cast<int>(m_wizard.Years().Current()));
      } else if (grid == Control("grInfoFiles") && !m_wizard.Archives().Empty()) {
        SelectGridRow(grid, static_cast<int>(m_wizard.Archives().Current()));
      }
      return 0;
    }
    case WM_TIMER:
      if (wParam == kForegroundTimer) {
        tmSetFormInForegroundTimer();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The close box, the system menu, Alt+F4.
      m_wizard.CloseAddOn();
      return 0;
    case WM_SETCURSOR:
      if (m_waitCursor) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // The control that had the focus gets it back when the window is active again (after a
      // message box, another program).
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(m_hwnd, focus)) m_lastFocus = focus;
      }
      break;
    case WM_SETFOCUS:
      if (m_lastFocus && IsWindow(m_lastFocus) && IsWindowVisible(m_lastFocus) && IsWindowEnabled(m_lastFocus)) {
        SetFocus(m_lastFocus);
      } else {
        FocusFirstControl(m_shownPage);
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

void TfrmMain::OnCommand(int id, int code, HWND control) {
  const ControlEntry* entry = ControlById(id);
  if (!entry || m_updating) return;
  const std::string name = entry->name;
  // A label's click (its code is a button's) presses nothing.
  if (!entry->press && !IsButton(control) && name != "edtNazevMapy") return;
  if (name == "edtNazevMapy") {
    if (code == EN_CHANGE) m_wizard.SetArchiveName(GetText(control));
    return;
  }
  if (code != BN_CLICKED) return;
  if (entry->press) {
    (m_wizard.*(entry->press))();
    return;
  }
  // A radio button keeps the stop of Tab while it is the chosen one of its group (the system moves
  // it with the choice), so Tab enters a group at its chosen button and a Space pressed next never
  // changes the choice unseen.
  const bool checked = Button_GetCheck(control) == BST_CHECKED;
  if (name == "RadioButton1" || name == "RadioButton2") {
    if (checked) m_wizard.SetSaveChosen(name == "RadioButton1");
  } else if (name == "rbAllUnlock" || name == "rbAllLock" || name == "rbAllNoAction") {
    if (checked) {
      m_wizard.SetAction(name == "rbAllUnlock" ? LockAction::Unlock
                         : name == "rbAllLock" ? LockAction::Lock
                                               : LockAction::NoAction);
    }
  } else {
    for (std::size_t i = 0; i < kModuleCount; ++i) {
      if (name == kModules[i].checkBox) m_wizard.SetModule(i, checked);
    }
  }
}

LRESULT TfrmMain::OnNotify(const NMHDR& header) {
  HWND years = Control("grYearName");
  HWND archives = Control("grInfoFiles");
  if (header.code == NM_CUSTOMDRAW) {
    auto& draw = const_cast<NMHDR&>(header);
    if (header.hwndFrom == years) return OnYearListDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(draw));
    if (header.hwndFrom == archives) return OnArchiveListDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(draw));
    if (header.hwndFrom == ListView_GetHeader(years) || header.hwndFrom == ListView_GetHeader(archives)) {
      return OnHeaderDraw(reinterpret_cast<NMCUSTOMDRAW&>(draw));
    }
    return CDRF_DODEFAULT;
  }
  if (header.hwndFrom != years && header.hwndFrom != archives) return 0;
  // Every click on a year's row counts, the second of a double click too.
  if (header.hwndFrom == years && (header.code == NM_CLICK || header.code == NM_DBLCLK)) {
    const auto& item = reinterpret_cast<const NMITEMACTIVATE&>(header);
    if (item.iItem >= 0) m_wizard.grYearNameCellClick(item.iItem);
    return 0;
  }
  if (header.code == LVN_ITEMCHANGED && !m_updating) {
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    if (!(change.uChanged & LVIF_STATE) || change.iItem < 0) return 0;
    const bool now = (change.uNewState & LVIS_SELECTED) != 0;
    const bool before = (change.uOldState & LVIS_SELECTED) != 0;
    if (now && !before) {
      // The arrow keys and the mouse move the list's current row, which Space marks and the
      // archive buttons act on.
      if (header.hwndFrom == years) {
        m_wizard.SetCurrentYear(change.iItem);
      } else {
        m_wizard.SetCurrentArchive(change.iItem);
      }
    } else if (before && !now) {
      PostMessageW(m_hwnd, kReselectRow, static_cast<WPARAM>(GetDlgCtrlID(header.hwndFrom)), 0);
    }
  }
  return 0;
}

HBRUSH TfrmMain::OnColorStatic(HDC dc, HWND control) {
  if (GetParent(control) == Control("Panel1")) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  }
  SetTextColor(dc, control == Control("lblNedokonceny") ? kWarningRed : GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

// ---------------------------------------------------------------------------------------------
// Keys and clicks

bool TfrmMain::OnKey(const MSG& msg) {
  if (!m_hwnd || (msg.hwnd != m_hwnd && !IsChild(m_hwnd, msg.hwnd))) return false;
  switch (msg.wParam) {
    case VK_RETURN: {
      // A held key presses once.
      if (Repeated(msg)) return true;
      HWND focus = GetFocus();
      // A focused button takes Enter as Space, and a focused link opens. Like a click, an Enter
      // that shows another page keeps a second quick Enter off that page's buttons: the one queued
      // behind "Start" must not press "Přerušit".
      if (IsPushButton(focus)) {
        if (!IsWindowEnabled(focus) || m_guard.Swallows(GuardTime(msg.time), DoubleClickInterval())) return true;
        const ClickGuard::Click pressed(m_guard, GuardTime(msg.time));
        SendMessageW(focus, BM_CLICK, 0, 0);
        return true;
      }
      if (IsLink(focus)) {
        DispatchMessageW(&msg);
        return true;
      }
      // What reaches the window comes from a choice, a grid or a box: it goes on only where going
      // on starts nothing, never "Start", "Smazat", "Přerušit" or "Konec".
      if (!KeyHeld(VK_SHIFT) && !KeyHeld(VK_CONTROL) && !KeyHeld(VK_MENU)) m_wizard.EnterPressed();
      return true;
    }
    case VK_ESCAPE:
      if (!Repeated(msg)) m_wizard.EscapePressed();
      return true;
    case VK_SPACE:
      // Space marks the current year once; a held key's repeats change nothing.
      if (msg.hwnd == Control("grYearName")) {
        m_wizard.grYearNameSpace(Repeated(msg));
        return true;
      }
      return false;
    default:
      return false;
  }
}

std::uint64_t TfrmMain::GuardTime(DWORD messageTime) {
  if (messageTime < m_lastMessageTime && m_lastMessageTime - messageTime > 0x80000000u) m_messageEpoch += 0x100000000u;
  m_lastMessageTime = messageTime;
  return m_messageEpoch + messageTime;
}

bool TfrmMain::IsGuarded(HWND control) const {
  return (IsPushButton(control) || IsLink(control)) && IsChild(Control("PageControl1"), control);
}

bool TfrmMain::GuardClick(const MSG& msg) {
  switch (msg.message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (!IsGuarded(msg.hwnd)) return false;
      if (m_guard.Swallows(GuardTime(msg.time), DoubleClickInterval())) {
        m_swallowedPress = msg.hwnd;
        return true;
      }
      m_swallowedPress = nullptr;
      return false;
    case WM_LBUTTONUP: {
      if (m_swallowedPress && msg.hwnd == m_swallowedPress) {
        m_swallowedPress = nullptr;
        return true;
      }
      if (!IsGuarded(msg.hwnd)) return false;
      // A page change made while the release is handled comes from this click.
      const ClickGuard::Click click(m_guard, GuardTime(msg.time));
      DispatchMessageW(&msg);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace vorlend::win32
