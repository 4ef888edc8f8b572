// The Win32 window itself: its controls, its keys and clicks, the guard against a double click's
// second click, its grids' drawing, its message boxes and the comparison dialog, and a save and a
// restore pressed through it. The page flow as such is the model's and is tested there.
#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <functional>

#include "app/wizard_texts.h"
#include "archive/modules.h"
#include "archive/roads.h"
#include "platform/files.h"
#include "win32/comparison.h"
#include "win32/control_table.h"
#include "win32/ports.h"
#include "window_fixture.h"

namespace vorlend::test {

namespace {

// The centre of a grid's row, in the grid's client coordinates.
POINT RowCentre(HWND grid, int row) {
  RECT rc{};
  ListView_GetItemRect(grid, row, &rc, LVIR_BOUNDS);
  return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

std::string ItemText(HWND grid, int row, int column) {
  wchar_t text[256] = {};
  ListView_GetItemText(grid, row, column, text, 256);
  return win32::U(text);
}

// Runs `inspect` on the window of this thread that shows with the class `windowClass`, from within
// the modal loop that shows it (a message box, the comparison dialog), until it returns true.
std::function<bool(HWND)> g_inspect;
const wchar_t* g_class = nullptr;
HWND g_found = nullptr;
BOOL CALLBACK FindShown(HWND hwnd, LPARAM) {
  wchar_t name[64] = {};
  if (IsWindowVisible(hwnd) && GetClassNameW(hwnd, name, 64) && lstrcmpW(name, g_class) == 0) {
    g_found = hwnd;
    return FALSE;
  }
  return TRUE;
}
void CALLBACK Inspect(HWND, UINT, UINT_PTR timer, DWORD) {
  g_found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindShown, 0);
  // Not shown yet, or not ready: the next tick looks again.
  if (g_found && g_inspect(g_found)) KillTimer(nullptr, timer);
}
void WhenShown(const wchar_t* windowClass, std::function<bool(HWND)> inspect) {
  g_class = windowClass;
  g_inspect = std::move(inspect);
  SetTimer(nullptr, 0, 50, Inspect);
}

// A black pixel of the check image's frame, as the grid has drawn it at a row's mark cell.
bool MarkDrawn(HWND grid, int row) {
  RedrawWindow(grid, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  RECT cell{};
  ListView_GetItemRect(grid, row, &cell, LVIR_BOUNDS);
  HDC dc = GetDC(grid);
  // The frame's left side runs down the cell at x = 1.
  const COLORREF pixel = GetPixel(dc, cell.left + 1, cell.top + 8);
  ReleaseDC(grid, dc);
  return pixel == RGB(0, 0, 0);
}

// An Enter for `g_pressedThere`, queued as `g_shownPage` shows.
HWND g_shownPage = nullptr;
HWND g_pressedThere = nullptr;
LRESULT CALLBACK EnterAsPageShows(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_SHOWWINDOW && call->wParam && call->hwnd == g_shownPage) {
    PostMessageW(g_pressedThere, WM_KEYDOWN, VK_RETURN, 1);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

TEST_F(Win32WindowTest, StartsOnTheFirstPageWithEveryControlUnderItsNameAndText) {
  MakeAgenda();
  Start();
  EXPECT_EQ(win32::GetText(m_window->Handle()), kAppTitle);
  RECT client;
  GetClientRect(m_window->Handle(), &client);
  EXPECT_EQ(client.right, m_window->WindowFonts().Px(527));
  EXPECT_EQ(client.bottom, m_window->WindowFonts().Px(338));
  EXPECT_EQ(Text("lblProgramVersion"), "Verze 1.14");
  EXPECT_EQ(Text("lblAgendaName"), "Pekárna Škvor s.r.o.");
  for (const ControlText& t : kControlTexts) {
    HWND control = m_window->Control(t.name);
    ASSERT_NE(control, nullptr) << t.name;
    EXPECT_EQ(win32::GetText(control), t.text) << t.name;
    EXPECT_EQ(GetDlgCtrlID(control), win32::ControlId(t.name)) << t.name;
  }
  for (const ModuleInfo& module : kModules) EXPECT_EQ(Text(module.checkBox), module.caption);
  EXPECT_EQ(Page(), WizardPage::Start);
  EXPECT_TRUE(Visible("TabSheet1"));
  EXPECT_FALSE(Visible("TabSheet2"));
  EXPECT_EQ(FocusName(), "RadioButton1");

  // Another program's window covers the wizard and has the focus: the bring-to-front timer's tick
  // puts the wizard on top of it without taking the focus, and not for good.
  HWND cover = CreateWindowExW(0, L"STATIC", L"Jiný program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                               nullptr, nullptr, nullptr);
  SetForegroundWindow(cover);
  Pump();
  ASSERT_EQ(GetForegroundWindow(), cover);
  auto above = [](HWND window, HWND other) {
    for (HWND w = GetWindow(window, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
      if (w == other) return false;
    }
    return true;
  };
  ASSERT_FALSE(above(m_window->Handle(), cover));
  m_window->tmSetFormInForegroundTimer();
  EXPECT_TRUE(above(m_window->Handle(), cover));
  EXPECT_EQ(GetForegroundWindow(), cover);
  EXPECT_FALSE(GetWindowLongPtrW(m_window->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  DestroyWindow(cover);

  // Showing the window started the timer; "Další >>" stops it.
  SetForegroundWindow(m_window->Handle());
  Pump();
  m_window->FormShow();
  Press("btnNext1");
  EXPECT_EQ(Page(), WizardPage::SaveOptions);
  EXPECT_FALSE(KillTimer(m_window->Handle(), win32::kForegroundTimer));
}

TEST_F(Win32WindowTest, SavesAndRestoresThroughTheWindow) {
  MakeAgenda();
  const auto before = Invoices("Rok.002");
  Start();
  Press("btnNext1");
  ASSERT_EQ(Page(), WizardPage::SaveOptions);
  // Received invoices only: the module check boxes set the model's filter.
  for (std::size_t i = 0; i < kModuleCount; ++i) {
    if ((Button_GetCheck(Control(kModules[i].checkBox)) == BST_CHECKED) != (i == 5)) Press(kModules[i].checkBox);
  }
  for (std::size_t i = 0; i < kModuleCount; ++i) EXPECT_EQ(m_window->Model().Modules()[i], i == 5) << i;
  // A click on the first year's row marks 2026.
  HWND years = Control("grYearName");
  ASSERT_EQ(ListView_GetItemCount(years), 2);
  EXPECT_EQ(ItemText(years, 0, 1), "2026");
  MouseAt(years, RowCentre(years, 0));
  EXPECT_TRUE(m_window->Model().Years().Row(0).Checked);
  EXPECT_FALSE(m_window->Model().Years().Row(1).Checked);

  Press("btnNext2");
  ASSERT_EQ(Page(), WizardPage::ArchiveName);
  EXPECT_EQ(FocusName(), "edtNazevMapy");
  SetWindowTextW(Control("edtNazevMapy"), L"Před přepočtem");
  EXPECT_EQ(m_window->Model().ArchiveName(), "Před přepočtem");
  // The box's context menu speaks Czech whatever the system's language; with nothing selected,
  // nothing can be cut or copied (whether something can be pasted is the clipboard's affair).
  std::vector<std::string> items;
  WhenShown(L"#32768", [&](HWND popup) {
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      wchar_t caption[64] = {};
      GetMenuStringW(menu, static_cast<UINT>(i), caption, 64, MF_BYPOSITION);
      const bool greyed = (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) != 0;
      const std::string text = win32::U(caption);
      if (!text.empty()) items.push_back(text == "V&ložit" ? text : text + (greyed ? " -" : " +"));
    }
    EndMenu();
    return true;
  });
  SendMessageW(Control("edtNazevMapy"), EM_SETSEL, 0, 0);
  SendMessageW(Control("edtNazevMapy"), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Control("edtNazevMapy")),
               MAKELPARAM(-1, -1));
  EXPECT_EQ(items, (std::vector<std::string>{"&Zpět -", "Z&novu -", "&Vyjmout -", "&Kopírovat -", "V&ložit",
                                             "&Odstranit -", "Vybrat &vše +"}));
  Press("btnNext3");
  ASSERT_EQ(Page(), WizardPage::SaveDone) << (m_dialogs.Last() ? m_dialogs.LastEntry().text : "");
  EXPECT_NE(Text("lblSouhrnUlozeni").find("Před přepočtem"), std::string::npos) << Text("lblSouhrnUlozeni");
  for (const auto& [key, lock] : Invoices("Rok.002")) EXPECT_EQ(lock, "0") << key;
  // The done page begins at "Konec", never at a link; Tab reaches the link, Enter opens it.
  EXPECT_EQ(FocusName(), "btnKonec5");
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), "lblTarvellWebPage1");
  Key(VK_RETURN);
  ASSERT_EQ(m_shell.Urls().size(), 1u);
  EXPECT_EQ(Page(), WizardPage::SaveDone);

  Press("Label10");
  ASSERT_EQ(Page(), WizardPage::Start);
  Press("RadioButton2");
  EXPECT_FALSE(m_window->Model().SaveChosen());
  Press("btnNext1");
  ASSERT_EQ(Page(), WizardPage::ArchiveList);
  HWND archives = Control("grInfoFiles");
  ASSERT_EQ(ListView_GetItemCount(archives), 1);
  EXPECT_EQ(ItemText(archives, 0, 0), "Před přepočtem");
  EXPECT_TRUE(Enabled("btnNext4"));
  Press("btnNext4");
  ASSERT_EQ(Page(), WizardPage::Recapitulation);
  EXPECT_EQ(Text("lblNazevMapy"), "Před přepočtem");
  EXPECT_EQ(Text("lblFiltrRoku"), "2026");
  EXPECT_EQ(Text("lblFiltrDokladu"), "přijaté faktury");
  EXPECT_FALSE(Visible("lblNedokonceny"));

  // "Porovnat s Money": a dialog modal to the window, with the counts of the one table and their
  // total.
  std::string counted, total, totalRecorded;
  bool ownerDisabled = false;
  WhenShown(win32::kDialogClass, [&](HWND dialog) {
    ownerDisabled = !IsWindowEnabled(m_window->Handle());
    HWND grid = GetDlgItem(dialog, win32::ControlId("grPorovnani"));
    HWND sum = GetDlgItem(dialog, win32::ControlId("grPorovnaniCelkem"));
    if (!grid || !sum) return false;  // still counting
    counted = std::to_string(ListView_GetItemCount(grid)) + " " + ItemText(grid, 0, 0);
    total = ItemText(sum, 0, 0);
    totalRecorded = ItemText(sum, 0, 1);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  });
  Press("lblPorovnat");
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(counted, "1 přijaté faktury 2026");
  EXPECT_EQ(total, kComparisonTotalText);
  EXPECT_EQ(totalRecorded, "30");
  EXPECT_TRUE(IsWindowEnabled(m_window->Handle()));

  const std::string windowArchive = DumpTable(m_window->Model().Context().ArchiveRoot() + "1\\PF002");
  m_dialogs.Answer(true);  // the archive is deleted after the restore
  Press("btnNext5");
  ASSERT_EQ(Page(), WizardPage::RestoreDone) << (m_dialogs.Last() ? m_dialogs.LastEntry().text : "");
  EXPECT_EQ(m_dialogs.LastEntry().text, kDeleteAfterRestoreQuestion);
  EXPECT_EQ(Invoices("Rok.002"), before);
  EXPECT_EQ(ListView_GetItemCount(archives), 0);
  EXPECT_FALSE(Enabled("btnNext4"));
  EXPECT_FALSE(Enabled("btnDelete"));

  // vorlend-batch goes the same road: the same choices give the same archive and documents.
  std::vector<std::string> argv = {ToolPath("vorlend-batch"), "save"};
  for (const std::string& group : m_agenda->Groups("Rok.002")) argv.push_back(group);
  for (const char* word : {"--years", "2026", "--modules", "PF", "--action", "unlock", "--name", "Před přepočtem"}) {
    argv.push_back(word);
  }
  std::string number;
  ASSERT_EQ(RunProgram(argv, &number), 0);
  while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
  EXPECT_EQ(DumpTable(m_window->Model().Context().ArchiveRoot() + number + "\\PF002"), windowArchive);
  for (const auto& [key, lock] : Invoices("Rok.002")) EXPECT_EQ(lock, "0") << key;
}

TEST_F(Win32WindowTest, KeysGoOnOnlyWhereGoingOnStartsNothing) {
  MakeAgenda();
  Start();
  ASSERT_EQ(FocusName(), "RadioButton1");
  // The two choices are one stop of Tab, at the chosen one; the arrows choose within them.
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), "btnNext1");
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), "btnKonec1");
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), "RadioButton1");
  Key(VK_DOWN);
  EXPECT_EQ(FocusName(), "RadioButton2");
  EXPECT_FALSE(m_window->Model().SaveChosen());
  Key(VK_TAB);
  Key(VK_TAB);
  Key(VK_TAB);
  EXPECT_EQ(FocusName(), "RadioButton2");
  Key(VK_UP);
  EXPECT_TRUE(m_window->Model().SaveChosen());

  // A held Enter's repeats press nothing; Enter from a choice goes on.
  Key(VK_RETURN, true);
  EXPECT_EQ(Page(), WizardPage::Start);
  Key(VK_RETURN);
  ASSERT_EQ(Page(), WizardPage::SaveOptions);
  ASSERT_EQ(FocusName(), "grYearName");
  // Space marks the current year once; a held key's repeats change nothing.
  Key(VK_SPACE);
  EXPECT_TRUE(m_window->Model().Years().Row(0).Checked);
  Key(VK_SPACE, true);
  EXPECT_TRUE(m_window->Model().Years().Row(0).Checked);
  Key(VK_SPACE);
  EXPECT_FALSE(m_window->Model().Years().Row(0).Checked);
  Key(VK_SPACE);
  if (!m_window->Model().Modules()[5]) Press("chckPfaktury");
  SetFocus(Control("grYearName"));
  Key(VK_RETURN);
  ASSERT_EQ(Page(), WizardPage::ArchiveName);
  // Enter in the name box never presses "Start".
  ASSERT_EQ(FocusName(), "edtNazevMapy");
  Key(VK_RETURN);
  EXPECT_EQ(Page(), WizardPage::ArchiveName);
  EXPECT_FALSE(DirectoryExists(m_window->Model().Context().ArchiveRoot() + "1"));
  // A focused button takes Enter itself; like a click, the Enter that showed the progress page
  // keeps a second quick one off "Přerušit" (its question would come): here one that waits in the
  // queue as the page shows.
  Key(VK_TAB);
  Key(VK_TAB);
  ASSERT_EQ(FocusName(), "btnNext3");
  g_shownPage = Control("TabSheet4");
  g_pressedThere = Control("btnPrerusit");
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, EnterAsPageShows, nullptr, GetCurrentThreadId());
  Key(VK_RETURN);
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(Page(), WizardPage::SaveDone) << (m_dialogs.Last() ? m_dialogs.LastEntry().text : "");
  EXPECT_EQ(m_dialogs.QuestionCount(), 0u);
  // Escape outside a job is "Konec".
  Key(VK_ESCAPE);
  EXPECT_TRUE(m_window->Closed());
}

