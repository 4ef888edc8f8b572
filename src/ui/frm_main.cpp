// TfrmMain's side of the page flow: the start, the end, the pages as the model asks for them,
// and the user's choices handed to the model.
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

#include <utility>

#include "ui/comparison.h"
#include "ui/foreground.h"
#include "ui/grids.h"
#include "ui/qt_ports.h"
#include "ui/widgets.h"

namespace vorlend::ui {

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
  BuildWindow();
  m_progress = std::make_unique<QtProgress>(lblWorking, ProgressBar1);
  m_progress->SetOverallLabel(lblCelkem);
  m_observer = std::make_unique<QtObserver>(*m_progress);
  m_wizard =
      std::make_unique<Wizard>(static_cast<WizardView&>(*this), *m_dialogs, *m_shell, *m_progress, m_observer.get());
  AttachGrids();
  ConnectChoices();
  ArchiveListChanged();
}

TfrmMain::~TfrmMain() {
  // The grids show the model's lists: the pages go before the model does, so that nothing drawn
  // while the window closes reads a list that is gone.
  delete std::exchange(PageControl1, nullptr);
}

// ---------------------------------------------------------------------------------------------
// The choices, handed to the model as they change

void TfrmMain::ConnectChoices() {
  connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) { m_wizard->SetSaveChosen(on); });
  for (std::size_t i = 0; i < kModuleCount; ++i) {
    connect(m_moduleBoxes[i], &QCheckBox::toggled, this, [this, i](bool on) { m_wizard->SetModule(i, on); });
  }
  const std::pair<QRadioButton*, LockAction> actions[] = {
      {rbAllUnlock, LockAction::Unlock}, {rbAllLock, LockAction::Lock}, {rbAllNoAction, LockAction::NoAction}};
  for (const auto& [button, action] : actions) {
    connect(button, &QRadioButton::toggled, this, [this, action = action](bool on) {
      if (on) m_wizard->SetAction(action);
    });
  }
  connect(edtNazevMapy, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_wizard->SetArchiveName(S(text)); });
}

void TfrmMain::ControlsChanged() {
  const Wizard& w = *m_wizard;
  lblProgramVersion->setText(Q(w.ProgramVersionText()));
  lblAgendaName->setText(Q(w.AgendaName()));
  (w.SaveChosen() ? RadioButton1 : RadioButton2)->setChecked(true);
  for (std::size_t i = 0; i < kModuleCount; ++i) m_moduleBoxes[i]->setChecked(w.Modules()[i]);
  switch (w.Action()) {
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
  if (S(edtNazevMapy->text()) != w.ArchiveName()) edtNazevMapy->setText(Q(w.ArchiveName()));
}

// ---------------------------------------------------------------------------------------------
// The end

void TfrmMain::ShowClosingNote() {
  lblZavreni->show();
}

void TfrmMain::Close() {
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
  m_wizard->CloseAddOn();
  m_inCloseEvent = false;
  if (m_allowClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TfrmMain::SetWaitCursor(bool wait) {
  // The hourglass for the whole application while the first page's Další works.
  if (wait == m_waitCursor) return;
  m_waitCursor = wait;
  if (wait) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

void TfrmMain::StopForegroundTimer() {
  tmSetFormInForeground->stop();
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (!m_placed && isWindow()) {
    // Centred on the screen the first time it shows.
    m_placed = true;
    if (const QScreen* where = screen()) move(where->availableGeometry().center() - rect().center());
  }
  tmSetFormInForeground->start();  // FormShow
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
  if (event->type() == QEvent::Paint && PageControl1 && watched == PageControl1->currentWidget()) {
    m_clickGuard.PagePainted();
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
  // A focused button or link takes Enter itself; what reaches the window comes from a choice, a
  // grid or a box.
  const bool plain = !(event->modifiers() & ~Qt::KeypadModifier);
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && plain && !event->isAutoRepeat() && m_wizard->EnterPressed()) {
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Escape && plain && !event->isAutoRepeat()) {
    event->accept();
    m_wizard->EscapePressed();
    return;
  }
  QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Pages

void TfrmMain::ShowPage(int index) {
  if (index >= 0 && index < kPageCount) m_wizard->GoTo(static_cast<WizardPage>(index));
}

void TfrmMain::ShowPage(WizardPage page) {
  const int index = static_cast<int>(page);
  const Wizard& w = *m_wizard;
  switch (page) {
    case WizardPage::Recapitulation: {
      const Recapitulation& recap = w.Recap();
      lblNedokonceny->setText(Q(w.IncompleteText()));
      lblNedokonceny->setVisible(!w.RecapComplete());
      lblNazevMapy->setText(Q(recap.Name));
      lblNazevArchAgendy->setText(Q(recap.AgendaName));
      lblDatumUlozeni->setText(Q(recap.Date));
      lblCasUlozeni->setText(Q(recap.Time));
      lblFiltrRoku->setText(Q(recap.yearFilter));
      lblFiltrDokladu->setText(Q(recap.documentFilter));
      break;
    }
    case WizardPage::SaveDone:
      lblSouhrnUlozeni->setText(Q(w.OutcomeText()));
      break;
    case WizardPage::Error:
      lblSouhrnChyby->setText(Q(w.OutcomeText()));
      break;
    case WizardPage::RestoreDone:
      lblSouhrnObnoveni->setText(Q(w.OutcomeText()));
      break;
    default:
      break;
  }
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

void TfrmMain::YearListChanged() {
  m_yearModel->Reset();
  if (Years().Count() > 0) grYearName->selectRow(static_cast<int>(Years().Current()));
}

void TfrmMain::YearRowChanged(int row) {
  m_yearModel->RowChanged(row);
}

bool TfrmMain::grYearNameKeyPress(int key, bool autoRepeat) {
  if (key != Qt::Key_Space) return false;
  m_wizard->grYearNameSpace(autoRepeat);
  return true;
}

void TfrmMain::ArchiveListChanged() {
  m_archiveModel->Reset();
  SelectCurrentArchive();
  const bool enabled = m_wizard && m_wizard->ArchiveButtonsEnabled();
  btnNext4->setEnabled(enabled);
  btnDelete->setEnabled(enabled);
}

void TfrmMain::RefreshArchiveList() {
  ArchiveListChanged();
}

void TfrmMain::SelectCurrentArchive() {
  const ArchiveList& list = Archives();
  if (list.Empty()) return;
  const int row = static_cast<int>(list.Current());
  grInfoFiles->selectionModel()->setCurrentIndex(m_archiveModel->index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TfrmMain::ShowComparison(const ArchiveRow& row) {
  auto* dialog = new ComparisonDialog(this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(Qt::WindowModal);
  dialog->show();
  const QPointer<ComparisonDialog> alive(dialog);
  const bool counted = dialog->Compare(Context(), row, *m_dialogs);
  // Stopped, or a message said why there is nothing to show: the dialog goes.
  if (!counted && alive) dialog->close();
}

}  // namespace vorlend::ui
