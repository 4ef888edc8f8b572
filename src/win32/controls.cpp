#include "win32/controls.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "platform/win_text.h"

namespace vorlend::win32 {

namespace {

// The link label's extra bytes: its font, and whether the left button went down over it.
constexpr int kLinkFont = 0;
constexpr int kLinkPressed = static_cast<int>(sizeof(LONG_PTR));

// Every Czech letter, small and capital: a font that lacks one of them would draw a box instead.
constexpr const wchar_t* kCzechLetters = L"áčďéěíňóřšťúůýžÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ";

bool HasEveryCzechLetter(HDC dc, HFONT font) {
  const HGDIOBJ old = SelectObject(dc, font);
  const int count = lstrlenW(kCzechLetters);
  std::vector<WORD> glyphs(static_cast<std::size_t>(count));
  const DWORD found = GetGlyphIndicesW(dc, kCzechLetters, count, glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc, old);
  if (found == GDI_ERROR) return true;  // the font cannot say: it is taken as it is
  return std::none_of(glyphs.begin(), glyphs.end(), [](WORD g) { return g == 0xffff; });
}

HFONT Variant(const LOGFONTW& base, bool bold, bool underlined) {
  LOGFONTW lf = base;
  if (bold) lf.lfWeight = FW_BOLD;
  lf.lfUnderline = underlined ? TRUE : FALSE;
  return CreateFontIndirectW(&lf);
}

// Forwards what a container's controls report to the main window, which handles them all.
LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      return SendMessageW(GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      // The click guard learns that a page has been painted.
      SendMessageW(GetAncestor(hwnd, GA_ROOT), WM_APP, 0, reinterpret_cast<LPARAM>(hwnd));
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

void NotifyClicked(HWND link) {
  SendMessageW(GetParent(link), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(link), BN_CLICKED), reinterpret_cast<LPARAM>(link));
}

void PaintLink(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  auto brush = reinterpret_cast<HBRUSH>(
      SendMessageW(GetParent(hwnd), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
  FillRect(dc, &rc, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
  const auto font = reinterpret_cast<HFONT>(GetWindowLongPtrW(hwnd, kLinkFont));
  const HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, IsWindowEnabled(hwnd) ? RGB(0, 0, 255) : GetSysColor(COLOR_GRAYTEXT));
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  RECT textRect = rc;
  InflateRect(&textRect, -1, -1);
  DrawTextW(dc, text.c_str(), length, &textRect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
  if (GetFocus() == hwnd) DrawFocusRect(dc, &rc);
  if (old) SelectObject(dc, old);
  EndPaint(hwnd, &ps);
}

}  // namespace

void RegisterWindowClasses(WNDPROC mainProc, WNDPROC dialogProc) {
  static bool registered = false;
  if (registered) return;
  registered = true;
  INITCOMMONCONTROLSEX icc{sizeof icc,
                           ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);

  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);

  wc.lpfnWndProc = mainProc;
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kMainClass;
  RegisterClassExW(&wc);

  wc.lpfnWndProc = dialogProc;
  wc.lpszClassName = kDialogClass;
  RegisterClassExW(&wc);
  wc.hIcon = nullptr;

  wc.lpfnWndProc = ContainerProc;
  wc.lpszClassName = kPageClass;
  RegisterClassExW(&wc);

  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kPanelClass;
  RegisterClassExW(&wc);

  wc.lpfnWndProc = LinkProc;
  wc.hbrBackground = nullptr;
  wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
  wc.cbWndExtra = 2 * static_cast<int>(sizeof(LONG_PTR));
  wc.lpszClassName = kLinkClass;
  RegisterClassExW(&wc);
}

Fonts::Fonts() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  LOGFONTW base{};
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    base = metrics.lfMessageFont;
  } else {
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof base, &base);
  }
  m_normal = CreateFontIndirectW(&base);
  // A message font without the Czech letters (a substitute that draws boxes for "ů") gives way to
  // the first of the system's usual faces that has them all, at the same size.
  HDC dc = CreateCompatibleDC(screen);
  if (!HasEveryCzechLetter(dc, m_normal)) {
    for (const wchar_t* face : {L"Segoe UI", L"Tahoma", L"Microsoft Sans Serif", L"Arial", L"DejaVu Sans"}) {
      LOGFONTW candidate = base;
      lstrcpynW(candidate.lfFaceName, face, LF_FACESIZE);
      HFONT font = CreateFontIndirectW(&candidate);
      if (HasEveryCzechLetter(dc, font)) {
        DeleteObject(m_normal);
        m_normal = font;
        base = candidate;
        break;
      }
      DeleteObject(font);
    }
  }
  m_bold = Variant(base, true, false);
  m_underlined = Variant(base, false, true);
  const HGDIOBJ old = SelectObject(dc, m_normal);
  TEXTMETRICW tm{};
  if (GetTextMetricsW(dc, &tm)) m_lineHeight = tm.tmHeight + tm.tmExternalLeading;
  constexpr int kDesignLine = 13;
  m_scale = std::max(dpi > 0 ? dpi / 96.0 : 1.0, static_cast<double>(m_lineHeight) / kDesignLine);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

Fonts::~Fonts() {
  for (HFONT f : {m_normal, m_bold, m_underlined}) {
    if (f) DeleteObject(f);
  }
}

std::wstring Fonts::FaceName() const {
  LOGFONTW lf{};
  GetObjectW(m_normal, sizeof lf, &lf);
  return lf.lfFaceName;
}

SIZE Fonts::Measure(const std::string& text, HFONT font, int width) const {
  HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  const std::wstring wide = W(text);
  RECT rc{0, 0, width > 0 ? width : 0, 0};
  const UINT format = DT_CALCRECT | DT_NOPREFIX | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rc, format);
  SelectObject(dc, old);
  DeleteDC(dc);
  return SIZE{rc.right - rc.left, std::max<LONG>(rc.bottom - rc.top, m_lineHeight)};
}

