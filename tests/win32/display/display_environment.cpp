#include "display/display_environment.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win_text.h"

namespace vorlend::test {

std::string DisplayEnvironment::s_skipReason;

namespace {

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool LinuxFileExists(const char* path) {
  return GetFileAttributesW(win::Wide(std::string("Z:") + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadLinuxFile(const std::string& path) {
  std::ifstream in(std::filesystem::path(win::Wide("Z:" + path)));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A file of /tmp no other run uses.
std::string FreshFile(const char* what) {
  static int counter = 0;
  char name[96];
  std::snprintf(name, sizeof name, "/tmp/vorlend-display-%lu-%d-%s", GetCurrentProcessId(), ++counter, what);
  DeleteFileW(win::Wide(std::string("Z:") + name).c_str());
  return name;
}

}  // namespace

bool DisplayEnvironment::RunOnLinux(const std::string& command, const std::function<void()>& pump, DWORD timeoutMs) {
  // A Linux program started from here gives no handle to wait on: it writes its status into a
  // file when it ends.
  const std::string done = FreshFile("status");
  std::wstring line = win::Wide("/bin/sh -c \"" + command + "; echo $? > " + done + "\"");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  const DWORD started = GetTickCount();
  std::string status;
  while ((status = ReadLinuxFile(done)).empty()) {
    if (GetTickCount() - started > timeoutMs) return false;
    if (pump) pump();
    Sleep(20);
  }
  DeleteFileW(win::Wide("Z:" + done).c_str());
  return status.rfind('0', 0) == 0;
}

void DisplayEnvironment::SetUp() {
  if (!UnderWine()) {
    s_skipReason = "these tests drive the window with xdotool on the X display wine draws on (Linux, under wine)";
    return;
  }
  if (!LinuxFileExists("/usr/bin/xdotool")) {
    s_skipReason = "xdotool is not installed (Debian package xdotool)";
    return;
  }
  if (!LinuxFileExists("/usr/bin/openbox")) {
    s_skipReason = "no window manager: openbox is not installed (Debian package openbox)";
    return;
  }
  // A manager already running keeps the display; openbox then ends at once.
  const std::string pidFile = FreshFile("manager");
  if (!RunOnLinux("openbox --sm-disable >/dev/null 2>&1 & echo $! > " + pidFile, {})) {
    s_skipReason = "openbox could not be started";
    return;
  }
  m_managerPid = ReadLinuxFile(pidFile);
  while (!m_managerPid.empty() && (m_managerPid.back() == '\n' || m_managerPid.back() == '\r')) m_managerPid.pop_back();
  DeleteFileW(win::Wide("Z:" + pidFile).c_str());
  Sleep(800);
}

void DisplayEnvironment::TearDown() {
  if (!m_managerPid.empty()) RunOnLinux("kill " + m_managerPid, {});
}

}  // namespace vorlend::test
