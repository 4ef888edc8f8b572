// Building the window: the header and the nine pages with their texts and controls, laid out from
// the dialog font's measures. The handlers live in main_window.cpp.
#include "win32/main_window.h"

#include <algorithm>
#include <cstring>

#include "app/wizard_texts.h"
#include "archive/catalogue.h"
#include "archive/modules.h"
#include "win32/control_table.h"
#include "win32/edit_menu.h"
#include "win32/ports.h"

namespace vorlend::win32 {

namespace {

// The window's size and the header's height, in pixels at 96 dots per inch.
constexpr int kClientWidth = 527;
constexpr int kClientHeight = 338;
constexpr int kHeaderHeight = 57;
// The pages' margins and the space between their rows.
constexpr int kMarginX = 12;
constexpr int kMarginY = 10;
constexpr int kSpacing = 6;

constexpr DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX;
// One line cut with "…"; it tells the mouse it is there, for the tooltip that shows it whole.
constexpr DWORD kLineStyle = SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS | SS_NOTIFY;

// The mark of a year: 16 x 17 pixels, a white box with a black frame and a black tick; its
// outermost ring of pixels has the transparent colour (magenta), so the cell shows around it.
HBITMAP MakeCheckImage() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP image = CreateCompatibleBitmap(screen, 16, 17);
  const HGDIOBJ old = SelectObject(dc, image);
  RECT all{0, 0, 16, 17};
  HBRUSH transparent = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(dc, &all, transparent);
  DeleteObject(transparent);
  RECT box{1, 1, 15, 16};
  FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  // The tick: a short stroke down to the bottom point and a long one up to the right, two pixels
  // thick, as a drawn check box shows it.
  const HGDIOBJ pen = SelectObject(dc, GetStockObject(BLACK_PEN));
  for (int dy = 0; dy < 2; ++dy) {
    MoveToEx(dc, 4, 8 + dy, nullptr);
    LineTo(dc, 6, 10 + dy);
    LineTo(dc, 12, 4 + dy);
  }
  SelectObject(dc, pen);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return image;
}

LRESULT CALLBACK GridSubclass(HWND grid, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  // The grid's titles are drawn by its header, whose notes go to the grid itself.
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->code == NM_CUSTOMDRAW && header->hwndFrom == ListView_GetHeader(grid)) {
      auto* window = reinterpret_cast<TfrmMain*>(data);
      return SendMessageW(window->Handle(), WM_NOTIFY, wParam, lParam);
    }
  }
  return DefSubclassProc(grid, message, wParam, lParam);
}

}  // namespace

HWND TfrmMain::Make(const char* name, const wchar_t* windowClass, const std::string& text, DWORD style,
                    const RECT& place, HWND parent, HFONT font, DWORD exStyle) {
  const int id = ControlId(name);
  HWND control = CreateWindowExW(exStyle, windowClass, W(text).c_str(), WS_CHILD | WS_VISIBLE | style, place.left,
                                 place.top, place.right - place.left, place.bottom - place.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : m_fonts->Normal()), FALSE);
  m_controls[name] = control;
  m_names[control] = name;
  return control;
}

HWND TfrmMain::MakeLabel(const char* name, const std::string& text, const RECT& place, HWND parent, bool bold,
                         DWORD extra) {
  return Make(name, WC_STATICW, text, (extra ? extra : kLabelStyle), place, parent,
              bold ? m_fonts->Bold() : m_fonts->Normal());
}

SIZE TfrmMain::ButtonSize(const char* name) const {
  const Fonts& f = *m_fonts;
  const SIZE text = f.Measure(FixedText(name), f.Normal());
  return SIZE{std::max<LONG>(f.Px(75), text.cx + f.Px(20)), std::max(f.Px(25), f.LineHeight() + f.Px(10))};
}

HWND TfrmMain::MakeButton(const char* name, HWND parent, int x, int y) {
  const SIZE size = ButtonSize(name);
  return Make(name, WC_BUTTONW, FixedText(name), BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP,
              RECT{x, y, x + size.cx, y + size.cy}, parent);
}

HWND TfrmMain::MakeLink(const char* name, HWND parent, int x, int y) {
  const SIZE text = m_fonts->Measure(FixedText(name), m_fonts->Underlined());
  // Room for the focus frame around the text.
  return Make(name, kLinkClass, FixedText(name), WS_TABSTOP | WS_GROUP,
              RECT{x, y, x + text.cx + 4, y + m_fonts->LineHeight() + 2}, parent, m_fonts->Underlined());
}

