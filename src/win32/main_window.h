#pragma once
// TfrmMain on Windows: the add-on's only window, a wizard of nine pages drawn with the system's own
// controls (comctl32). It presents the page model (app/wizard.h): it draws the pages, hands the
// user's choices and presses to the model, and does what the model asks through WizardView.
#include <windows.h>

#include <commctrl.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/click_guard.h"
#include "app/wizard.h"
#include "win32/controls.h"

namespace vorlend::win32 {

class Win32Dialogs;
class Win32Progress;
class Win32Shell;

// A private message: a page window has been painted (lParam: the page).
inline constexpr UINT kPagePainted = WM_APP;
// A private message: the grid named by wParam (its control id) selects its current row again.
inline constexpr UINT kReselectRow = WM_APP + 1;
inline constexpr UINT_PTR kForegroundTimer = 1;

class TfrmMain : public WizardView {
public:
  // Without dialogs or shell the window uses message boxes and the system's browser; tests pass
  // scripted doubles. Both must outlive the window. The window is created hidden.
  explicit TfrmMain(Dialogs* dialogs = nullptr, Shell* shell = nullptr);
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // The start-up sequence; true when the program must end (the message has been shown).
  bool RunStartup(const std::vector<std::string>& args) { return m_wizard.RunStartup(args); }
  // Shows the window, centred on the screen the first time (FormShow starts the foreground timer).
  void Show();
  // The program's message loop; returns when the add-on has closed.
  int RunMessageLoop();
  // Handles the messages waiting in the queue, as the loop does; returns at once when none waits.
  void ProcessMessages();
  // One message as the loop handles it: the window's keys and the click guard first, then the
  // dialog keys (Tab, the arrows in a group), then the control it is for.
  void HandleMessage(MSG& msg);

  Wizard& Model() { return m_wizard; }
  HWND Handle() const { return m_hwnd; }
  // A control by its name ("btnNext1", "grYearName", "TabSheet3"...); null when there is none.
  HWND Control(const std::string& name) const;
  // The name of a control ("" for a window that is not one of them).
  std::string NameOf(HWND control) const;
  bool Closed() const { return m_closed; }
  const Fonts& WindowFonts() const { return *m_fonts; }
  // The double-click interval the click guard holds a new page's buttons for, and a message's time
  // as the guard counts it (message times wrap after 49.7 days).
  static std::uint64_t DoubleClickInterval() { return GetDoubleClickTime(); }
  std::uint64_t GuardTime(DWORD messageTime);

  // WizardView.
  void ShowPage(WizardPage page) override;
  void ControlsChanged() override;
  void YearListChanged() override;
  void YearRowChanged(int row) override;
  void ArchiveListChanged() override;
  void ShowClosingNote() override;
  void Close() override;
  void SetWaitCursor(bool wait) override;
  void StopForegroundTimer() override;
  void ShowComparison(const ArchiveRow& row) override;

  // The recapitulation page's values, and its line about an incomplete archive ("" for none).
  void SetRecapitulationTexts(const Recapitulation& recap, const std::string& incomplete);

  // What the job did, under a done or error page's own text, and the page's tip under it.
  void PlaceOutcome(const char* outcome, const char* tip, const char* link, const std::string& text);

  // A one-line label's text, cut with "…" when it is too long, and then whole in its tooltip.
  void SetLineText(const char* name, const std::string& text);

  // An error box with the text; what it throws itself is ignored.
  void ShowError(const std::string& text);

  // FormShow and the foreground timer's tick.
  void FormShow();
  void tmSetFormInForegroundTimer();

private:
  friend LRESULT CALLBACK MainWindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Proc(UINT message, WPARAM wParam, LPARAM lParam);

