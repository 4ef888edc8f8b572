// Draws each of the Win32 window's nine pages and its dialogs into PNG files, so the layout can be
// looked at:
//   vorlend-screens OUTPUT_DIR
// It starts the window on a small agenda made in a temporary folder, with rights tables that let
// the current user in, walks the pages with sample values where a page shows data, and takes
// each picture from the screen as it is shown there (the title bars a window manager draws
// included, for the dialog and the message boxes).
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/catalogue.h"
#include "host/rights_tables.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "platform/win_text.h"
#include "win32/comparison.h"
#include "win32/main_window.h"
#include "win32/png_file.h"
#include "win32/ports.h"

namespace {

using vorlend::win32::TfrmMain;

std::string g_outDir;
int g_failures = 0;

void WriteIni(const std::string& path, const char* section, const char* key, const char* value) {
  vorlend::ForceDirectories(vorlend::ExtractFilePath(path));
  vorlend::TIniFile ini(path);
  ini.WriteString(section, key, value);
}

// Lets the windows draw what they were asked to.
void Settle(TfrmMain& window) {
  for (int i = 0; i < 5; ++i) {
    window.ProcessMessages();
    Sleep(60);
  }
}

// The screen's pixels in `area` (screen coordinates) into OUTPUT_DIR/name.
void Capture(const RECT& area, const char* name) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  const auto* pixels = static_cast<const std::uint8_t*>(bits);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
    rgb[i * 3] = pixels[i * 4 + 2];
    rgb[i * 3 + 1] = pixels[i * 4 + 1];
    rgb[i * 3 + 2] = pixels[i * 4];
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  const std::string file = g_outDir + "\\" + name;
  if (!vorlend::win32::WritePng(file, width, height, rgb)) {
    std::fprintf(stderr, "vorlend-screens: cannot write %s\n", file.c_str());
    ++g_failures;
  } else {
    std::printf("%s\n", file.c_str());
  }
}

// The window's inside, as the Qt window's pictures show it.
void CaptureClient(HWND window, const char* name) {
  RECT client;
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  Capture(client, name);
}

// A window with the frame and the title bar the window manager gives it.
void CaptureFramed(HWND window, const char* name) {
  RECT frame;
  GetWindowRect(window, &frame);
  RECT client;
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  // Room for a manager's frame, which may lie outside what the window knows as its own.
  const int title = std::max<int>(30, client.top - frame.top);
  RECT area{frame.left - 6, client.top - title - 4, frame.right + 6, frame.bottom + 6};
  area.left = std::max<LONG>(0, area.left);
  area.top = std::max<LONG>(0, area.top);
  Capture(area, name);
}

// The message box of the running thread that is shown now.
HWND g_box = nullptr;
BOOL CALLBACK FindBox(HWND hwnd, LPARAM) {
  wchar_t cls[16] = {};
  if (IsWindowVisible(hwnd) && GetClassNameW(hwnd, cls, 16) && lstrcmpW(cls, L"#32770") == 0) {
    g_box = hwnd;
    return FALSE;
  }
  return TRUE;
}

const char* g_boxPicture = nullptr;
void CALLBACK TakeBox(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  g_box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
  if (!g_box) {
    std::fprintf(stderr, "vorlend-screens: the message box did not show\n");
    ++g_failures;
    return;
  }
  CaptureFramed(g_box, g_boxPicture);
  // Its last button: OK, or "Ne".
  PostMessageW(g_box, WM_COMMAND, GetDlgItem(g_box, IDNO) ? IDNO : IDOK, 0);
}

