// The wizard's page flow driven through its buttons and links, the validations of the save
// options, and every way out of the program.
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>

#include <QLabel>
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini.h"

#include "ui_fixture.h"

namespace vorlend::test {

TEST_F(WindowTest, SaveRoadValidatesModulesFirstThenYears) {
  MakeAgenda({"2025", "2026"});
  Start();
  Click("btnNext1");
  ASSERT_EQ(Page(), 1);
  EXPECT_EQ(m_versionChecks, 1);
  ASSERT_EQ(m_window->Years().Count(), 2u);
  EXPECT_EQ(m_window->Years().Row(0).YearName, "2026");
  EXPECT_FALSE(m_window->Years().AnyChecked());

  // No module ticked: the module message, even though no year is marked either.
  for (const char* box : {"chckPfaktury", "chckVfkatury", "chckSkDoklady"}) Tick(box, false);
  Click("btnNext2");
  ASSERT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Information);
  EXPECT_EQ(m_dialogs.LastEntry().text, "Ve filtru dokladů musíte vybrat alespoň jeden modul.");
  EXPECT_EQ(Page(), 1);

  Tick("chckBanka", true);
  Click("btnNext2");
  ASSERT_EQ(m_dialogs.Entries().size(), 2u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Information);
  EXPECT_EQ(m_dialogs.LastEntry().text,
            "Musíte označit alespoň jeden rok. Klepněte myší do seznamu \"Roky\" a označte požadované záznamy.");
  EXPECT_EQ(Page(), 1);

  // A marked year lets the user on; the archive name is empty each time page 2 is entered.
  m_window->grYearNameCellClick(1, 1);
  Control<QLineEdit>("edtNazevMapy")->setText(QStringLiteral("starý název"));
  Click("btnNext2");
  EXPECT_EQ(Page(), 2);
  EXPECT_EQ(m_dialogs.Entries().size(), 2u);
  EXPECT_TRUE(Control<QLineEdit>("edtNazevMapy")->text().isEmpty());
  EXPECT_EQ(Control<QLineEdit>("edtNazevMapy")->maxLength(), 50);

  // Back to page 1 keeps the marks; back to page 0 and Další again rebuilds the list unmarked.
  Click("btnPrev3");
  EXPECT_EQ(Page(), 1);
  EXPECT_TRUE(m_window->Years().Row(1).Checked);
  Click("btnPrev2");
  EXPECT_EQ(Page(), 0);
  Click("btnNext1");
  EXPECT_EQ(Page(), 1);
  EXPECT_FALSE(m_window->Years().AnyChecked());
}

TEST_F(WindowTest, AgendaWithoutYearsStaysOnFirstPageWithNormalCursor) {
  MakeAgenda({"2026"});
  Start();
  // The year directory vanishes while the add-on runs; a file named like a year is no year.
  std::filesystem::remove_all(m_agendaDir + "ROK.001");
  std::FILE* f = std::fopen((m_agendaDir + "Rok.txt").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  Click("btnNext1");
  EXPECT_EQ(Page(), 0);
  ASSERT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Error);
  EXPECT_EQ(m_dialogs.LastEntry().text, "Chyba: vybraná agenda neobsahuje žádný účetní rok.");
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, FailingHandlerShowsErrorAndGivesBackCursor) {
  MakeAgenda({"2026"});
  Start();
  m_window->SetVersionCheck([](const HostContext&, Dialogs&, Shell&) -> bool { throw std::runtime_error("spadlo"); });
  Click("btnNext1");
  EXPECT_EQ(Page(), 0);
  ASSERT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Error);
  EXPECT_EQ(m_dialogs.LastEntry().text, "spadlo");
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(m_window->CloseRequested());
}

TEST_F(WindowTest, VersionCheckAnsweredWithEndClosesAndSavesSettings) {
  MakeAgenda({"2026"});
  Start();
  m_versionAnswer = false;
  Tick("chckInterni", true);
  Click("btnNext1");
  EXPECT_EQ(m_versionChecks, 1);
  EXPECT_TRUE(m_window->CloseRequested());
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(m_window->Years().Count(), 0u);
  EXPECT_EQ(Setting("Interni"), "1");
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, RestoreRoadOnAgendaWithoutArchives) {
  MakeAgenda({"2026"});
  Start();
  Control<QRadioButton>("RadioButton2")->click();
  Click("btnNext1");
  EXPECT_EQ(Page(), 6);
  EXPECT_EQ(m_window->Archives().Count(), 0u);
  EXPECT_FALSE(Enabled("btnNext4"));
  EXPECT_FALSE(Enabled("btnDelete"));
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
  Click("btnPrev4");
  EXPECT_EQ(Page(), 0);
}