std::wstring W(const std::string& utf8) {
  return vorlend::win::Wide(utf8);
}

std::string U(const std::wstring& wide) {
  return vorlend::win::Narrow(wide);
}

void SetText(HWND control, const std::string& utf8) {
  SetWindowTextW(control, W(utf8).c_str());
}

std::string GetText(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return U(text);
}

bool IsLink(HWND hwnd) {
  wchar_t name[32] = {};
  return hwnd && GetClassNameW(hwnd, name, 32) > 0 && lstrcmpW(name, kLinkClass) == 0;
}

bool IsButton(HWND hwnd) {
  wchar_t name[32] = {};
  return hwnd && GetClassNameW(hwnd, name, 32) > 0 && lstrcmpiW(name, WC_BUTTONW) == 0;
}

bool IsPushButton(HWND hwnd) {
  wchar_t name[32] = {};
  if (!hwnd || GetClassNameW(hwnd, name, 32) == 0 || lstrcmpiW(name, WC_BUTTONW) != 0) return false;
  const LONG_PTR type = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

LRESULT CALLBACK LinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETFONT:
      SetWindowLongPtrW(hwnd, kLinkFont, static_cast<LONG_PTR>(wParam));
      if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return GetWindowLongPtrW(hwnd, kLinkFont);
    case WM_PAINT:
      PaintLink(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return result;
    }
    case WM_GETDLGCODE:
      return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    case WM_KEYDOWN:
      // A held key's repeats press nothing.
      if ((wParam == VK_RETURN || wParam == VK_SPACE) && !(lParam & (1 << 30))) {
        NotifyClicked(hwnd);
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
      SetWindowLongPtrW(hwnd, kLinkPressed, 1);
      SetCapture(hwnd);
      return 0;
    case WM_LBUTTONUP: {
      const bool pressed = GetWindowLongPtrW(hwnd, kLinkPressed) != 0;
      SetWindowLongPtrW(hwnd, kLinkPressed, 0);
      if (GetCapture() == hwnd) ReleaseCapture();
      RECT rc;
      GetClientRect(hwnd, &rc);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (pressed && PtInRect(&rc, at)) NotifyClicked(hwnd);
      return 0;
    }
    case WM_CAPTURECHANGED:
      SetWindowLongPtrW(hwnd, kLinkPressed, 0);
      return 0;
    case WM_SETCURSOR:
      // The window's hourglass goes before the hand.
      if (DefWindowProcW(hwnd, message, wParam, lParam)) return TRUE;
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void AddColumn(HWND listView, int index, const std::string& title, int width, bool right) {
  std::wstring text = W(title);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  column.fmt = right ? LVCFMT_RIGHT : LVCFMT_LEFT;
  column.cx = width;
  column.pszText = text.data();
  ListView_InsertColumn(listView, index, &column);
}

}  // namespace vorlend::win32
