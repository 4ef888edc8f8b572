#include "ui/grids.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTableView>

#include "ui/qt_ports.h"

namespace vorlend::ui {

namespace {

QVariant TitleData(const QString& title, int role, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
  switch (role) {
    case Qt::DisplayRole:
      return title;
    case Qt::FontRole: {
      // Bold titles are set a little narrower, so "Datum uložení" fits its 90 pixels.
      QFont font;
      font.setBold(true);
      font.setStretch(QFont::SemiCondensed);
      return font;
    }
    case Qt::ForegroundRole:
      return QBrush(QColor(128, 128, 128));
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(alignment);
    default:
      return {};
  }
}

class CellClickFilter : public QObject {
public:
  CellClickFilter(QTableView* grid, std::function<void(int, int)> handler)
      : QObject(grid), m_grid(grid), m_handler(std::move(handler)) {}

  bool eventFilter(QObject*, QEvent* event) override {
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick && type != QEvent::MouseButtonRelease)
      return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    const QModelIndex index = m_grid->indexAt(mouse->position().toPoint());
    if (type != QEvent::MouseButtonRelease) {
      m_pressed = index;
    } else {
      const bool click = index.isValid() && index == m_pressed;
      m_pressed = QPersistentModelIndex();
      // The press has already made the row the selected one.
      if (click) m_handler(index.row(), index.column());
    }
    return false;
  }

private:
  QTableView* m_grid;
  std::function<void(int, int)> m_handler;
  QPersistentModelIndex m_pressed;
};

class KeyPressFilter : public QObject {
public:
  KeyPressFilter(QObject* parent, std::function<bool(const QKeyEvent&)> handler)
      : QObject(parent), m_handler(std::move(handler)) {}

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    return m_handler(*static_cast<QKeyEvent*>(event));
  }

private:
  std::function<bool(const QKeyEvent&)> m_handler;
};

}  // namespace

void OnKeyPress(QTableView* grid, std::function<bool(const QKeyEvent& key)> handler) {
  grid->installEventFilter(new KeyPressFilter(grid, std::move(handler)));
}

void FollowCurrentRow(QTableView* grid, std::function<void(int row)> handler) {
  QObject::connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, grid,
                   [handler = std::move(handler)](const QModelIndex& current, const QModelIndex&) {
                     if (current.isValid()) handler(current.row());
                   });
}

void KeepRowSelected(QTableView* grid, std::function<int()> currentRow) {
  QObject::connect(grid->selectionModel(), &QItemSelectionModel::selectionChanged, grid,
                   [grid, currentRow = std::move(currentRow)](const QItemSelection&, const QItemSelection&) {
                     QItemSelectionModel* selection = grid->selectionModel();
                     if (selection->hasSelection()) return;
                     const int row = currentRow();
                     if (row < 0 || row >= grid->model()->rowCount()) return;
                     selection->setCurrentIndex(grid->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                   });
}

void OnCellClick(QTableView* grid, std::function<void(int row, int column)> handler) {
  grid->viewport()->installEventFilter(new CellClickFilter(grid, std::move(handler)));
}

QPixmap CheckImage() {
  QPixmap image(16, 17);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  // The box fills the image but for its outer ring: x 1..14, y 1..15.
  painter.fillRect(QRect(1, 1, 14, 15), Qt::white);
  painter.setPen(QPen(Qt::black, 1));
  painter.drawRect(QRect(1, 1, 13, 14));
  // The tick: a short stroke down to the bottom point and a long one up to the right, two
  // pixels thick, as a drawn check box shows it.
  const QPoint tick[] = {{4, 8}, {6, 10}, {11, 5}};
  for (int dy = 0; dy < 2; ++dy) {
    painter.drawLine(tick[0] + QPoint(0, dy), tick[1] + QPoint(0, dy));
    painter.drawLine(tick[1] + QPoint(0, dy), tick[2] + QPoint(0, dy));
  }
  return image;
}

int YearListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_list.Count());
}

int YearListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant YearListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const YearRow& row = m_list.Row(static_cast<std::size_t>(index.row()));
  // The mark is shown only as the image; its value is offered to readers of the model.
  if (index.column() == 0) return role == Qt::UserRole ? QVariant(row.Checked) : QVariant();
  if (role == Qt::DisplayRole) return Q(row.YearName);
  return {};
}

QVariant YearListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  return TitleData(section == 0 ? QStringLiteral(" ") : QStringLiteral("Roky"), role);
}

Qt::ItemFlags YearListModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void YearListModel::Reset() {
  beginResetModel();
  endResetModel();
}

void YearListModel::RowChanged(int row) {
  emit dataChanged(index(row, 0), index(row, 1));
}

YearCheckDelegate::YearCheckDelegate(const YearList& list, QPixmap check, QObject* parent)
    : QStyledItemDelegate(parent), m_list(list), m_check(std::move(check)) {}

void YearCheckDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  if (index.column() != 0 || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_list.Count()) return;
  if (m_list.Row(static_cast<std::size_t>(index.row())).Checked) painter->drawPixmap(option.rect.topLeft(), m_check);
}

int ArchiveListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_list.Count());
}

int ArchiveListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

QVariant ArchiveListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const ArchiveRow& row = m_list.Row(static_cast<std::size_t>(index.row()));
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      // The marker stands first, so a long name never hides it.
      case 0:
        if (!row.damage.empty()) return Q(std::string(kDamagedMarker) + " " + row.MapName);
        if (row.complete) return Q(row.MapName);
        return Q(std::string(row.running ? kRunningMarker : kIncompleteMarker) + " " + row.MapName);
      case 1:
        return Q(row.MapDate);
      case 2:
        return Q(row.MapTime);
      default:
        return {};
    }
  }
  if (role == Qt::ForegroundRole && (!row.complete || !row.damage.empty())) return QColor(0xa0, 0x00, 0x00);
  if (role == Qt::TextAlignmentRole) {
    const Qt::Alignment alignment =
        index.column() == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter;
    return QVariant::fromValue(alignment);
  }
  return {};
}

QVariant ArchiveListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  switch (section) {
    case 0:
      return TitleData(QStringLiteral("Název archivu"), role);
    case 1:
      return TitleData(QStringLiteral("Datum uložení"), role, Qt::AlignRight | Qt::AlignVCenter);
    case 2:
      return TitleData(QStringLiteral("Čas uložení"), role, Qt::AlignRight | Qt::AlignVCenter);
    default:
      return {};
  }
}

Qt::ItemFlags ArchiveListModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ArchiveListModel::Reset() {
  beginResetModel();
  endResetModel();
}

void SetUpGrid(QTableView* grid) {
  grid->verticalHeader()->hide();
  grid->setShowGrid(false);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setWordWrap(false);
  grid->setTabKeyNavigation(false);
  grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->verticalHeader()->setDefaultSectionSize(17);
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid->horizontalHeader()->setHighlightSections(false);
  grid->horizontalHeader()->setSectionsClickable(false);
  grid->horizontalHeader()->setMinimumSectionSize(8);
  // The selected row stays marked when the grid loses the focus, in a paler shade of the
  // highlight with the ordinary text: the full colour shows where the keys go.
  QPalette palette = grid->palette();
  const QColor active = palette.color(QPalette::Active, QPalette::Highlight);
  const QColor base = palette.color(QPalette::Active, QPalette::Base);
  const QColor pale((active.red() + 2 * base.red()) / 3, (active.green() + 2 * base.green()) / 3,
                    (active.blue() + 2 * base.blue()) / 3);
  palette.setColor(QPalette::Inactive, QPalette::Highlight, pale);
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Active, QPalette::Text));
  grid->setPalette(palette);
}

}  // namespace vorlend::ui