TEST_F(WindowTest, ArchiveListRecapitulationAndBack) {
  MakeAgenda({"2026"});
  Start();
  m_window->ShowPage(6);
  ListArchive("první", "1.3.2026", "8:00:00", "1");
  ListArchive("druhý", "2.3.2026", "9:00:00", "2");
  m_window->RefreshArchiveList();
  EXPECT_TRUE(Enabled("btnNext4"));
  EXPECT_TRUE(Enabled("btnDelete"));
  Click("btnNext4");
  EXPECT_EQ(Page(), 7);
  Click("btnPrev5");
  EXPECT_EQ(Page(), 6);
  Click("btnPrev4");
  EXPECT_EQ(Page(), 0);
}

TEST_F(WindowTest, DeletingArchivesAsksAndDisablesButtonsWhenEmpty) {
  MakeAgenda({"2026"});
  Start();
  m_window->ShowPage(6);
  m_window->Archives().Append({"jediný", "1.3.2026", "8:00:00", m_agendaName, "1"});
  m_window->RefreshArchiveList();

  m_dialogs.Answer(false);
  Click("btnDelete");
  ASSERT_EQ(m_dialogs.QuestionCount(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Confirmation);
  EXPECT_EQ(m_dialogs.LastEntry().text, "Smazání uloženého archivu je nevratná operace. Opravdu to chcete ?");
  EXPECT_EQ(m_window->Archives().Count(), 1u);
  EXPECT_TRUE(Enabled("btnDelete"));

  // The row leaves the list whatever became of its directory (here it never existed).
  m_dialogs.Answer(true);
  Click("btnDelete");
  EXPECT_EQ(m_window->Archives().Count(), 0u);
  EXPECT_FALSE(Enabled("btnDelete"));
  EXPECT_FALSE(Enabled("btnNext4"));
  EXPECT_EQ(Page(), 6);
}

TEST_F(WindowTest, FailedRestoreShowsErrorPageWithoutDeleteQuestion) {
  MakeAgenda({"2026"});
  Start();
  // A complete description whose file list is missing: the restore fails on its first step.
  TIniFile info(m_window->Context().ArchiveRoot() + "99/info");
  ForceDirectories(m_window->Context().ArchiveRoot() + "99");
  info.WriteString("MAIN", "AgendaExt", "001");
  info.WriteString("MAIN", "Correct", "1");
  info.WriteString("MAIN", "Name", "chybí");
  info.WriteString("MAIN", "Date", "1.3.2026");
  info.WriteString("MAIN", "Time", "8:00:00");
  m_window->ShowPage(6);
  m_window->Archives().Append({"chybí", "1.3.2026", "8:00:00", m_agendaName, "99"});
  m_window->RefreshArchiveList();
  {
    // Another user deletes the archive at this moment: the recapitulation says so, not a blank page.
    const DirectoryLock deleting(ResolvePath(m_window->Context().ArchiveRoot() + "99"));
    Click("btnNext4");
    EXPECT_EQ(Page(), 6);
    EXPECT_NE(m_dialogs.LastEntry().text.find("právě pracuje jiný uživatel"), std::string::npos)
        << m_dialogs.LastEntry().text;
  }
  // The message changed the list: it is read again, and archive 99 is in it.
  ASSERT_EQ(m_window->Archives().Count(), 1u);
  Click("btnNext4");
  ASSERT_EQ(Page(), 7);
  Click("btnNext5");
  EXPECT_EQ(Page(), 5);
  EXPECT_EQ(m_dialogs.QuestionCount(), 0u);
  EXPECT_GE(m_dialogs.MessageCount(), 1u);
  EXPECT_EQ(m_window->Archives().Count(), 1u);
  // The error page leads back to the start.
  Click("Label12");
  EXPECT_EQ(Page(), 0);
}

TEST_F(WindowTest, LinksGoBackOrOpenTheVendorsPage) {
  MakeAgenda({"2026"});
  Start();
  const std::pair<int, const char*> backLinks[] = {{4, "Label10"}, {5, "Label12"}, {8, "Label22"}};
  for (const auto& [page, link] : backLinks) {
    m_window->ShowPage(page);
    Click(link);
    EXPECT_EQ(Page(), 0) << link;
  }
  m_window->ShowPage(4);
  Click("lblTarvellWebPage1");
  m_window->ShowPage(8);
  Click("lblTarvellWebPage2");
  ASSERT_EQ(m_shell.Urls().size(), 2u);
  EXPECT_EQ(m_shell.Urls()[0], VendorAddOnsPageUrl());
  EXPECT_EQ(m_shell.Urls()[1], VendorAddOnsPageUrl());
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
}

TEST_F(WindowTest, EveryEndButtonAndClosingTheWindowSaveSettings) {
  MakeAgenda({"2026"});
  const std::pair<int, const char*> ends[] = {{0, "btnKonec1"}, {1, "btnKonec2"}, {2, "btnKonec3"},
                                              {4, "btnKonec5"}, {5, "btnKonec6"}, {6, "btnkonec7"},
                                              {7, "btnkonec8"}, {8, "btnKonec9"}, {0, nullptr}};
  for (const auto& [page, button] : ends) {
    SCOPED_TRACE(button ? button : "closing the window");
    Start();
    m_window->show();
    m_window->ShowPage(page);
    EXPECT_FALSE(SettingsFileExists());
    Tick("chckPokladna", true);
    Tick("chckSkDoklady", false);
    Control<QRadioButton>("rbAllLock")->setChecked(true);
    if (button) {
      Click(button);
    } else {
      m_window->close();
    }
    EXPECT_TRUE(m_window->CloseRequested());
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(Setting("Pokladna"), "1");
    EXPECT_EQ(Setting("SkDoklady"), "0");
    EXPECT_EQ(Setting("Pfaktury"), "1");
    EXPECT_EQ(Setting("LockAction"), "1");
    DeleteFile(m_window->Context().SettingsFileName());
    m_window.reset();
  }
}

TEST_F(WindowTest, EndGoesOnWhenSettingsCannotBeWritten) {
  MakeAgenda({"2026"});
  Start();
  // A directory where the settings file belongs makes the write fail.
  ASSERT_TRUE(ForceDirectories(m_window->Context().SettingsFileName() + "/"));
  Click("btnKonec1");
  EXPECT_TRUE(m_window->CloseRequested());
  EXPECT_FALSE(m_window->isVisible());
  ASSERT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Error);
}

