#pragma once
// The wizard without a window: its nine pages, the way from page to page, what each handler checks
// and which road it starts, which buttons may be pressed, and the texts a page shows beyond its
// fixed ones. The Qt window on Linux and the Win32 window on Windows both present this one model:
// they draw the pages, hand the user's choices and presses to it, and do what it asks through
// WizardView.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/catalogue.h"
#include "archive/file_list.h"
#include "archive/modules.h"
#include "archive/report.h"
#include "archive/roads.h"
#include "archive/year_list.h"
#include "host/bftable.h"
#include "host/host_context.h"
#include "platform/ports.h"

namespace vorlend {

inline constexpr const char* kAppTitle = "Uložení / načtení zámků dokladů";

// The pages in the order of the page control; the window's tab sheets are TabSheet1 .. TabSheet9.
enum class WizardPage {
  Start,           // the agenda and the choice of action
  SaveOptions,     // years, the document filter, the lock action
  ArchiveName,     // the archive's name and "Start"
  Progress,        // a save or a restore runs
  SaveDone,        // the save finished
  Error,           // a save or a restore failed or was stopped
  ArchiveList,     // the agenda's archives
  Recapitulation,  // what the chosen archive holds, and "Start"
  RestoreDone,     // the restore finished
};
inline constexpr int kWizardPageCount = 9;

inline constexpr const char* kNoYearText =
    "Musíte označit alespoň jeden rok. Klepněte myší do seznamu \"Roky\" a označte požadované záznamy.";

// What the model asks of the window it is shown in.
class WizardView {
public:
  virtual ~WizardView() = default;
  // Shows the page (its texts read from the model) with the focus on its first control.
  virtual void ShowPage(WizardPage page) = 0;
  // The choices and texts the model set itself (the remembered settings, the header, the name the
  // save stored): the window shows them anew.
  virtual void ControlsChanged() = 0;
  // The years list was filled anew; or one row's mark changed.
  virtual void YearListChanged() = 0;
  virtual void YearRowChanged(int row) = 0;
  // The archive list changed: the grid shows it anew with the current row selected, and the
  // buttons that act on a row follow ArchiveButtonsEnabled().
  virtual void ArchiveListChanged() = 0;
  // The close was asked for while a job runs: the progress page says that the add-on closes when
  // the job ends.
  virtual void ShowClosingNote() = 0;
  // The add-on ends: the window closes and the program's message loop returns.
  virtual void Close() = 0;
  // The first page's "Další >>" works (the version check may take a while): the hourglass.
  virtual void SetWaitCursor(bool wait) = 0;
  // The bring-to-front timer is no longer wanted (the user has begun to work).
  virtual void StopForegroundTimer() = 0;
  // "Porovnat s Money" for this archive: the window opens its comparison dialog.
  virtual void ShowComparison(const ArchiveRow& row) = 0;
};

class Wizard {
public:
  // The version check of the first page: true lets the wizard go on, false ends the add-on.
  using VersionCheck = std::function<bool(const HostContext&, Dialogs&, Shell&)>;

  // The ports outlive the model. `observer` may be null. The progress page is shown by the model
  // when a job's long work begins; `progress` only draws it.
  Wizard(WizardView& view, Dialogs& dialogs, Shell& shell, Progress& progress, OperationObserver* observer);

  // The start-up sequence; true when the program must end (the message has been shown).
  bool RunStartup(const std::vector<std::string>& args);
  // Replaces the vendor's version check (tests, the screenshot drivers).
  void SetVersionCheck(VersionCheck check) { m_versionCheck = std::move(check); }

  WizardPage Page() const { return m_page; }
  // Shows the page without a handler (the screenshot drivers, tests).
  void GoTo(WizardPage page);

  // The user's choices, set by the window as the controls change.
  bool SaveChosen() const { return m_saveChosen; }  // RadioButton1; else RadioButton2
  void SetSaveChosen(bool save) { m_saveChosen = save; }
  const ModuleFilter& Modules() const { return m_modules; }  // chckPokladna .. chckSkDoklady
  void SetModule(std::size_t index, bool checked);
  LockAction Action() const { return m_action; }  // rbAllUnlock, rbAllLock, rbAllNoAction
  void SetAction(LockAction action) { m_action = action; }
  const std::string& ArchiveName() const { return m_archiveName; }  // edtNazevMapy
  void SetArchiveName(std::string name) { m_archiveName = std::move(name); }

  // Texts of the header and the pages beyond their fixed ones.
  std::string ProgramVersionText() const;  // lblProgramVersion
  const std::string& AgendaName() const { return m_ctx.AgendaName; }
  const Recapitulation& Recap() const { return m_recap; }
  bool RecapComplete() const { return m_recapComplete; }
  // The recapitulation's line about an archive whose save did not finish ("" for a complete one).
  std::string IncompleteText() const;
  // What the last save or restore did, for the done and error pages ("" before any job).
  const std::string& OutcomeText() const { return m_outcome; }

