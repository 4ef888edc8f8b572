// The window on a real X display under a window manager, as a user at a desk meets it.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "display_environment.h"
#include "platform/files.h"
#include "ui/qt_ports.h"
#include "ui_fixture.h"
#include "x11_probe.h"

namespace vorlend::test {

namespace {

// Lets the event loop run until `done` holds or `ms` have passed; true when it holds.
bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer waited;
  waited.start();
  while (!done()) {
    if (waited.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void Pump(int ms) {
  WaitFor([] { return false; }, ms);
}

bool Listed(X11Probe& x, std::uint32_t window) {
  const auto order = x.Stacking();
  return std::find(order.begin(), order.end(), window) != order.end();
}

}  // namespace

class DisplayTest : public WindowTest {
protected:
  void SetUp() override { SKIP_WITHOUT_DISPLAY(); }
  void TearDown() override {
    if (m_cover) {
      m_cover->kill();
      m_cover->waitForFinished(3000);
    }
  }

  // The wizard, shown and managed.
  void ShowWindow() {
    MakeAgenda({"2026"});
    Start();
    m_window->show();
    const auto self = static_cast<std::uint32_t>(m_window->winId());
    ASSERT_TRUE(WaitFor([&] { return Listed(m_x, self); })) << "the window manager never listed the window";
    Pump(300);
  }

  // Another program's window over `area`; returns its window id once the manager lists it.
  std::uint32_t ShowCover(const QRect& area) {
    m_cover = std::make_unique<QProcess>();
    m_cover->start(QString::fromStdString(DisplayEnvironment::Self()),
                   {QStringLiteral("--cover"), QString::number(area.x()), QString::number(area.y()),
                    QString::number(area.width()), QString::number(area.height())});
    std::uint32_t id = 0;
    WaitFor([&] {
      if (m_cover->canReadLine()) id = static_cast<std::uint32_t>(m_cover->readLine().trimmed().toULongLong());
      return id != 0 && Listed(m_x, id);
    });
    return id;
  }

  // Runs xdotool with `args` while the window goes on handling events; false when it is missing.
  bool Xdotool(const QStringList& args) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (tool.isEmpty()) return false;
    QProcess run;
    run.start(tool, args);
    if (!WaitFor([&] { return run.state() == QProcess::NotRunning; }, 10000)) {
      ADD_FAILURE() << "xdotool did not finish";
      run.kill();
      run.waitForFinished(3000);
      return true;
    }
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    Pump(600);
    return true;
  }

  // Two clicks of the left button `delayMs` apart at the centre of `name`, from the real pointer.
  bool DoubleClick(const char* name, int delayMs = 120) {
    QWidget* target = Control<QWidget>(name);
    const QPoint at = target->mapToGlobal(target->rect().center());
    // (No "mousemove --sync": it waits for ever when the pointer is already there.)
    return Xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                    QStringLiteral("sleep"), QStringLiteral("0.2"), QStringLiteral("click"), QStringLiteral("--repeat"),
                    QStringLiteral("2"), QStringLiteral("--delay"), QString::number(delayMs), QStringLiteral("1")});
  }

  // Keys typed on the real keyboard into the window that has the focus.
  bool Keys(const QString& key) { return Xdotool({QStringLiteral("key"), key}); }

  X11Probe m_x;
  std::unique_ptr<QProcess> m_cover;
};

TEST_F(DisplayTest, TheForegroundTimerBringsTheWindowOnTopOnceWithoutTheFocus) {
  ShowWindow();
  auto* timer = m_window->findChild<QTimer*>(QStringLiteral("tmSetFormInForeground"));
  ASSERT_NE(timer, nullptr);
  // Held until another program's window covers the wizard and has the focus.
  timer->stop();
  const auto self = static_cast<std::uint32_t>(m_window->winId());
  const std::uint32_t other = ShowCover(m_window->frameGeometry().adjusted(-40, -40, 40, 40));
  ASSERT_NE(other, 0u);
  ASSERT_TRUE(WaitFor([&] { return m_x.Above(other, self) && m_x.ActiveWindow() == other; }))
      << "the other window never covered the wizard";

  QElapsedTimer since;
  since.start();
  timer->start();
  ASSERT_TRUE(WaitFor([&] { return m_x.Above(self, other); }, 6000)) << "the wizard stayed under the other window";
  EXPECT_GE(since.elapsed(), 1900);
  Pump(500);
  EXPECT_TRUE(m_x.Above(self, other));
  EXPECT_EQ(m_x.ActiveWindow(), other) << "the wizard took the focus";
  EXPECT_FALSE(m_window->isActiveWindow());

  // Once only: the user brings the other window back, and it stays on top.
  m_x.Activate(other);
  ASSERT_TRUE(WaitFor([&] { return m_x.Above(other, self); }));
  Pump(3000);
  EXPECT_TRUE(m_x.Above(other, self));
}

TEST_F(DisplayTest, MessageBoxesShowTheBareTitleOfTheirKind) {
  ShowWindow();
  EXPECT_EQ(m_x.Title(static_cast<std::uint32_t>(m_window->winId())), vorlend::kAppTitle);
  ui::QtDialogs boxes(m_window.get());
  const std::pair<MsgKind, const char*> kinds[] = {{MsgKind::Error, "Chyba"}, {MsgKind::Confirmation, "Dotaz"}};
  for (const auto& [kind, title] : kinds) {
    std::string seen;
    // Read from the manager's side once the box is up, then answered.
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      seen = m_x.Title(static_cast<std::uint32_t>(box->winId()));
      if (seen.empty()) return;
      poll.stop();
      box->buttons().front()->click();
    });
    poll.start();
    if (kind == MsgKind::Confirmation) {
      boxes.Question(kind, "Smazání uloženého archivu je nevratná operace. Opravdu to chcete ?");
    } else {
      boxes.Message(kind, "Chyba: vybraná agenda neobsahuje žádný účetní rok.");
    }
    EXPECT_EQ(seen, title);
  }
}

