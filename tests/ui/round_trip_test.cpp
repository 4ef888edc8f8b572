// The add-on's two main jobs driven through the window's own handlers: the save with "unlock all",
// then the restore of its archive, on real tables, with another Money user holding a document.
#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include "archive/catalogue.h"
#include "archive/modules.h"
#include "engine/table_files.h"
#include "host/bftable.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/agenda_builder.h"
#include "support/http_server.h"
#include "ui/comparison.h"
#include "ui_fixture.h"

namespace vorlend::test {

namespace {

// Every document table of the year, 30 documents each, every third one locked.
void AddDocuments(const std::string& yearDir) {
  for (const ModuleInfo& m : kModules) {
    const std::string path = yearDir + m.moneyTable;
    ASSERT_FALSE(engine::CreateTable(
        path, {{m.keyField, engine::FieldType::Integer}, {"Uzamceni", engine::FieldType::Boolean}}, {m.keyField}));
    TBFTable t;
    ASSERT_EQ(t.OpenTable(path), 0);
    for (const Document& d : MakeDocuments(30, 1, 3)) {
      t.AppendBlank();
      t.SetValue(m.keyField, Variant::FromInt(d.key));
      t.SetValue("Uzamceni", d.lock);
      ASSERT_EQ(t.Post(), 0);
    }
  }
}

using Locks = std::vector<std::pair<std::int32_t, std::string>>;

std::map<std::string, Locks> AllLocks(const std::string& agendaDir) {
  std::map<std::string, Locks> all;
  for (const char* year : {"ROK.001/", "ROK.002/"}) {
    for (const ModuleInfo& m : kModules)
      all[year + std::string(m.moneyTable)] = ReadLocks(agendaDir + year + m.moneyTable, m.keyField);
  }
  return all;
}

class RoundTripTest : public WindowTest {
protected:
  void SetUp() override {
    MakeAgenda({"2025", "2026"});
    AddDocuments(m_agendaDir + "ROK.001/");
    AddDocuments(m_agendaDir + "ROK.002/");
    m_seed = AllLocks(m_agendaDir);
  }
  // Through page 1 and 2 to the Start of the save, every year and module chosen.
  // `start`: "Start" is pressed too.
  void SaveEverything(const char* name, bool start = true) {
    Click("btnNext1");
    ASSERT_EQ(Page(), 1);
    m_window->grYearNameCellClick(0, 0);
    m_window->grYearNameCellClick(1, 1);
    for (const ModuleInfo& m : kModules) Tick(m.checkBox, true);
    Control<QRadioButton>("rbAllUnlock")->setChecked(true);
    Click("btnNext2");
    ASSERT_EQ(Page(), 2);
    Control<QLineEdit>("edtNazevMapy")->setText(QString::fromUtf8(name));
    if (start) Click("btnNext3");
  }
  std::map<std::string, Locks> m_seed;
};

}  // namespace

TEST_F(RoundTripTest, SaveUnlocksEverythingAndRestorePutsEveryStateBack) {
  Start();
  SaveEverything("Před přepočtem");
  ASSERT_EQ(Page(), 4) << (m_dialogs.Last() ? m_dialogs.LastEntry().text : "");
  EXPECT_TRUE(m_dialogs.Entries().empty());
  // The progress page told the whole job, table by table, to its end.
  EXPECT_EQ(Control<QLabel>("lblCelkem")->text().toStdString(), "Tabulka 16 z 16, celkem 100 %");
  // The done page says what the save did, as the model tells it.
  EXPECT_EQ(Control<QLabel>("lblSouhrnUlozeni")->text().toStdString(), m_window->Model().OutcomeText());
  EXPECT_EQ(m_window->Model().OutcomeText().rfind("Archiv ", 0), 0u);
  const auto saved = AllLocks(m_agendaDir);
  for (const auto& [table, locks] : saved) {
    for (const auto& [key, value] : locks) EXPECT_EQ(value, "0") << table << " " << key;
  }
  // Each archive table, by name.
  auto archive = [&](const std::string& number) {
    std::map<std::string, std::string> tables;
    for (const char* year : {"001", "002"}) {
      for (const ModuleInfo& m : kModules) {
        const std::string name = m.code + std::string(year);
        tables[name] = DumpTable(m_window->Context().ArchiveRoot() + number + "/" + name);
      }
    }
    return tables;
  };
  const auto windowArchive = archive("1");

  Click("Label10");
  Control<QRadioButton>("RadioButton2")->setChecked(true);
  Click("btnNext1");
  ASSERT_EQ(Page(), 6);
  ASSERT_EQ(m_window->Archives().Count(), 1u);
  Click("btnNext4");
  ASSERT_EQ(Page(), 7);
  EXPECT_EQ(Control<QLabel>("lblNazevMapy")->text().toStdString(), "Před přepočtem");
  EXPECT_EQ(Control<QLabel>("lblFiltrRoku")->text().toStdString(), "2026, 2025");

  // "Porovnat s Money" counts what the restore would change, changing nothing: every archived
  // lock is undone by the save, and one unlocked document another user has locked since.
  {
    TBFTable other;
    ASSERT_EQ(other.OpenTable(m_agendaDir + "ROK.002/" + kModules[0].moneyTable), 0);
    ASSERT_EQ(other.SetOrder(kModules[0].keyField), 0);
    ASSERT_EQ(other.Seek1(Variant::FromInt(m_seed["ROK.002/" + std::string(kModules[0].moneyTable)][1].first)),
              kSeekFound);
    ASSERT_EQ(other.LockRecord(), 0);
    other.SetValue("Uzamceni", Variant::FromBool(true));
    ASSERT_EQ(other.Post(), 0);
  }
  const auto beforeComparison = AllLocks(m_agendaDir);
  Click("lblPorovnat");
  auto* comparison = m_window->findChild<ui::ComparisonDialog*>("dlgPorovnani");
  ASSERT_NE(comparison, nullptr);
  EXPECT_EQ(Control<QLabel>("lblPorovnaniCelkem")->text().toStdString(), "Tabulka 16 z 16, celkem 100 %");
  ASSERT_EQ(comparison->Counts()->rowCount(), 16);
  ASSERT_EQ(comparison->Total()->rowCount(), 1);
  std::vector<std::string> total;
  for (int c = 0; c < 5; ++c) total.push_back(comparison->Total()->item(0, c)->text().toStdString());
  EXPECT_EQ(total, (std::vector<std::string>{"Celkem", "480", "160", "161", "0"}));
  EXPECT_EQ(comparison->Summary()->text().toStdString(), "Obnovení by změnilo dokladů: 161.");
  EXPECT_EQ(AllLocks(m_agendaDir), beforeComparison);
  Click("btnZavrit");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(m_window->findChild<ui::ComparisonDialog*>("dlgPorovnani"), nullptr);
  EXPECT_EQ(Page(), 7);

  m_dialogs.Answer(false);  // keep the archive
  Click("btnNext5");
  ASSERT_EQ(Page(), 8);
  ASSERT_EQ(m_dialogs.QuestionCount(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().text.rfind("Operace byla dokončena. Pokud archiv", 0), 0u);
  EXPECT_EQ(AllLocks(m_agendaDir), m_seed);
  EXPECT_EQ(m_window->Archives().Count(), 1u);

  // vorlend-batch goes the same road: the same choices give the same archive and documents (the
  // kept archive, which its restore would no longer change, asks nothing).
  std::vector<std::string> argv = {std::string(VORLEND_BIN_DIR) + "/vorlend-batch", "save"};
  for (const std::string& group : Args()) argv.push_back(group);
  for (const char* word : {"--years", "all", "--modules", "all", "--action", "unlock", "--name", "Před přepočtem"}) {
    argv.push_back(word);
  }
  std::string number;
  ASSERT_EQ(RunProgram(argv, &number), 0);
  EXPECT_EQ(number, "2\n");
  EXPECT_EQ(AllLocks(m_agendaDir), saved);
  EXPECT_EQ(archive("2"), windowArchive);
}

// "Porovnat s Money" on an archive of three years of every module: the dialog lies over the window
// in the window's font, its 24 tables scroll while their total stays in sight below them, column
// by column under the tables' numbers, and the numbers are grouped the Czech way.
TEST_F(WindowTest, AComparisonOfManyTablesFitsTheWindowAndKeepsItsTotalInSight) {
  MakeAgenda({"2026"});
  Start();
  ShowActive();
  ArchiveInspection many;
  for (const char* year : {"2026", "2025", "2024"}) {
    for (const ModuleInfo& m : kModules) {
      TableInspection t;
      t.row.WorkingStr = m.workingText + std::string(year);
      t.recorded = 6000;
      t.locked = 5999;
      many.tables.push_back(t);
    }
  }
  ui::ComparisonDialog comparison(m_window.get());
  comparison.show();
  comparison.ShowCounts(many);
  ProcessEvents();

  EXPECT_TRUE(m_window->frameGeometry().contains(comparison.frameGeometry()));
  EXPECT_EQ(comparison.font().pixelSize(), 11);
  const QTableWidget* counts = comparison.Counts();
  const QTableWidget* total = comparison.Total();
  EXPECT_EQ(counts->rowCount(), 24);
  EXPECT_TRUE(counts->verticalScrollBar()->isVisible());
  ASSERT_TRUE(total->isVisible());
  EXPECT_TRUE(comparison.rect().contains(total->geometry()));
  EXPECT_EQ(total->item(0, 1)->text(), QString::fromUtf8("144\u00A0000"));
  EXPECT_EQ(total->item(0, 2)->text(), QString::fromUtf8("143\u00A0976"));
  // Each number column's right edge, in the dialog, is the same in the table and in its total, also
  // once the user has made the dialog narrower.
  auto expectAligned = [&] {
    for (int c = 1; c < 5; ++c) {
      auto rightEdge = [&](const QTableWidget* table) {
        const QPoint edge(table->columnViewportPosition(c) + table->columnWidth(c), 0);
        return table->viewport()->mapTo(&comparison, edge).x();
      };
      const int edge = rightEdge(counts);
      EXPECT_EQ(rightEdge(total), edge) << "column " << c;
    }
  };
  expectAligned();
  comparison.resize(comparison.width() - 60, comparison.height());
  ProcessEvents();
  expectAligned();
}

TEST_F(RoundTripTest, ADocumentHeldByAnotherUserAsksAndRetries) {
  auto holder = std::make_unique<HoldProcess>(m_agendaDir + "ROK.002/PFAKTURY", "Cislo", 12);
  ASSERT_TRUE(holder->Locked());
  Start();
  m_dialogs.Answers({true, true});
  m_dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
    if (m_dialogs.QuestionCount() == 2) holder.reset();  // the other user saves the document
  };
  SaveEverything("s konfliktem");
  ASSERT_EQ(Page(), 4);
  ASSERT_EQ(m_dialogs.QuestionCount(), 2u);
  EXPECT_EQ(m_dialogs.Entries()[0].kind, MsgKind::Warning);
  EXPECT_EQ(
      m_dialogs.Entries()[0].text.rfind("Zámek v modulu přijaté faktury 2026: některý doklad je právě editován", 0),
      0u);

  // Ne ends on the error page, the documents before the held one already changed.
  Click("Label10");
  m_dialogs.onQuestion = nullptr;
  HoldProcess again(m_agendaDir + "ROK.002/POKLKNIH", "Cislo", 5);
  ASSERT_TRUE(again.Locked());
  // Ano to the question about archive 1, whose restore would still change these documents; Ne to
  // the held document.
  m_dialogs.Answers({true, false});
  Click("btnNext1");
  m_window->grYearNameCellClick(0, 0);
  Tick("chckPokladna", true);
  Control<QRadioButton>("rbAllLock")->setChecked(true);
  Click("btnNext2");
  Click("btnNext3");
  EXPECT_EQ(Page(), 5);
  const Locks now = ReadLocks(m_agendaDir + "ROK.002/POKLKNIH", "Cislo");
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(now[i].second, "1") << i;
}

TEST_F(RoundTripTest, AnOutdatedAddOnOffersTheDownloadAndAnoEndsWithTheSettingsSaved) {
  HttpServer server;
  server.ServeBody("[VORLEND]\r\nVER=1.15\r\nHOMEPAGE=http://127.0.0.1/vorlend\r\n");
  ::setenv("VORLEND_VENDOR_URL", server.BaseUrl().c_str(), 1);
  // The real version checker, not the fixture's stand-in.
  m_window = std::make_unique<ui::TfrmMain>(&m_dialogs, &m_shell);
  ASSERT_FALSE(m_window->RunStartup(Args()));
  Tick("chckBanka", true);
  m_dialogs.Answer(true);
  Click("btnNext1");
  ::unsetenv("VORLEND_VENDOR_URL");
  EXPECT_EQ(server.RequestCount(), 1);
  EXPECT_EQ(server.LastPath(), "/download/kpxver.dat");
  ASSERT_EQ(m_dialogs.QuestionCount(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Warning);
  EXPECT_NE(m_dialogs.LastEntry().text.find("\r\rPřejete si nyní přesměrovat na internetové stránky"),
            std::string::npos);
  EXPECT_EQ(m_shell.Urls(), (std::vector<std::string>{"http://127.0.0.1/vorlend"}));
  EXPECT_TRUE(m_window->CloseRequested());
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(Setting("Banka"), "1");
}

TEST_F(RoundTripTest, AnArchiveReplacedByAnotherUserIsNeitherRestoredNorDeleted) {
  Start();
  SaveEverything("první");
  ASSERT_EQ(Page(), 4);
  Click("Label10");
  Control<QRadioButton>("RadioButton2")->setChecked(true);
  Click("btnNext1");
  ASSERT_EQ(m_window->Archives().Count(), 1u);
  // Meanwhile another user deletes archive 1 and a third user's save takes its number.
  const std::string info = m_window->Context().ArchiveRoot() + "1/info";
  TIniFile(info).WriteString("MAIN", "Name", "cizí archiv");
  TIniFile(info).WriteString("MAIN", "Correct", "0");
  auto running = std::make_unique<DirectoryLock>(m_window->Context().ArchiveRoot() + "1");  // that save still runs
  ASSERT_TRUE(running->Held());
  const auto before = AllLocks(m_agendaDir);

  m_dialogs.Answer(true);
  Click("btnDelete");
  EXPECT_TRUE(FileExists(info));
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Warning);
  EXPECT_EQ(m_dialogs.LastEntry().text,
            "Archiv \"první\" mezitím smazal nebo změnil jiný uživatel; s archivem se nic neprovedlo.");
  // Read again: the other user's archive is listed as still being saved.
  ASSERT_EQ(m_window->Archives().Count(), 1u);
  EXPECT_TRUE(m_window->Archives().Row(0).running);
  EXPECT_EQ(m_window->Archives().Row(0).MapName, "cizí archiv");
  running.reset();

  // The same when the row is restored: nothing in Money changes.
  TIniFile(info).WriteString("MAIN", "Correct", "1");
  Click("btnPrev4");
  Click("btnNext1");
  Click("btnNext4");
  TIniFile(info).WriteString("MAIN", "Time", "0:00:01");
  Click("btnNext5");
  EXPECT_EQ(Page(), 6);
  EXPECT_EQ(AllLocks(m_agendaDir), before);
  EXPECT_EQ(m_window->Archives().Count(), 1u);
}

}  // namespace vorlend::test

