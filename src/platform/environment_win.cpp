#include "platform/environment.h"

#include "platform/win_text.h"

#include <io.h>

#include <cstdio>

namespace vorlend {

std::string EnvironmentVariable(const char* name) {
  const std::wstring wide = win::Wide(name);
  const DWORD n = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  const DWORD got = ::GetEnvironmentVariableW(wide.c_str(), value.data(), n);
  value.resize(got < n ? got : 0);
  return win::Narrow(value);
}

// USERNAME is what Windows itself sets for the signed-in user.
std::string CurrentUserName() {
  for (const wchar_t* var : {L"USERNAME", L"USER"}) {
    wchar_t buffer[512];
    const DWORD n = ::GetEnvironmentVariableW(var, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n > 0 && n < std::size(buffer)) return win::Narrow(std::wstring_view(buffer, n));
  }
  wchar_t name[512];
  DWORD size = static_cast<DWORD>(std::size(name));
  if (::GetUserNameW(name, &size) && size > 0) return win::Narrow(std::wstring_view(name, size - 1));
  return {};
}

int CurrentProcessId() {
  return static_cast<int>(::GetCurrentProcessId());
}

bool ProcessGone(int pid) {
  if (pid <= 0) return false;
  HANDLE h = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!h) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no process of that id
  // A process that has ended but is still held open by someone is gone all the same.
  const bool ended = ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  ::CloseHandle(h);
  return ended;
}

bool StandardErrorIsTerminal() {
  return ::_isatty(::_fileno(stderr)) != 0;
}

}  // namespace vorlend
