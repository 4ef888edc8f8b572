// Renders each of the window's nine pages into a PNG file, so the layout can be looked at:
//   vorlend-screens OUTPUT_DIR
// It starts the window on a small agenda made in a temporary directory, with rights tables that
// let the current user in, and walks the pages through ShowPage, with sample values where a page
// shows data. Then it shows a real error box naming a long path and grabs it from the screen, so
// the picture shows the title bar a window manager gives it.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/job_progress.h"
#include "archive/modules.h"
#include "host/rights_tables.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "ui/comparison.h"
#include "ui/frm_main.h"
#include "ui/qt_ports.h"

namespace {

using vorlend::ui::TfrmMain;

void WriteIni(const std::string& path, const char* section, const char* key, const char* value) {
  vorlend::ForceDirectories(vorlend::ExtractFilePath(path));
  vorlend::TIniFile ini(path);
  ini.WriteString(section, key, value);
}

template <typename T>
T* Find(TfrmMain& window, const char* name) {
  T* control = window.findChild<T*>(QLatin1String(name));
  if (!control) std::fprintf(stderr, "vorlend-screens: no control %s\n", name);
  return control;
}

void SetLabel(TfrmMain& window, const char* name, const char* text) {
  if (auto* label = Find<QLabel>(window, name)) label->setText(QString::fromUtf8(text));
}

// The texts the model gives a page when a job or the recapitulation fills it, set after the page
// shows the model's own.
void SetSampleTexts(TfrmMain& window, int page) {
  if (page == 7) {
    SetLabel(window, "lblNazevMapy", "Před přepočtem cen 2026");
    SetLabel(window, "lblNazevArchAgendy", "Truhlářství Novák, s.r.o.");
    SetLabel(window, "lblDatumUlozeni", "14.3.2026");
    SetLabel(window, "lblCasUlozeni", "9:41:07");
    SetLabel(window, "lblFiltrRoku", "2026, 2025, 2024");
    SetLabel(window, "lblFiltrDokladu",
             "pokladní doklady, bankovní doklady, ostatní pohledávky, ostatní závazky, interní doklady, přijaté "
             "faktury, vystavené faktury, skladové doklady");
  } else if (page == 4) {
    SetLabel(window, "lblSouhrnUlozeni",
             "Archiv 1 (\"Před přepočtem cen 2026\") je uložen: zaznamenáno dokladů 12 480, z toho odemčeno 11 902.");
  } else if (page == 5) {
    SetLabel(window, "lblSouhrnChyby",
             "Uložení bylo přerušeno. Zámek se změnil u dokladů: 4 310. Jejich původní stav zůstává v nedokončeném "
             "archivu 3 (\"Před uzávěrkou\"); vrátíte ho volbou \"vrátit zámky dokladů do původního stavu\".");
  } else if (page == 8) {
    SetLabel(window, "lblSouhrnObnoveni",
             "Zámky jsou vráceny z archivu 1 (\"Před přepočtem cen 2026\"): záznamů archivu 12 480, změněno dokladů "
             "11 902. Archiv byl smazán.");
  }
}

// Writes the picture and prints its file's name; false after saying why not.
bool SavePicture(const QPixmap& picture, const QString& file) {
  if (!picture.save(file)) {
    std::fprintf(stderr, "vorlend-screens: cannot write %s\n", file.toLocal8Bit().constData());
    return false;
  }
  std::printf("%s\n", file.toLocal8Bit().constData());
  return true;
}

// The line under the bar a minute into a save of 16 tables of 1,000 documents, 280 documents into
// the sixth.
std::string SampleJobLine() {
  auto now = std::chrono::steady_clock::time_point{};
  vorlend::JobProgress job([&] { return now; });
  job.JobBegins(std::vector<int>(16, 1000));
  for (int table = 1; table <= 5; ++table) {
    job.TableBegins(table, 16);
    job.TableEnds();
  }
  job.TableBegins(6, 16);
  job.SetMaximum(1000);
  now += std::chrono::seconds(60);
  job.SetPosition(280);
  return job.Text();
}

// A comparison of every module of three years, with documents changed and deleted since: more
// tables than fit, so the table scrolls above its total.
vorlend::ArchiveInspection SampleInspection() {
  vorlend::ArchiveInspection sample;
  int seed = 0;
  for (const char* year : {"2026", "2025", "2024"}) {
    for (const vorlend::ModuleInfo& m : vorlend::kModules) {
      vorlend::TableInspection t;
      t.row.WorkingStr = m.workingText + std::string(year);
      t.recorded = 412 + (seed * 7919) % 61000;
      t.locked = t.recorded - (seed * 31) % 400;
      t.differing = std::string(year) == "2024" ? 0 : t.locked - seed % 3;
      t.missing = seed % 5 == 1 ? seed % 4 + 1 : 0;
      sample.tables.push_back(t);
      ++seed;
    }
  }
  return sample;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: vorlend-screens OUTPUT_DIR\n");
    return 2;
  }
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(outDir);

  vorlend::SetFormatSettings(vorlend::CzechLocaleFormats());