void TfrmMain::ButtonRow(HWND page, const std::vector<const char*>& left, const std::vector<const char*>& navigation,
                         const char* end) {
  const Fonts& f = *m_fonts;
  const int height = ButtonSize("btnNext1").cy;
  const int top = m_pageHeight - f.Px(kMarginY) - height;
  // The left part first: the focus order runs from left to right.
  int x = f.Px(kMarginX);
  for (const char* name : left) {
    if (IsPushButtonName(name)) {
      MakeButton(name, page, x, top);
      x += ButtonSize(name).cx + f.Px(kSpacing);
    } else {
      const int linkHeight = f.LineHeight() + 2;
      HWND link = MakeLink(name, page, x, top + (height - linkHeight) / 2);
      RECT rc;
      GetWindowRect(link, &rc);
      x += rc.right - rc.left + f.Px(kSpacing);
    }
  }
  int right = m_pageWidth - f.Px(kMarginX);
  int navigationWidth = 0;
  for (const char* name : navigation) navigationWidth += ButtonSize(name).cx + f.Px(kSpacing);
  const int endWidth = end ? ButtonSize(end).cx : 0;
  int nx = right - endWidth - (end ? f.Px(10) : 0) - navigationWidth + f.Px(kSpacing);
  for (const char* name : navigation) {
    MakeButton(name, page, nx, top);
    nx += ButtonSize(name).cx + f.Px(kSpacing);
  }
  if (end) MakeButton(end, page, right - endWidth, top);
}

bool TfrmMain::IsPushButtonName(const char* name) {
  return std::strncmp(name, "btn", 3) == 0;
}

void TfrmMain::BuildWindow() {
  const Fonts& f = *m_fonts;
  RECT frame{0, 0, f.Px(kClientWidth), f.Px(kClientHeight)};
  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  constexpr DWORD exStyle = WS_EX_CONTROLPARENT;
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  m_hwnd = CreateWindowExW(exStyle, kMainClass, W(kAppTitle).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), this);
  m_names[m_hwnd] = "frmMain";
  m_controls["frmMain"] = m_hwnd;
  BuildHeader();

  const int top = f.Px(kHeaderHeight) + 2;
  m_pageWidth = f.Px(kClientWidth);
  m_pageHeight = f.Px(kClientHeight) - top;
  HWND control = Make("PageControl1", kPageClass, "", 0, RECT{0, top, m_pageWidth, top + m_pageHeight}, m_hwnd, nullptr,
                      WS_EX_CONTROLPARENT);
  for (int i = 0; i < kWizardPageCount; ++i) {
    const std::string name = "TabSheet" + std::to_string(i + 1);
    m_pages[static_cast<std::size_t>(i)] = Make(name.c_str(), kPageClass, "", 0, RECT{0, 0, m_pageWidth, m_pageHeight},
                                                control, nullptr, WS_EX_CONTROLPARENT);
  }
  BuildStartPage(m_pages[0]);
  BuildSaveOptionsPage(m_pages[1]);
  BuildArchiveNamePage(m_pages[2]);
  BuildProgressPage(m_pages[3]);
  BuildSaveDonePage(m_pages[4]);
  BuildErrorPage(m_pages[5]);
  BuildArchiveListPage(m_pages[6]);
  BuildRecapitulationPage(m_pages[7]);
  BuildRestoreDonePage(m_pages[8]);
  for (std::size_t i = 1; i < m_pages.size(); ++i) ShowWindow(m_pages[i], SW_HIDE);
  m_tooltip =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(m_tooltip, TTM_SETMAXTIPWIDTH, 0, m_fonts->Px(400));
  m_progress->SetControls(Control("lblWorking"), Control("ProgressBar1"), Control("lblCelkem"));
}

void TfrmMain::BuildHeader() {
  const Fonts& f = *m_fonts;
  const int width = f.Px(kClientWidth);
  HWND panel = Make("Panel1", kPanelClass, "", 0, RECT{0, 0, width, f.Px(kHeaderHeight)}, m_hwnd);
  const int x = f.Px(kMarginX);
  int y = f.Px(kMarginY);
  MakeLabel("lblProgramVersion", "", RECT{x, y, width - x, y + f.LineHeight()}, panel, true, kLineStyle);
  y += f.LineHeight() + f.Px(4);
  MakeLabel("Label23", FixedText("Label23"), RECT{x, y, width - x, y + f.LineHeight()}, panel, false, kLineStyle);
  const int line = f.Px(kHeaderHeight);
  Make("Bevel1", WC_STATICW, "", SS_ETCHEDHORZ, RECT{0, line, width, line + 2}, m_hwnd);
}

