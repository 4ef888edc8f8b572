#include "ui/comparison.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "archive/roads.h"
#include "platform/text.h"
#include "ui/qt_ports.h"
#include "ui/widgets.h"

namespace vorlend::ui {

namespace {

constexpr int kColumns = 5;
// How far the dialog stays inside each edge of the window it is shown over.
constexpr int kInsideParent = 16;

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
  for (int c = 0; c < 4; ++c) table->setItem(row, c + 1, Cell(Q(GroupedNumber(values[c])), true, bold));
}

// The total row's table: a viewport as wide as the table's above it, whose scroll bar it lacks.
class TotalTable : public QTableWidget {
public:
  using QTableWidget::QTableWidget;
  void SetRightMargin(int margin) {
    m_rightMargin = margin;
    updateGeometries();
  }

protected:
  // QTableView lays its viewport's margins out for its headers (none here) each time; the right
  // one is kept.
  void updateGeometries() override {
    QTableWidget::updateGeometries();
    if (viewportMargins().right() != m_rightMargin) setViewportMargins(0, 0, m_rightMargin, 0);
  }

private:
  int m_rightMargin = 0;
};

// A table of counts as the dialog shows them: no selection, no editing, no grid.
QTableWidget* CountsTable(QWidget* parent, const char* name, int rowHeight) {
  auto* table = new QTableWidget(0, kColumns, parent);
  table->setObjectName(QLatin1String(name));
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(rowHeight);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setShowGrid(false);
  table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table->hide();
  return table;
}

}  // namespace

ComparisonDialog::ComparisonDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("dlgPorovnani"));
  setWindowTitle(QStringLiteral("Porovnání archivu s Money"));
  // A dialog is a window of its own and would take the system's font: it takes the window's, for
  // whose pixel size the window is laid out.
  if (parent) setFont(parent->font());
  const int rowHeight = fontMetrics().height() + 6;

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
  m_counts = CountsTable(this, "grPorovnani", rowHeight);
  // The longer captions in two lines, so the tables' names keep their width.
  m_counts->setHorizontalHeaderLabels({QStringLiteral("Doklady"), QStringLiteral("V archivu"),
                                       QStringLiteral("Zamčené"), QStringLiteral("Liší se\nod Money"),
                                       QStringLiteral("Nejsou\nv Money")});
  m_counts->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  // The total row stays below the table, outside its scrolling: it is seen however many tables
  // the archive has.
  m_total = new TotalTable(0, kColumns, this);
  m_total->setObjectName(QStringLiteral("grPorovnaniCelkem"));
  m_total->horizontalHeader()->hide();
  m_total->verticalHeader()->hide();
  m_total->verticalHeader()->setDefaultSectionSize(rowHeight);
  m_total->setSelectionMode(QAbstractItemView::NoSelection);
  m_total->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_total->setFocusPolicy(Qt::NoFocus);
  m_total->setShowGrid(false);
  m_total->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_total->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_total->setFixedHeight(rowHeight + 2 * m_total->frameWidth());
  m_total->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  m_total->hide();
  // The first column takes what the others leave, in both tables alike once their viewports are as
  // wide: it changes as the table's scroll bar comes and goes and as the dialog is resized.
  connect(m_counts->horizontalHeader(), &QHeaderView::sectionResized, this, [this] { AlignTotal(); });
  m_close = new QPushButton(QStringLiteral("Zavřít"), this);
  m_close->setObjectName(QStringLiteral("btnZavrit"));
  connect(m_close, &QPushButton::clicked, this, &ComparisonDialog::reject);

  layout->addWidget(m_text);
  layout->addWidget(m_bar);
  layout->addWidget(m_overall);
  layout->addWidget(m_summary);
  layout->addWidget(m_counts, 1);
  layout->addWidget(m_total);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_close);
  layout->addLayout(buttons);
  // Inside the window it is shown over (QDialog centres it there), whatever the user does to it.
  if (parent) {
    const QSize inside = parent->window()->size() - QSize(2 * kInsideParent, 2 * kInsideParent);
    setMaximumSize(inside);
    resize(inside);
  } else {
    resize(560, 340);
  }

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

void ComparisonDialog::AlignTotal() {
  const int inside = m_counts->width() - 2 * m_counts->frameWidth();
  static_cast<TotalTable*>(m_total)->SetRightMargin(std::max(0, inside - m_counts->viewport()->width()));
  for (int c = 1; c < kColumns; ++c) m_total->setColumnWidth(c, m_counts->columnWidth(c));
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
  AddRow(m_total, QStringLiteral("Celkem"), total, true);
  // The numbers' columns as wide as their widest number, the total's included.
  m_counts->resizeColumnsToContents();
  m_total->resizeColumnsToContents();
  for (int c = 1; c < kColumns; ++c) {
    m_counts->setColumnWidth(c, std::max(m_counts->columnWidth(c), m_total->columnWidth(c)));
  }
  m_counts->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  QString summary = QStringLiteral("Obnovení by změnilo dokladů: %1.").arg(Q(GroupedNumber(total.differing)));
  if (total.missing > 0) {
    summary += QStringLiteral(" Zaznamenaných dokladů, které už v Money nejsou: %1; ty obnovení nezmění.")
                   .arg(Q(GroupedNumber(total.missing)));
  }
  m_summary->setText(summary);
  m_summary->show();
  m_counts->show();
  m_total->show();
  AlignTotal();
  m_close->setFocus(Qt::OtherFocusReason);
}

}  // namespace vorlend::ui
