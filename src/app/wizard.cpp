#include "app/wizard.h"

#include "app/settings.h"
#include "app/startup.h"
#include "platform/environment.h"
#include "platform/text.h"
#include "vercheck/kpx_ver_checker.h"

namespace vorlend {

namespace {

bool RunVendorVersionCheck(const HostContext& ctx, Dialogs& dialogs, Shell& shell) {
  TKPXVerChecker checker("VORLEND", ProgramVersion, 0, ctx.VersionCheckFileName(), ctx.MoneyVersionText, true, dialogs,
                         shell);
  return checker.CheckVersion();
}

// The hourglass while a handler works, on every way out.
class WaitCursor {
public:
  explicit WaitCursor(WizardView& view) : m_view(view) { m_view.SetWaitCursor(true); }
  ~WaitCursor() { m_view.SetWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

private:
  WizardView& m_view;
};

std::string Count(int n) {
  return GroupedNumber(n);
}

std::string Named(const std::string& dir, const std::string& name) {
  return dir + " (\"" + name + "\")";
}

}  // namespace

std::string SaveOutcomeText(const SaveOutcome& saved, LockAction action) {
  const OperationCounts& c = saved.counts;
  if (saved.status == SaveStatus::Saved) {
    const std::string acted = action == LockAction::Unlock ? ", z toho odemčeno " + Count(c.changed)
                              : action == LockAction::Lock ? ", z toho uzamčeno " + Count(c.changed)
                                                           : ", zámky zůstaly beze změny";
    return "Archiv " + Named(saved.archiveNumber, saved.archiveName) + " je uložen: zaznamenáno dokladů " +
           Count(c.recorded) + acted + ".";
  }
  const std::string head = saved.result.ByUser() ? "Uložení bylo přerušeno." : "Uložení skončilo chybou.";
  if (!saved.incompleteLeft) return head + " Nic se nezměnilo.";
  return head + " Zámek se změnil u dokladů: " + Count(c.changed) + ". Jejich původní stav zůstává v nedokončeném " +
         "archivu " + Named(saved.archiveNumber, saved.archiveName) +
         "; vrátíte ho volbou \"vrátit zámky dokladů do původního stavu\".";
}

std::string RestoreOutcomeText(const RestoreRoadOutcome& restored, const ArchiveRow& row) {
  const OperationCounts& c = restored.counts;
  if (restored.status == RestoreStatus::Restored) {
    std::string text = "Zámky jsou vráceny z archivu " + Named(row.Dir, row.MapName) + ": záznamů archivu " +
                       Count(c.documents) + ", změněno dokladů " + Count(c.changed) + ".";
    if (restored.deletion == DeletionStatus::Deleted) text += " Archiv byl smazán.";
    if (restored.deletion == DeletionStatus::Kept) text += " Archiv zůstal uložen.";
    return text;
  }
  const std::string head = restored.result.ByUser() ? "Obnovení bylo přerušeno." : "Obnovení skončilo chybou.";
  if (c.written == 0) return head + " Nic se nezměnilo.";
  return head + " Změněno dokladů: " + Count(c.changed) + ". Archiv " + Named(row.Dir, row.MapName) +
         " zůstal uložen; ostatním dokladům vrátí zámky nové obnovení z tohoto archivu.";
}

Wizard::Wizard(WizardView& view, Dialogs& dialogs, Shell& shell, Progress& progress, OperationObserver* observer)
    : m_view(view),
      m_dialogs(dialogs),
      m_shell(shell),
      m_progress(*this, progress),
      m_observer(observer),
      m_versionCheck(RunVendorVersionCheck) {}

void Wizard::JobProgress::Begin() {
  m_wizard.ShowPage(WizardPage::Progress);
  m_shown.Begin();
}

bool Wizard::Guarded(const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    try {
      m_dialogs.Message(MsgKind::Error, e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      m_dialogs.Message(MsgKind::Error, "Nastala neočekávaná chyba.");
    } catch (...) {
    }
  }
  return false;
}

RoadPorts Wizard::Ports() {
  return RoadPorts{m_dialogs, m_progress, m_observer};
}

// ---------------------------------------------------------------------------------------------
// Start-up and end

bool Wizard::RunStartup(const std::vector<std::string>& args) {
  bool end = true;
  Guarded([&] {
    if (!PrepareHostContext(args, m_dialogs, m_ctx)) return;
    LoadSettings();
    m_view.ControlsChanged();
    ShowPage(WizardPage::Start);
    if (!CheckAccessRights(m_ctx, m_dialogs)) return;
    m_started = true;
    end = false;
  });
  return end;
}

std::string Wizard::ProgramVersionText() const {
  return std::string("Verze ") + ProgramVersion;
}

void Wizard::LoadSettings() {
  const AddonSettings settings = vorlend::LoadSettings(m_ctx.SettingsFileName());
  // The file is left as it is: the defaults below are not what the user remembered.
  m_settingsUnreadable = settings.unreadable;
  if (settings.unreadable) m_dialogs.Message(MsgKind::Warning, UnreadableSettingsText(m_ctx.SettingsFileName()));
  m_modules = settings.modules;
  m_action = settings.action;
}

void Wizard::SaveSettings() {
  // A run that ended during the start-up writes nothing; before it the choices held defaults.
  if (!m_started || m_settingsUnreadable) return;
  vorlend::SaveSettings(m_ctx.SettingsFileName(), AddonSettings{m_modules, m_action});
}

void Wizard::CloseAddOn() {
  if (!m_closeRequested) {
    m_closeRequested = true;
    // A settings file that cannot be written is reported, but never keeps the user in the add-on.
    Guarded([this] { SaveSettings(); });
  }
  // A running save or restore goes on to its end; its handler finishes the close. The user sees
  // at once that the request was taken.
  if (m_busy) {
    m_view.ShowClosingNote();
    return;
  }
  m_view.Close();
}

// ---------------------------------------------------------------------------------------------
// Pages

void Wizard::ShowPage(WizardPage page) {
  m_page = page;
  m_view.ShowPage(page);
}

void Wizard::GoTo(WizardPage page) {
  ShowPage(page);
}

void Wizard::SetModule(std::size_t index, bool checked) {
  if (index < m_modules.size()) m_modules[index] = checked;
}

void Wizard::SetCurrentYear(int row) {
  if (row >= 0 && static_cast<std::size_t>(row) < m_mtYearName.Count()) {
    m_mtYearName.SetCurrent(static_cast<std::size_t>(row));
  }
}

void Wizard::SetCurrentArchive(int row) {
  if (row >= 0 && static_cast<std::size_t>(row) < m_mtInfoFiles.Count()) {
    m_mtInfoFiles.SetCurrent(static_cast<std::size_t>(row));
  }
}

std::string Wizard::IncompleteText() const {
  return m_recapComplete ? std::string() : std::string(kIncompleteRecapText);
}

bool Wizard::NextEnabled(WizardPage page) const {
  switch (page) {
    case WizardPage::ArchiveList:
      return ArchiveButtonsEnabled();
    case WizardPage::ArchiveName:
    case WizardPage::Recapitulation:
      return !m_busy;
    default:
      return true;
  }
}

bool Wizard::EnterPressed() {
  // It goes on only where going on starts nothing.
  if (m_busy) return false;
  switch (m_page) {
    case WizardPage::Start:
      btnNext1Click();
      return true;
    case WizardPage::SaveOptions:
      btnNext2Click();
      return true;
    case WizardPage::ArchiveList:
      if (!NextEnabled(m_page)) return false;
      btnNext4Click();
      return true;
    default:
      return false;
  }
}

void Wizard::EscapePressed() {
  if (m_busy) {
    btnPrerusitClick();
  } else {
    CloseAddOn();
  }
}

void Wizard::btnNext1Click() {
  Guarded([this] {
    m_view.StopForegroundTimer();
    const WaitCursor wait(m_view);
    if (!m_ctx.MoneyVersionText.empty() && !m_versionCheck(m_ctx, m_dialogs, m_shell)) {
      CloseAddOn();
      return;
    }
    if (m_saveChosen) {
      const bool filled = FillYearList(m_ctx.AgendaPath, m_dialogs, m_mtYearName);
      m_view.YearListChanged();
      if (filled) ShowPage(WizardPage::SaveOptions);
    } else {
      static_cast<void>(RunListRoad(m_ctx, m_dialogs, m_mtInfoFiles));
      m_view.ArchiveListChanged();
      ShowPage(WizardPage::ArchiveList);
    }
  });
}

void Wizard::btnNext2Click() {
  Guarded([this] {
    if (!AnyModuleChosen(m_modules)) {
      m_dialogs.Message(MsgKind::Information, kNoModuleText);
      return;
    }
    if (!m_mtYearName.AnyChecked()) {
      m_dialogs.Message(MsgKind::Information, kNoYearText);
      return;
    }
    m_archiveName.clear();
    m_view.ControlsChanged();
    ShowPage(WizardPage::ArchiveName);
  });
}

void Wizard::RunJob(const std::function<void()>& job) {
  // Pending messages are processed while a job runs: a second Start must not begin another.
  if (m_busy) return;
  m_busy = true;
  m_view.ArchiveListChanged();
  if (!Guarded(job)) ShowPage(WizardPage::Error);
  m_busy = false;
  m_view.ArchiveListChanged();
  if (m_closeRequested) m_view.Close();
}

void Wizard::btnNext3Click() {
  RunJob([this] { RunSave(); });
}

void Wizard::RunSave() {
  const SaveOutcome saved = RunSaveRoad(m_ctx, Ports(), RoadTables{m_BFMoneyFile, m_BFLockFile, m_mtFileList},
                                        m_mtYearName, SaveChoices{m_modules, m_action, m_archiveName});
  // The look before the save may have shown the progress page: the name page comes back.
  if (saved.status == SaveStatus::Declined || saved.status == SaveStatus::Refused) {
    ShowPage(WizardPage::ArchiveName);
    return;
  }
  // The save puts "[bez názvu]" into the box when it was left blank.
  m_archiveName = saved.archiveName;
  m_outcome = SaveOutcomeText(saved, m_action);
  m_view.ControlsChanged();
  ShowPage(saved.status == SaveStatus::Saved ? WizardPage::SaveDone : WizardPage::Error);
}

void Wizard::btnNext4Click() {
  Guarded([this] {
    if (m_mtInfoFiles.Empty()) return;
    const ArchiveRow& row = m_mtInfoFiles.Row(m_mtInfoFiles.Current());
    Recapitulation recap;
    if (!RunRecapitulationRoad(m_ctx, m_dialogs, row, recap)) {
      // What the message said has changed the list: show it as it is now.
      ReloadArchiveList();
      return;
    }
    m_recap = recap;
    m_recapComplete = recap.complete;
    ShowPage(WizardPage::Recapitulation);
  });
}

void Wizard::lblPorovnatClick() {
  Guarded([this] {
    if (m_busy || m_mtInfoFiles.Empty()) return;
    m_view.ShowComparison(m_mtInfoFiles.Row(m_mtInfoFiles.Current()));
  });
}

void Wizard::btnNext5Click() {
  RunJob([this] { RunRestore(); });
}

void Wizard::RunRestore() {
  if (m_mtInfoFiles.Empty()) return;
  // The archive is fixed before the restore starts: nothing may change the selection meanwhile.
  const ArchiveRow row = m_mtInfoFiles.Row(m_mtInfoFiles.Current());
  RoadPorts ports = Ports();
  // The done page shows before the question about deleting the archive.
  ports.succeeded = [this, &row](const OperationCounts& counts) {
    RestoreRoadOutcome done;
    done.status = RestoreStatus::Restored;
    done.counts = counts;
    m_outcome = RestoreOutcomeText(done, row);
    ShowPage(WizardPage::RestoreDone);
  };
  const RestoreRoadOutcome restored =
      RunRestoreRoad(m_ctx, ports, RoadTables{m_BFMoneyFile, m_BFLockFile, m_mtFileList}, row);
  // The user chose to restore the newer archive first: the recapitulation stays.
  if (restored.status == RestoreStatus::Declined) return;
  if (restored.status == RestoreStatus::Refused) {
    // Another user deleted or replaced it: the list is read again. One in use stays as it is.
    if (restored.access == ArchiveAccess::Gone) {
      ReloadArchiveList();
      ShowPage(WizardPage::ArchiveList);
    }
    return;
  }
  m_outcome = RestoreOutcomeText(restored, row);
  if (restored.status != RestoreStatus::Restored) {
    ShowPage(WizardPage::Error);
    return;
  }
  ShowPage(WizardPage::RestoreDone);
  ApplyDeletion(restored.deletion);
}

void Wizard::ApplyDeletion(DeletionStatus deletion) {
  switch (deletion) {
    case DeletionStatus::Deleted:
      m_mtInfoFiles.DeleteCurrent();
      m_view.ArchiveListChanged();
      break;
    // A deletion that could not finish put the archive back, possibly under another number.
    case DeletionStatus::Failed:
    case DeletionStatus::Gone:
      ReloadArchiveList();
      break;
    default:
      break;
  }
}

void Wizard::btnPrerusitClick() {
  m_progress.RequestAbort();
}

void Wizard::btnDeleteClick() {
  Guarded([this] {
    if (m_busy || m_mtInfoFiles.Empty()) return;
    ApplyDeletion(RunDeleteRoad(m_ctx, m_dialogs, m_mtInfoFiles.Row(m_mtInfoFiles.Current())));
    m_view.ArchiveListChanged();
  });
}

void Wizard::ReloadArchiveList() {
  static_cast<void>(RunListRoad(m_ctx, m_dialogs, m_mtInfoFiles));
  m_view.ArchiveListChanged();
}

void Wizard::OpenVendorPage() {
  // Whether the browser opened is not reported.
  Guarded([this] { m_shell.OpenUrl(VendorAddOnsPageUrl()); });
}

void Wizard::grYearNameCellClick(int row) {
  Guarded([&] {
    if (row < 0 || static_cast<std::size_t>(row) >= m_mtYearName.Count()) return;
    m_mtYearName.SetCurrent(static_cast<std::size_t>(row));
    m_mtYearName.Toggle(static_cast<std::size_t>(row));
    m_view.YearRowChanged(row);
  });
}

void Wizard::grYearNameSpace(bool autoRepeat) {
  if (!autoRepeat) grYearNameCellClick(static_cast<int>(m_mtYearName.Current()));
}

}  // namespace vorlend