  // Building (pages.cpp).
  void BuildWindow();
  void BuildHeader();
  void BuildStartPage(HWND page);
  void BuildSaveOptionsPage(HWND page);
  void BuildArchiveNamePage(HWND page);
  void BuildProgressPage(HWND page);
  void BuildSaveDonePage(HWND page);
  // The controls of a done page, by name.
  struct DonePageNames {
    const char* text;
    const char* outcome;
    const char* tip;
    const char* link;
    const char* back;
    const char* end;
  };
  void BuildDonePage(HWND page, const DonePageNames& names);
  void BuildErrorPage(HWND page);
  void BuildArchiveListPage(HWND page);
  void BuildRecapitulationPage(HWND page);
  void BuildRestoreDonePage(HWND page);
  // The recapitulation's lower part sits below the line about an incomplete archive when it shows.
  void PlaceRecapitulationWarning(bool incomplete);
  // A control of the window under its name, with the id the control table gives that name.
  HWND Make(const char* name, const wchar_t* windowClass, const std::string& text, DWORD style, const RECT& place,
            HWND parent, HFONT font = nullptr, DWORD exStyle = 0);
  HWND MakeLabel(const char* name, const std::string& text, const RECT& place, HWND parent, bool bold = false,
                 DWORD extra = 0);
  HWND MakeButton(const char* name, HWND parent, int x, int y);
  HWND MakeLink(const char* name, HWND parent, int x, int y);
  SIZE ButtonSize(const char* name) const;
  static bool IsPushButtonName(const char* name);
  // The bottom row of a page: links or buttons on the left, the navigation buttons, and the end
  // button apart from them on the right.
  void ButtonRow(HWND page, const std::vector<const char*>& left, const std::vector<const char*>& navigation,
                 const char* end);

  // Handling.
  void OnCommand(int id, int code, HWND control);
  LRESULT OnNotify(const NMHDR& header);
  LRESULT OnYearListDraw(NMLVCUSTOMDRAW& draw);
  LRESULT OnArchiveListDraw(NMLVCUSTOMDRAW& draw);
  LRESULT OnHeaderDraw(NMCUSTOMDRAW& draw);
  HBRUSH OnColorStatic(HDC dc, HWND control);
  // The window's own keys: Enter, Escape, Space in the years list. True when the key was used.
  bool OnKey(const MSG& msg);
  // The click guard's part of a mouse message for a button or link of the pages. True when the
  // message is taken away.
  bool GuardClick(const MSG& msg);
  void FocusFirstControl(WizardPage page);
  void UpdateButtons();
  void SelectGridRow(HWND grid, int row);
  int GridCurrent(HWND grid) const;
  WizardPage CurrentPage() const { return m_shownPage; }
  bool IsGuarded(HWND control) const;

  std::unique_ptr<Fonts> m_fonts;
  std::unique_ptr<Win32Dialogs> m_ownDialogs;
  std::unique_ptr<Win32Shell> m_ownShell;
  std::unique_ptr<Win32Progress> m_progress;
  Dialogs* m_dialogs = nullptr;
  Shell* m_shell = nullptr;
  Wizard m_wizard;

  HWND m_hwnd = nullptr;
  std::array<HWND, kWizardPageCount> m_pages{};
  std::map<std::string, HWND> m_controls;
  std::map<HWND, std::string> m_names;
  HBITMAP m_check = nullptr;   // imgCheck
  HWND m_tooltip = nullptr;    // the whole text of a label cut with "…"
  HWND m_lastFocus = nullptr;  // the control that had the focus when the window was last active
  ClickGuard m_guard;
  DWORD m_lastMessageTime = 0;
  std::uint64_t m_messageEpoch = 0;
  HWND m_swallowedPress = nullptr;  // a button whose press the guard took away: its release goes too
  WizardPage m_shownPage = WizardPage::Start;
  int m_pageWidth = 0, m_pageHeight = 0;
  int m_recapLowerTop = 0;  // where the recapitulation's line about an incomplete archive begins
  bool m_closed = false;
  bool m_inLoop = false;
  bool m_waitCursor = false;
  bool m_placed = false;
  bool m_updating = false;  // the window sets its controls from the model: their changes are not the user's
};

}  // namespace vorlend::win32
