// The window's side of the page flow (the flow itself is the page model's, tested without a
// window): the buttons that follow the model, every way out of the window, closing it during a
// job, and the foreground timer.
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

#include "platform/files.h"

#include "ui_fixture.h"

namespace vorlend::test {

TEST_F(WindowTest, RestoreRoadOnAgendaWithoutArchives) {
  MakeAgenda({"2026"});
  Start();
  Control<QRadioButton>("RadioButton2")->click();
  Click("btnNext1");
  EXPECT_EQ(Page(), 6);
  EXPECT_EQ(m_window->Archives().Count(), 0u);
  EXPECT_FALSE(Enabled("btnNext4"));
  EXPECT_FALSE(Enabled("btnDelete"));
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
  Click("btnPrev4");
  EXPECT_EQ(Page(), 0);
}

TEST_F(WindowTest, EveryEndButtonAndClosingTheWindowSaveSettings) {
  MakeAgenda({"2026"});
  const std::pair<int, const char*> ends[] = {{0, "btnKonec1"}, {1, "btnKonec2"}, {2, "btnKonec3"},
                                              {4, "btnKonec5"}, {5, "btnKonec6"}, {6, "btnkonec7"},
                                              {7, "btnkonec8"}, {8, "btnKonec9"}, {0, nullptr}};
  for (const auto& [page, button] : ends) {
    SCOPED_TRACE(button ? button : "closing the window");
    Start();
    m_window->show();
    m_window->ShowPage(page);
    EXPECT_FALSE(SettingsFileExists());
    Tick("chckPokladna", true);
    Tick("chckSkDoklady", false);
    Control<QRadioButton>("rbAllLock")->setChecked(true);
    if (button) {
      Click(button);
    } else {
      m_window->close();
    }
    EXPECT_TRUE(m_window->CloseRequested());
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(Setting("Pokladna"), "1");
    EXPECT_EQ(Setting("SkDoklady"), "0");
    EXPECT_EQ(Setting("Pfaktury"), "1");
    EXPECT_EQ(Setting("LockAction"), "1");
    DeleteFile(m_window->Context().SettingsFileName());
    m_window.reset();
  }
}

TEST_F(WindowTest, ClosingDuringSaveWaitsForItsEnd) {
  MakeAgenda({"2026"});
  Start();
  Click("btnNext1");
  m_window->grYearNameCellClick(0, 1);
  Click("btnNext2");
  ASSERT_EQ(Page(), 2);
  bool busyWhenClosed = false, visibleAfterClose = false, requested = false;
  // Runs while the Start handler processes pending messages.
  QTimer::singleShot(0, m_window.get(), [&] {
    busyWhenClosed = m_window->Busy();
    m_window->close();
    // The progress page says at once that the add-on closes when the job ends.
    visibleAfterClose = m_window->isVisible() && !Control<QLabel>("lblZavreni")->isHidden();
    requested = m_window->CloseRequested();
    m_window->close();  // a second attempt changes nothing
  });
  Click("btnNext3");
  EXPECT_TRUE(busyWhenClosed);
  EXPECT_TRUE(requested);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(Setting("Pfaktury"), "1");
  // The handler ran to its end (the page it chose), then the window closed.
  EXPECT_TRUE(Page() == 4 || Page() == 5) << Page();
  EXPECT_FALSE(m_window->isVisible());
  EXPECT_FALSE(m_window->Busy());
}

TEST_F(WindowTest, ForegroundTimerStartsOnShowAndStopsOnNext) {
  MakeAgenda({"2026"});
  Start();
  auto* timer = m_window->findChild<QTimer*>(QStringLiteral("tmSetFormInForeground"));
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->isActive());
  m_window->show();
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 2000);
  EXPECT_TRUE(timer->isSingleShot());
  Click("btnNext1");
  EXPECT_FALSE(timer->isActive());
  m_window->tmSetFormInForegroundTimer();
  EXPECT_TRUE(m_window->isVisible());
}

}  // namespace vorlend::test
