#include "platform/console.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace vorlend {

namespace {
void (*g_onStop)() = nullptr;
void OnStopSignal(int) {
  if (g_onStop) g_onStop();
}
}  // namespace

ConsoleArguments::ConsoleArguments(int argc, char** argv) : m_texts(argv, argv + argc) {
  for (std::string& t : m_texts) m_pointers.push_back(t.data());
  m_pointers.push_back(nullptr);
}

ConsoleArguments::~ConsoleArguments() = default;

void InstallStopHandler(void (*onStop)()) {
  g_onStop = onStop;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sa.sa_flags = SA_RESTART | SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  // A closed terminal is nobody's wish to stop.
  std::signal(SIGHUP, SIG_IGN);
  IgnoreBrokenPipes();
}

void IgnoreBrokenPipes() {
  std::signal(SIGPIPE, SIG_IGN);
}

bool StandardOutputReaderGone() {
  struct stat st {};
  if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) return false;
  // The write end of a pipe without a reader polls as an error.
  pollfd p{STDOUT_FILENO, POLLOUT, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

void EndForBrokenPipe() {
  std::fflush(stderr);
  std::signal(SIGPIPE, SIG_DFL);
  std::raise(SIGPIPE);
  std::_Exit(128 + SIGPIPE);
}

}  // namespace vorlend