// Enter and the keypad's Enter press the focused button; Enter where no button has the focus
// goes on only where that starts nothing; every question whose "Ano" deletes or stops something
// opens with "Ne" as its default.
TEST_F(DisplayTest, EnterPressesTheFocusedButtonAndTheRiskyQuestionsDefaultToNe) {
  ShowWindow();
  ShowActive();
  if (!Keys(QStringLiteral("Tab"))) GTEST_SKIP() << "skipped: xdotool is not installed";
  ASSERT_EQ(FocusName(), "btnNext1");
  Keys(QStringLiteral("Return"));
  ASSERT_EQ(Page(), 1);
  ASSERT_EQ(FocusName(), "grYearName");
  Keys(QStringLiteral("space"));  // marks the year
  Keys(QStringLiteral("KP_Enter"));
  ASSERT_EQ(Page(), 2);
  ASSERT_EQ(FocusName(), "edtNazevMapy");
  Keys(QStringLiteral("Return"));  // never "Start"
  EXPECT_EQ(Page(), 2);
  EXPECT_FALSE(DirectoryExists(m_window->Context().ArchiveRoot()));
  Keys(QStringLiteral("Tab"));
  ASSERT_EQ(FocusName(), "btnPrev3");
  Keys(QStringLiteral("KP_Enter"));
  EXPECT_EQ(Page(), 1);
  EXPECT_TRUE(m_dialogs.Entries().empty());

  // The pages after a save and after a restore begin at "Konec", never at the advertising link.
  for (const int page : {4, 8}) {
    m_window->ShowPage(page);
    Pump(100);
    EXPECT_NE(FocusName().rfind("btnKonec", 0), std::string::npos) << FocusName();
  }

  ui::QtDialogs boxes(m_window.get());
  const std::pair<QuestionId, bool> questions[] = {{QuestionId::DeleteArchive, false},
                                                   {QuestionId::DeleteAfterRestore, false},
                                                   {QuestionId::StopJob, false},
                                                   {QuestionId::GoOnDespiteUnfinished, false},
                                                   {QuestionId::Other, true}};
  for (const auto& [id, answer] : questions) {
    SCOPED_TRACE(static_cast<int>(id));
    // Enter on the real keyboard once the box is up and has the focus.
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box || !box->isVisible() || !box->isActiveWindow()) return;
      poll.stop();
      QProcess::startDetached(QStandardPaths::findExecutable(QStringLiteral("xdotool")),
                              {QStringLiteral("key"), QStringLiteral("Return")});
    });
    poll.start();
    EXPECT_EQ(boxes.Ask(id, MsgKind::Confirmation, "Opravdu to chcete ?"), answer);
  }
}

TEST_F(DisplayTest, ARealDoubleClickOnNextNeverPressesTheNextPagesStart) {
  ShowWindow();
  Click("btnNext1");
  ASSERT_EQ(Page(), 1);
  m_window->grYearNameCellClick(0, 1);
  Pump(300);
  if (!DoubleClick("btnNext2")) GTEST_SKIP() << "skipped: xdotool is not installed";
  EXPECT_EQ(Page(), 2);
  EXPECT_FALSE(m_window->Busy());
  EXPECT_FALSE(DirectoryExists(m_window->Context().ArchiveRoot()));
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);

  // The restore road: the double click shows the recapitulation and restores nothing (the
  // archive has its description only: a restore would report its missing file list).
  ListArchive("první", "1.3.2026", "8:00:00", "1");
  m_window->RefreshArchiveList();
  m_window->ShowPage(6);
  Pump(300);
  ASSERT_TRUE(DoubleClick("btnNext4"));
  EXPECT_EQ(Page(), 7);
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);

  // Two clicks 450 ms apart, slower than the platform's double click: the second lands on the
  // next page's button in the same place and is still ignored, on every button that changes the
  // page.
  Control<QRadioButton>("RadioButton2")->setChecked(true);
  // (Back on the first page the list is read from the disk again.)
  const std::pair<const char*, int> steps[] = {
      {"btnPrev5", 6}, {"btnNext4", 7}, {"btnPrev5", 6}, {"btnPrev4", 0}, {"btnNext1", 6}};
  for (const auto& [button, page] : steps) {
    SCOPED_TRACE(button);
    Pump(700);
    ASSERT_TRUE(DoubleClick(button, 450));
    EXPECT_EQ(Page(), page);
  }
  m_window->ShowPage(0);
  Control<QRadioButton>("RadioButton1")->setChecked(true);
  const std::pair<const char*, int> saveRoad[] = {{"btnNext1", 1}, {"btnNext2", 2}, {"btnPrev3", 1}, {"btnPrev2", 0}};
  for (const auto& [button, page] : saveRoad) {
    SCOPED_TRACE(button);
    if (Page() == 1) m_window->grYearNameCellClick(0, 1);
    Pump(700);
    ASSERT_TRUE(DoubleClick(button, 450));
    EXPECT_EQ(Page(), page);
  }
  EXPECT_FALSE(m_window->Busy());
  EXPECT_FALSE(DirectoryExists(m_window->Context().ArchiveRoot() + "2"));  // no save began
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
}

}  // namespace vorlend::test
