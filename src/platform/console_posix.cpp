#include "platform/console.h"

#include <csignal>

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

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace vorlend
