#pragma once
// What the Win32 window builds its pages from: the dialog font and its measures, the window
// classes of the header panel, the pages and the link labels, and text in UTF-8 at the boundary.
#include <windows.h>

#include <string>

namespace vorlend::win32 {

// Window classes registered by RegisterWindowClasses.
inline constexpr const wchar_t* kMainClass = L"VorlendMain";
inline constexpr const wchar_t* kPageClass = L"VorlendPage";
inline constexpr const wchar_t* kPanelClass = L"VorlendPanel";
inline constexpr const wchar_t* kLinkClass = L"VorlendLink";
inline constexpr const wchar_t* kDialogClass = L"VorlendDialog";

// The common controls and the window classes of the window; once per process.
void RegisterWindowClasses(WNDPROC mainProc, WNDPROC dialogProc);

// The fonts of the window: the system's dialog font (the message font of the non-client metrics,
// else the default GUI font), its bold and underlined forms, and measures taken from it.
class Fonts {
public:
  Fonts();
  ~Fonts();
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  HFONT Normal() const { return m_normal; }
  HFONT Bold() const { return m_bold; }
  HFONT Underlined() const { return m_underlined; }
  // The height of a line of text, as GetTextMetrics measures the font.
  int LineHeight() const { return m_lineHeight; }
  // Pixels at the screen's resolution for a length laid out at 96 dots per inch.
  int Px(int designPixels) const { return MulDiv(designPixels, m_dpi, 96); }
  // The size of `text` in `font`: one line, or wrapped at words to `width` when width > 0.
  SIZE Measure(const std::string& text, HFONT font, int width = 0) const;
  std::wstring FaceName() const;

private:
  HFONT m_normal = nullptr;
  HFONT m_bold = nullptr;
  HFONT m_underlined = nullptr;
  int m_lineHeight = 13;
  int m_dpi = 96;
};

std::wstring W(const std::string& utf8);
std::string U(const std::wstring& wide);
void SetText(HWND control, const std::string& utf8);
std::string GetText(HWND control);

// A link label: blue, underlined, with the hand cursor. A left click released over it, or Enter or
// Space while it has the focus (a held key counts once), sends its parent WM_COMMAND with
// BN_CLICKED, as a button does. It is reached with Tab like a button.
LRESULT CALLBACK LinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool IsLink(HWND hwnd);
bool IsPushButton(HWND hwnd);

}  // namespace vorlend::win32