namespace vorlend::test {

// "Přerušit" answered Ano after the first documents were unlocked: the archive is offered marked
// as incomplete, a new save first warns about it, and restoring it puts every state back.
TEST_F(RoundTripTest, AnInterruptedSaveIsMarkedWarnedAboutAndRestored) {
  Start();
  // The abort button is pressed a few window passes into the save, after the first documents
  // were unlocked.
  int passes = 0;
  QTimer pressAbort;
  QObject::connect(&pressAbort, &QTimer::timeout, [&] {
    if (++passes < 4) return;
    pressAbort.stop();
    m_window->btnPrerusitClick();
  });
  pressAbort.start(0);
  m_dialogs.Answer(true);
  SaveEverything("přerušený");
  ASSERT_EQ(Page(), 5);
  EXPECT_NE(AllLocks(m_agendaDir), m_seed);

  Click("Label12");
  Control<QRadioButton>("RadioButton2")->setChecked(true);
  Click("btnNext1");
  ASSERT_EQ(m_window->Archives().Count(), 1u);
  const QString shown = Control<QTableView>("grInfoFiles")->model()->index(0, 0).data().toString();
  EXPECT_EQ(shown.toStdString(), "(nedokončený) přerušený");
  Click("btnNext4");
  ASSERT_EQ(Page(), 7);
  EXPECT_FALSE(Control<QLabel>("lblNedokonceny")->isHidden());
  EXPECT_EQ(Control<QLabel>("lblNedokonceny")->text().toStdString(), kIncompleteRecapText);

  // A new save first reads the incomplete archive on the progress page, then asks; "Ne" goes back
  // to the name page and creates nothing.
  Click("btnPrev5");
  Click("btnPrev4");
  Control<QRadioButton>("RadioButton1")->setChecked(true);
  m_dialogs.Clear();
  m_dialogs.Answer(false);
  int pageAsked = -1;
  std::string shownAsked;
  m_dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
    pageAsked = Page();
    shownAsked = Control<QLabel>("lblWorking")->text().toStdString();
  };
  SaveEverything("druhý");
  m_dialogs.onQuestion = nullptr;
  EXPECT_EQ(pageAsked, 3);
  EXPECT_EQ(shownAsked, "Kontroluji nedokončený archiv 1 (\"přerušený\")...");
  EXPECT_EQ(Page(), 2);
  ASSERT_EQ(m_dialogs.QuestionCount(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Warning);
  EXPECT_EQ(m_dialogs.LastEntry().text.rfind("Archiv 1 (\"přerušený\") uložený ", 0), 0u);
  EXPECT_FALSE(DirectoryExists(m_window->Context().ArchiveRoot() + "2"));

  // Restoring the incomplete archive puts back every state.
  Click("btnPrev3");
  Click("btnPrev2");
  Control<QRadioButton>("RadioButton2")->setChecked(true);
  Click("btnNext1");
  Click("btnNext4");
  m_dialogs.Answer(true);  // and delete it afterwards
  Click("btnNext5");
  ASSERT_EQ(Page(), 8) << (m_dialogs.Last() ? m_dialogs.LastEntry().text : "");
  EXPECT_EQ(AllLocks(m_agendaDir), m_seed);
  EXPECT_EQ(m_window->Archives().Count(), 0u);
  EXPECT_FALSE(DirectoryExists(m_window->Context().ArchiveRoot() + "1"));
}

// Two quick Enters on "Start": the second, queued behind the first, reaches the progress page's
// "Přerušit" while the save runs, and must not ask whether to stop it.
TEST_F(RoundTripTest, ASecondQuickEnterOnStartNeverStopsTheSave) {
  Start();
  ShowActive();
  SaveEverything("dvakrát Enter", false);
  QWidget* start = Control<QWidget>("btnNext3");
  start->setFocus(Qt::TabFocusReason);
  const quint64 first = 80000;
  std::string focusedDuringSave;
  // Delivered once the progress page shows.
  QTimer queued;
  queued.setInterval(0);
  QObject::connect(&queued, &QTimer::timeout, [&] {
    QWidget* focus = QApplication::focusWidget();
    if (Page() != 3 || !focus) return;
    queued.stop();
    focusedDuringSave = focus->objectName().toStdString();
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    again.setTimestamp(first + 150);
    QApplication::sendEvent(focus, &again);
  });
  queued.start();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  enter.setTimestamp(first);
  QApplication::sendEvent(start, &enter);
  EXPECT_EQ(focusedDuringSave, "btnPrerusit");
  EXPECT_EQ(m_dialogs.QuestionCount(), 0u);
  EXPECT_EQ(Page(), 4);
}

}  // namespace vorlend::test
