// The wizard's page model without a window: the page flow of both roads, the checks of the save
// options, every way out, the keys, and what the done and error pages say. Both windows present
// this model; their own tests keep what is theirs (drawing, focus, the toolkit's events).
#include "app/wizard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "archive/modules.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/agenda_builder.h"
#include "support/scripted_ports.h"

namespace vorlend::test {

namespace {

class RecordingView : public WizardView {
public:
  void ShowPage(WizardPage page) override { pages.push_back(page); }
  void ControlsChanged() override { ++controlsChanged; }
  void YearListChanged() override {}
  void YearRowChanged(int) override {}
  void ArchiveListChanged() override {}
  void ShowClosingNote() override { ++closingNotes; }
  void Close() override { closed = true; }
  void SetWaitCursor(bool wait) override { waitCursor = wait; }
  void StopForegroundTimer() override {}
  void ShowComparison(const ArchiveRow& row) override { compared.push_back(row.Dir); }

  std::vector<WizardPage> pages;
  int controlsChanged = 0;
  int closingNotes = 0;
  bool closed = false;
  bool waitCursor = false;
  std::vector<std::string> compared;
};

class WizardTest : public ::testing::Test {
protected:
  // Two years, each with the eight document tables of 30 documents, every third one locked.
  void SetUp() override {
    m_agenda.AddRightsWithoutUsers();
    m_agenda.AddYear("Rok.001", "2024");
    m_agenda.AddYear("Rok.002", "2025");
    for (const char* year : {"Rok.001", "Rok.002"}) {
      for (const ModuleInfo& m : kModules) m_agenda.AddTable(year, m.moneyTable, MakeDocuments(30, 1, 3));
    }
    Start();
  }
  void Start() {
    m_view = RecordingView();
    m_wizard = std::make_unique<Wizard>(m_view, m_dialogs, m_shell, m_progress, nullptr);
    m_wizard->SetVersionCheck([this](const HostContext&, Dialogs&, Shell&) { return m_versionAnswer; });
    ASSERT_FALSE(m_wizard->RunStartup(m_agenda.Groups("Rok.002")))
        << (m_dialogs.Last() ? m_dialogs.LastEntry().text : "");
    ASSERT_EQ(Page(), WizardPage::Start);
  }
  WizardPage Page() const { return m_wizard->Page(); }
  std::string Setting(const char* key) const {
    return TIniFile(m_wizard->Context().SettingsFileName()).ReadString("SETTINGS", key, "");
  }
  // The save road as the user walks it: the first year marked, the name given, Start.
  void Save(const std::string& name = "") {
    m_wizard->SetSaveChosen(true);
    m_wizard->btnNext1Click();
    ASSERT_EQ(Page(), WizardPage::SaveOptions);
    m_wizard->grYearNameCellClick(0);
    m_wizard->btnNext2Click();
    ASSERT_EQ(Page(), WizardPage::ArchiveName);
    m_wizard->SetArchiveName(name);
    m_wizard->btnNext3Click();
  }
  // The restore road up to its recapitulation, on the newest archive.
  void ToRecapitulation() {
    m_wizard->SetSaveChosen(false);
    m_wizard->btnNext1Click();
    ASSERT_EQ(Page(), WizardPage::ArchiveList);
    ASSERT_FALSE(m_wizard->Archives().Empty());
    m_wizard->SetCurrentArchive(static_cast<int>(m_wizard->Archives().Count()) - 1);
    m_wizard->btnNext4Click();
    ASSERT_EQ(Page(), WizardPage::Recapitulation);
  }

