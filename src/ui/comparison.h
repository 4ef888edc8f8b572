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
  // Over `parent`, with its font, and never larger than it: the tables scroll, their total stays in
  // sight below them.
  explicit ComparisonDialog(QWidget* parent);
  ~ComparisonDialog() override;

  // Compares the archive of `row` with Money, showing how far it is, and then the counts. False
  // when it ended without counts: stopped by closing the dialog, or after a message.
  bool Compare(const HostContext& ctx, const ArchiveRow& row, Dialogs& dialogs);

  // The counts of a comparison, in place of its progress.
  void ShowCounts(const ArchiveInspection& inspection);

  // The row of each table; the total row is Total(), outside the table's scrolling.
  QTableWidget* Counts() const { return m_counts; }
  QTableWidget* Total() const { return m_total; }
  QLabel* Summary() const { return m_summary; }

protected:
  void reject() override;

private:
  // The total's columns as wide as the table's, each under its own.
  void AlignTotal();

  QLabel* m_text = nullptr;
  QProgressBar* m_bar = nullptr;
  QLabel* m_overall = nullptr;
  QLabel* m_summary = nullptr;
  QTableWidget* m_counts = nullptr;
  QTableWidget* m_total = nullptr;
  QPushButton* m_close = nullptr;
  std::unique_ptr<QtProgress> m_progress;
  std::unique_ptr<QtObserver> m_observer;
  bool m_running = false;
};

}  // namespace vorlend::ui