// The boxes of the run go to the standard error instead of waiting for a click.
struct ConsoleDialogs : vorlend::Dialogs {
  void Message(vorlend::MsgKind, const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  bool Question(vorlend::MsgKind, const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return false;
  }
};
struct NoShell : vorlend::Shell {
  bool OpenUrl(const std::string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: vorlend-screens OUTPUT_DIR\n");
    return 2;
  }
  g_outDir = argv[1];
  vorlend::ForceDirectories(g_outDir);
  vorlend::SetFormatSettings(vorlend::CzechLocaleFormats());

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::string root = vorlend::win::Narrow(temp) + "vorlend-screens-" + std::to_string(GetCurrentProcessId()) +
                           "-" + std::to_string(GetTickCount());
  // The agenda goes with the run.
  struct Remove {
    std::string folder;
    ~Remove() {
      std::error_code ignored;
      std::filesystem::remove_all(std::filesystem::path(vorlend::win::Wide(folder)), ignored);
    }
  } remove{root};
  const std::string data = root + "\\DATA\\";
  const std::string agenda = data + "AGENDA.001\\";
  WriteIni(agenda + "AGENDA.INI", "Údaje o firmě", "Název-obchodní", "Truhlářství Novák, s.r.o.");
  vorlend::RightsUser user;
  user.Name = "Účetní";
  user.osAccount = vorlend::CurrentUserName();
  if (const auto error = vorlend::WriteNewModelRights(data, {user}, true)) {
    std::fprintf(stderr, "vorlend-screens: %s\n", error->c_str());
    return 1;
  }
  const char* years[] = {"2024", "2025", "2026"};
  for (int i = 0; i < 3; ++i) {
    char dir[16];
    std::snprintf(dir, sizeof dir, "ROK.%03d\\", i + 1);
    WriteIni(agenda + dir + "ROK.INI", "Global", "Účetní rok", years[i]);
  }

  ConsoleDialogs dialogs;
  NoShell shell;
  TfrmMain window(&dialogs, &shell);
  vorlend::Wizard& model = window.Model();
  model.SetVersionCheck([](const vorlend::HostContext&, vorlend::Dialogs&, vorlend::Shell&) { return true; });
  const std::vector<std::string> args = {"?MAIN=1?MAIN", "?AKTROK=" + agenda + "ROK.003?AKTROK", "?MVERZE=12.0?MVERZE",
                                         "?AKTHESLO=?AKTHESLO", "?AKTCFGNAME=Demo?AKTCFGNAME"};
  if (window.RunStartup(args)) return 1;
  window.Show();
  window.StopForegroundTimer();
  Settle(window);
  std::fprintf(stderr, "vorlend-screens: the dialog font is %s, %d pixels a line\n",
               vorlend::win::Narrow(window.WindowFonts().FaceName()).c_str(), window.WindowFonts().LineHeight());

  // Page 1 with its years, one of them marked.
  model.btnNext1Click();
  model.grYearNameCellClick(0);

  auto set = [&](const char* name, const std::string& text) { vorlend::win32::SetText(window.Control(name), text); };
  model.SetArchiveName("Před přepočtem cen 2026");

  vorlend::ArchiveList& archives = model.Archives();
  archives.Append({"Před přepočtem cen 2026", "14.3.2026", "9:41:07", "Truhlářství Novák, s.r.o.", "1"});
  archives.Append({"[bez názvu]", "2.4.2026", "16:05:52", "Truhlářství Novák, s.r.o.", "2"});
  archives.Append({"Před uzávěrkou", "30.4.2026", "7:12:45", "Truhlářství Novák, s.r.o.", "3", false});
  window.ArchiveListChanged();

  vorlend::Recapitulation recap;
  recap.Name = "Před přepočtem cen 2026";
  recap.AgendaName = "Truhlářství Novák, s.r.o.";
  recap.Date = "14.3.2026";
  recap.Time = "9:41:07";
  recap.yearFilter = "2026, 2025, 2024";
  recap.documentFilter =
      "pokladní doklady, bankovní doklady, ostatní pohledávky, ostatní závazky, interní doklady, přijaté faktury, "
      "vystavené faktury, skladové doklady";

