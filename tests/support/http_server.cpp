#include "support/http_server.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

// The few places where Windows sockets differ from POSIX ones.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
namespace {
constexpr int kNoSignal = 0;
constexpr int kShutWrite = SD_SEND;
int PollSockets(pollfd* fds, unsigned long n, int timeout) {
  return ::WSAPoll(fds, n, timeout);
}
void CloseSocket(std::intptr_t s) {
  ::closesocket(static_cast<SOCKET>(s));
}
std::intptr_t NewSocket() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started ? static_cast<std::intptr_t>(::socket(AF_INET, SOCK_STREAM, 0)) : -1;
}
std::intptr_t Accept(std::intptr_t listen) {
  return static_cast<std::intptr_t>(::accept(static_cast<SOCKET>(listen), nullptr, nullptr));
}
std::string LastSocketError() {
  return "error " + std::to_string(::WSAGetLastError());
}
}  // namespace
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
namespace {
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr int kShutWrite = SHUT_WR;
int PollSockets(pollfd* fds, nfds_t n, int timeout) {
  return ::poll(fds, n, timeout);
}
void CloseSocket(std::intptr_t s) {
  ::close(static_cast<int>(s));
}
std::intptr_t NewSocket() {
  return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
std::intptr_t Accept(std::intptr_t listen) {
  return ::accept4(static_cast<int>(listen), nullptr, nullptr, SOCK_CLOEXEC);
}
std::string LastSocketError() {
  return std::strerror(errno);
}
}  // namespace
#endif

namespace vorlend::test {

namespace {

using Sock = decltype(pollfd{}.fd);

void SendAll(Sock fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, static_cast<int>(data.size() - sent), kNoSignal);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

// Reads up to the blank line that ends the request head; gives up after two seconds.
std::string ReadRequestHead(Sock fd) {
  std::string head;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (PollSockets(&p, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  return head;
}

std::string RequestPath(const std::string& head) {
  const auto first = head.find(' ');
  if (first == std::string::npos) return {};
  const auto second = head.find(' ', first + 1);
  return head.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

}  // namespace

HttpServer::HttpServer() {
  m_listen = NewSocket();
  if (m_listen < 0) throw std::runtime_error("socket: " + LastSocketError());
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  const Sock listening = static_cast<Sock>(m_listen);
  if (::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listening, 16) != 0 ||
      ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const std::string error = LastSocketError();
    CloseSocket(m_listen);
    throw std::runtime_error("listen on 127.0.0.1: " + error);
  }
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { Run(); });
}

// The server thread is woken by a connection of its own once the stop is set.
HttpServer::~HttpServer() {
  m_stop = true;
  const std::intptr_t wake = NewSocket();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(m_port));
  if (wake >= 0) ::connect(static_cast<Sock>(wake), reinterpret_cast<sockaddr*>(&address), sizeof address);
  m_thread.join();
  if (wake >= 0) CloseSocket(wake);
  for (std::intptr_t fd : m_held) CloseSocket(fd);
  CloseSocket(m_listen);
}

std::string HttpServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(m_port);
}

void HttpServer::ServeBody(std::string body) {
  std::lock_guard lock(m_mutex);
  m_mode = Mode::Serve;
  m_body = std::move(body);
}

void HttpServer::ServeNotFound() {
  std::lock_guard lock(m_mutex);
  m_mode = Mode::NotFound;
}

void HttpServer::ServeNothing() {
  std::lock_guard lock(m_mutex);
  m_mode = Mode::Silent;
}

std::string HttpServer::LastPath() const {
  std::lock_guard lock(m_mutex);
  return m_lastPath;
}

void HttpServer::Run() {
  for (;;) {
    const std::intptr_t client = Accept(m_listen);
    if (m_stop) {
      if (client >= 0) CloseSocket(client);
      return;
    }
    if (client >= 0) Handle(client);
  }
}

void HttpServer::Handle(std::intptr_t client) {
  const std::string head = ReadRequestHead(static_cast<Sock>(client));
  Mode mode;
  std::string body;
  {
    std::lock_guard lock(m_mutex);
    m_lastPath = RequestPath(head);
    mode = m_mode;
    body = m_body;
  }
  ++m_requests;

  switch (mode) {
    case Mode::Silent:
      m_held.push_back(client);  // kept open until the server stops
      return;
    case Mode::NotFound:
      SendAll(static_cast<Sock>(client),
              "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n\r\nNot Found");
      break;
    case Mode::Serve:
      SendAll(static_cast<Sock>(client),
              "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n\r\n" + body);
      break;
  }
  ::shutdown(static_cast<Sock>(client), kShutWrite);
  CloseSocket(client);
}

}  // namespace vorlend::test
