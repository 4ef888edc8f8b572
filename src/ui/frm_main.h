#pragma once
// TfrmMain: the add-on's only window, a wizard of nine pages. It owns the host context, the lists
// the grids show, the two table proxies and the foreground timer, and its handlers drive the core.
#include <QWidget>
#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "archive/catalogue.h"
#include "archive/file_list.h"
#include "archive/modules.h"
#include "archive/roads.h"
#include "archive/year_list.h"
#include "host/bftable.h"
#include "host/host_context.h"
#include "platform/ports.h"
#include "ui/click_guard.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTableView;
class QTimer;

namespace vorlend::ui {

class ArchiveListModel;
class LinkLabel;
class QtProgress;
class QtObserver;
class YearListModel;

inline constexpr const char* kAppTitle = "Uložení / načtení zámků dokladů";

class TfrmMain : public QWidget {
  Q_OBJECT
public:
  // The version check of the first page: true lets the wizard go on, false ends the add-on.
  using VersionCheck = std::function<bool(const HostContext&, Dialogs&, Shell&)>;

  // Without dialogs or shell the window uses message boxes and the desktop's browser; tests pass
  // scripted doubles. Both must outlive the window.
  explicit TfrmMain(Dialogs* dialogs = nullptr, Shell* shell = nullptr, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The start-up sequence; true when the program must end (the message has been shown).
  bool RunStartup(const std::vector<std::string>& args);

  void ShowPage(int index);
  int CurrentPage() const;
  // Saves the add-on settings and ends the program; while a save or restore runs, the end waits
  // for it to finish.
  void CloseAddOn();
  bool CloseRequested() const { return m_closeRequested; }
  bool Busy() const { return m_busy; }

  // Replaces the vendor's version check (tests, the screenshot driver).
  void SetVersionCheck(VersionCheck check) { m_versionCheck = std::move(check); }

  HostContext& Context() { return m_ctx; }
  YearList& Years() { return m_mtYearName; }
  ArchiveList& Archives() { return m_mtInfoFiles; }
  FileList& Files() { return m_mtFileList; }
  // Reads the archive list from the disk again (after another user changed it).
  void ReloadArchiveList();
  // Shows the archive list anew after it was changed from outside the handlers.
  void RefreshArchiveList();

  // Handlers, named after their control and event.
  void FormShow();
  void btnNext1Click();
  void btnNext2Click();
  void btnNext3Click();
  void btnNext4Click();
  void btnNext5Click();
  void btnPrev2Click();
  void btnPrev3Click();
  void btnPrev4Click();
  void btnPrev5Click();
  void btnPrerusitClick();
  void btnDeleteClick();
  void Label10Click();
  void Label12Click();
  void Label22Click();
  void lblPorovnatClick();
  void lblTarvellWebPage1Click();
  void lblTarvellWebPage2Click();
  void btnKonec1Click();
  void btnKonec2Click();
  void btnKonec3Click();
  void btnKonec5Click();
  void btnKonec6Click();
  void btnkonec7Click();
  void btnkonec8Click();
  void btnKonec9Click();
  void grYearNameCellClick(int row, int column);
  // A key pressed in the years list; true when it was used. Space toggles the current row's mark
  // (once: a held key's repeated presses change nothing).
  bool grYearNameKeyPress(int key, bool autoRepeat = false);
  void tmSetFormInForegroundTimer();

protected:
  void closeEvent(QCloseEvent* event) override;  // FormClose
  void showEvent(QShowEvent* event) override;    // FormShow
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Enter that no control took: "Další >>" on the pages where going on starts nothing.
  void keyPressEvent(QKeyEvent* event) override;

private:
  static constexpr int kPageStart = 0;
  static constexpr int kPageSaveOptions = 1;
  static constexpr int kPageArchiveName = 2;
  static constexpr int kPageProgress = 3;
  static constexpr int kPageSaveDone = 4;
  static constexpr int kPageError = 5;
  static constexpr int kPageArchiveList = 6;
  static constexpr int kPageRecapitulation = 7;
  static constexpr int kPageRestoreDone = 8;
  static constexpr int kPageCount = 9;

  // Page building (frm_main_pages.cpp).
  void BuildWindow();
  QWidget* BuildHeader();
  QWidget* BuildStartPage();
  QWidget* BuildSaveOptionsPage();
  QWidget* BuildArchiveNamePage();
  QWidget* BuildProgressPage();
  QWidget* BuildSaveDonePage();
  QWidget* BuildErrorPage();
  QWidget* BuildArchiveListPage();
  QWidget* BuildRecapitulationPage();
  QWidget* BuildRestoreDonePage();
  QPushButton* MakeButton(const char* name, const QString& text, void (TfrmMain::*handler)());
  LinkLabel* MakeLink(const char* name, const QString& text, void (TfrmMain::*handler)());
  // The focus order of a page: its own controls top to bottom, then "<< Zpět", "Další >>" or
  // "Start", then "Konec". The first one that can take the focus gets it when the page shows.
  void SetFocusChain(int page, std::initializer_list<QWidget*> chain);
  void FocusFirstControl(int page);

  // Runs a handler's body; an exception is shown as an error box. False when one was caught.
  bool Guarded(const std::function<void()>& body);
  void RunSave();
  void RunRestore();
  // The archive list after a deletion road.
  void ApplyDeletion(DeletionStatus deletion);
  void FinishClose();
  void LoadSettingsIntoControls();
  void SaveSettingsFromControls();
  ModuleFilter FilterFromControls() const;
  LockAction ActionFromControls() const;
  void SelectCurrentArchive();
  void ToggleYear(int row);
  void UpdateArchiveButtons();
  void OpenVendorPage();
  Dialogs& DialogPort() { return *m_dialogs; }
  Shell& ShellPort() { return *m_shell; }

  // The ports.
  std::unique_ptr<Dialogs> m_ownDialogs;
  std::unique_ptr<Shell> m_ownShell;
  Dialogs* m_dialogs = nullptr;
  Shell* m_shell = nullptr;
  std::unique_ptr<QtProgress> m_progress;
  std::unique_ptr<QtObserver> m_observer;
  VersionCheck m_versionCheck;

  // State.
  HostContext m_ctx;
  YearList m_mtYearName;
  ArchiveList m_mtInfoFiles;
  FileList m_mtFileList;
  TBFTable m_BFMoneyFile;
  TBFTable m_BFLockFile;
  bool m_started = false;             // the start-up went through: only then are settings written
  bool m_settingsUnreadable = false;  // the settings file could not be read: it is never written
  bool m_busy = false;                // a save or restore is running
  bool m_closeRequested = false;
  bool m_allowClose = false;
  bool m_inCloseEvent = false;
  bool m_placed = false;
  ClickGuard m_clickGuard;
  std::array<std::vector<QWidget*>, kPageCount> m_focusChains;

  YearListModel* m_yearModel = nullptr;
  ArchiveListModel* m_archiveModel = nullptr;

  // Controls, under their names.
  QStackedWidget* PageControl1 = nullptr;
  QLabel* lblProgramVersion = nullptr;
  QLabel* lblAgendaName = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QTableView* grYearName = nullptr;
  std::array<QCheckBox*, kModuleCount> m_moduleBoxes{};  // chckPokladna .. chckSkDoklady
  QRadioButton* rbAllUnlock = nullptr;
  QRadioButton* rbAllLock = nullptr;
  QRadioButton* rbAllNoAction = nullptr;
  QLineEdit* edtNazevMapy = nullptr;
  QLabel* lblWorking = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QTableView* grInfoFiles = nullptr;
  QPushButton* btnNext4 = nullptr;
  QPushButton* btnDelete = nullptr;
  QLabel* lblNazevMapy = nullptr;
  QLabel* lblNazevArchAgendy = nullptr;
  QLabel* lblDatumUlozeni = nullptr;
  QLabel* lblCasUlozeni = nullptr;
  QLabel* lblFiltrRoku = nullptr;
  QLabel* lblFiltrDokladu = nullptr;
  QLabel* lblNedokonceny = nullptr;  // the line about an incomplete archive
  QLabel* lblZavreni = nullptr;      // the progress page's note that the add-on closes when the job ends
  QLabel* lblCelkem = nullptr;       // the progress page's line on the whole job
  QTimer* tmSetFormInForeground = nullptr;
};

}  // namespace vorlend::ui
