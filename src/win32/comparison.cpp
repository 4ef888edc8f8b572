#include "win32/comparison.h"

#include <commctrl.h>

#include <algorithm>

#include "app/wizard_texts.h"
#include "archive/roads.h"
#include "win32/control_table.h"

namespace vorlend::win32 {

namespace {

constexpr int kWidth = 560;
constexpr int kHeight = 340;
constexpr int kMargin = 11;
constexpr int kColumns = 5;

// The totals' grid keeps the columns of the counts' grid when the user widens one.
LRESULT CALLBACK CountsSubclass(HWND grid, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  const LRESULT result = DefSubclassProc(grid, message, wParam, lParam);
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->hwndFrom == ListView_GetHeader(grid) &&
        (header->code == HDN_ITEMCHANGEDW || header->code == HDN_ITEMCHANGEDA)) {
      auto totals = reinterpret_cast<HWND>(data);
      for (int c = 0; c < kColumns; ++c) ListView_SetColumnWidth(totals, c, ListView_GetColumnWidth(grid, c));
    }
  }
  return result;
}

// A count as a Czech reader groups it: "11 532".
std::string Grouped(int n) {
  std::string digits = std::to_string(n < 0 ? -static_cast<long long>(n) : n);
  for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3) {
    digits.insert(static_cast<std::size_t>(i), " ");
  }
  return n < 0 ? "-" + digits : digits;
}

void AddRow(HWND grid, const std::string& caption, const TableInspection& t) {
  const int row = ListView_GetItemCount(grid);
  std::wstring text = W(caption);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = text.data();
  ListView_InsertItem(grid, &item);
  const int values[] = {t.recorded, t.locked, t.differing, t.missing};
  for (int c = 0; c < 4; ++c) {
    std::wstring number = W(Grouped(values[c]));
    ListView_SetItemText(grid, row, c + 1, number.data());
  }
}

}  // namespace

std::string ComparisonSummary(const TableInspection& total) {
  std::string summary = "Obnovení by změnilo dokladů: " + Grouped(total.differing) + ".";
  if (total.missing > 0) {
    summary += " Zaznamenaných dokladů, které už v Money nejsou: " + Grouped(total.missing) + "; ty obnovení nezmění.";
  }
  return summary;
}

LRESULT CALLBACK ComparisonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ComparisonDialog* dialog = nullptr;
  if (message == WM_NCCREATE) {
    dialog = static_cast<ComparisonDialog*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
    dialog->m_hwnd = hwnd;
  } else {
    dialog = reinterpret_cast<ComparisonDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  if (!dialog) return DefWindowProcW(hwnd, message, wParam, lParam);
  return dialog->Proc(message, wParam, lParam);
}

ComparisonDialog::ComparisonDialog(HWND owner, const Fonts& fonts, Dialogs& dialogs)
    : m_owner(owner), m_fonts(fonts), m_dialogs(dialogs), m_progress([this] { Pump(); }) {}

ComparisonDialog::~ComparisonDialog() {
  if (!m_hwnd) return;
  // The owner is enabled first, so that it is the window that becomes active.
  if (m_owner) EnableWindow(m_owner, TRUE);
  DestroyWindow(m_hwnd);
  if (m_owner) SetActiveWindow(m_owner);
}

HWND ComparisonDialog::Control(const char* name) const {
  return GetDlgItem(m_hwnd, ControlId(name));
}

HWND ComparisonDialog::Make(const char* name, const wchar_t* windowClass, const std::string& text, DWORD style,
                            const RECT& place, HFONT font, DWORD exStyle) {
  HWND control = CreateWindowExW(exStyle, windowClass, W(text).c_str(), WS_CHILD | WS_VISIBLE | style, place.left,
                                 place.top, place.right - place.left, place.bottom - place.top, m_hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(name))),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : m_fonts.Normal()), FALSE);
  return control;
}

