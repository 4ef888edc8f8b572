// The tests' child processes on POSIX systems: fork and exec with pipes.
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "support/agenda_builder.h"
#include "support/table_support.h"

namespace vorlend::test {

namespace {
int Fd(std::intptr_t kept) {
  return static_cast<int>(kept);
}
}  // namespace

int RunProgram(const std::vector<std::string>& argv, std::string* out, std::string* err) {
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_RDONLY);
    ::dup2(devnull, 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  // Read both pipes without blocking on one while the other fills.
  std::string o, e;
  char buf[4096];
  bool openOut = true, openErr = true;
  while (openOut || openErr) {
    fd_set set;
    FD_ZERO(&set);
    if (openOut) FD_SET(outPipe[0], &set);
    if (openErr) FD_SET(errPipe[0], &set);
    if (::select(std::max(outPipe[0], errPipe[0]) + 1, &set, nullptr, nullptr, nullptr) < 0) break;
    for (auto [fd, open, text] : {std::tuple{outPipe[0], &openOut, &o}, std::tuple{errPipe[0], &openErr, &e}}) {
      if (*open && FD_ISSET(fd, &set)) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
          *open = false;
        else
          text->append(buf, static_cast<std::size_t>(n));
      }
    }
  }
  ::close(outPipe[0]);
  ::close(errPipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (out) *out = o;
  if (err) *err = e;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

HoldProcess::HoldProcess(const std::string& table, const std::string& index, int key,
                         const std::vector<std::string>& assignments) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> args = {ToolPath("tablectl"), "hold", table, "--index", index, "--key", std::to_string(key)};
  args.insert(args.end(), assignments.begin(), assignments.end());
  const pid_t pid = ::fork();
  m_pid = pid;
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  m_stdin = in[1];
  std::string line;
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  ::close(out[0]);
  m_locked = line == "locked";
}

HoldProcess::~HoldProcess() {
  Release();
}

int HoldProcess::Wait() {
  int status = 0;
  if (m_pid > 0) ::waitpid(static_cast<pid_t>(m_pid), &status, 0);
  m_pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int HoldProcess::Release() {
  if (m_stdin >= 0) ::close(Fd(m_stdin));
  m_stdin = -1;
  return m_pid > 0 ? Wait() : 0;
}

void HoldProcess::Kill() {
  if (m_pid > 0) ::kill(static_cast<pid_t>(m_pid), SIGKILL);
  Wait();
  if (m_stdin >= 0) ::close(Fd(m_stdin));
  m_stdin = -1;
}

bool SetImmutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return ok;
}

}  // namespace vorlend::test
