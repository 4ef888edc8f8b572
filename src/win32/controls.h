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
  // Pixels for a length of the layout. The window is laid out for a line of 13 pixels (the dialog
  // font at 96 dots per inch under wine, and the Qt window's): a larger font, or a finer screen,
  // scales the whole layout with it, as dialog units scale a dialog with its font.
  int Px(int designPixels) const { return static_cast<int>(designPixels * m_scale + 0.5); }
  // The size of `text` in `font`: one line, or wrapped at words to `width` when width > 0.
  SIZE Measure(const std::string& text, HFONT font, int width = 0) const;
  std::wstring FaceName() const;

private:
  HFONT m_normal = nullptr;
  HFONT m_bold = nullptr;
  HFONT m_underlined = nullptr;
  int m_lineHeight = 13;
  double m_scale = 1.0;
};

std::wstring W(const std::string& utf8);
std::string U(const std::wstring& wide);
void SetText(HWND control, const std::string& utf8);
std::string GetText(HWND control);
// Adds a column to a list view in report view: its title, its width in pixels, its text at the
// left or at the right (numbers, dates and times).
void AddColumn(HWND listView, int index, const std::string& title, int width, bool right = false);

// A link label: blue, underlined, with the hand cursor. A left click released over it, or Enter or
// Space while it has the focus (a held key counts once), sends its parent WM_COMMAND with
// BN_CLICKED, as a button does. It is reached with Tab like a button.
LRESULT CALLBACK LinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool IsLink(HWND hwnd);
bool IsPushButton(HWND hwnd);
bool IsButton(HWND hwnd);  // a push button, check box or radio button

}  // namespace vorlend::win32
