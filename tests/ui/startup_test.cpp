// The window's start-up: what it shows after a good start, and the starts that end the program
// before the window is ever shown.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QRadioButton>
#include <QTextDocument>
#include <QToolTip>

#include "app/startup.h"
#include "app/wizard_texts.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/temp_dir.h"
#include "ui/widgets.h"
#include "ui_fixture.h"

namespace vorlend::test {

TEST_F(WindowTest, StartupShowsVersionAgendaAndRememberedSettings) {
  MakeAgenda({"2025", "2026"});
  Start();
  EXPECT_EQ(Control<QLabel>("lblProgramVersion")->text(), QStringLiteral("Verze 1.14"));
  EXPECT_EQ(Control<QLabel>("lblAgendaName")->text().toStdString(), m_agendaName);
  EXPECT_EQ(Page(), 0);
  EXPECT_TRUE(Control<QRadioButton>("RadioButton1")->isChecked());
  EXPECT_FALSE(m_window->isVisible());
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
  EXPECT_EQ(m_window->size(), QSize(527, 338));
  // Every fixed text is the one the Win32 window shows too, character for character.
  for (const ControlText& fixed : kControlTexts) {
    QWidget* control = Control<QWidget>(fixed.name);
    ASSERT_NE(control, nullptr);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(control)) text = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) text = button->text();
    if (auto* box = qobject_cast<QGroupBox*>(control)) text = box->title();
    EXPECT_EQ(text.toStdString(), fixed.text) << fixed.name;
  }

  // First run: received and issued invoices and stock documents ticked, unlock all.
  for (const char* off : {"chckPokladna", "chckBanka", "chckPohledavky", "chckZavazky", "chckInterni"})
    EXPECT_FALSE(Control<QCheckBox>(off)->isChecked()) << off;
  for (const char* on : {"chckPfaktury", "chckVfkatury", "chckSkDoklady"})
    EXPECT_TRUE(Control<QCheckBox>(on)->isChecked()) << on;
  EXPECT_TRUE(Control<QRadioButton>("rbAllUnlock")->isChecked());

  // A remembered choice is loaded into the controls; an unknown lock action means no action.
  const std::string settingsFile = m_window->Context().SettingsFileName();
  m_window.reset();
  {
    TIniFile ini(settingsFile);
    ini.WriteBool("SETTINGS", "Banka", true);
    ini.WriteBool("SETTINGS", "SkDoklady", false);
    ini.WriteInteger("SETTINGS", "LockAction", 7);
  }
  Start();
  EXPECT_TRUE(Control<QCheckBox>("chckBanka")->isChecked());
  EXPECT_FALSE(Control<QCheckBox>("chckSkDoklady")->isChecked());
  EXPECT_TRUE(Control<QRadioButton>("rbAllNoAction")->isChecked());
  Click("btnKonec1");
  EXPECT_EQ(Setting("LockAction"), "2");

  // A file too large to read whole: the defaults, one warning naming it, and the file stays as it
  // was when the window closes.
  m_window.reset();
  const std::string large = "[SETTINGS]\r\nBanka=1\r\n" + std::string(kMaxSmallFileBytes, ';');
  WriteBytes(ResolvePath(settingsFile), large);
  m_dialogs.Clear();
  Start();
  EXPECT_FALSE(Control<QCheckBox>("chckBanka")->isChecked());
  ASSERT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Warning);
  EXPECT_NE(m_dialogs.LastEntry().text.find(settingsFile), std::string::npos);
  Click("btnKonec1");
  EXPECT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(ReadBytes(ResolvePath(settingsFile)), large);
}