void TfrmMain::BuildStartPage(HWND page) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  const int line = f.LineHeight();
  int y = f.Px(kMarginY);

  const SIZE caption = f.Measure(FixedText("Label1"), f.Normal());
  MakeLabel("Label1", FixedText("Label1"), RECT{x, y, x + caption.cx, y + line}, page);
  // A long name is cut with "…".
  MakeLabel("lblAgendaName", "", RECT{x + caption.cx + f.Px(kSpacing), y, x + w, y + line}, page, true, kLineStyle);
  y += line + f.Px(kSpacing) + f.Px(10);

  MakeLabel("Label2", FixedText("Label2"), RECT{x, y, x + w, y + line}, page);
  y += line + f.Px(kSpacing) + f.Px(2);

  // The note stands under the first choice, at its text; it is made before the two choices, so
  // that they follow each other in the order of Tab and of the arrow keys.
  const int indent = GetSystemMetrics(SM_CXMENUCHECK) + f.Px(4);
  const int choiceHeight = f.Measure(FixedText("RadioButton1"), f.Normal(), w - indent - f.Px(4)).cy + f.Px(2);
  const int noteTop = y + choiceHeight + f.Px(2);
  const int noteHeight = f.Measure(FixedText("Label3"), f.Normal(), w - indent).cy;
  MakeLabel("Label3", FixedText("Label3"), RECT{x + indent, noteTop, x + w, noteTop + noteHeight}, page);
  Make("RadioButton1", WC_BUTTONW, FixedText("RadioButton1"),
       BS_AUTORADIOBUTTON | BS_MULTILINE | BS_TOP | WS_GROUP | WS_TABSTOP, RECT{x, y, x + w, y + choiceHeight}, page);
  y = noteTop + noteHeight + f.Px(kSpacing) + f.Px(4);
  Make("RadioButton2", WC_BUTTONW, FixedText("RadioButton2"), BS_AUTORADIOBUTTON, RECT{x, y, x + w, y + line + f.Px(4)},
       page);

  ButtonRow(page, {}, {"btnNext1"}, "btnKonec1");
}

void TfrmMain::BuildSaveOptionsPage(HWND page) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  const int line = f.LineHeight();
  int y = f.Px(kMarginY);

  const int textHeight = f.Measure(FixedText("Label4"), f.Normal(), w).cy;
  MakeLabel("Label4", FixedText("Label4"), RECT{x, y, x + w, y + textHeight}, page);
  y += textHeight + f.Px(kSpacing);
  const int bottom = m_pageHeight - f.Px(kMarginY) - ButtonSize("btnNext2").cy - f.Px(kSpacing);

  // The years: the mark's column and the year's, a frame and room for the scroll bar.
  const int gridWidth = f.Px(16) + f.Px(58) + 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + 2;
  HWND grid = Make("grYearName", WC_LISTVIEWW, "",
                   LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP | WS_GROUP,
                   RECT{x, y, x + gridWidth, bottom}, page, nullptr, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(grid, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SetWindowSubclass(grid, GridSubclass, 1, reinterpret_cast<DWORD_PTR>(this));
  const int widths[] = {f.Px(16), f.Px(58)};
  for (int c = 0; c < 2; ++c) AddColumn(grid, c, kYearColumnTitles[c], widths[c]);
  SendMessageW(ListView_GetHeader(grid), WM_SETFONT, reinterpret_cast<WPARAM>(f.Bold()), FALSE);
  // The check picture is a hidden control of the window, as the grid's drawing expects it.
  m_check = MakeCheckImage();
  HWND picture = Make("imgCheck", WC_STATICW, "", SS_BITMAP, RECT{0, 0, 16, 17}, page);
  SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_check));
  ShowWindow(picture, SW_HIDE);

  // "Filtr dokladů": as wide as its longest caption.
  const int indicator = GetSystemMetrics(SM_CXMENUCHECK) + f.Px(6);
  int captions = f.Measure(FixedText("GroupBox1"), f.Normal()).cx + f.Px(8);
  for (const ModuleInfo& module : kModules) {
    captions = std::max<int>(captions, indicator + f.Measure(module.caption, f.Normal()).cx);
  }
  const int boxLeft = x + gridWidth + f.Px(kSpacing);
  const int boxWidth = captions + f.Px(16);
  const int itemHeight = line + f.Px(2);
  Make("GroupBox1", WC_BUTTONW, FixedText("GroupBox1"), BS_GROUPBOX, RECT{boxLeft, y, boxLeft + boxWidth, bottom},
       page);
  int itemTop = y + line + f.Px(2);
  for (const ModuleInfo& module : kModules) {
    Make(module.checkBox, WC_BUTTONW, module.caption, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP,
         RECT{boxLeft + f.Px(8), itemTop, boxLeft + boxWidth - f.Px(4), itemTop + itemHeight}, page);
    itemTop += itemHeight;
  }

  const int locksLeft = boxLeft + boxWidth + f.Px(kSpacing);
  Make("GroupBox2", WC_BUTTONW, FixedText("GroupBox2"), BS_GROUPBOX, RECT{locksLeft, y, x + w, bottom}, page);
  itemTop = y + line + f.Px(2);
  bool first = true;
  for (const char* name : {"rbAllUnlock", "rbAllLock", "rbAllNoAction"}) {
    Make(name, WC_BUTTONW, FixedText(name), BS_AUTORADIOBUTTON | (first ? WS_GROUP | WS_TABSTOP : 0),
         RECT{locksLeft + f.Px(8), itemTop, x + w - f.Px(4), itemTop + itemHeight}, page);
    itemTop += itemHeight;
    first = false;
  }

  ButtonRow(page, {}, {"btnPrev2", "btnNext2"}, "btnKonec2");
}

