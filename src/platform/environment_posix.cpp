#include "platform/environment.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vorlend {

std::string EnvironmentVariable(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string CurrentUserName() {
  for (const char* var : {"USERNAME", "USER"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  if (const passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
  return {};
}

int CurrentProcessId() {
  return static_cast<int>(::getpid());
}

bool ProcessGone(int pid) {
  return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace vorlend
