#pragma once
// A tiny HTTP/1.0 server on 127.0.0.1 for tests: one thread, an ephemeral port, one answer per
// connection. It serves a fixed body, answers 404, or accepts and never answers (to provoke
// client time-outs), and counts the requests it has read.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vorlend::test {

class HttpServer {
public:
  enum class Mode { Serve, NotFound, Silent };

  HttpServer();   // starts listening at once; throws std::runtime_error when it cannot
  ~HttpServer();  // stops the thread and closes every connection, silent ones included
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  int Port() const { return m_port; }
  std::string BaseUrl() const;  // "http://127.0.0.1:PORT", no trailing "/"

  void ServeBody(std::string body);  // 200 with this body for every path
  void ServeNotFound();
  void ServeNothing();  // accept, read the request, never answer

  int RequestCount() const { return m_requests.load(); }
  std::string LastPath() const;  // path of the last request read, "" before the first

private:
  void Run();
  void Handle(std::intptr_t client);

  std::intptr_t m_listen = -1;  // a socket (a SOCKET on Windows)
  std::atomic<bool> m_stop{false};
  int m_port = 0;
  std::atomic<int> m_requests{0};
  mutable std::mutex m_mutex;
  Mode m_mode = Mode::NotFound;
  std::string m_body;
  std::string m_lastPath;
  std::vector<std::intptr_t> m_held;  // connections left unanswered; only the server thread touches them
  std::thread m_thread;
};

}  // namespace vorlend::test