  QTemporaryDir temp;
  if (!temp.isValid()) return 1;
  const std::string data = temp.path().toStdString() + "/DATA/";
  const std::string agenda = data + "AGENDA.001/";
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
    std::snprintf(dir, sizeof dir, "ROK.%03d/", i + 1);
    WriteIni(agenda + dir + "ROK.INI", "Global", "Účetní rok", years[i]);
  }

  // The boxes of the demo run go to the standard error instead of waiting for a click.
  struct ConsoleDialogs : vorlend::Dialogs {
    void Message(vorlend::MsgKind, const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    bool Question(vorlend::MsgKind, const std::string& text) override {
      std::fprintf(stderr, "%s\n", text.c_str());
      return false;
    }
  } dialogs;
  vorlend::ui::QtShell shell;

  TfrmMain window(&dialogs, &shell);
  window.SetVersionCheck([](const vorlend::HostContext&, vorlend::Dialogs&, vorlend::Shell&) { return true; });
  const std::vector<std::string> args = {"?MAIN=1?MAIN", "?AKTROK=" + agenda + "ROK.003?AKTROK", "?MVERZE=12.0?MVERZE",
                                         "?AKTHESLO=?AKTHESLO", "?AKTCFGNAME=Demo?AKTCFGNAME"};
  if (window.RunStartup(args)) return 1;
  window.show();
  QApplication::processEvents();

  // Page 1 with its years, one of them marked.
  window.btnNext1Click();
  window.grYearNameCellClick(0, 1);

  if (auto* name = Find<QLineEdit>(window, "edtNazevMapy")) name->setText(QStringLiteral("Před přepočtem cen 2026"));
  SetLabel(window, "lblWorking", "Procházím přijaté faktury 2026...");
  if (auto* bar = Find<QProgressBar>(window, "ProgressBar1")) bar->setValue(28);
  SetLabel(window, "lblCelkem", SampleJobLine().c_str());

  vorlend::ArchiveList& archives = window.Archives();
  archives.Append({"Před přepočtem cen 2026", "14.3.2026", "9:41:07", "Truhlářství Novák, s.r.o.", "1"});
  archives.Append({"[bez názvu]", "2.4.2026", "16:05:52", "Truhlářství Novák, s.r.o.", "2"});
  archives.Append({"Před uzávěrkou", "30.4.2026", "7:12:45", "Truhlářství Novák, s.r.o.", "3", false});
  window.RefreshArchiveList();

  int failures = 0;
  auto render = [&](int page, const QString& name) {
    window.ShowPage(page);
    SetSampleTexts(window, page);
    QApplication::processEvents();
    const QString file = QDir(outDir).filePath(name);
    if (!window.grab().save(file)) {
      std::fprintf(stderr, "vorlend-screens: cannot write %s\n", file.toLocal8Bit().constData());
      ++failures;
    } else {
      std::printf("%s\n", file.toLocal8Bit().constData());
    }
  };
  for (int page = 0; page < 9; ++page) render(page, QStringLiteral("page%1.png").arg(page));
  // The recapitulation of an archive whose save did not finish.
  if (auto* line = Find<QLabel>(window, "lblNedokonceny")) {
    line->setText(QString::fromUtf8(vorlend::kIncompleteRecapText));
    line->show();
  }
  render(7, QStringLiteral("page7-incomplete.png"));

  // "Porovnat s Money" on an archive of three years, with documents changed and deleted since.
  {
    window.ShowPage(7);
    vorlend::ui::ComparisonDialog comparison(&window);
    comparison.ShowCounts(SampleInspection());
    comparison.show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    if (!SavePicture(comparison.grab(), QDir(outDir).filePath(QStringLiteral("comparison.png")))) ++failures;
    // The dialog over the window, as the screen shows them.
    QThread::msleep(500);
    QApplication::processEvents();
    const QRect around = window.frameGeometry().united(comparison.frameGeometry()).adjusted(-8, -8, 8, 8);
    if (!SavePicture(window.screen()->grabWindow(0, around.x(), around.y(), around.width(), around.height()),
                     QDir(outDir).filePath(QStringLiteral("comparison-over-window.png")))) {
      ++failures;
    }
  }

  // The first page with an agenda name too long for its line: cut with "…", whole in the tooltip.
  if (auto* name = Find<QLabel>(window, "lblAgendaName")) {
    name->setText(
        QString::fromUtf8("Truhlářství Novák a synové, výroba nábytku na zakázku, Brno-Královo Pole, s.r.o."));
  }
  render(0, QStringLiteral("page0-long-agenda.png"));

  // A real error box naming a long path, as the window manager shows it (title bar included) and
  // where it lands on the screen.
  const std::string longPath =
      "/srv/money/sdilena-data-ucetniho-oddeleni-pobocka-brno-kralovo-pole/DATA/KPX/Vorlend/Db/000017/"
      "ROK.003_PrijateFakturyPolozkyArchivZamku.DAT";
  QTimer::singleShot(800, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) {
      std::fprintf(stderr, "vorlend-screens: the message box did not show\n");
      ++failures;
      return;
    }
    QScreen* screen = box->screen();
    const QRect frame = box->frameGeometry().adjusted(-8, -8, 8, 8);
    const QString boxFile = QDir(outDir).filePath(QStringLiteral("messagebox-long-path.png"));
    const QString screenFile = QDir(outDir).filePath(QStringLiteral("messagebox-screen.png"));
    if (!screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(boxFile) ||
        !screen->grabWindow(0).save(screenFile)) {
      std::fprintf(stderr, "vorlend-screens: cannot write the message box's pictures\n");
      ++failures;
    } else {
      std::printf("%s\n%s\n", boxFile.toLocal8Bit().constData(), screenFile.toLocal8Bit().constData());
    }
    if (auto* dialog = qobject_cast<QDialog*>(box)) dialog->done(0);
  });
  window.ShowPage(0);
  vorlend::ui::QtDialogs boxes(&window);
  boxes.Message(vorlend::MsgKind::Error, "Chyba: nepodařilo se vytvořit soubor " + longPath);
  return failures == 0 ? 0 : 1;
}