void ComparisonDialog::Open() {
  const int width = m_fonts.Px(kWidth);
  const int height = m_fonts.Px(kHeight);
  constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  RECT owner{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (m_owner) GetWindowRect(m_owner, &owner);
  const int w = frame.right - frame.left;
  const int h = frame.bottom - frame.top;
  const int x = std::max<int>(0, owner.left + (owner.right - owner.left - w) / 2);
  const int y = std::max<int>(0, owner.top + (owner.bottom - owner.top - h) / 2);
  CreateWindowExW(exStyle, kDialogClass, W(kComparisonTitle).c_str(), style, x, y, w, h, m_owner, nullptr,
                  GetModuleHandleW(nullptr), this);
  SetWindowLongPtrW(m_hwnd, GWLP_ID, ControlId("dlgPorovnani"));

  const int margin = m_fonts.Px(kMargin);
  const int line = m_fonts.LineHeight();
  int top = margin;
  Make("lblPorovnavam", WC_STATICW, "", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS,
       RECT{margin, top, width - margin, top + line});
  top += line + m_fonts.Px(6);
  Make("pbPorovnani", PROGRESS_CLASSW, "", 0, RECT{margin, top, width - margin, top + m_fonts.Px(18)});
  top += m_fonts.Px(18) + m_fonts.Px(6);
  Make("lblPorovnaniCelkem", WC_STATICW, "", SS_LEFTNOWORDWRAP | SS_NOPREFIX,
       RECT{margin, top, width - margin, top + line});
  m_progress.SetControls(Control("lblPorovnavam"), Control("pbPorovnani"), Control("lblPorovnaniCelkem"));

  const SIZE close = m_fonts.Measure(kComparisonCloseText, m_fonts.Normal());
  const int buttonWidth = std::max<int>(m_fonts.Px(75), close.cx + m_fonts.Px(20));
  const int buttonHeight = std::max(m_fonts.Px(25), line + m_fonts.Px(10));
  Make("btnZavrit", WC_BUTTONW, kComparisonCloseText, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
       RECT{width - margin - buttonWidth, height - margin - buttonHeight, width - margin, height - margin});

  if (m_owner) EnableWindow(m_owner, FALSE);
  ShowWindow(m_hwnd, SW_SHOW);
  UpdateWindow(m_hwnd);
  SetFocus(Control("btnZavrit"));
}

void ComparisonDialog::ShowCounts(const ArchiveInspection& inspection) {
  for (const char* name : {"lblPorovnavam", "pbPorovnani", "lblPorovnaniCelkem"}) ShowWindow(Control(name), SW_HIDE);
  const int margin = m_fonts.Px(kMargin);
  const int line = m_fonts.LineHeight();
  const TableInspection total = InspectionTotals(inspection);

  // The numbers' columns as wide as their titles, the tables' column as its longest name: the
  // dialog widens when they need more than its width.
  const int padding = m_fonts.Px(16);
  int widths[kColumns] = {};
  widths[0] = m_fonts.Measure(kComparisonColumnTitles[0], m_fonts.Bold()).cx + padding;
  widths[0] = std::max<int>(widths[0], m_fonts.Measure(kComparisonTotalText, m_fonts.Bold()).cx + padding);
  for (const TableInspection& t : inspection.tables) {
    widths[0] = std::max<int>(widths[0], m_fonts.Measure(t.row.WorkingStr, m_fonts.Normal()).cx + padding);
  }
  int gridWidth = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + 2;
  for (int c = 0; c < kColumns; ++c) {
    if (c > 0) widths[c] = m_fonts.Measure(kComparisonColumnTitles[c], m_fonts.Bold()).cx + padding;
    gridWidth += widths[c];
  }
  RECT client;
  GetClientRect(m_hwnd, &client);
  if (gridWidth + 2 * margin > client.right) {
    RECT frame{0, 0, gridWidth + 2 * margin, client.bottom};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)));
    RECT now;
    GetWindowRect(m_hwnd, &now);
    const int grow = frame.right - frame.left - (now.right - now.left);
    SetWindowPos(m_hwnd, nullptr, std::max<int>(0, now.left - grow / 2), now.top, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(m_hwnd, &client);
  }
  const int width = client.right;
  const int height = client.bottom;
  const SIZE close = m_fonts.Measure(kComparisonCloseText, m_fonts.Normal());
  const int buttonWidth = std::max<int>(m_fonts.Px(75), close.cx + m_fonts.Px(20));
  const int buttonHeight = std::max(m_fonts.Px(25), line + m_fonts.Px(10));
  const int buttonTop = height - margin - buttonHeight;
  SetWindowPos(Control("btnZavrit"), nullptr, width - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  widths[0] += width - 2 * margin - gridWidth;

  const std::string summary = ComparisonSummary(total);
  const int summaryHeight = m_fonts.Measure(summary, m_fonts.Normal(), width - 2 * margin).cy;
  Make("lblPorovnaniVysledek", WC_STATICW, summary, SS_LEFT | SS_NOPREFIX,
       RECT{margin, margin, width - margin, margin + summaryHeight});

  const int gridTop = margin + summaryHeight + m_fonts.Px(6);
  const int totalHeight = line + m_fonts.Px(6) + 2 * GetSystemMetrics(SM_CYEDGE);
  const int lowest = buttonTop - m_fonts.Px(8) - totalHeight;
  constexpr DWORD gridStyle = LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | WS_TABSTOP | WS_GROUP;
  HWND grid = Make("grPorovnani", WC_LISTVIEWW, "", gridStyle, RECT{margin, gridTop, width - margin, lowest}, nullptr,
                   WS_EX_CLIENTEDGE);
  HWND totals = Make("grPorovnaniSoucet", WC_LISTVIEWW, "", LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL,
                     RECT{margin, lowest, width - margin, lowest + totalHeight}, m_fonts.Bold(), WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(grid, LVS_EX_FULLROWSELECT);
  SendMessageW(ListView_GetHeader(grid), WM_SETFONT, reinterpret_cast<WPARAM>(m_fonts.Bold()), FALSE);
  for (int c = 0; c < kColumns; ++c) {
    std::wstring title = W(kComparisonColumnTitles[c]);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = c == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
    column.cx = widths[c];
    column.pszText = title.data();
    ListView_InsertColumn(grid, c, &column);
    ListView_InsertColumn(totals, c, &column);
  }
  SetWindowSubclass(grid, CountsSubclass, 1, reinterpret_cast<DWORD_PTR>(totals));
  for (const TableInspection& t : inspection.tables) AddRow(grid, t.row.WorkingStr, t);
  AddRow(totals, kComparisonTotalText, total);

  // A short list ends where its rows end, with the total right under it; a long one scrolls above
  // the total.
  RECT header{}, row{};
  GetWindowRect(ListView_GetHeader(grid), &header);
  if (ListView_GetItemRect(grid, 0, &row, LVIR_BOUNDS)) {
    const int rows = ListView_GetItemCount(grid);
    const int needed = (header.bottom - header.top) + rows * (row.bottom - row.top) + 2 * GetSystemMetrics(SM_CYEDGE);
    const int gridHeight = std::min(needed, lowest - gridTop);
    SetWindowPos(grid, nullptr, 0, 0, width - 2 * margin, gridHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(totals, nullptr, margin, gridTop + gridHeight, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetFocus(Control("btnZavrit"));
}

void ComparisonDialog::Run(const HostContext& ctx, const ArchiveRow& row) {
  Open();
  ArchiveInspection inspection;
  const InspectionProgress shown{m_progress, &m_progress};
  m_running = true;
  const Result compared = RunComparisonRoad(ctx, m_dialogs, row, false, inspection, nullptr, &shown);
  m_running = false;
  // Stopped, or a message said why there is nothing to show: the dialog goes.
  if (!compared.IsOk() || m_done) return;
  ShowCounts(inspection);
  WaitForClose();
}

void ComparisonDialog::Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!IsDialogMessageW(m_hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

void ComparisonDialog::WaitForClose() {
  MSG msg;
  while (!m_done) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!IsDialogMessageW(m_hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

void ComparisonDialog::CloseAsked() {
  // Closed while it compares: the comparison stops at its next step and the dialog goes then.
  if (m_running) m_progress.RequestAbort();
  m_done = true;
}

LRESULT ComparisonDialog::Proc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // "Zavřít", Escape and Enter.
      if (LOWORD(wParam) == ControlId("btnZavrit") || LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
        CloseAsked();
      }
      return 0;
    case WM_CLOSE:
      CloseAsked();
      return 0;
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
      return DefWindowProcW(m_hwnd, message, wParam, lParam);
  }
}

}  // namespace vorlend::win32
