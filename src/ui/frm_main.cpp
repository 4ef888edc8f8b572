// TfrmMain's handlers: the page flow of the wizard, the start-up, the end, and the calls into the
// core for the years list, the save, the catalogue and the restore.
#include "ui/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTableView>
#include <QThread>
#include <QTimer>

#include "app/settings.h"
#include "app/startup.h"
#include "archive/roads.h"
#include "platform/environment.h"
#include "ui/comparison.h"
#include "ui/foreground.h"
#include "ui/grids.h"
#include "ui/qt_ports.h"
#include "ui/widgets.h"
#include "vercheck/kpx_ver_checker.h"

namespace vorlend::ui {

namespace {

const char* const kNoYearText =
    "Musíte označit alespoň jeden rok. Klepněte myší do seznamu \"Roky\" a označte požadované záznamy.";

// The hourglass for the whole application while the first page's Další works, on every way out.
class WaitCursor {
public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

bool RunVendorVersionCheck(const HostContext& ctx, Dialogs& dialogs, Shell& shell) {
  TKPXVerChecker checker("VORLEND", ProgramVersion, 0, ctx.VersionCheckFileName(), ctx.MoneyVersionText, true, dialogs,
                         shell);
  return checker.CheckVersion();
}

}  // namespace

TfrmMain::TfrmMain(Dialogs* dialogs, Shell* shell, QWidget* parent) : QWidget(parent) {
  if (dialogs) {
    m_dialogs = dialogs;
  } else {
    m_ownDialogs = std::make_unique<QtDialogs>(this);
    m_dialogs = m_ownDialogs.get();
  }
  if (shell) {
    m_shell = shell;
  } else {
    m_ownShell = std::make_unique<QtShell>();
    m_shell = m_ownShell.get();
  }
  m_versionCheck = RunVendorVersionCheck;
  BuildWindow();
  m_progress = std::make_unique<QtProgress>(lblWorking, ProgressBar1, [this] { ShowPage(kPageProgress); });
  m_progress->SetOverallLabel(lblCelkem);
  m_observer = std::make_unique<QtObserver>(*m_progress);
  UpdateArchiveButtons();
}

TfrmMain::~TfrmMain() = default;

bool TfrmMain::Guarded(const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    try {
      DialogPort().Message(MsgKind::Error, e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      DialogPort().Message(MsgKind::Error, "Nastala neočekávaná chyba.");
    } catch (...) {
    }
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Start-up and end

bool TfrmMain::RunStartup(const std::vector<std::string>& args) {
  bool end = true;
  Guarded([&] {
    if (!PrepareHostContext(args, DialogPort(), m_ctx)) return;
    lblProgramVersion->setText(QStringLiteral("Verze %1").arg(QLatin1String(ProgramVersion)));
    lblAgendaName->setText(Q(m_ctx.AgendaName));
    LoadSettingsIntoControls();
    ShowPage(kPageStart);
    if (!CheckAccessRights(m_ctx, DialogPort())) return;
    m_started = true;
    end = false;
  });
  return end;
}

void TfrmMain::LoadSettingsIntoControls() {
  const AddonSettings settings = LoadSettings(m_ctx.SettingsFileName());
  // The file is left as it is: the defaults below are not what the user remembered.
  m_settingsUnreadable = settings.unreadable;
  if (settings.unreadable) {
    DialogPort().Message(MsgKind::Warning, UnreadableSettingsText(m_ctx.SettingsFileName()));
  }
  for (std::size_t i = 0; i < kModuleCount; ++i) m_moduleBoxes[i]->setChecked(settings.modules[i]);
  switch (settings.action) {
    case LockAction::Unlock:
      rbAllUnlock->setChecked(true);
      break;
    case LockAction::Lock:
      rbAllLock->setChecked(true);
      break;
    case LockAction::NoAction:
      rbAllNoAction->setChecked(true);
      break;
  }
}

ModuleFilter TfrmMain::FilterFromControls() const {
  ModuleFilter filter{};
  for (std::size_t i = 0; i < kModuleCount; ++i) filter[i] = m_moduleBoxes[i]->isChecked();
  return filter;
}

LockAction TfrmMain::ActionFromControls() const {
  if (rbAllUnlock->isChecked()) return LockAction::Unlock;
  if (rbAllLock->isChecked()) return LockAction::Lock;
  return LockAction::NoAction;
}

void TfrmMain::SaveSettingsFromControls() {
  // A run that ended during the start-up writes nothing; before it the controls held defaults.
  if (!m_started || m_settingsUnreadable) return;
  SaveSettings(m_ctx.SettingsFileName(), AddonSettings{FilterFromControls(), ActionFromControls()});
}

void TfrmMain::CloseAddOn() {
  if (!m_closeRequested) {
    m_closeRequested = true;
    // A settings file that cannot be written is reported, but never keeps the user in the add-on.
    Guarded([this] { SaveSettingsFromControls(); });
  }
  // A running save or restore goes on to its end; its handler finishes the close. The user sees
  // at once that the request was taken.
  if (m_busy) {
    lblZavreni->show();
    return;
  }
  FinishClose();
}

void TfrmMain::FinishClose() {
  m_allowClose = true;
  tmSetFormInForeground->stop();
  if (!m_inCloseEvent) close();
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (m_allowClose) {
    event->accept();
    return;
  }
  m_inCloseEvent = true;
  CloseAddOn();
  m_inCloseEvent = false;
  if (m_allowClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (!m_placed && isWindow()) {
    // Centred on the screen the first time it shows.
    m_placed = true;
    if (const QScreen* where = screen()) move(where->availableGeometry().center() - rect().center());
  }
  FormShow();
}

void TfrmMain::FormShow() {
  tmSetFormInForeground->start();
}

void TfrmMain::tmSetFormInForegroundTimer() {
  tmSetFormInForeground->stop();
  // Brings the window to the top of the window order once, without taking the focus; nothing
  // here may disturb the user, so failures are ignored.
  try {
    QCoreApplication::processEvents();
    if (!isVisible()) {
      setAttribute(Qt::WA_ShowWithoutActivating, true);
      show();
      setAttribute(Qt::WA_ShowWithoutActivating, false);
      tmSetFormInForeground->stop();  // showing starts the timer again; it ticks only once
    }
    QCoreApplication::processEvents();
    BringToTopWithoutFocus(this);
    QCoreApplication::processEvents();
  } catch (...) {
  }
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Paint && watched == PageControl1->currentWidget()) m_clickGuard.PagePainted();
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
  // A focused button or link takes Enter itself; what reaches the window comes from a choice, a
  // grid or a box. It goes on only where going on starts nothing: never "Start", "Smazat",
  // "Přerušit" or "Konec" by a stray Enter.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const int page = CurrentPage();
  if (enter && !event->isAutoRepeat() && (page == kPageStart || page == kPageSaveOptions || page == kPageArchiveList)) {
    const char* name = page == kPageStart ? "btnNext1" : page == kPageSaveOptions ? "btnNext2" : "btnNext4";
    auto* next = PageControl1->currentWidget()->findChild<QPushButton*>(QString::fromLatin1(name));
    if (next && next->isEnabled() && !(event->modifiers() & ~Qt::KeypadModifier)) {
      event->accept();
      next->click();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Pages

void TfrmMain::ShowPage(int index) {
  if (index < 0 || index >= kPageCount) return;
  if (index != PageControl1->currentIndex()) {
    PageControl1->setCurrentIndex(index);
    m_clickGuard.PageChanged();
  }
  FocusFirstControl(index);
}

void TfrmMain::FocusFirstControl(int page) {
  // Never left to Qt: hiding the page that held the focus would pass it on to whatever follows
  // in the focus chain, the next page's "Konec" among others.
  if (page == kPageStart) {
    // The first page's first choice is the chosen action.
    (RadioButton2->isChecked() ? RadioButton2 : RadioButton1)->setFocus(Qt::OtherFocusReason);
    return;
  }
  // A page begins at its first control that is no link: Space on the advertising link would open
  // a web page instead of going on. The links are reached with Tab.
  QWidget* first = nullptr;
  for (QWidget* control : m_focusChains[static_cast<std::size_t>(page)]) {
    if (!control->isEnabled() || !(control->focusPolicy() & Qt::TabFocus)) continue;
    if (!first) first = control;
    if (!qobject_cast<LinkLabel*>(control)) {
      first = control;
      break;
    }
  }
  if (first) first->setFocus(Qt::OtherFocusReason);
}

int TfrmMain::CurrentPage() const {
  return PageControl1->currentIndex();
}

void TfrmMain::btnNext1Click() {
  Guarded([this] {
    tmSetFormInForeground->stop();
    WaitCursor wait;
    if (!m_ctx.MoneyVersionText.empty() && !m_versionCheck(m_ctx, DialogPort(), ShellPort())) {
      CloseAddOn();
      return;
    }
    if (RadioButton1->isChecked()) {
      const bool filled = FillYearList(m_ctx.AgendaPath, DialogPort(), m_mtYearName);
      m_yearModel->Reset();
      if (filled) {
        grYearName->selectRow(static_cast<int>(m_mtYearName.Current()));
        ShowPage(kPageSaveOptions);
      }
    } else if (RadioButton2->isChecked()) {
      static_cast<void>(RunListRoad(m_ctx, DialogPort(), m_mtInfoFiles));
      RefreshArchiveList();
      ShowPage(kPageArchiveList);
    }
  });
}

void TfrmMain::btnNext2Click() {
  Guarded([this] {
    const ModuleFilter filter = FilterFromControls();
    if (!AnyModuleChosen(filter)) {
      DialogPort().Message(MsgKind::Information, kNoModuleText);
      return;
    }
    if (!m_mtYearName.AnyChecked()) {
      DialogPort().Message(MsgKind::Information, kNoYearText);
      return;
    }
    edtNazevMapy->clear();
    ShowPage(kPageArchiveName);
  });
}

void TfrmMain::btnNext3Click() {
  // Pending messages are processed while the save runs: a second Start must not begin another.
  if (m_busy) return;
  m_busy = true;
  if (!Guarded([this] { RunSave(); })) ShowPage(kPageError);
  m_busy = false;
  if (m_closeRequested) FinishClose();
}

void TfrmMain::RunSave() {
  const SaveOutcome saved =
      RunSaveRoad(m_ctx, RoadPorts{DialogPort(), *m_progress, m_observer.get()},
                  RoadTables{m_BFMoneyFile, m_BFLockFile, m_mtFileList}, m_mtYearName,
                  SaveChoices{FilterFromControls(), ActionFromControls(), S(edtNazevMapy->text())});
  if (saved.status == SaveStatus::Declined || saved.status == SaveStatus::Refused) return ShowPage(kPageArchiveName);
  // The save puts "[bez názvu]" into the box when it was left blank.
  edtNazevMapy->setText(Q(saved.archiveName));
  ShowPage(saved.status == SaveStatus::Saved ? kPageSaveDone : kPageError);
}

void TfrmMain::btnNext4Click() {
  Guarded([this] {
    if (m_mtInfoFiles.Empty()) return;
    const ArchiveRow& row = m_mtInfoFiles.Row(m_mtInfoFiles.Current());
    Recapitulation recap;
    if (!RunRecapitulationRoad(m_ctx, DialogPort(), row, recap)) {
      // What the message said has changed the list: show it as it is now.
      ReloadArchiveList();
      return;
    }
    lblNedokonceny->setText(recap.complete ? QString() : Q(kIncompleteRecapText));
    lblNedokonceny->setVisible(!recap.complete);
    lblNazevMapy->setText(Q(recap.Name));
    lblNazevArchAgendy->setText(Q(recap.AgendaName));
    lblDatumUlozeni->setText(Q(recap.Date));
    lblCasUlozeni->setText(Q(recap.Time));
    lblFiltrRoku->setText(Q(recap.yearFilter));
    lblFiltrDokladu->setText(Q(recap.documentFilter));
    ShowPage(kPageRecapitulation);
  });
}

void TfrmMain::lblPorovnatClick() {
  Guarded([this] {
    if (m_busy || m_mtInfoFiles.Empty()) return;
    const ArchiveRow row = m_mtInfoFiles.Row(m_mtInfoFiles.Current());
    auto* dialog = new ComparisonDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    const QPointer<ComparisonDialog> alive(dialog);
    const bool counted = dialog->Compare(m_ctx, row, DialogPort());
    // Stopped, or a message said why there is nothing to show: the dialog goes.
    if (!counted && alive) dialog->close();
  });
}

void TfrmMain::btnNext5Click() {
  if (m_busy) return;
  m_busy = true;
  if (!Guarded([this] { RunRestore(); })) ShowPage(kPageError);
  m_busy = false;
  if (m_closeRequested) FinishClose();
}

void TfrmMain::RunRestore() {
  if (m_mtInfoFiles.Empty()) return;
  // The archive is fixed before the restore starts: nothing may change the selection meanwhile.
  const ArchiveRow row = m_mtInfoFiles.Row(m_mtInfoFiles.Current());
  RoadPorts ports{DialogPort(), *m_progress, m_observer.get()};
  ports.succeeded = [this] { ShowPage(kPageRestoreDone); };
  const RestoreRoadOutcome restored =
      RunRestoreRoad(m_ctx, ports, RoadTables{m_BFMoneyFile, m_BFLockFile, m_mtFileList}, row);
  // The user chose to restore the newer archive first: the recapitulation stays.
  if (restored.status == RestoreStatus::Declined) return;
  if (restored.status == RestoreStatus::Refused) {
    // Another user deleted or replaced it: the list is read again. One in use stays as it is.
    if (restored.access == ArchiveAccess::Gone) {
      ReloadArchiveList();
      ShowPage(kPageArchiveList);
    }
    return;
  }
  if (restored.status != RestoreStatus::Restored) {
    ShowPage(kPageError);
    return;
  }
  ApplyDeletion(restored.deletion);
}

void TfrmMain::ApplyDeletion(DeletionStatus deletion) {
  switch (deletion) {
    case DeletionStatus::Deleted:
      m_mtInfoFiles.DeleteCurrent();
      RefreshArchiveList();
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

void TfrmMain::btnPrev2Click() {
  ShowPage(kPageStart);
}
void TfrmMain::btnPrev3Click() {
  ShowPage(kPageSaveOptions);
}
void TfrmMain::btnPrev4Click() {
  ShowPage(kPageStart);
}
void TfrmMain::btnPrev5Click() {
  ShowPage(kPageArchiveList);
}

void TfrmMain::btnPrerusitClick() {
  m_progress->RequestAbort();
}

void TfrmMain::btnDeleteClick() {
  Guarded([this] {
    if (!m_mtInfoFiles.Empty())
      ApplyDeletion(RunDeleteRoad(m_ctx, DialogPort(), m_mtInfoFiles.Row(m_mtInfoFiles.Current())));
    UpdateArchiveButtons();
  });
}

void TfrmMain::ReloadArchiveList() {
  static_cast<void>(RunListRoad(m_ctx, DialogPort(), m_mtInfoFiles));
  RefreshArchiveList();
}

void TfrmMain::RefreshArchiveList() {
  m_archiveModel->Reset();
  SelectCurrentArchive();
  UpdateArchiveButtons();
}

void TfrmMain::SelectCurrentArchive() {
  if (m_mtInfoFiles.Empty()) return;
  const int row = static_cast<int>(m_mtInfoFiles.Current());
  grInfoFiles->selectionModel()->setCurrentIndex(m_archiveModel->index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TfrmMain::UpdateArchiveButtons() {
  const bool any = !m_mtInfoFiles.Empty();
  btnNext4->setEnabled(any);
  btnDelete->setEnabled(any);
}

void TfrmMain::Label10Click() {
  ShowPage(kPageStart);
}
void TfrmMain::Label12Click() {
  ShowPage(kPageStart);
}
void TfrmMain::Label22Click() {
  ShowPage(kPageStart);
}

void TfrmMain::OpenVendorPage() {
  // Whether the browser opened is not reported.
  Guarded([this] { ShellPort().OpenUrl(VendorAddOnsPageUrl()); });
}

void TfrmMain::lblTarvellWebPage1Click() {
  OpenVendorPage();
}
void TfrmMain::lblTarvellWebPage2Click() {
  OpenVendorPage();
}

void TfrmMain::btnKonec1Click() {
  CloseAddOn();
}
void TfrmMain::btnKonec2Click() {
  CloseAddOn();
}
void TfrmMain::btnKonec3Click() {
  CloseAddOn();
}
void TfrmMain::btnKonec5Click() {
  CloseAddOn();
}
void TfrmMain::btnKonec6Click() {
  CloseAddOn();
}
void TfrmMain::btnkonec7Click() {
  CloseAddOn();
}
void TfrmMain::btnkonec8Click() {
  CloseAddOn();
}
void TfrmMain::btnKonec9Click() {
  CloseAddOn();
}

void TfrmMain::grYearNameCellClick(int row, int) {
  // Every click counts: a double click toggles twice.
  ToggleYear(row);
}

bool TfrmMain::grYearNameKeyPress(int key, bool autoRepeat) {
  if (key != Qt::Key_Space) return false;
  if (!autoRepeat) ToggleYear(static_cast<int>(m_mtYearName.Current()));
  return true;
}

void TfrmMain::ToggleYear(int row) {
  Guarded([&] {
    if (row < 0 || static_cast<std::size_t>(row) >= m_mtYearName.Count()) return;
    m_mtYearName.SetCurrent(static_cast<std::size_t>(row));
    m_mtYearName.Toggle(static_cast<std::size_t>(row));
    m_yearModel->RowChanged(row);
  });
}

}  // namespace vorlend::ui