TEST_F(Win32WindowTest, AClickThatChangedThePageKeepsTheNextClicksOffTheNewPageUntilTheyPause) {
  MakeAgenda();
  Start();
  const auto gap = static_cast<DWORD>(
      std::max<std::uint64_t>(ClickGuard::kMinimumIntervalMs, win32::TfrmMain::DoubleClickInterval()));
  // A press that reaches "Další >>" on the years page says that no module or year is chosen.
  auto taken = [&] { return m_dialogs.MessageCount(); };

  const DWORD t0 = GetTickCount();
  ClickAt("btnNext1", t0);
  ASSERT_EQ(Page(), WizardPage::SaveOptions);
  // The second click of a double click lands on the new page's "Další >>" at the same place.
  ClickAt("btnNext2", t0 + 150, true);
  EXPECT_EQ(taken(), 0u);
  Pump();
  // The burst goes on: each press taken away starts the interval again.
  ClickAt("btnNext2", t0 + 150 + gap - 100);
  EXPECT_EQ(taken(), 0u);
  ClickAt("btnNext2", t0 + 150 + 2 * gap);
  EXPECT_EQ(taken(), 1u);
  EXPECT_EQ(Page(), WizardPage::SaveOptions);

  // A page change by a key lifts the guard; one made by a click holds it until the page has
  // been painted, however late the next press.
  Press("btnPrev2");
  ASSERT_EQ(Page(), WizardPage::Start);
  const DWORD t1 = t0 + 10 * gap;
  ClickAt("btnNext1", t1);
  ASSERT_EQ(Page(), WizardPage::SaveOptions);
  ClickAt("btnNext2", t1 + 2 * gap);
  EXPECT_EQ(taken(), 1u);
  Pump();
  ClickAt("btnNext2", t1 + 4 * gap);
  EXPECT_EQ(taken(), 2u);
}