  TempDir m_dir;
  AgendaBuilder m_agenda{m_dir};
  ScriptedDialogs m_dialogs;
  RecordingShell m_shell;
  ScriptedProgress m_progress;
  RecordingView m_view;
  std::unique_ptr<Wizard> m_wizard;
  bool m_versionAnswer = true;
};

TEST_F(WizardTest, TheSaveOptionsCheckModulesFirstThenYears) {
  m_wizard->btnNext1Click();
  ASSERT_EQ(Page(), WizardPage::SaveOptions);
  ASSERT_EQ(m_wizard->Years().Count(), 2u);
  EXPECT_EQ(m_wizard->Years().Row(0).YearName, "2025");
  EXPECT_FALSE(m_wizard->Years().AnyChecked());

  // No module chosen: the module message, even though no year is marked either.
  for (std::size_t i = 0; i < kModuleCount; ++i) m_wizard->SetModule(i, false);
  m_wizard->btnNext2Click();
  ASSERT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Information);
  EXPECT_EQ(m_dialogs.LastEntry().text, "Ve filtru dokladů musíte vybrat alespoň jeden modul.");
  EXPECT_EQ(Page(), WizardPage::SaveOptions);

  m_wizard->SetModule(1, true);
  m_wizard->btnNext2Click();
  ASSERT_EQ(m_dialogs.Entries().size(), 2u);
  EXPECT_EQ(m_dialogs.LastEntry().text,
            "Musíte označit alespoň jeden rok. Klepněte myší do seznamu \"Roky\" a označte požadované záznamy.");
  EXPECT_EQ(Page(), WizardPage::SaveOptions);

  // A marked year lets the user on; the archive name is empty each time the page is entered.
  m_wizard->grYearNameCellClick(1);
  m_wizard->SetArchiveName("starý název");
  m_wizard->btnNext2Click();
  EXPECT_EQ(Page(), WizardPage::ArchiveName);
  EXPECT_EQ(m_dialogs.Entries().size(), 2u);
  EXPECT_TRUE(m_wizard->ArchiveName().empty());

  // Back keeps the marks; back to the start and on again reads the list anew, unmarked. Space
  // marks once, whatever a held key repeats.
  m_wizard->btnPrev3Click();
  EXPECT_TRUE(m_wizard->Years().Row(1).Checked);
  m_wizard->btnPrev2Click();
  EXPECT_EQ(Page(), WizardPage::Start);
  m_wizard->btnNext1Click();
  EXPECT_FALSE(m_wizard->Years().AnyChecked());
  m_wizard->SetCurrentYear(1);
  m_wizard->grYearNameSpace(false);
  m_wizard->grYearNameSpace(true);
  EXPECT_TRUE(m_wizard->Years().Row(1).Checked);
}

TEST_F(WizardTest, TheFirstPagesNextStaysOnAFailureAndEndsWhenTheVersionCheckSaysSo) {
  // The year directories vanish while the add-on runs.
  std::filesystem::remove_all(m_agenda.AgendaDir() + "Rok.001");
  std::filesystem::remove_all(m_agenda.AgendaDir() + "Rok.002");
  m_wizard->btnNext1Click();
  EXPECT_EQ(Page(), WizardPage::Start);
  ASSERT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().text, "Chyba: vybraná agenda neobsahuje žádný účetní rok.");
  EXPECT_FALSE(m_view.waitCursor);

  // A handler that throws says why and leaves the wizard where it was.
  m_wizard->SetVersionCheck([](const HostContext&, Dialogs&, Shell&) -> bool { throw std::runtime_error("spadlo"); });
  m_wizard->btnNext1Click();
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Error);
  EXPECT_EQ(m_dialogs.LastEntry().text, "spadlo");
  EXPECT_FALSE(m_view.waitCursor);
  EXPECT_FALSE(m_view.closed);

  // The version check's "end": the add-on closes with the settings saved.
  m_wizard->SetVersionCheck([](const HostContext&, Dialogs&, Shell&) { return false; });
  m_wizard->SetModule(0, true);
  m_wizard->btnNext1Click();
  EXPECT_TRUE(m_view.closed);
  EXPECT_EQ(Page(), WizardPage::Start);
  EXPECT_EQ(Setting("Pokladna"), "1");
  EXPECT_FALSE(m_view.waitCursor);
}

