#include "win32/comparison.h"

#include <commctrl.h>

#include <algorithm>

#include "app/wizard_texts.h"
#include "archive/roads.h"
#include "platform/text.h"
#include "win32/control_table.h"

namespace vorlend::win32 {

// What the counts' grid draws its titles with.
struct CountsLook {
  HWND totals;  // the total's grid, which keeps the counts' columns
  HFONT bold;   // the titles' font
  int titleHeight;
};

namespace {

// The dialog lies over the window, this far inside it, never larger.
constexpr int kInsideOwner = 16;
constexpr int kMargin = 11;
constexpr int kColumns = 5;

// The counts' titles, in two lines where they have two, bold and grey as the window's grids'.
LRESULT DrawTitle(NMCUSTOMDRAW& draw, const CountsLook& look) {
  if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  wchar_t text[64] = {};
  HDITEMW item{};
  item.mask = HDI_TEXT | HDI_FORMAT;
  item.pszText = text;
  item.cchTextMax = 64;
  Header_GetItem(draw.hdr.hwndFrom, static_cast<int>(draw.dwItemSpec), &item);
  RECT rc = draw.rc;
  FillRect(draw.hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  DrawEdge(draw.hdc, &rc, BDR_RAISEDINNER, BF_RIGHT | BF_BOTTOM);
  InflateRect(&rc, -6, -2);
  const HGDIOBJ old = SelectObject(draw.hdc, look.bold);
  SetBkMode(draw.hdc, TRANSPARENT);
  SetTextColor(draw.hdc, RGB(128, 128, 128));
  const UINT align = (item.fmt & HDF_RIGHT) ? DT_RIGHT : DT_LEFT;
  RECT measured = rc;
  DrawTextW(draw.hdc, text, -1, &measured, DT_CALCRECT | DT_NOPREFIX | align);
  rc.top += std::max<LONG>(0, (rc.bottom - rc.top) - (measured.bottom - measured.top)) / 2;
  DrawTextW(draw.hdc, text, -1, &rc, DT_NOPREFIX | DT_END_ELLIPSIS | align);
  SelectObject(draw.hdc, old);
  return CDRF_SKIPDEFAULT;
}

// The counts' grid: its titles drawn in their lines, and the total's grid keeps its columns when
// the user widens one.
LRESULT CALLBACK CountsSubclass(HWND grid, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  const auto& look = *reinterpret_cast<const CountsLook*>(data);
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->hwndFrom == ListView_GetHeader(grid)) {
      if (header->code == NM_CUSTOMDRAW) return DrawTitle(*reinterpret_cast<NMCUSTOMDRAW*>(lParam), look);
      const LRESULT result = DefSubclassProc(grid, message, wParam, lParam);
      if (header->code == HDN_ITEMCHANGEDW || header->code == HDN_ITEMCHANGEDA) {
        for (int c = 0; c < kColumns; ++c) ListView_SetColumnWidth(look.totals, c, ListView_GetColumnWidth(grid, c));
      }
      return result;
    }
  }
  return DefSubclassProc(grid, message, wParam, lParam);
}

// The counts' header is as high as its titles' two lines.
LRESULT CALLBACK TitlesSubclass(HWND header, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  const LRESULT result = DefSubclassProc(header, message, wParam, lParam);
  if (message == HDM_LAYOUT && result) {
    auto* layout = reinterpret_cast<HDLAYOUT*>(lParam);
    const int height = reinterpret_cast<const CountsLook*>(data)->titleHeight;
    const int more = height - layout->pwpos->cy;
    if (more > 0) {
      layout->pwpos->cy = height;
      layout->prc->top += more;
    }
  }
  return result;
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
    std::wstring number = W(GroupedNumber(values[c]));
    ListView_SetItemText(grid, row, c + 1, number.data());
  }
}

}  // namespace

