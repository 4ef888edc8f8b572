#include "ui_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cstdio>

#include "host/rights_tables.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini.h"

namespace vorlend::test {

namespace {

void WriteIni(const std::string& path, const char* section, const char* key, const std::string& value) {
  ForceDirectories(ExtractFilePath(path));
  TIniFile ini(path);
  ini.WriteString(section, key, value);
}

}  // namespace

WindowTest::WindowTest() {
  m_dataDir = m_temp.path().toStdString() + "/DATA/";
  m_agendaDir = m_dataDir + "AGENDA.001/";
}

WindowTest::~WindowTest() {
  m_window.reset();
  QApplication::processEvents();
}

void WindowTest::ListArchive(const std::string& name, const std::string& date, const std::string& time,
                             const std::string& dir) {
  const std::string folder = m_window->Context().ArchiveRoot() + dir;
  ForceDirectories(folder);
  TIniFile info(folder + "/info");
  info.WriteString("MAIN", "AgendaExt", "001");
  info.WriteString("MAIN", "Correct", "1");
  info.WriteString("MAIN", "Name", name);
  info.WriteString("MAIN", "AgendaName", m_agendaName);
  info.WriteString("MAIN", "Date", date);
  info.WriteString("MAIN", "Time", time);
  m_window->Archives().Append({name, date, time, m_agendaName, dir});
}

void WindowTest::MakeAgenda(const std::vector<std::string>& yearNames, bool mayLock) {
  m_years = yearNames;
  WriteIni(m_agendaDir + "AGENDA.INI", "Údaje o firmě", "Název-obchodní", m_agendaName);
  // The current system user is a Money user who logs in by the system account (Money passes no
  // password then), with or without the right to lock documents.
  RightsUser user;
  user.Name = "Účetní";
  user.osAccount = CurrentUserName();
  user.UzamceniDo = mayLock;
  const auto error = WriteNewModelRights(m_dataDir, {user}, true);
  ASSERT_FALSE(error) << *error;
  for (std::size_t i = 0; i < yearNames.size(); ++i) {
    char dir[32];
    std::snprintf(dir, sizeof dir, "ROK.%03zu/", i + 1);
    WriteIni(m_agendaDir + dir + "ROK.INI", "Global", "Účetní rok", yearNames[i]);
  }
}

std::vector<std::string> WindowTest::Args() const {
  char dir[32];
  std::snprintf(dir, sizeof dir, "ROK.%03zu", m_years.size());
  return {"?MAIN=1?MAIN", "?AKTROK=" + m_agendaDir + dir + "?AKTROK", "?MVERZE=12.5?MVERZE", "?AKTHESLO=?AKTHESLO",
          "?AKTCFGNAME=Test?AKTCFGNAME"};
}

void WindowTest::Start() {
  m_window = std::make_unique<ui::TfrmMain>(&m_dialogs, &m_shell);
  m_window->SetVersionCheck([this](const HostContext& ctx, Dialogs&, Shell&) {
    ++m_versionChecks;
    EXPECT_EQ(ctx.MoneyVersionText, "12.5");
    return m_versionAnswer;
  });
  ASSERT_FALSE(m_window->RunStartup(Args())) << (m_dialogs.Last() ? m_dialogs.LastEntry().text : "");
}

void WindowTest::Click(const char* name) {
  QWidget* target = Control<QWidget>(name);
  ASSERT_NE(target, nullptr);
  // Only what the user sees can be pressed: the window is shown and the control is on its page.
  if (!m_window->isVisible()) m_window->show();
  ASSERT_TRUE(target->isVisible()) << name << " is not on the current page";
  if (auto* button = qobject_cast<QAbstractButton*>(target)) {
    ASSERT_TRUE(button->isEnabled()) << name << " is disabled";
    button->click();
    return;
  }
  const QPointF centre = QRectF(target->rect()).center();
  QMouseEvent press(QEvent::MouseButtonPress, centre, target->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, target->mapToGlobal(centre), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  QApplication::sendEvent(target, &release);
}

void WindowTest::ShowActive() {
  m_window->show();
  m_window->activateWindow();
  for (int i = 0; i < 50 && !m_window->isActiveWindow(); ++i) ProcessEvents();
  ASSERT_TRUE(m_window->isActiveWindow());
}

std::string WindowTest::FocusName() const {
  QWidget* focus = QApplication::focusWidget();
  return focus ? focus->objectName().toStdString() : std::string();
}

void WindowTest::Key(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat) {
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr) << "nothing has the focus";
  // Keys come a second apart, as a person presses them: never within a double-click interval.
  static quint64 stamp = 0;
  stamp += 1000;
  QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
  press.setTimestamp(stamp);
  QApplication::sendEvent(focus, &press);
  // The press may have moved the focus (Tab) or closed the page; the release goes where it is now.
  if (QWidget* now = QApplication::focusWidget()) {
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(), autoRepeat);
    release.setTimestamp(stamp + 50);
    QApplication::sendEvent(now, &release);
  }
}

void WindowTest::MouseClickAt(QWidget* target, quint64 timestamp, bool secondOfDouble) {
  ASSERT_NE(target, nullptr);
  ASSERT_TRUE(target->isVisible()) << target->objectName().toStdString() << " is not on the current page";
  const QPointF centre = QRectF(target->rect()).center();
  const QPointF global = target->mapToGlobal(centre);
  QMouseEvent press(secondOfDouble ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, centre, global,
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  press.setTimestamp(timestamp);
  QApplication::sendEvent(target, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  release.setTimestamp(timestamp + 40);
  QApplication::sendEvent(target, &release);
}

void WindowTest::ProcessEvents() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

void WindowTest::Tick(const char* checkBox, bool ticked) {
  Control<QCheckBox>(checkBox)->setChecked(ticked);
}

std::string WindowTest::Setting(const char* key) const {
  TIniFile ini(m_window->Context().SettingsFileName());
  return ini.ReadString("SETTINGS", key, "");
}

bool WindowTest::SettingsFileExists() const {
  return FileExists(m_window->Context().SettingsFileName());
}

}  // namespace vorlend::test