void TfrmMain::BuildArchiveNamePage(HWND page) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  const int line = f.LineHeight();
  int y = f.Px(kMarginY);

  const int introHeight = f.Measure(FixedText("Label5"), f.Normal(), w).cy;
  MakeLabel("Label5", FixedText("Label5"), RECT{x, y, x + w, y + introHeight}, page);
  y += introHeight + f.Px(kSpacing) + f.Px(4);

  const SIZE caption = f.Measure(FixedText("Label6"), f.Normal());
  const int editHeight = line + f.Px(8);
  MakeLabel("Label6", FixedText("Label6"), RECT{x, y + (editHeight - line) / 2, x + caption.cx, y + editHeight}, page);
  HWND edit = Make("edtNazevMapy", WC_EDITW, "", ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP,
                   RECT{x + caption.cx + f.Px(8), y, x + w, y + editHeight}, page, nullptr, WS_EX_CLIENTEDGE);
  SendMessageW(edit, EM_LIMITTEXT, 50, 0);
  UseCzechEditMenu(edit);
  y += editHeight + f.Px(kSpacing) + f.Px(12);

  const int icon = GetSystemMetrics(SM_CXICON);
  HWND image = Make("Image1", WC_STATICW, "", SS_ICON, RECT{x, y, x + icon, y + icon}, page);
  SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
  const int textLeft = x + icon + f.Px(10);
  const int warningHeight = f.Measure(FixedText("Label7"), f.Normal(), x + w - textLeft).cy;
  MakeLabel("Label7", FixedText("Label7"), RECT{textLeft, y, x + w, y + warningHeight}, page);
  y += std::max(icon, warningHeight) + f.Px(kSpacing) + f.Px(8);
  MakeLabel("Label8", FixedText("Label8"), RECT{x, y, x + w, y + line}, page);

  ButtonRow(page, {}, {"btnPrev3", "btnNext3"}, "btnKonec3");
}

void TfrmMain::BuildProgressPage(HWND page) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  const int line = f.LineHeight();
  int y = f.Px(kMarginY) + f.Px(20);

  MakeLabel("Label9", FixedText("Label9"), RECT{x, y, x + w, y + line}, page, true);
  y += line + f.Px(kSpacing) + f.Px(10);
  MakeLabel("lblWorking", "", RECT{x, y, x + w, y + line}, page, false, kLineStyle);
  y += line + f.Px(kSpacing);
  HWND bar = Make("ProgressBar1", PROGRESS_CLASSW, "", 0, RECT{x, y, x + w, y + f.Px(18)}, page);
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  y += f.Px(18) + f.Px(kSpacing);
  MakeLabel("lblCelkem", "", RECT{x, y, x + w, y + line}, page, false, kLineStyle);
  y += line + f.Px(kSpacing);
  HWND closing = MakeLabel("lblZavreni", FixedText("lblZavreni"), RECT{x, y, x + w, y + line}, page, true);
  ShowWindow(closing, SW_HIDE);

  ButtonRow(page, {}, {"btnPrerusit"}, nullptr);
}

