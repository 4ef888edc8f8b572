// The version check's system services on Windows: GUIDs from the RPC runtime and downloads
// through WinHTTP, with the same limits and answers as on Linux.
#include "vercheck/url_download.h"

#include "platform/win_text.h"

#include <rpc.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace vorlend {

namespace {

// A version file is a few hundred bytes; anything far beyond is not one and must not fill the disk.
constexpr std::size_t kMaxDownloadBytes = std::size_t{1024} * 1024;

struct Internet {
  HINTERNET h = nullptr;
  explicit Internet(HINTERNET handle) : h(handle) {}
  ~Internet() {
    if (h) ::WinHttpCloseHandle(h);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
};

struct File {
  HANDLE h;
  ~File() {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};

bool IsLoopback(const std::wstring& host) {
  return host == L"127.0.0.1" || host == L"localhost" || host == L"::1" || host == L"[::1]";
}

int Remaining(std::chrono::steady_clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::int64_t>(left.count(), 1));
}

// Sends the request and writes the answer's body into the file; false on any failure.
bool Transfer(HINTERNET r, const std::string& fileName, std::chrono::steady_clock::time_point until,
              const std::atomic<bool>& abandoned) {
  if (!::WinHttpSendRequest(r, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(r, nullptr)) {
    return false;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::WinHttpQueryHeaders(r, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &status, &size, WINHTTP_NO_HEADER_INDEX) ||
      status >= 400) {
    return false;
  }
  if (abandoned) return false;
  // Shared for deletion: a caller that gave up on the transfer removes the file all the same.
  File file{::CreateFileW(win::WidePath(fileName).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return false;
  std::size_t written = 0;
  char buffer[16384];
  for (;;) {
    // What is left of the whole transfer's time bounds every further read.
    const int left = Remaining(until);
    ::WinHttpSetTimeouts(r, left, left, left, left);
    if (abandoned || std::chrono::steady_clock::now() >= until) return false;
    DWORD n = 0;
    if (!::WinHttpReadData(r, buffer, sizeof buffer, &n)) return false;
    if (n == 0) break;
    if (written + n > kMaxDownloadBytes) return false;
    DWORD w = 0;
    if (!::WriteFile(file.h, buffer, n, &w, nullptr) || w != n) return false;
    written += n;
  }
  return ::CloseHandle(std::exchange(file.h, INVALID_HANDLE_VALUE)) != 0;
}

}  // namespace

std::string NewGuidText() {
  UUID id{};
  ::UuidCreate(&id);
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  return text;
}

namespace {

bool Download(const std::string& url, const std::string& fileName, const DownloadLimits& limits,
              std::chrono::steady_clock::time_point until, const std::atomic<bool>& abandoned) {
  std::wstring wideUrl = win::Wide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  // Loopback never goes through a proxy.
  Internet session(::WinHttpOpen(L"Vorlend",
                                 IsLoopback(host) ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.h) return false;
  DWORD redirects = 5;
  ::WinHttpSetOption(session.h, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
  Internet connection(::WinHttpConnect(session.h, host.c_str(), parts.nPort, 0));
  if (!connection.h) return false;
  Internet request(::WinHttpOpenRequest(connection.h, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request.h) return false;
  // The limits are set on the request itself: not every WinHTTP hands a session's on to it.
  const int connect = static_cast<int>(limits.connect.count());
  const int total = static_cast<int>(limits.total.count());
  ::WinHttpSetTimeouts(request.h, connect, connect, total, total);
  return Transfer(request.h, fileName, until, abandoned);
}

struct Outcome {
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;
  bool ok = false;
  std::atomic<bool> abandoned{false};
};

}  // namespace

// The transfer runs on a thread of its own, and the caller waits for it at most the whole
// transfer's time: not every WinHTTP ends a call to a server that accepted and never answers by
// its own time-outs. A transfer given up on writes nothing more.
bool DownloadToFile(const std::string& url, const std::string& fileName, const DownloadLimits& limits) {
  const auto until = std::chrono::steady_clock::now() + limits.total;
  auto outcome = std::make_shared<Outcome>();
  std::thread([outcome, url, fileName, limits, until] {
    const bool ok = Download(url, fileName, limits, until, outcome->abandoned);
    std::lock_guard lock(outcome->mutex);
    outcome->finished = true;
    outcome->ok = ok;
    outcome->changed.notify_all();
  }).detach();
  std::unique_lock lock(outcome->mutex);
  if (!outcome->changed.wait_until(lock, until + std::chrono::milliseconds(200), [&] { return outcome->finished; })) {
    outcome->abandoned = true;
    return false;
  }
  return outcome->ok;
}

}  // namespace vorlend