TEST_F(WindowTest, ALongAgendaNameIsCutWithAnEllipsisAndShownWholeInTheTooltip) {
  m_agendaName = "Truhlářství Novák a synové, výroba nábytku na zakázku & <montáže>, Brno-Královo Pole";
  MakeAgenda({"2026"});
  Start();
  ShowActive();
  auto* label = Control<ui::ElidedLabel>("lblAgendaName");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text().toStdString(), m_agendaName);
  EXPECT_EQ(m_window->size(), QSize(527, 338));
  const QString shown = label->DisplayedText();
  EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(QString::fromStdString(m_agendaName).startsWith(shown.chopped(1)));
  EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
  EXPECT_LE(label->geometry().right(), label->parentWidget()->contentsRect().right());

  // The tooltip shows the whole name, its "&" and "<...>" as written.
  QHelpEvent help(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
  QApplication::sendEvent(label, &help);
  ASSERT_TRUE(QToolTip::isVisible());
  QTextDocument tip;
  tip.setHtml(QToolTip::text());
  EXPECT_EQ(tip.toPlainText().toStdString(), m_agendaName);
  QToolTip::hideText();
  QElapsedTimer waited;
  waited.start();
  while (QToolTip::isVisible() && waited.elapsed() < 3000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  ASSERT_FALSE(QToolTip::isVisible());

  // A name that fits is shown as it is, with no tooltip.
  label->setText(QStringLiteral("Pekárna"));
  EXPECT_EQ(label->DisplayedText(), QStringLiteral("Pekárna"));
  QApplication::sendEvent(label, &help);
  EXPECT_FALSE(QToolTip::isVisible());
}

TEST_F(WindowTest, StartupFailuresEndBeforeTheWindowShows) {
  MakeAgenda({"2026"});
  const std::vector<std::string> good = Args();
  auto without = [&](const std::string& name) {
    std::vector<std::string> args;
    for (const auto& a : good)
      if (a.rfind("?" + name + "=", 0) != 0) args.push_back(a);
    return args;
  };
  auto withVersion = [&](const std::string& version) {
    std::vector<std::string> args = without("MVERZE");
    args.push_back("?MVERZE=" + version + "?MVERZE");
    return args;
  };
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {"no parameters", {}, kIncompleteParametersText},
      {"MAIN missing", without("MAIN"), kIncompleteParametersText},
      {"AKTROK missing", without("AKTROK"), kIncompleteParametersText},
      {"MVERZE missing", without("MVERZE"), kIncompleteParametersText},
      {"AKTHESLO missing", without("AKTHESLO"), kIncompleteParametersText},
      {"AKTCFGNAME missing", without("AKTCFGNAME"), kIncompleteParametersText},
      {"MVERZE without digits", withVersion("verze"), kMoneyVersionErrorText},
      {"MVERZE with two dots", withVersion("12.5.1"), kMoneyVersionErrorText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedDialogs boxes;
    ui::TfrmMain w(&boxes, &m_shell);
    EXPECT_TRUE(w.RunStartup(c.args));
    EXPECT_FALSE(w.isVisible());
    ASSERT_EQ(boxes.Entries().size(), 1u);
    EXPECT_EQ(boxes.Entries()[0].kind, MsgKind::Error);
    EXPECT_EQ(boxes.Entries()[0].text, c.message);
    // Nothing is remembered from a run that never started, also when the window is closed.
    w.close();
    EXPECT_FALSE(DirectoryExists(m_dataDir + "KPX/Vorlend/Setting/") &&
                 FileExists(m_dataDir + "KPX/Vorlend/Setting/Test001.ini"));
  }
}

TEST_F(WindowTest, StartupWithoutTheLockRightEndsWithTheWarning) {
  MakeAgenda({"2026"}, false);
  ui::TfrmMain w(&m_dialogs, &m_shell);
  EXPECT_TRUE(w.RunStartup(Args()));
  EXPECT_FALSE(w.isVisible());
  ASSERT_EQ(m_dialogs.Entries().size(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Warning);
  EXPECT_EQ(m_dialogs.LastEntry().text, kNoRightsText);
  w.close();
  EXPECT_FALSE(FileExists(w.Context().SettingsFileName()));
}

}  // namespace vorlend::test