  bool ArchiveButtonsEnabled() const { return !m_mtInfoFiles.Empty() && !m_busy; }
  bool Busy() const { return m_busy; }
  bool CloseRequested() const { return m_closeRequested; }

  HostContext& Context() { return m_ctx; }
  YearList& Years() { return m_mtYearName; }
  ArchiveList& Archives() { return m_mtInfoFiles; }
  const YearList& Years() const { return m_mtYearName; }
  const ArchiveList& Archives() const { return m_mtInfoFiles; }
  // The grids' current rows, as the user moves them.
  void SetCurrentYear(int row);
  void SetCurrentArchive(int row);
  // Reads the archive list from the disk again (after another user changed it).
  void ReloadArchiveList();

  // Handlers, named after their control and event.
  void btnNext1Click();
  void btnNext2Click();
  void btnNext3Click();
  void btnNext4Click();
  void btnNext5Click();
  void btnPrev2Click() { ShowPage(WizardPage::Start); }
  void btnPrev3Click() { ShowPage(WizardPage::SaveOptions); }
  void btnPrev4Click() { ShowPage(WizardPage::Start); }
  void btnPrev5Click() { ShowPage(WizardPage::ArchiveList); }
  void btnPrerusitClick();
  void btnDeleteClick();
  void Label10Click() { ShowPage(WizardPage::Start); }
  void Label12Click() { ShowPage(WizardPage::Start); }
  void Label22Click() { ShowPage(WizardPage::Start); }
  void lblPorovnatClick();
  void lblTarvellWebPage1Click() { OpenVendorPage(); }
  void lblTarvellWebPage2Click() { OpenVendorPage(); }
  // Every "Konec" (btnKonec1 .. btnKonec9), the window's close box and Escape outside a job:
  // saves the add-on settings and ends; while a save or restore runs, the end waits for it.
  void CloseAddOn();
  // Toggles the row's mark: every click counts, a double click toggles twice.
  void grYearNameCellClick(int row);
  // Space in the years list toggles the current row's mark once (a held key's repeats change nothing).
  void grYearNameSpace(bool autoRepeat);

  // Enter that no control took (a choice, a grid, a box has the focus): "Další >>" on the pages
  // where going on starts nothing; never "Start", "Smazat", "Přerušit" or "Konec". True when used.
  bool EnterPressed();
  // Escape: "Přerušit" while a job runs (its question follows), else "Konec".
  void EscapePressed();

  // The page's "Další >>" or "Start" may be pressed.
  bool NextEnabled(WizardPage page) const;

private:
  // The window's progress port as the roads see it: the model shows the progress page when the
  // long work begins, and holds the user's stop request.
  class JobProgress : public Progress {
  public:
    JobProgress(Wizard& wizard, Progress& shown) : m_wizard(wizard), m_shown(shown) {}
    void SetText(const std::string& text) override { m_shown.SetText(text); }
    void SetMaximum(int maximum) override { m_shown.SetMaximum(maximum); }
    void SetPosition(int position) override { m_shown.SetPosition(position); }
    void ProcessMessages() override { m_shown.ProcessMessages(); }
    void Begin() override;

  private:
    Wizard& m_wizard;
    Progress& m_shown;
  };

  bool Guarded(const std::function<void()>& body);
  void ShowPage(WizardPage page);
  void RunJob(const std::function<void()>& job);
  void RunSave();
  void RunRestore();
  void ApplyDeletion(DeletionStatus deletion);
  void LoadSettings();
  void SaveSettings();
  void OpenVendorPage();
  RoadPorts Ports();

  WizardView& m_view;
  Dialogs& m_dialogs;
  Shell& m_shell;
  JobProgress m_progress;
  OperationObserver* m_observer;
  VersionCheck m_versionCheck;

  HostContext m_ctx;
  YearList m_mtYearName;
  ArchiveList m_mtInfoFiles;
  FileList m_mtFileList;
  TBFTable m_BFMoneyFile;
  TBFTable m_BFLockFile;

  WizardPage m_page = WizardPage::Start;
  bool m_saveChosen = true;
  ModuleFilter m_modules{};
  LockAction m_action = LockAction::Unlock;
  std::string m_archiveName;
  Recapitulation m_recap;
  bool m_recapComplete = true;
  std::string m_outcome;

  bool m_started = false;             // the start-up went through: only then are settings written
  bool m_settingsUnreadable = false;  // the settings file could not be read: it is never written
  bool m_busy = false;                // a save or restore is running
  bool m_closeRequested = false;
};

// The done and error pages' account of a job: what changed, in which archive, and what keeps the
// states of what changed.
std::string SaveOutcomeText(const SaveOutcome& saved, LockAction action);
std::string RestoreOutcomeText(const RestoreRoadOutcome& restored, const ArchiveRow& row);

}  // namespace vorlend
