// The two grids: toggling a year's mark with the mouse, the check image, the archive grid's
// columns; the Qt side of the ports, and the edit box's Czech menu.
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QTableView>
#include <memory>

#include <QRadioButton>

#include "archive/file_list.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "ui/grids.h"
#include "ui/qt_ports.h"
#include "ui/widgets.h"
#include "ui_fixture.h"

namespace vorlend::test {

namespace {

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos) {
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void ClickCell(QTableView* grid, int row, int column, bool doubleClick = false) {
  const QPoint pos = grid->visualRect(grid->model()->index(row, column)).center();
  SendMouse(grid->viewport(), QEvent::MouseButtonPress, pos);
  SendMouse(grid->viewport(), QEvent::MouseButtonRelease, pos);
  if (doubleClick) {
    SendMouse(grid->viewport(), QEvent::MouseButtonDblClick, pos);
    SendMouse(grid->viewport(), QEvent::MouseButtonRelease, pos);
  }
}

}  // namespace

TEST_F(WindowTest, YearGridClickTogglesTheRowsMark) {
  MakeAgenda({"2024", "2025", "2026"});
  Start();
  m_window->show();
  Click("btnNext1");
  ASSERT_EQ(Page(), 1);
  auto* grid = Control<QTableView>("grYearName");
  ASSERT_NE(grid, nullptr);
  ASSERT_EQ(grid->model()->rowCount(), 3);
  EXPECT_EQ(grid->model()->data(grid->model()->index(0, 1)).toString(), QStringLiteral("2026"));
  EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Roky"));
  EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral(" "));
  EXPECT_EQ(grid->columnWidth(0), 16);
  EXPECT_EQ(grid->columnWidth(1), 58);

  // A click on the year's name marks the row, a click on its mark cell unmarks it.
  ClickCell(grid, 1, 1);
  EXPECT_TRUE(m_window->Years().Row(1).Checked);
  EXPECT_EQ(m_window->Years().Current(), 1u);
  ClickCell(grid, 1, 0);
  EXPECT_FALSE(m_window->Years().Row(1).Checked);

  // Every click counts: a double click leaves the mark as it was.
  ClickCell(grid, 2, 1, true);
  EXPECT_FALSE(m_window->Years().Row(2).Checked);
  EXPECT_FALSE(m_window->Years().AnyChecked());

  // Clicks outside the rows do nothing.
  m_window->grYearNameCellClick(3, 0);
  m_window->grYearNameCellClick(-1, 0);
  EXPECT_FALSE(m_window->Years().AnyChecked());
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
}

TEST(CheckImage, TickedBoxInsideATransparentRing) {
  const QImage image = ui::CheckImage().toImage();
  ASSERT_EQ(image.size(), QSize(16, 17));
  for (int x = 0; x < 16; ++x) {
    EXPECT_EQ(qAlpha(image.pixel(x, 0)), 0) << x;
    EXPECT_EQ(qAlpha(image.pixel(x, 16)), 0) << x;
  }
  for (int y = 0; y < 17; ++y) {
    EXPECT_EQ(qAlpha(image.pixel(0, y)), 0) << y;
    EXPECT_EQ(qAlpha(image.pixel(15, y)), 0) << y;
  }
  EXPECT_EQ(image.pixel(1, 1), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(14, 15), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(3, 3), qRgb(255, 255, 255));
  int black = 0;
  for (int y = 2; y < 15; ++y)
    for (int x = 2; x < 14; ++x) black += image.pixel(x, y) == qRgb(0, 0, 0);
  EXPECT_GT(black, 8);  // the tick
}