std::string ComparisonSummary(const TableInspection& total) {
  std::string summary = "Obnovení by změnilo dokladů: " + GroupedNumber(total.differing) + ".";
  if (total.missing > 0) {
    summary +=
        " Zaznamenaných dokladů, které už v Money nejsou: " + GroupedNumber(total.missing) + "; ty obnovení nezmění.";
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
  // Over the window, inside it: as large as the window less a margin on each side.
  constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT owner{0, 0, m_fonts.Px(527) + 2 * m_fonts.Px(kInsideOwner), m_fonts.Px(400)};
  if (m_owner) GetWindowRect(m_owner, &owner);
  const int inside = m_fonts.Px(kInsideOwner);
  const int w = owner.right - owner.left - 2 * inside;
  const int h = owner.bottom - owner.top - 2 * inside;
  CreateWindowExW(exStyle, kDialogClass, W(kComparisonTitle).c_str(), style, owner.left + inside, owner.top + inside, w,
                  h, m_owner, nullptr, GetModuleHandleW(nullptr), this);
  SetWindowLongPtrW(m_hwnd, GWLP_ID, ControlId("dlgPorovnani"));
  RECT client;
  GetClientRect(m_hwnd, &client);
  const int width = client.right;
  const int height = client.bottom;

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
  RECT client;
  GetClientRect(m_hwnd, &client);
  const int width = client.right;
  const int margin = m_fonts.Px(kMargin);
  const int line = m_fonts.LineHeight();
  const TableInspection total = InspectionTotals(inspection);

  RECT button;
  GetWindowRect(Control("btnZavrit"), &button);
  MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&button), 2);
  const std::string summary = ComparisonSummary(total);
  const int summaryHeight = m_fonts.Measure(summary, m_fonts.Normal(), width - 2 * margin).cy;
  Make("lblPorovnaniVysledek", WC_STATICW, summary, SS_LEFT | SS_NOPREFIX,
       RECT{margin, margin, width - margin, margin + summaryHeight});

  // The numbers' columns as wide as their widest number (the total's too) or title line; the
  // tables' names take the rest.
  const int padding = m_fonts.Px(14);
  int widths[kColumns] = {};
  for (int c = 1; c < kColumns; ++c) {
    for (const std::string& part : Split(kComparisonColumnTitles[c], '\n')) {
      widths[c] = std::max<int>(widths[c], m_fonts.Measure(part, m_fonts.Bold()).cx + padding);
    }
  }
  auto widen = [&](const TableInspection& t, HFONT font) {
    const int values[] = {t.recorded, t.locked, t.differing, t.missing};
    for (int c = 1; c < kColumns; ++c) {
      widths[c] = std::max<int>(widths[c], m_fonts.Measure(GroupedNumber(values[c - 1]), font).cx + padding);
    }
  };
  for (const TableInspection& t : inspection.tables) widen(t, m_fonts.Normal());
  widen(total, m_fonts.Bold());
  const int inside = width - 2 * margin - 2 * GetSystemMetrics(SM_CXEDGE) - GetSystemMetrics(SM_CXVSCROLL);
  widths[0] = inside;
  for (int c = 1; c < kColumns; ++c) widths[0] -= widths[c];
  widths[0] = std::max<int>(widths[0], m_fonts.Px(60));

  const int gridTop = margin + summaryHeight + m_fonts.Px(6);
  const int totalHeight = line + m_fonts.Px(6) + 2 * GetSystemMetrics(SM_CYEDGE);
  const int lowest = button.top - m_fonts.Px(8) - totalHeight;
  constexpr DWORD gridStyle = LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | WS_TABSTOP | WS_GROUP;
  HWND grid = Make("grPorovnani", WC_LISTVIEWW, "", gridStyle, RECT{margin, gridTop, width - margin, lowest}, nullptr,
                   WS_EX_CLIENTEDGE);
  // The total row stays below the table, outside its scrolling: it is seen however many tables the
  // archive has.
  HWND totals = Make("grPorovnaniCelkem", WC_LISTVIEWW, "", LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL,
                     RECT{margin, lowest, width - margin, lowest + totalHeight}, m_fonts.Bold(), WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(grid, LVS_EX_FULLROWSELECT);
  m_look = std::make_unique<CountsLook>(CountsLook{totals, m_fonts.Bold(), 2 * line + m_fonts.Px(8)});
  SetWindowSubclass(grid, CountsSubclass, 1, reinterpret_cast<DWORD_PTR>(m_look.get()));
  SetWindowSubclass(ListView_GetHeader(grid), TitlesSubclass, 1, reinterpret_cast<DWORD_PTR>(m_look.get()));
  SendMessageW(ListView_GetHeader(grid), WM_SETFONT, reinterpret_cast<WPARAM>(m_fonts.Bold()), FALSE);
  for (int c = 0; c < kColumns; ++c) {
    AddColumn(grid, c, kComparisonColumnTitles[c], widths[c], c > 0);
    AddColumn(totals, c, kComparisonColumnTitles[c], widths[c], c > 0);
  }
  // The header takes its height of two lines as the grid lays it out again.
  SetWindowPos(grid, nullptr, 0, 0, width - 2 * margin, lowest - gridTop, SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
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
