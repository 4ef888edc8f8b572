// The tests' child processes on Windows: CreateProcessW with pipes, arguments quoted as the C
// runtime reads them back.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "platform/win_text.h"
#include "support/agenda_builder.h"
#include "support/table_support.h"

namespace vorlend::test {

namespace {

HANDLE AsHandle(std::intptr_t kept) {
  return reinterpret_cast<HANDLE>(kept);
}

// One argument as CommandLineToArgvW and the C runtime split it again.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

std::wstring CommandLine(const std::vector<std::string>& argv) {
  std::wstring line;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    if (i > 0) line.push_back(L' ');
    line += Quoted(i == 0 ? win::WidePath(argv[i]) : win::Wide(argv[i]));
  }
  return line;
}

// A pipe whose one end the child inherits.
void MakePipe(HANDLE& read, HANDLE& write, bool childReads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!::CreatePipe(&read, &write, &sa, 0)) throw std::runtime_error("CreatePipe");
  ::SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
}

HANDLE Start(const std::vector<std::string>& argv, HANDLE in, HANDLE out, HANDLE err) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  std::wstring line = CommandLine(argv);
  // wine on a loaded machine now and then fails to start a program that starts a moment later:
  // the harness tries again and says so, so that a test never reads that as the program's status.
  for (int attempt = 1; !::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
       ++attempt) {
    const DWORD error = ::GetLastError();
    std::fprintf(stderr, "test harness: CreateProcessW failed (error %lu), attempt %d: %s\n",
                 static_cast<unsigned long>(error), attempt, argv[0].c_str());
    if (attempt == 5) return nullptr;
    ::Sleep(200 * attempt);
  }
  ::CloseHandle(pi.hThread);
  return pi.hProcess;
}

void ReadAll(HANDLE pipe, std::string& text) {
  char buffer[4096];
  DWORD n = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
}

int ExitCode(HANDLE process) {
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return static_cast<int>(code);
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, std::string* out, std::string* err) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
  HANDLE outRead, outWrite, errRead, errWrite;
  MakePipe(outRead, outWrite, false);
  MakePipe(errRead, errWrite, false);
  HANDLE process = Start(argv, nul, outWrite, errWrite);
  ::CloseHandle(nul);
  ::CloseHandle(outWrite);
  ::CloseHandle(errWrite);
  // Both pipes are read at once, so the child never blocks on a full one.
  std::string o, e;
  std::thread errReader([&] { ReadAll(errRead, e); });
  ReadAll(outRead, o);
  errReader.join();
  ::CloseHandle(outRead);
  ::CloseHandle(errRead);
  if (out) *out = o;
  if (err) *err = e;
  return process ? ExitCode(process) : -1;
}

HoldProcess::HoldProcess(const std::string& table, const std::string& index, int key,
                         const std::vector<std::string>& assignments) {
  std::vector<std::string> args = {ToolPath("tablectl"), "hold", table, "--index", index, "--key", std::to_string(key)};
  args.insert(args.end(), assignments.begin(), assignments.end());
  HANDLE inRead, inWrite, outRead, outWrite;
  MakePipe(inRead, inWrite, true);
  MakePipe(outRead, outWrite, false);
  HANDLE process = Start(args, inRead, outWrite, ::GetStdHandle(STD_ERROR_HANDLE));
  ::CloseHandle(inRead);
  ::CloseHandle(outWrite);
  m_stdin = reinterpret_cast<std::intptr_t>(inWrite);
  m_pid = process ? reinterpret_cast<std::intptr_t>(process) : -1;
  std::string line;
  char c = 0;
  DWORD n = 0;
  while (::ReadFile(outRead, &c, 1, &n, nullptr) && n == 1 && c != '\n') {
    if (c != '\r') line.push_back(c);
  }
  ::CloseHandle(outRead);
  m_locked = line == "locked";
}

HoldProcess::~HoldProcess() {
  Release();
}

int HoldProcess::Wait() {
  const int code = m_pid >= 0 ? ExitCode(AsHandle(m_pid)) : -1;
  m_pid = -1;
  return code;
}

int HoldProcess::Release() {
  if (m_stdin >= 0) ::CloseHandle(AsHandle(m_stdin));
  m_stdin = -1;
  return m_pid >= 0 ? Wait() : 0;
}

void HoldProcess::Kill() {
  if (m_pid >= 0) ::TerminateProcess(AsHandle(m_pid), 137);
  Wait();
  if (m_stdin >= 0) ::CloseHandle(AsHandle(m_stdin));
  m_stdin = -1;
}

// Windows has no immutable flag that binds its administrator.
bool SetImmutable(const std::string&, bool) {
  return false;
}

}  // namespace vorlend::test
