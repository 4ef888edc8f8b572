#include "platform/console.h"

#include "platform/win_text.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include <atomic>

namespace vorlend {

namespace {
void (*g_onStop)() = nullptr;
std::atomic<int> g_stops{0};

// The status a shell gives a program ended by Ctrl+C (SIGINT).
constexpr UINT kStoppedAtOnce = 130;
// The console's output code page before the program set UTF-8; put back on every way out.
std::atomic<UINT> g_codePage{0};

[[noreturn]] void ExitPuttingBack(UINT status) {
  if (const UINT page = g_codePage.load()) ::SetConsoleOutputCP(page);
  ::ExitProcess(status);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  // The first request stops the job at its next step; the second one ends the program now, with
  // what it committed so far kept.
  if (g_stops++ > 0 || !g_onStop) ExitPuttingBack(kStoppedAtOnce);
  g_onStop();
  // A closed window ends the process as soon as this returns: the job gets a few seconds to stop
  // at its next step and end with its own status first.
  if (event == CTRL_CLOSE_EVENT) {
    ::Sleep(4000);
    ExitPuttingBack(kStoppedAtOnce);
  }
  return TRUE;
}
}  // namespace

ConsoleArguments::ConsoleArguments(int argc, char** argv) {
  int n = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  if (wide) {
    for (int i = 0; i < n; ++i) m_texts.push_back(win::Narrow(wide[i]));
    ::LocalFree(wide);
  } else {
    m_texts.assign(argv, argv + argc);
  }
  for (std::string& t : m_texts) m_pointers.push_back(t.data());
  m_pointers.push_back(nullptr);
  m_codePage = ::GetConsoleOutputCP();
  g_codePage = m_codePage;
  ::SetConsoleOutputCP(CP_UTF8);
  // The same bytes as on Linux: lines end in LF, and nothing is translated on the way out.
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

ConsoleArguments::~ConsoleArguments() {
  if (m_codePage != 0) ::SetConsoleOutputCP(m_codePage);
}

void InstallStopHandler(void (*onStop)()) {
  g_onStop = onStop;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// Windows raises no signal for a pipe whose reader went away: the write fails.
void IgnoreBrokenPipes() {}

bool StandardOutputReaderGone() {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || ::GetFileType(out) != FILE_TYPE_PIPE) return false;
  DWORD written = 0;
  if (::WriteFile(out, "", 0, &written, nullptr)) return false;
  const DWORD error = ::GetLastError();
  return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
}

void EndForBrokenPipe() {
  std::fflush(stderr);
  ExitPuttingBack(141);
}

}  // namespace vorlend