  auto render = [&](int page, const char* name) {
    model.GoTo(static_cast<vorlend::WizardPage>(page));
    switch (static_cast<vorlend::WizardPage>(page)) {
      case vorlend::WizardPage::ArchiveName:
        set("edtNazevMapy", "Před přepočtem cen 2026");
        break;
      case vorlend::WizardPage::Progress:
        set("lblWorking", "Procházím přijaté faktury 2026...");
        SendMessageW(window.Control("ProgressBar1"), PBM_SETPOS, 40, 0);
        set("lblCelkem", "Tabulka 6 z 16, celkem 33 %, zbývá asi 2 min");
        break;
      case vorlend::WizardPage::SaveDone:
        window.PlaceOutcome(
            "lblSouhrnUlozeni", "Label13", "lblTarvellWebPage1",
            "Archiv 4 (\"Před přepočtem cen 2026\") je uložen: zaznamenáno dokladů 2 400, z toho odemčeno 720.");
        break;
      case vorlend::WizardPage::Error:
        window.PlaceOutcome("lblSouhrnChyby", nullptr, nullptr,
                            "Uložení bylo přerušeno. Zámek se změnil u dokladů: 130. Jejich původní stav "
                            "zůstává v nedokončeném archivu 4 (\"Před přepočtem cen 2026\"); vrátíte ho "
                            "volbou \"vrátit zámky dokladů do původního stavu\".");
        break;
      case vorlend::WizardPage::Recapitulation:
        window.SetRecapitulationTexts(recap, "");
        break;
      case vorlend::WizardPage::RestoreDone:
        window.PlaceOutcome("lblSouhrnObnoveni", "Label28", "lblTarvellWebPage2",
                            "Zámky jsou vráceny z archivu 1 (\"Před přepočtem cen 2026\"): záznamů archivu "
                            "2 400, změněno dokladů 720. Archiv byl smazán.");
        break;
      default:
        break;
    }
    Settle(window);
    CaptureClient(window.Handle(), name);
  };
  const char* pages[] = {"page0.png", "page1.png", "page2.png", "page3.png", "page4.png",
                         "page5.png", "page6.png", "page7.png", "page8.png"};
  for (int page = 0; page < 9; ++page) render(page, pages[page]);
  // The recapitulation of an archive whose save did not finish.
  model.GoTo(vorlend::WizardPage::Recapitulation);
  window.SetRecapitulationTexts(recap, vorlend::kIncompleteRecapText);
  Settle(window);
  CaptureClient(window.Handle(), "page7-incomplete.png");
  // The window as the window manager shows it.
  model.GoTo(vorlend::WizardPage::Start);
  Settle(window);
  CaptureFramed(window.Handle(), "window.png");

  // "Porovnat s Money" on an archive of two years, with documents changed and deleted since.
  {
    vorlend::win32::ComparisonDialog comparison(window.Handle(), window.WindowFonts(), dialogs);
    comparison.Open();
    vorlend::ArchiveInspection sample;
    const struct {
      const char* table;
      int recorded, locked, differing, missing;
    } rows[] = {{"pokladní doklady 2026", 412, 388, 388, 0},   {"bankovní doklady 2026", 1260, 1187, 1185, 2},
                {"přijaté faktury 2026", 934, 902, 899, 0},    {"vystavené faktury 2026", 1511, 1470, 1470, 0},
                {"pokladní doklady 2025", 398, 398, 0, 0},     {"přijaté faktury 2025", 1022, 1022, 3, 1},
                {"vystavené faktury 2025", 1480, 1480, 0, 0},  {"skladové doklady 2025", 2210, 2210, 0, 0},
                {"skladové doklady 2026", 2305, 2240, 2240, 0}};
    for (const auto& r : rows) {
      vorlend::TableInspection t;
      t.row.WorkingStr = r.table;
      t.recorded = r.recorded;
      t.locked = r.locked;
      t.differing = r.differing;
      t.missing = r.missing;
      sample.tables.push_back(t);
    }
    comparison.ShowCounts(sample);
    Settle(window);
    CaptureFramed(comparison.Handle(), "comparison.png");
  }
  Settle(window);

  // The first page with an agenda name too long for its line: cut with "…".
  window.SetLineText("lblAgendaName",
                     "Truhlářství Novák a synové, výroba nábytku na zakázku, Brno-Královo Pole, s.r.o.");
  Settle(window);
  CaptureClient(window.Handle(), "page0-long-agenda.png");

  // Real message boxes, as the window manager shows them: an error naming a long path, and a
  // question whose "Ano" deletes (so "Ne" is its default button).
  vorlend::win32::Win32Dialogs boxes(window.Handle());
  g_boxPicture = "messagebox-long-path.png";
  SetTimer(nullptr, 0, 700, TakeBox);
  boxes.Message(vorlend::MsgKind::Error,
                "Chyba: nepodařilo se vytvořit soubor C:\\Money\\sdilena-data-ucetniho-oddeleni-pobocka-brno-kralovo-"
                "pole\\DATA\\KPX\\Vorlend\\Db\\17\\ROK.003_PrijateFakturyPolozkyArchivZamku.DAT");
  g_boxPicture = "messagebox-question.png";
  SetTimer(nullptr, 0, 700, TakeBox);
  boxes.Ask(vorlend::QuestionId::DeleteArchive, vorlend::MsgKind::Confirmation,
            "Smazání uloženého archivu je nevratná operace. Opravdu to chcete ?");
  return g_failures == 0 ? 0 : 1;
}
