#pragma once
// The Win32 window under test: an agenda in a temporary folder, the real TfrmMain started on it with
// scripted dialogs and a recording shell, shown on the display wine draws on, and helpers that
// press its controls by name and hand it messages as its message loop does.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "support/agenda_builder.h"
#include "support/scripted_ports.h"
#include "support/temp_dir.h"
#include "win32/main_window.h"

namespace vorlend::test {

class Win32WindowTest : public ::testing::Test {
protected:
  Win32WindowTest();
  ~Win32WindowTest() override;

  // Years 2025 (Rok.001) and 2026 (Rok.002), each with its received invoices: `documents` of them,
  // every third locked; rights tables in which the user holds every right.
  void MakeAgenda(int documents = 30);
  // Creates the window, runs the start-up on the agenda's last year and shows the window; the test
  // fails when the start-up ends the program.
  void Start();

  HWND Control(const char* name) const;
  std::string Text(const char* name) const;
  bool Visible(const char* name) const;
  bool Enabled(const char* name) const;
  WizardPage Page() const { return m_window->Model().Page(); }
  // The name of the control that has the keyboard focus ("" when none of the window's).
  std::string FocusName() const;

  // Presses a button as Space does, or a link as the mouse does, then lets the window handle what
  // followed.
  void Press(const char* name);
  // A key pressed and released on the control that has the focus, through the window's loop.
  void Key(WPARAM key, bool repeat = false);
  // A press and a release of the left button on the centre of a control, stamped `time` and
  // `time` + 40 ms, through the window's loop as the system would queue them. `second` makes the
  // press the second of a double click.
  void ClickAt(const char* name, DWORD time, bool second = false);
  // A press and release of the left button at a point of a control's client area, as queued input.
  void MouseAt(HWND target, POINT at, bool second = false);
  // Lets the window handle what waits in its queue and paint what it must.
  void Pump();

  // The locks of the received invoices of a year ("Rok.002"), key -> "0" / "1".
  std::vector<std::pair<std::int32_t, std::string>> Invoices(const std::string& yearDir) const;

  TempDir m_temp;
  std::unique_ptr<AgendaBuilder> m_agenda;
  ScriptedDialogs m_dialogs;
  RecordingShell m_shell;
  std::unique_ptr<win32::TfrmMain> m_window;
};

}  // namespace vorlend::test
