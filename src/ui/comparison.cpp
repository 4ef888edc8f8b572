#include "ui/comparison.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "archive/roads.h"
#include "ui/qt_ports.h"
#include "ui/widgets.h"

namespace vorlend::ui {

namespace {

QTableWidgetItem* Cell(const QString& text, bool number, bool bold) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled);
  if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  if (bold) {
    QFont f = item->font();
    f.setBold(true);
    item->setFont(f);
  }
  return item;
}

void AddRow(QTableWidget* table, const QString& caption, const TableInspection& t, bool bold) {
  const int row = table->rowCount();
  table->insertRow(row);
  table->setItem(row, 0, Cell(caption, false, bold));
  const int values[] = {t.recorded, t.locked, t.differing, t.missing};
  for (int c = 0; c < 4; ++c) table->setItem(row, c + 1, Cell(QString::number(values[c]), true, bold));
}

}  // namespace

ComparisonDialog::ComparisonDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("dlgPorovnani"));
  setWindowTitle(QStringLiteral("Porovnání archivu s Money"));
  auto* layout = new QVBoxLayout(this);
  m_text = PlainLabel(QString(), this);
  m_text->setObjectName(QStringLiteral("lblPorovnavam"));
  m_bar = new QProgressBar(this);
  m_bar->setTextVisible(false);
  m_overall = PlainLabel(QString(), this);
  m_overall->setObjectName(QStringLiteral("lblPorovnaniCelkem"));
  m_summary = PlainLabel(QString(), this, true);
  m_summary->setObjectName(QStringLiteral("lblPorovnaniVysledek"));
  m_summary->hide();
  m_counts = new QTableWidget(0, 5, this);
  m_counts->setObjectName(QStringLiteral("grPorovnani"));
  m_counts->setHorizontalHeaderLabels({QStringLiteral("Doklady"), QStringLiteral("V archivu"),
                                       QStringLiteral("Zamčené"), QStringLiteral("Liší se od Money"),
                                       QStringLiteral("Nejsou v Money")});
  m_counts->verticalHeader()->hide();
  m_counts->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  m_counts->setSelectionMode(QAbstractItemView::NoSelection);
  m_counts->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_counts->setShowGrid(false);
  m_counts->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  m_counts->hide();
  m_close = new QPushButton(QStringLiteral("Zavřít"), this);
  m_close->setObjectName(QStringLiteral("btnZavrit"));
  connect(m_close, &QPushButton::clicked, this, &ComparisonDialog::reject);

  layout->addWidget(m_text);
  layout->addWidget(m_bar);
  layout->addWidget(m_overall);
  layout->addWidget(m_summary);
  layout->addWidget(m_counts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_close);
  layout->addLayout(buttons);
  resize(560, 340);

  m_progress = std::make_unique<QtProgress>(m_text, m_bar);
  m_progress->SetOverallLabel(m_overall);
  m_observer = std::make_unique<QtObserver>(*m_progress);
}

ComparisonDialog::~ComparisonDialog() = default;

void ComparisonDialog::reject() {
  // Closed while it compares: the comparison stops at its next step and the dialog goes then.
  if (m_running) {
    m_progress->RequestAbort();
    return;
  }
  QDialog::reject();
}

bool ComparisonDialog::Compare(const HostContext& ctx, const ArchiveRow& row, Dialogs& dialogs) {
  ArchiveInspection inspection;
  const InspectionProgress shown{*m_progress, m_observer.get()};
  m_running = true;
  const Result compared = RunComparisonRoad(ctx, dialogs, row, false, inspection, nullptr, &shown);
  m_running = false;
  if (!compared.IsOk()) return false;
  ShowCounts(inspection);
  return true;
}

void ComparisonDialog::ShowCounts(const ArchiveInspection& inspection) {
  m_text->hide();
  m_bar->hide();
  m_overall->hide();
  for (const TableInspection& t : inspection.tables) AddRow(m_counts, Q(t.row.WorkingStr), t, false);
  const TableInspection total = InspectionTotals(inspection);
  AddRow(m_counts, QStringLiteral("Celkem"), total, true);
  m_counts->resizeColumnsToContents();
  m_counts->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  QString summary = QStringLiteral("Obnovení by změnilo dokladů: %1.").arg(total.differing);
  if (total.missing > 0) {
    summary +=
        QStringLiteral(" Zaznamenaných dokladů, které už v Money nejsou: %1; ty obnovení nezmění.").arg(total.missing);
  }
  m_summary->setText(summary);
  m_summary->show();
  m_counts->show();
  m_close->setFocus(Qt::OtherFocusReason);
}

}  // namespace vorlend::ui
