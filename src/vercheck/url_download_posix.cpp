#include "vercheck/url_download.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <curl/curl.h>
#include <uuid/uuid.h>

namespace vorlend {

namespace {

// A version file is a few hundred bytes; anything far beyond is not one and must not fill the disk.
constexpr std::size_t kMaxDownloadBytes = std::size_t{1024} * 1024;

struct Sink {
  std::FILE* file = nullptr;
  std::size_t written = 0;
};

extern "C" std::size_t WriteToSink(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t bytes = size * count;
  if (sink->written + bytes > kMaxDownloadBytes) return 0;  // a short count makes curl fail the transfer
  const std::size_t done = std::fwrite(data, 1, bytes, sink->file);
  sink->written += done;
  return done;
}

// Setting CURLOPT_NOPROXY replaces the user's no_proxy list, so loopback is added to it, not put
// in its place.
std::string NoProxyList() {
  std::string list = "127.0.0.1,localhost,::1";
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    if (const char* value = std::getenv(name); value && *value) {
      list += ',';
      list += value;
      break;
    }
  }
  return list;
}

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlHandle {
  CURL* curl = curl_easy_init();
  ~CurlHandle() {
    if (curl) curl_easy_cleanup(curl);
  }
};

}  // namespace

std::string NewGuidText() {
  uuid_t id;
  uuid_generate(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return "{" + std::string(text) + "}";
}

bool DownloadToFile(const std::string& url, const std::string& fileName, const DownloadLimits& limits) {
  EnsureCurlInitialised();
  CurlHandle handle;
  if (!handle.curl) return false;

  Sink sink;
  sink.file = std::fopen(fileName.c_str(), "wb");
  if (!sink.file) return false;

  CURL* c = handle.curl;
  const std::string noProxy = NoProxyList();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_NOPROXY, noProxy.c_str());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // time-outs without SIGALRM, safe beside other threads
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 1L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteToSink);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);

  const CURLcode result = curl_easy_perform(c);
  const bool closed = std::fclose(sink.file) == 0;
  return result == CURLE_OK && closed;
}

}  // namespace vorlend