TEST_F(WindowTest, ClosingDuringSaveWaitsForItsEnd) {
  MakeAgenda({"2026"});
  Start();
  Click("btnNext1");
  m_window->grYearNameCellClick(0, 1);
  Click("btnNext2");
  ASSERT_EQ(Page(), 2);
  bool busyWhenClosed = false, visibleAfterClose = false, requested = false;
  // Runs while the Start handler processes pending messages.
  QTimer::singleShot(0, m_window.get(), [&] {
    busyWhenClosed = m_window->Busy();
    m_window->close();
    // The progress page says at once that the add-on closes when the job ends.
    visibleAfterClose = m_window->isVisible() && !Control<QLabel>("lblZavreni")->isHidden();
    requested = m_window->CloseRequested();
    m_window->close();  // a second attempt changes nothing
  });
  Click("btnNext3");
  EXPECT_TRUE(busyWhenClosed);
  EXPECT_TRUE(requested);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(Setting("Pfaktury"), "1");
  // The handler ran to its end (the page it chose), then the window closed.
  EXPECT_TRUE(Page() == 4 || Page() == 5) << Page();
  EXPECT_FALSE(m_window->isVisible());
  EXPECT_FALSE(m_window->Busy());
}

TEST_F(WindowTest, ForegroundTimerStartsOnShowAndStopsOnNext) {
  MakeAgenda({"2026"});
  Start();
  auto* timer = m_window->findChild<QTimer*>(QStringLiteral("tmSetFormInForeground"));
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->isActive());
  m_window->show();
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 2000);
  EXPECT_TRUE(timer->isSingleShot());
  Click("btnNext1");
  EXPECT_FALSE(timer->isActive());
  m_window->tmSetFormInForegroundTimer();
  EXPECT_TRUE(m_window->isVisible());
}

}  // namespace vorlend::test
