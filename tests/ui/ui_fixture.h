#pragma once
// The window under test: a fresh agenda in a temporary directory, the real TfrmMain started on it
// with scripted dialogs and a recording shell, and helpers that press its controls by name.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "support/scripted_ports.h"
#include "ui/frm_main.h"

namespace vorlend::test {

class WindowTest : public ::testing::Test {
protected:
  WindowTest();
  ~WindowTest() override;

  // AGENDA.001 with its AGENDA.INI and the given years (at least one) as ROK.001, ROK.002, ...,
  // and the rights tables of a data directory in which the current user may or may not lock.
  void MakeAgenda(const std::vector<std::string>& yearNames, bool mayLock = true);
  // Money's parameter groups for the agenda, AKTROK on its last year.
  std::vector<std::string> Args() const;
  // Creates the window and runs the start-up; the test fails when the start-up ends the program.
  void Start();
  // A complete archive of the agenda in Db/`dir` (its description only) and its row in the list.
  void ListArchive(const std::string& name, const std::string& date, const std::string& time, const std::string& dir);

  template <typename T>
  T* Control(const char* name) const {
    T* control = m_window->findChild<T*>(QLatin1String(name));
    EXPECT_NE(control, nullptr) << "no control " << name;
    return control;
  }
  // Presses a button or a link the way the mouse does; shows the window first.
  void Click(const char* name);
  // Shows the window and makes it the active one, so it has a focus widget that keys go to.
  void ShowActive();
  // The objectName of the widget that has the keyboard focus ("" when none).
  std::string FocusName() const;
  // Presses and releases a key on the widget that has the focus.
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false);
  // A left-button press and release on the centre of `target`, stamped at `timestamp` ms; with
  // `secondOfDouble` the press is the double-click event the platform sends for a second click.
  void MouseClickAt(QWidget* target, quint64 timestamp, bool secondOfDouble = false);
  // Lets pending events run, so shown pages are painted.
  static void ProcessEvents();
  int Page() const { return m_window->CurrentPage(); }
  bool Enabled(const char* name) const { return Control<QWidget>(name)->isEnabled(); }
  void Tick(const char* checkBox, bool ticked);
  // The value of a key of the add-on settings file, "" when missing.
  std::string Setting(const char* key) const;
  bool SettingsFileExists() const;

  QTemporaryDir m_temp;
  std::string m_dataDir;    // trailing "/"
  std::string m_agendaDir;  // trailing "/"
  std::string m_agendaName = "Pekárna Žluťoučká";
  std::vector<std::string> m_years;
  ScriptedDialogs m_dialogs;
  RecordingShell m_shell;
  std::unique_ptr<ui::TfrmMain> m_window;
  int m_versionChecks = 0;
  bool m_versionAnswer = true;
};

}  // namespace vorlend::test
