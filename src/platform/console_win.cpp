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

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  // The first request stops the job at its next step; the second one is left to the system.
  if (g_stops++ > 0 || !g_onStop) return FALSE;
  g_onStop();
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
  ::SetConsoleOutputCP(CP_UTF8);
  // The same bytes as on Linux: lines end in LF, and nothing is translated on the way out.
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
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
  ::ExitProcess(141);
}

}  // namespace vorlend
