// The hurried mouse: the second click of a double click on "Další >>" lands where the next page
// shows its "Start", and must not press it.
#include <QApplication>
#include <QGuiApplication>
#include <QStyleHints>

#include "platform/files.h"
#include "ui/click_guard.h"
#include "ui_fixture.h"

namespace vorlend::test {

namespace {

// How long after a click that changed the page, or after a click the guard held off, the new
// page's buttons take no click: the platform's double-click interval, and at least 600 ms (a slow
// double click).
quint64 DoubleClickInterval() {
  return static_cast<quint64>(
      std::max(ui::ClickGuard::kMinimumGuardMs, QGuiApplication::styleHints()->mouseDoubleClickInterval()));
}

}  // namespace

class DoubleClickTest : public WindowTest {
protected:
  // The widget under the centre of `name` as it stands now, after its page may have changed:
  // what the platform delivers a click at that place to.
  QWidget* WidgetAtPlaceOf(const char* name) {
    QWidget* w = Control<QWidget>(name);
    return m_window->childAt(w->mapTo(m_window.get(), w->rect().center()));
  }
  // A real double click on `name`: press and release, then the double-click press and release
  // at the same place, to whatever is there by then.
  void DoubleClick(const char* name, quint64 at) {
    QWidget* first = Control<QWidget>(name);
    const QPoint place = first->mapTo(m_window.get(), first->rect().center());
    MouseClickAt(first, at);
    QWidget* second = m_window->childAt(place);
    ASSERT_NE(second, nullptr);
    MouseClickAt(second, at + 120, true);
  }
  void ToSaveOptionsWithAYearMarked() {
    ShowActive();
    Click("btnNext1");
    ASSERT_EQ(Page(), 1);
    m_window->grYearNameCellClick(0, 1);
    ProcessEvents();
  }
  void ToArchiveList() {
    ListArchive("první", "1.3.2026", "8:00:00", "1");
    m_window->RefreshArchiveList();
    m_window->ShowPage(6);
    ShowActive();
    ProcessEvents();
  }
};

TEST_F(DoubleClickTest, OnNextOfTheSaveOptionsShowsTheNamePageAndStartsNothing) {
  MakeAgenda({"2026"});
  Start();
  ToSaveOptionsWithAYearMarked();
  // The premise: the next page's "Start" sits where "Další >>" was.
  m_window->ShowPage(2);
  ASSERT_EQ(WidgetAtPlaceOf("btnNext2"), Control<QWidget>("btnNext3"));
  m_window->ShowPage(1);
  ProcessEvents();

  DoubleClick("btnNext2", 10000);
  EXPECT_EQ(Page(), 2);
  EXPECT_FALSE(m_window->Busy());
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
  EXPECT_FALSE(DirectoryExists(m_window->Context().ArchiveRoot()));

  // A click queued behind the page change is ignored until the page has been painted, however
  // late it was made...
  MouseClickAt(Control<QWidget>("btnPrev3"), 10000 + 3 * DoubleClickInterval());
  EXPECT_EQ(Page(), 2);
  // ... and a later deliberate click on the page the user has seen acts.
  ProcessEvents();
  MouseClickAt(Control<QWidget>("btnPrev3"), 10000 + 4 * DoubleClickInterval());
  EXPECT_EQ(Page(), 1);
}

TEST_F(DoubleClickTest, OnNextOfTheArchiveListShowsTheRecapitulationAndRestoresNothing) {
  MakeAgenda({"2026"});
  Start();
  ToArchiveList();
  DoubleClick("btnNext4", 20000);
  EXPECT_EQ(Page(), 7);
  EXPECT_FALSE(m_window->Busy());
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);

  // Two single clicks as close together as a double click are held off the same way.
  m_window->ShowPage(6);
  ProcessEvents();
  MouseClickAt(Control<QWidget>("btnNext4"), 30000);
  ASSERT_EQ(Page(), 7);
  ProcessEvents();
  const quint64 second = 30000 + DoubleClickInterval() - 50;
  MouseClickAt(WidgetAtPlaceOf("btnNext4"), second);
  EXPECT_EQ(Page(), 7);
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
  // So is every further click of the burst, however long after the first it comes: each click
  // held off starts the interval again.
  const quint64 third = second + DoubleClickInterval() - 50;
  MouseClickAt(Control<QWidget>("btnNext5"), third);
  MouseClickAt(Control<QWidget>("btnNext5"), third + DoubleClickInterval() - 50);
  EXPECT_EQ(Page(), 7);
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);

  // Once the burst has paused for the interval, "Start" works: the archive here has meanwhile gone
  // from the disk, so the restore reports it gone and shows the list again.
  ASSERT_TRUE(RemoveDirectoryTree(m_window->Context().ArchiveRoot() + "1"));
  MouseClickAt(Control<QWidget>("btnNext5"), third + 2 * DoubleClickInterval());
  EXPECT_EQ(Page(), 6);
  ASSERT_EQ(m_dialogs.MessageCount(), 1u);
  EXPECT_NE(m_dialogs.LastEntry().text.find("jiný uživatel"), std::string::npos) << m_dialogs.LastEntry().text;
}

TEST_F(DoubleClickTest, APageChangedByTheKeyboardTakesAClickAtOnce) {
  MakeAgenda({"2026"});
  Start();
  ToSaveOptionsWithAYearMarked();
  Control<QWidget>("btnNext2")->setFocus(Qt::TabFocusReason);
  Key(Qt::Key_Space);
  ASSERT_EQ(Page(), 2);
  MouseClickAt(Control<QWidget>("btnPrev3"), 50000);
  EXPECT_EQ(Page(), 1);
}

}  // namespace vorlend::test