TEST_F(WindowTest, ArchiveGridColumns) {
  MakeAgenda({"2026"});
  Start();
  auto* grid = Control<QTableView>("grInfoFiles");
  ASSERT_NE(grid, nullptr);
  const QStringList titles = {QStringLiteral("Název archivu"), QStringLiteral("Datum uložení"),
                              QStringLiteral("Čas uložení")};
  const int widths[] = {301, 90, 90};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(grid->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    EXPECT_EQ(grid->columnWidth(c), widths[c]);
    const auto alignment = grid->model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
    EXPECT_EQ(bool(alignment & Qt::AlignRight), c > 0) << c;
  }
  m_window->Archives().Append({"a", "1.3.2026", "8:00:00", "x", "1"});
  m_window->Archives().Append({"b", "2.3.2026", "9:00:00", "x", "2"});
  m_window->RefreshArchiveList();
  const auto cellAlignment = grid->model()->index(0, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
  EXPECT_TRUE(cellAlignment & Qt::AlignRight);
  // The last row appended is the selected archive; choosing another row moves it.
  EXPECT_EQ(grid->currentIndex().row(), 1);
  grid->selectRow(0);
  EXPECT_EQ(m_window->Archives().Current(), 0u);
}

TEST_F(WindowTest, ArchiveListAlwaysHighlightsTheRowItsButtonsActOn) {
  MakeAgenda({"2026"});
  Start();
  for (const char* dir : {"1", "2", "3"}) {
    TIniFile info(m_window->Context().ArchiveRoot() + dir + "/info");
    ForceDirectories(m_window->Context().ArchiveRoot() + dir);
    info.WriteString("MAIN", "Correct", "1");
    info.WriteString("MAIN", "AgendaExt", "001");
    info.WriteString("MAIN", "Name", std::string("archiv ") + dir);
    info.WriteString("MAIN", "Date", "1.3.2026");
    info.WriteString("MAIN", "Time", "8:00:00");
    info.WriteString("YEARS", "List", "2026");
    info.WriteString("FILTER", "PF", "1");
    ASSERT_TRUE(WriteFileListFile(m_window->Context().ArchiveRoot() + dir + "/info.tab",
                                  {MakeFileListRow("PF001", "ROK.001\\PFAKTURY", "přijaté faktury 2026")}));
  }
  m_window->show();
  Control<QRadioButton>("RadioButton2")->setChecked(true);
  Click("btnNext1");
  ASSERT_EQ(Page(), 6);
  auto* grid = Control<QTableView>("grInfoFiles");
  ASSERT_EQ(grid->model()->rowCount(), 3);
  auto highlighted = [&] {
    const QModelIndexList rows = grid->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().row() : -1;
  };
  EXPECT_EQ(highlighted(), 2);
  // Without the focus the row stays marked, in a shade of its own: the full colour shows where
  // the keys go.
  const QPalette colours = grid->palette();
  EXPECT_NE(colours.color(QPalette::Inactive, QPalette::Highlight), colours.color(QPalette::Inactive, QPalette::Base));
  EXPECT_NE(colours.color(QPalette::Inactive, QPalette::Highlight),
            colours.color(QPalette::Active, QPalette::Highlight));

  // A click below the last row, and a Ctrl+click on the highlighted row, leave it highlighted.
  const QPoint below(20, grid->visualRect(grid->model()->index(2, 0)).bottom() + 30);
  SendMouse(grid->viewport(), QEvent::MouseButtonPress, below);
  SendMouse(grid->viewport(), QEvent::MouseButtonRelease, below);
  EXPECT_EQ(highlighted(), 2);
  ClickCell(grid, 0, 1);
  EXPECT_EQ(highlighted(), 0);
  const QPoint first = grid->visualRect(grid->model()->index(0, 0)).center();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(first), QPointF(grid->viewport()->mapToGlobal(first)),
                    Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier);
  QApplication::sendEvent(grid->viewport(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(first), QPointF(grid->viewport()->mapToGlobal(first)),
                      Qt::LeftButton, Qt::NoButton, Qt::ControlModifier);
  QApplication::sendEvent(grid->viewport(), &release);
  EXPECT_EQ(highlighted(), 0);
  EXPECT_EQ(m_window->Archives().Current(), 0u);

  // "Smazat" removes the highlighted archive and highlights the one that takes its place.
  m_dialogs.Answer(true);
  Click("btnDelete");
  EXPECT_FALSE(DirectoryExists(m_window->Context().ArchiveRoot() + "1"));
  EXPECT_TRUE(DirectoryExists(m_window->Context().ArchiveRoot() + "2"));
  EXPECT_TRUE(DirectoryExists(m_window->Context().ArchiveRoot() + "3"));
  ASSERT_EQ(grid->model()->rowCount(), 2);
  EXPECT_EQ(highlighted(), 0);
  EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("archiv 2"));
  EXPECT_EQ(m_dialogs.MessageCount(), 0u);
}

TEST(QtPorts, MessageTextsAndRefusedAddresses) {
  EXPECT_EQ(ui::MessageBoxText("První odstavec.\r\rDruhý\r\nřádek"), QStringLiteral("První odstavec.\n\nDruhý\nřádek"));
  ui::QtShell shell;
  for (const char* refused : {"file:///etc/passwd", "javascript:alert(1)", "ftp://vendor.example/", "", "http://a b"})
    EXPECT_FALSE(shell.OpenUrl(refused)) << refused;
}

// The name box's menu in the words of Windows' own edit boxes in Czech: a command that cannot act
// is greyed, and each does what it says.
TEST(CzechLineEdit, TheMenuSpeaksCzechAndEachCommandActs) {
  ui::CzechLineEdit box;
  box.setText(QStringLiteral("Před přepočtem"));
  QGuiApplication::clipboard()->setText(QStringLiteral("cen"));
  std::unique_ptr<QMenu> menu;
  auto open = [&] {
    menu.reset(box.CreateContextMenu());
    std::vector<std::string> shown, enabled;
    for (const QAction* a : menu->actions()) {
      shown.push_back(a->isSeparator() ? "-" : a->text().toStdString());
      if (!a->isSeparator() && a->isEnabled()) enabled.push_back(a->text().toStdString());
    }
    return std::make_pair(shown, enabled);
  };
  auto choose = [&](const char* caption) {
    for (QAction* a : menu->actions()) {
      if (a->text() == QString::fromUtf8(caption)) a->trigger();
    }
  };
  using Captions = std::vector<std::string>;
  const auto [shown, enabled] = open();
  EXPECT_EQ(shown,
            (Captions{"&Zpět", "Z&novu", "-", "&Vyjmout", "&Kopírovat", "V&ložit", "&Odstranit", "-", "Vybrat &vše"}));
  EXPECT_EQ(enabled, (Captions{"V&ložit", "Vybrat &vše"}));
  choose("Vybrat &vše");
  EXPECT_EQ(box.selectedText(), box.text());
  EXPECT_EQ(open().second, (Captions{"&Vyjmout", "&Kopírovat", "V&ložit", "&Odstranit"}));
  choose("&Odstranit");
  EXPECT_TRUE(box.text().isEmpty());
  EXPECT_EQ(open().second, (Captions{"&Zpět", "V&ložit"}));
  choose("&Zpět");
  EXPECT_EQ(box.text(), QStringLiteral("Před přepočtem"));
  box.end(false);
  open();
  choose("V&ložit");
  EXPECT_EQ(box.text(), QStringLiteral("Před přepočtemcen"));
}

}  // namespace vorlend::test