TEST_F(WizardTest, TheArchiveListLeadsToTheRecapitulationAndDeletesWhatTheUserConfirms) {
  m_wizard->SetSaveChosen(false);
  m_wizard->btnNext1Click();
  EXPECT_EQ(Page(), WizardPage::ArchiveList);
  EXPECT_FALSE(m_wizard->ArchiveButtonsEnabled());
  EXPECT_FALSE(m_wizard->EnterPressed());
  m_wizard->btnPrev4Click();
  Save("první");
  ASSERT_EQ(Page(), WizardPage::SaveDone);

  {
    // Another user deletes the archive at this moment: the recapitulation says so, not a blank page,
    // and the list is read again.
    const DirectoryLock deleting(ResolvePath(m_wizard->Context().ArchiveRoot() + "1"));
    m_wizard->SetSaveChosen(false);
    m_wizard->btnNext1Click();
    m_wizard->btnNext4Click();
    EXPECT_EQ(Page(), WizardPage::ArchiveList);
    EXPECT_NE(m_dialogs.LastEntry().text.find("právě pracuje jiný uživatel"), std::string::npos)
        << m_dialogs.LastEntry().text;
  }
  ToRecapitulation();
  EXPECT_EQ(m_wizard->Recap().Name, "první");
  EXPECT_TRUE(m_wizard->RecapComplete());
  m_wizard->lblPorovnatClick();
  EXPECT_EQ(m_view.compared.size(), 1u);
  m_wizard->btnPrev5Click();
  EXPECT_EQ(Page(), WizardPage::ArchiveList);
  EXPECT_TRUE(m_wizard->ArchiveButtonsEnabled());

  m_dialogs.Answer(false);
  m_wizard->btnDeleteClick();
  EXPECT_EQ(m_dialogs.LastEntry().text, "Smazání uloženého archivu je nevratná operace. Opravdu to chcete ?");
  EXPECT_EQ(m_wizard->Archives().Count(), 1u);
  m_dialogs.Answer(true);
  m_wizard->btnDeleteClick();
  EXPECT_EQ(m_wizard->Archives().Count(), 0u);
  EXPECT_FALSE(m_wizard->ArchiveButtonsEnabled());
  EXPECT_EQ(Page(), WizardPage::ArchiveList);
}

TEST_F(WizardTest, TheDonePagesSayWhatTheJobsDid) {
  Save();
  ASSERT_EQ(Page(), WizardPage::SaveDone);
  // 30 documents in each of the three tables the default filter takes, every third one locked.
  EXPECT_EQ(m_wizard->OutcomeText(),
            "Archiv 1 (\"[bez názvu]\") je uložen: zaznamenáno dokladů 90, z toho odemčeno 30.");
  EXPECT_EQ(m_wizard->ArchiveName(), "[bez názvu]");

  ToRecapitulation();
  m_dialogs.Answer(false);  // the archive is kept
  m_wizard->btnNext5Click();
  ASSERT_EQ(Page(), WizardPage::RestoreDone);
  EXPECT_EQ(m_wizard->OutcomeText(),
            "Zámky jsou vráceny z archivu 1 (\"[bez názvu]\"): záznamů archivu 90, změněno "
            "dokladů 30. Archiv zůstal uložen.");
}

