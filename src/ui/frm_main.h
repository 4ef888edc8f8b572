#pragma once
// TfrmMain: the add-on's only window on Linux, a wizard of nine pages. It presents the page model
// (app/wizard.h), which owns the host context, the lists the grids show and the two table proxies:
// the window draws the pages, hands the user's choices and presses to the model, and keeps what
// is the window's own: the focus, the click guard, the keys and the foreground timer.
#include <QWidget>
#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/wizard.h"
#include "archive/modules.h"
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

class TfrmMain : public QWidget, private WizardView {
  Q_OBJECT
public:
  using VersionCheck = Wizard::VersionCheck;

  // Without dialogs or shell the window uses message boxes and the desktop's browser; tests pass
  // scripted doubles. Both must outlive the window.
  explicit TfrmMain(Dialogs* dialogs = nullptr, Shell* shell = nullptr, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The start-up sequence; true when the program must end (the message has been shown).
  bool RunStartup(const std::vector<std::string>& args) { return m_wizard->RunStartup(args); }

  // The page model the window presents.
  Wizard& Model() { return *m_wizard; }
  void ShowPage(int index);
  int CurrentPage() const;
  // Saves the add-on settings and ends the program; while a save or restore runs, the end waits
  // for it to finish.
  void CloseAddOn() { m_wizard->CloseAddOn(); }
  bool CloseRequested() const { return m_wizard->CloseRequested(); }
  bool Busy() const { return m_wizard->Busy(); }

  // Replaces the vendor's version check (tests, the screenshot driver).
  void SetVersionCheck(VersionCheck check) { m_wizard->SetVersionCheck(std::move(check)); }

  HostContext& Context() { return m_wizard->Context(); }
  YearList& Years() { return m_wizard->Years(); }
  ArchiveList& Archives() { return m_wizard->Archives(); }
  // Reads the archive list from the disk again (after another user changed it).
  void ReloadArchiveList() { m_wizard->ReloadArchiveList(); }
  // Shows the archive list anew after it was changed from outside the handlers.
  void RefreshArchiveList();

  // The handlers the tests and the screenshot driver reach directly; the others are the model's.
  void btnNext1Click() { m_wizard->btnNext1Click(); }
  void btnPrerusitClick() { m_wizard->btnPrerusitClick(); }
  void grYearNameCellClick(int row, int /*column*/) { m_wizard->grYearNameCellClick(row); }
  // A key pressed in the years list; true when it was used. Space toggles the current row's mark
  // (once: a held key's repeated presses change nothing).
  bool grYearNameKeyPress(int key, bool autoRepeat = false);
  void tmSetFormInForegroundTimer();

protected:
  void closeEvent(QCloseEvent* event) override;  // FormClose
  void showEvent(QShowEvent* event) override;    // FormShow
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Enter that no control took goes on where going on starts nothing; Escape is "Konec", or
  // "Přerušit" while a job runs.
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
  // The grids show the model's lists, once the model exists.
  void AttachGrids();
  QPushButton* MakeButton(const char* name, const QString& text, void (Wizard::*handler)());
  LinkLabel* MakeLink(const char* name, const QString& text, void (Wizard::*handler)());
  // The focus order of a page: its own controls top to bottom, then "<< Zpět", "Další >>" or
  // "Start", then "Konec". The first one that can take the focus gets it when the page shows.
  void SetFocusChain(int page, std::initializer_list<QWidget*> chain);
  void FocusFirstControl(int page);

  // WizardView: what the model asks of the window.
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

  void ConnectChoices();
  void SelectCurrentArchive();

  // The ports.
  std::unique_ptr<Dialogs> m_ownDialogs;
  std::unique_ptr<Shell> m_ownShell;
  Dialogs* m_dialogs = nullptr;
  Shell* m_shell = nullptr;
  std::unique_ptr<QtProgress> m_progress;
  std::unique_ptr<QtObserver> m_observer;

  std::unique_ptr<Wizard> m_wizard;
  bool m_allowClose = false;
  bool m_inCloseEvent = false;
  bool m_placed = false;
  bool m_waitCursor = false;
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
  QLabel* imgCheck = nullptr;
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
  // The done and error pages' account of the job.
  QLabel* lblSouhrnUlozeni = nullptr;
  QLabel* lblSouhrnChyby = nullptr;
  QLabel* lblSouhrnObnoveni = nullptr;
  QTimer* tmSetFormInForeground = nullptr;
};

}  // namespace vorlend::ui