void TfrmMain::BuildSaveDonePage(HWND page) {
  BuildDonePage(page, {"Label11", "lblSouhrnUlozeni", "Label13", "lblTarvellWebPage1", "Label10", "btnKonec5"});
}

// A done page: its text, what the job did under it (the tip follows it, PlaceOutcome), the tip
// with its link, and the way back or out.
void TfrmMain::BuildDonePage(HWND page, const DonePageNames& names) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  int y = f.Px(kMarginY);

  const int doneHeight = f.Measure(FixedText(names.text), f.Normal(), w).cy;
  MakeLabel(names.text, FixedText(names.text), RECT{x, y, x + w, y + doneHeight}, page);
  y += doneHeight + f.Px(kSpacing);
  MakeLabel(names.outcome, "", RECT{x, y, x + w, y}, page);
  MakeLabel(names.tip, FixedText(names.tip), RECT{x, y, x + f.Measure(FixedText(names.tip), f.Normal()).cx, y}, page);
  MakeLink(names.link, page, x, y);
  PlaceOutcome(names.outcome, names.tip, names.link, "");

  ButtonRow(page, {names.back}, {}, names.end);
}

void TfrmMain::PlaceOutcome(const char* outcome, const char* tip, const char* link, const std::string& text) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  const int line = f.LineHeight();
  HWND label = Control(outcome);
  RECT rc;
  GetWindowRect(label, &rc);
  MapWindowPoints(nullptr, GetParent(label), reinterpret_cast<POINT*>(&rc), 2);
  int y = rc.top;
  const int height = text.empty() ? 0 : f.Measure(text, f.Normal(), w).cy;
  SetWindowPos(label, nullptr, x, y, w, height, SWP_NOZORDER | SWP_NOACTIVATE);
  SetText(label, text);
  if (!tip) return;
  y += height + f.Px(10);
  const int tipWidth = f.Measure(FixedText(tip), f.Normal()).cx;
  SetWindowPos(Control(tip), nullptr, x, y, tipWidth, line, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(Control(link), nullptr, x + tipWidth + f.Px(4) - 2, y - 1, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMain::BuildErrorPage(HWND page) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  int y = f.Px(kMarginY);

  const int textHeight = f.Measure(FixedText("Label14"), f.Normal(), w).cy;
  MakeLabel("Label14", FixedText("Label14"), RECT{x, y, x + w, y + textHeight}, page);
  y += textHeight + f.Px(kSpacing);
  MakeLabel("lblSouhrnChyby", "", RECT{x, y, x + w, y}, page);

  ButtonRow(page, {"Label12"}, {}, "btnKonec6");
}

void TfrmMain::BuildArchiveListPage(HWND page) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  int y = f.Px(kMarginY);

  const int textHeight = f.Measure(FixedText("Label15"), f.Normal(), w).cy;
  MakeLabel("Label15", FixedText("Label15"), RECT{x, y, x + w, y + textHeight}, page);
  y += textHeight + f.Px(kSpacing);
  const int bottom = m_pageHeight - f.Px(kMarginY) - ButtonSize("btnNext4").cy - f.Px(kSpacing);
  HWND grid =
      Make("grInfoFiles", WC_LISTVIEWW, "",
           LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP | WS_GROUP | WS_VSCROLL,
           RECT{x, y, x + w, bottom}, page, nullptr, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(grid, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SetWindowSubclass(grid, GridSubclass, 1, reinterpret_cast<DWORD_PTR>(this));
  // The date's and the time's bold titles must fit their columns; what they need beyond their
  // 90 pixels comes from the name's column.
  int widths[] = {f.Px(301), f.Px(90), f.Px(90)};
  for (int c = 1; c < 3; ++c) {
    const int needed = f.Measure(kArchiveColumnTitles[c], f.Bold()).cx + f.Px(14);
    if (needed > widths[c]) {
      widths[0] -= needed - widths[c];
      widths[c] = needed;
    }
  }
  // The date and the time stand at the right, their titles too.
  for (int c = 0; c < 3; ++c) AddColumn(grid, c, kArchiveColumnTitles[c], widths[c], c > 0);
  SendMessageW(ListView_GetHeader(grid), WM_SETFONT, reinterpret_cast<WPARAM>(f.Bold()), FALSE);

  ButtonRow(page, {"btnDelete"}, {"btnPrev4", "btnNext4"}, "btnkonec7");
}

void TfrmMain::BuildRecapitulationPage(HWND page) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  const int line = f.LineHeight();
  int y = f.Px(kMarginY);

  MakeLabel("Label16", FixedText("Label16"), RECT{x, y, x + w, y + line}, page, true);
  y += line + f.Px(4);
  struct Pair {
    const char* caption;
    const char* value;
    bool bold;
    bool twoLines;
  };
  const Pair pairs[] = {
      {"Label17", "lblNazevMapy", false, false},    {"Label18", "lblNazevArchAgendy", true, false},
      {"Label19", "lblDatumUlozeni", false, false}, {"Label20", "lblCasUlozeni", false, false},
      {"Label21", "lblFiltrRoku", false, true},     {"Label24", "lblFiltrDokladu", false, true},
  };
  int captionWidth = 0;
  for (const Pair& pair : pairs) {
    captionWidth = std::max<int>(captionWidth, f.Measure(FixedText(pair.caption), f.Normal()).cx);
  }
  const int valueLeft = x + captionWidth + f.Px(10);
  std::string everyModule;
  for (const ModuleInfo& module : kModules) everyModule += module.recapText;
  for (const Pair& pair : pairs) {
    MakeLabel(pair.caption, FixedText(pair.caption), RECT{x, y, x + captionWidth, y + line}, page);
    // One-line values are cut with "…" rather than running out of the page; the two filters wrap,
    // onto two lines or as many as the filter of every module needs.
    int height = line;
    if (pair.twoLines) height = 2 * line + 1;
    if (std::strcmp(pair.value, "lblFiltrDokladu") == 0) {
      height = std::max<int>(height, f.Measure(everyModule, f.Normal(), x + w - valueLeft).cy);
    }
    MakeLabel(pair.value, "", RECT{valueLeft, y, x + w, y + height}, page, pair.bold,
              pair.twoLines ? kLabelStyle | SS_EDITCONTROL : kLineStyle);
    y += height + f.Px(1);
  }
  y += f.Px(4);
  // Shown only for an archive whose save did not finish.
  const int incompleteHeight = f.Measure(kIncompleteRecapText, f.Bold(), w).cy;
  HWND incomplete = MakeLabel("lblNedokonceny", "", RECT{x, y, x + w, y + incompleteHeight}, page, true);
  ShowWindow(incomplete, SW_HIDE);
  m_recapLowerTop = y;

  const int icon = GetSystemMetrics(SM_CXICON);
  HWND image = Make("Image2", WC_STATICW, "", SS_ICON, RECT{x, y, x + icon, y + icon}, page);
  SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
  const int textLeft = x + icon + f.Px(10);
  const int warningHeight = f.Measure(FixedText("Label25"), f.Normal(), x + w - textLeft).cy;
  MakeLabel("Label25", FixedText("Label25"), RECT{textLeft, y, x + w, y + warningHeight}, page);
  MakeLabel("Label26", FixedText("Label26"), RECT{x, y, x + w, y + line}, page);
  PlaceRecapitulationWarning(false);

  // What the restore would change, counted only when the user asks.
  ButtonRow(page, {"lblPorovnat"}, {"btnPrev5", "btnNext5"}, "btnkonec8");
}

void TfrmMain::PlaceRecapitulationWarning(bool incomplete) {
  const Fonts& f = *m_fonts;
  const int x = f.Px(kMarginX);
  const int w = m_pageWidth - 2 * x;
  int y = m_recapLowerTop;
  if (incomplete) {
    RECT rc;
    GetWindowRect(Control("lblNedokonceny"), &rc);
    y += rc.bottom - rc.top + f.Px(4);
  }
  const int icon = GetSystemMetrics(SM_CXICON);
  const int textLeft = x + icon + f.Px(10);
  const int warningHeight = f.Measure(FixedText("Label25"), f.Normal(), x + w - textLeft).cy;
  SetWindowPos(Control("Image2"), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(Control("Label25"), nullptr, textLeft, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  y += std::max(icon, warningHeight) + f.Px(4);
  SetWindowPos(Control("Label26"), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMain::BuildRestoreDonePage(HWND page) {
  BuildDonePage(page, {"Label27", "lblSouhrnObnoveni", "Label28", "lblTarvellWebPage2", "Label22", "btnKonec9"});
}

}  // namespace vorlend::win32