TEST_F(WizardTest, TheErrorPageSaysWhatChangedAndWhatKeepsItsStates) {
  // "Přerušit" after the first documents were unlocked, and Ano to the question.
  m_progress.onProcessMessages = [this](int calls) {
    if (calls == 3) {
      EXPECT_EQ(Page(), WizardPage::Progress);
      m_wizard->EscapePressed();
    }
  };
  m_dialogs.Answer(true);
  Save("přerušené");
  ASSERT_EQ(Page(), WizardPage::Error);
  const std::string text = m_wizard->OutcomeText();
  EXPECT_EQ(text.rfind("Uložení bylo přerušeno. Zámek se změnil u dokladů: ", 0), 0u) << text;
  EXPECT_NE(text.find(" Jejich původní stav zůstává v nedokončeném archivu 1 (\"přerušené\"); vrátíte ho volbou "
                      "\"vrátit zámky dokladů do původního stavu\"."),
            std::string::npos)
      << text;

  // An archive whose file list was damaged: the restore is refused before it changes anything.
  m_progress.onProcessMessages = nullptr;
  ToRecapitulation();
  std::ofstream(ResolvePath(m_wizard->Context().ArchiveRoot() + "1/info.tab"), std::ios::binary) << "poškozeno";
  const std::size_t questions = m_dialogs.QuestionCount();
  m_wizard->btnNext5Click();
  EXPECT_EQ(Page(), WizardPage::Error);
  EXPECT_EQ(m_dialogs.QuestionCount(), questions);  // no deletion offered
  EXPECT_EQ(m_wizard->OutcomeText(), "Obnovení skončilo chybou. Nic se nezměnilo.");
  m_wizard->Label12Click();
  EXPECT_EQ(Page(), WizardPage::Start);
}

TEST_F(WizardTest, LinksGoBackOrOpenTheVendorsPage) {
  for (void (Wizard::*back)() : {&Wizard::Label10Click, &Wizard::Label12Click, &Wizard::Label22Click}) {
    m_wizard->GoTo(WizardPage::SaveDone);
    (m_wizard.get()->*back)();
    EXPECT_EQ(Page(), WizardPage::Start);
  }
  m_wizard->lblTarvellWebPage1Click();
  m_wizard->lblTarvellWebPage2Click();
  EXPECT_EQ(m_shell.Urls(), std::vector<std::string>(2, VendorAddOnsPageUrl()));
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
}

TEST_F(WizardTest, TheEndSavesTheSettingsAndWaitsForARunningJob) {
  m_wizard->SetModule(0, true);
  m_wizard->SetModule(7, false);
  m_wizard->SetAction(LockAction::Lock);
  // Closing in the middle of the save: the note at once, the end when the save has ended.
  bool closedDuringJob = true;
  m_progress.onProcessMessages = [&](int calls) {
    if (calls != 5) return;
    m_wizard->CloseAddOn();
    m_wizard->CloseAddOn();  // a second attempt changes nothing
    closedDuringJob = m_view.closed;
  };
  Save();
  EXPECT_FALSE(closedDuringJob);
  EXPECT_EQ(m_view.closingNotes, 2);
  EXPECT_TRUE(m_view.closed);
  EXPECT_EQ(Page(), WizardPage::SaveDone);
  EXPECT_FALSE(m_wizard->Busy());
  EXPECT_EQ(Setting("Pokladna"), "1");
  EXPECT_EQ(Setting("SkDoklady"), "0");
  EXPECT_EQ(Setting("LockAction"), "1");

  // A settings file that cannot be written is said, and the add-on ends all the same.
  Start();
  ASSERT_TRUE(DeleteFile(m_wizard->Context().SettingsFileName()));
  ASSERT_TRUE(ForceDirectories(m_wizard->Context().SettingsFileName() + "/"));
  const std::size_t before = m_dialogs.Entries().size();
  m_wizard->EscapePressed();
  EXPECT_TRUE(m_view.closed);
  ASSERT_EQ(m_dialogs.Entries().size(), before + 1);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Error);
}

TEST_F(WizardTest, EnterGoesOnOnlyWhereGoingOnStartsNothing) {
  EXPECT_TRUE(m_wizard->EnterPressed());
  EXPECT_EQ(Page(), WizardPage::SaveOptions);
  m_wizard->grYearNameCellClick(0);
  EXPECT_TRUE(m_wizard->EnterPressed());
  EXPECT_EQ(Page(), WizardPage::ArchiveName);
  // "Start" is never pressed by Enter: the save would begin unseen.
  EXPECT_FALSE(m_wizard->EnterPressed());
  EXPECT_EQ(Page(), WizardPage::ArchiveName);
  EXPECT_FALSE(FileExists(m_wizard->Context().ArchiveRoot() + "1/info"));
}

}  // namespace

}  // namespace vorlend::test
