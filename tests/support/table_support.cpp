#include "support/table_support.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "engine/table.h"
#include "engine/table_files.h"
#include "host/bftable.h"

namespace vorlend::test {

std::string ToolPath(const std::string& name) {
  return std::string(VORLEND_BIN_DIR) + "/" + name;
}

std::string MakeDocTable(const TempDir& dir, const std::string& name, const std::vector<int>& keys) {
  const std::string path = dir / name;
  using engine::FieldType;
  if (auto error = engine::CreateTable(
          path, {{"Cislo", FieldType::Integer}, {"Uzamceni", FieldType::Boolean}, {"Firma", FieldType::Text}}, {"Cislo"}))
    throw std::runtime_error(*error);
  TBFTable t;
  if (t.OpenTable(path) != 0) throw std::runtime_error("cannot open " + path);
  if (!t.Table().BeginTransaction()) throw std::runtime_error("cannot write " + path);
  for (int key : keys) {
    t.AppendBlank();
    t.SetValue("Cislo", Variant::FromInt(key));
    t.SetValue("Uzamceni", Variant::FromBool(false));
    t.SetValue("Firma", Variant::FromString("F" + std::to_string(key)));
    if (t.Post() != 0) throw std::runtime_error("cannot post " + path);
  }
  if (!t.Table().CommitTransaction()) throw std::runtime_error("cannot commit " + path);
  return path;
}

HoldProcess::HoldProcess(const std::string& table, const std::string& index, int key,
                         const std::vector<std::string>& assignments) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> args = {ToolPath("tablectl"), "hold", table, "--index", index, "--key", std::to_string(key)};
  args.insert(args.end(), assignments.begin(), assignments.end());
  m_pid = ::fork();
  if (m_pid == 0) {
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
  if (m_pid > 0) ::waitpid(m_pid, &status, 0);
  m_pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int HoldProcess::Release() {
  if (m_stdin >= 0) ::close(m_stdin);
  m_stdin = -1;
  return m_pid > 0 ? Wait() : 0;
}

void HoldProcess::Kill() {
  if (m_pid > 0) ::kill(m_pid, SIGKILL);
  Wait();
  if (m_stdin >= 0) ::close(m_stdin);
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
