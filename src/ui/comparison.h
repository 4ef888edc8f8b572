#pragma once
// "Porovnat s Money": what a restore of the archive would change, per module and year, before the
// user presses "Start". Read only: nothing is locked or written, in the archive or in Money.
#include <QDialog>
#include <memory>

#include "archive/catalogue.h"
#include "archive/inspect.h"
#include "host/host_context.h"
#include "platform/ports.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vorlend::ui {

class QtObserver;
class QtProgress;

class ComparisonDialog : public QDialog {
  Q_OBJECT
public:
  explicit ComparisonDialog(QWidget* parent);
  ~ComparisonDialog() override;

  // Compares the archive of `row` with Money, showing how far it is, and then the counts. False
  // when it ended without counts: stopped by closing the dialog, or after a message.
  bool Compare(const HostContext& ctx, const ArchiveRow& row, Dialogs& dialogs);

  // The counts of a comparison, in place of its progress.
  void ShowCounts(const ArchiveInspection& inspection);

  QTableWidget* Counts() const { return m_counts; }
  QLabel* Summary() const { return m_summary; }

protected:
  void reject() override;

private:
  QLabel* m_text = nullptr;
  QProgressBar* m_bar = nullptr;
  QLabel* m_overall = nullptr;
  QLabel* m_summary = nullptr;
  QTableWidget* m_counts = nullptr;
  QPushButton* m_close = nullptr;
  std::unique_ptr<QtProgress> m_progress;
  std::unique_ptr<QtObserver> m_observer;
  bool m_running = false;
};

}  // namespace vorlend::ui