TEST_F(Win32WindowTest, AClickOnAYearsRowMarksItAndEveryClickCounts) {
  MakeAgenda();
  Start();
  Press("btnNext1");
  HWND years = Control("grYearName");
  MouseAt(years, RowCentre(years, 1));
  EXPECT_TRUE(m_window->Model().Years().Row(1).Checked);
  EXPECT_EQ(m_window->Model().Years().Current(), 1u);
  Pump();
  EXPECT_TRUE(MarkDrawn(years, 1));
  EXPECT_FALSE(MarkDrawn(years, 0));
  // A double click toggles twice.
  MouseAt(years, RowCentre(years, 1));
  MouseAt(years, RowCentre(years, 1), true);
  EXPECT_TRUE(m_window->Model().Years().Row(1).Checked);
  // A click below the last row marks nothing and leaves the row selected.
  RECT client;
  GetClientRect(years, &client);
  MouseAt(years, POINT{client.right / 2, client.bottom - 3});
  Pump();
  EXPECT_TRUE(m_window->Model().Years().Row(1).Checked);
  EXPECT_FALSE(m_window->Model().Years().Row(0).Checked);
  EXPECT_EQ(ListView_GetNextItem(years, -1, LVNI_SELECTED), 1);
}

TEST_F(Win32WindowTest, ClosingDuringASaveShowsTheNoteAndEndsWhenTheSaveHasEnded) {
  MakeAgenda(300);
  Start();
  Press("btnNext1");
  m_window->Model().grYearNameCellClick(0);
  if (!m_window->Model().Modules()[5]) Press("chckPfaktury");
  Press("btnNext2");
  ASSERT_EQ(Page(), WizardPage::ArchiveName);
  // The close box is pressed as the save begins.
  PostMessageW(m_window->Handle(), WM_CLOSE, 0, 0);
  Press("btnNext3");
  EXPECT_TRUE(m_window->Closed());
  EXPECT_TRUE(GetWindowLongPtrW(Control("lblZavreni"), GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(Page(), WizardPage::SaveDone);
  for (const auto& [key, lock] : Invoices("Rok.002")) EXPECT_EQ(lock, "0") << key;
  EXPECT_TRUE(FileExists(m_window->Model().Context().SettingsFileName()));
}

// The boxes are the system's, with Czech buttons whatever its language.
TEST(Win32Dialogs, AskInCzechWithNeTheDefaultWhereAnoDeletesOrStops) {
  struct Seen {
    std::string title, text, yes, no, ok;
    int defaultId = 0;
  };
  win32::Win32Dialogs dialogs;
  auto ask = [&](const std::function<bool()>& show, int press, Seen& seen) {
    WhenShown(L"#32770", [&seen, press](HWND box) {
      seen.title = win32::GetText(box);
      seen.text = win32::GetText(GetDlgItem(box, 0xFFFF));
      if (HWND yes = GetDlgItem(box, IDYES)) seen.yes = win32::GetText(yes);
      if (HWND no = GetDlgItem(box, IDNO)) seen.no = win32::GetText(no);
      if (HWND ok = GetDlgItem(box, IDOK)) seen.ok = win32::GetText(ok);
      for (const int id : {IDYES, IDNO, IDOK}) {
        HWND button = GetDlgItem(box, id);
        if (button && (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) seen.defaultId = id;
      }
      PostMessageW(box, WM_COMMAND, press, 0);
      return true;
    });
    return show();
  };

  Seen deleting;
  EXPECT_TRUE(ask([&] { return dialogs.Ask(QuestionId::DeleteArchive, MsgKind::Confirmation, kDeleteArchiveQuestion); },
                  IDYES, deleting));
  EXPECT_EQ(deleting.title, "Dotaz");
  EXPECT_EQ(deleting.text, kDeleteArchiveQuestion);
  EXPECT_EQ(deleting.yes, "&Ano");
  EXPECT_EQ(deleting.no, "&Ne");
  EXPECT_EQ(deleting.defaultId, IDNO);

  Seen waiting;
  EXPECT_FALSE(
      ask([&] { return dialogs.Ask(QuestionId::LockConflict, MsgKind::Confirmation, "Čekat?"); }, IDNO, waiting));
  EXPECT_EQ(waiting.defaultId, IDYES);

  // Paragraphs end in two CRs; the box shows each as a line break.
  Seen error;
  ask(
      [&] {
        dialogs.Message(MsgKind::Error, "Nelze smazat adresář C:\\Money\\Db\\3\r\rZkuste to znovu.");
        return true;
      },
      IDOK, error);
  EXPECT_EQ(error.title, "Chyba");
  EXPECT_EQ(error.text, "Nelze smazat adresář C:\\Money\\Db\\3\r\n\r\nZkuste to znovu.");
  EXPECT_EQ(error.ok, "OK");
  EXPECT_EQ(error.yes, "");
}

}  // namespace vorlend::test
