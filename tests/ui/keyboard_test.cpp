// The window under the keyboard: the focus order of every page, where the focus goes when a page
// shows, and marking years with Space.
#include <QApplication>
#include <QKeyEvent>
#include <QRadioButton>
#include <QTableView>

#include "ui_fixture.h"

namespace vorlend::test {

namespace {

using Chain = std::vector<std::string>;

}  // namespace

TEST_F(WindowTest, TabWalksEveryPageTopToBottomThenBackNextAndEnd) {
  MakeAgenda({"2025", "2026"});
  Start();
  ListArchive("první", "1.3.2026", "8:00:00", "1");
  m_window->RefreshArchiveList();
  Control<QRadioButton>("rbAllLock")->setChecked(true);
  ShowActive();

  // A group of radio buttons is one stop, at its chosen button (the arrows move within it).
  const std::pair<int, Chain> pages[] = {
      {0, {"RadioButton1", "btnNext1", "btnKonec1"}},
      {1,
       {"grYearName", "chckPokladna", "chckBanka", "chckPohledavky", "chckZavazky", "chckInterni", "chckPfaktury",
        "chckVfkatury", "chckSkDoklady", "rbAllLock", "btnPrev2", "btnNext2", "btnKonec2"}},
      {2, {"edtNazevMapy", "btnPrev3", "btnNext3", "btnKonec3"}},
      {3, {"btnPrerusit"}},
      // A page begins at its first control that is no link, never at the advertising link.
      {4, {"btnKonec5", "lblTarvellWebPage1", "Label10"}},
      {5, {"btnKonec6", "Label12"}},
      {6, {"grInfoFiles", "btnDelete", "btnPrev4", "btnNext4", "btnkonec7"}},
      {7, {"btnPrev5", "btnNext5", "btnkonec8", "lblPorovnat"}},
      {8, {"btnKonec9", "lblTarvellWebPage2", "Label22"}},
  };
  for (const auto& [page, chain] : pages) {
    SCOPED_TRACE("page " + std::to_string(page));
    m_window->ShowPage(page);
    // The page shows with the focus on its first control, and Tab goes round once.
    Chain walked = {FocusName()};
    for (std::size_t i = 0; i < chain.size(); ++i) {
      Key(Qt::Key_Tab);
      walked.push_back(FocusName());
    }
    Chain expected = chain;
    expected.push_back(chain.front());
    EXPECT_EQ(walked, expected);
  }
  // Shift+Tab walks back the same way, entering the radio group at its chosen button too.
  m_window->ShowPage(1);
  Control<QWidget>("btnPrev2")->setFocus(Qt::TabFocusReason);
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusName(), "rbAllLock");
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusName(), "chckSkDoklady");
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);

  // Enter, and the keypad's Enter, press the focused button as Space does.
  m_window->ShowPage(1);
  Control<QWidget>("btnPrev2")->setFocus(Qt::TabFocusReason);
  Key(Qt::Key_Return);
  EXPECT_EQ(m_window->CurrentPage(), 0);
  m_window->ShowPage(1);
  Control<QWidget>("btnPrev2")->setFocus(Qt::TabFocusReason);
  Key(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(m_window->CurrentPage(), 0);

  // Enter that no button takes goes on where going on starts nothing: from the chosen action,
  // the years and the archive list; never "Start" from the archive's name.
  Key(Qt::Key_Return);
  ASSERT_EQ(m_window->CurrentPage(), 1);
  EXPECT_EQ(FocusName(), "grYearName");
  Key(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(m_window->CurrentPage(), 1);
  EXPECT_EQ(m_dialogs.Entries().size(), 1u);  // no year marked: "Další >>" said so
  m_window->ShowPage(2);
  Key(Qt::Key_Return);
  EXPECT_EQ(m_window->CurrentPage(), 2);
  m_window->ShowPage(6);
  ASSERT_EQ(FocusName(), "grInfoFiles");
  Key(Qt::Key_Return);
  EXPECT_EQ(m_window->CurrentPage(), 7);
  EXPECT_EQ(m_dialogs.Entries().size(), 1u);
}

TEST_F(WindowTest, FocusStartsOnTheChosenActionAndNeverLandsOnTheEndButton) {
  MakeAgenda({"2025", "2026"});
  Start();
  // Start-up gave the first choice the focus before the window ever showed.
  EXPECT_EQ(m_window->focusWidget(), Control<QWidget>("RadioButton1"));
  ShowActive();
  EXPECT_EQ(FocusName(), "RadioButton1");

  // "Další >>" pressed from the keyboard: its page goes away under the focus, which moves to the
  // next page's first control, not to the "Konec" that follows in the window's chain.
  Key(Qt::Key_Tab);
  ASSERT_EQ(FocusName(), "btnNext1");
  Key(Qt::Key_Space);
  ASSERT_EQ(Page(), 1);
  EXPECT_EQ(FocusName(), "grYearName");

  // The same on the way back, and for the restore road.
  for (int i = 0; i < 10; ++i) Key(Qt::Key_Tab);
  ASSERT_EQ(FocusName(), "btnPrev2");
  Key(Qt::Key_Space);
  ASSERT_EQ(Page(), 0);
  EXPECT_EQ(FocusName(), "RadioButton1");
  Key(Qt::Key_Down);  // the arrow picks the restore, as radio buttons do
  ASSERT_TRUE(Control<QRadioButton>("RadioButton2")->isChecked());
  Key(Qt::Key_Tab);
  ASSERT_EQ(FocusName(), "btnNext1");
  Key(Qt::Key_Space);
  ASSERT_EQ(Page(), 6);
  EXPECT_EQ(FocusName(), "grInfoFiles");
  Key(Qt::Key_Tab);  // "Smazat" is disabled on an empty list
  EXPECT_EQ(FocusName(), "btnPrev4");
  Key(Qt::Key_Space);
  ASSERT_EQ(Page(), 0);
  // Back on the first page the focus is on the chosen action.
  EXPECT_EQ(FocusName(), "RadioButton2");

  // A mouse click on a navigation button leaves the focus where it was.
  Click("btnNext1");
  ASSERT_EQ(Page(), 6);
  EXPECT_EQ(FocusName(), "grInfoFiles");
}

TEST_F(WindowTest, SpaceMarksTheCurrentYearAndArrowsMoveIt) {
  MakeAgenda({"2024", "2025", "2026"});
  Start();
  ShowActive();
  Click("btnNext1");
  ASSERT_EQ(Page(), 1);
  ASSERT_EQ(FocusName(), "grYearName");
  auto* grid = Control<QTableView>("grYearName");
  const YearList& list = m_window->Years();

  Key(Qt::Key_Space);
  EXPECT_TRUE(list.Row(0).Checked);
  // A held Space repeats its press; the mark does not flicker with it.
  Key(Qt::Key_Space, Qt::NoModifier, true);
  Key(Qt::Key_Space, Qt::NoModifier, true);
  EXPECT_TRUE(list.Row(0).Checked);

  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ(list.Current(), 2u);
  EXPECT_EQ(grid->selectionModel()->selectedRows().value(0).row(), 2);
  Key(Qt::Key_Space);
  EXPECT_TRUE(list.Row(2).Checked);
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);
  Key(Qt::Key_Space);
  EXPECT_FALSE(list.Row(0).Checked);
  EXPECT_FALSE(list.Row(1).Checked);
  EXPECT_TRUE(list.Row(2).Checked);
  // Ctrl+Space, which would clear a grid's selection, marks the row the same way and the
  // highlight stays.
  Key(Qt::Key_Space, Qt::ControlModifier);
  EXPECT_TRUE(list.Row(0).Checked);
  EXPECT_TRUE(grid->selectionModel()->isRowSelected(0, {}));

  // The keyboard's marks are the ones the save options page validates.
  Tick("chckPfaktury", true);
  Click("btnNext2");
  EXPECT_EQ(Page(), 2);
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
  EXPECT_EQ(FocusName(), "edtNazevMapy");
}

}  // namespace vorlend::test
