#include "support/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace vorlend::test {

namespace {

void SendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

// Reads up to the blank line that ends the request head; gives up after two seconds.
std::string ReadRequestHead(int fd) {
  std::string head;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
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
  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listen < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_listen, 16) != 0 ||
      ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(m_wake, O_CLOEXEC) != 0) {
    const std::string error = std::strerror(errno);
    ::close(m_listen);
    throw std::runtime_error("listen on 127.0.0.1: " + error);
  }
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { Run(); });
}

HttpServer::~HttpServer() {
  const char stop = 'x';
  [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &stop, 1);
  m_thread.join();
  for (int fd : m_held) ::close(fd);
  ::close(m_listen);
  ::close(m_wake[0]);
  ::close(m_wake[1]);
}

std::string HttpServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

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
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (fds[0].revents & POLLIN) {
      const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) Handle(client);
    }
  }
}

void HttpServer::Handle(int client) {
  const std::string head = ReadRequestHead(client);
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
      SendAll(client, "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n\r\nNot Found");
      break;
    case Mode::Serve:
      SendAll(client, "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body);
      break;
  }
  ::shutdown(client, SHUT_WR);
  ::close(client);
}

}  // namespace vorlend::test
