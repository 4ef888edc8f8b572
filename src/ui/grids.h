#pragma once
// The two grids of the window: the accounting years with their marks, and the saved archives.
// Both models show a list the window owns; the window resets them after changing the list.
#include <QAbstractTableModel>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <functional>

#include "archive/catalogue.h"
#include "archive/year_list.h"

class QKeyEvent;
class QTableView;

namespace vorlend::ui {

// The mark of a year: 16 x 17 pixels, a white box with a black frame and a black tick, its
// outermost ring of pixels transparent so the cell background shows around it.
QPixmap CheckImage();

class YearListModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit YearListModel(YearList& list, QObject* parent = nullptr) : QAbstractTableModel(parent), m_list(list) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void Reset();
  void RowChanged(int row);

private:
  YearList& m_list;
};

// Draws the check image into the mark cell of a marked year, over the cell's own drawing.
class YearCheckDelegate : public QStyledItemDelegate {
public:
  // Draws `check` (the window's hidden picture imgCheck) into the mark cell of marked rows.
  YearCheckDelegate(const YearList& list, QPixmap check, QObject* parent = nullptr);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
  const YearList& m_list;
  QPixmap m_check;
};

class ArchiveListModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit ArchiveListModel(ArchiveList& list, QObject* parent = nullptr) : QAbstractTableModel(parent), m_list(list) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void Reset();

private:
  ArchiveList& m_list;
};

// Calls `handler` each time the left button is released over the data cell it was pressed on.
// The second click of a double click counts as a click of its own, which QAbstractItemView's
// clicked() does not report.
void OnCellClick(QTableView* grid, std::function<void(int row, int column)> handler);

// Calls `handler` with each key pressed in the grid; a key the handler reports as used goes no
// further.
void OnKeyPress(QTableView* grid, std::function<bool(const QKeyEvent& key)> handler);

// Calls `handler` with the row that becomes the grid's current row (by mouse or keyboard).
void FollowCurrentRow(QTableView* grid, std::function<void(int row)> handler);

// Whenever the grid's selection would become empty (a click below the last row, Ctrl+click on the
// selected row), the row `currentRow` names (-1: none) is selected again, so the highlight always
// shows the row the window acts on.
void KeepRowSelected(QTableView* grid, std::function<int()> currentRow);

// The common look of both grids: no row header, no grid lines, whole-row single selection that
// stays visible without focus, no editing, compact rows.
void SetUpGrid(QTableView* grid);

}  // namespace vorlend::ui
