#include "support/agenda_builder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "engine/table_files.h"
#include "host/bftable.h"
#include "host/rights_tables.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace vorlend::test {

std::vector<Document> MakeDocuments(int count, std::int32_t firstKey, int lockedEvery) {
  std::vector<Document> docs;
  for (int i = 0; i < count; ++i) {
    docs.push_back({firstKey + i, Variant::FromBool(lockedEvery > 0 && i % lockedEvery == 0)});
  }
  return docs;
}

AgendaBuilder::AgendaBuilder(const TempDir& dir, const std::string& agendaDirName, const std::string& firmName)
    : m_dataDir(dir / "Money/Data/"), m_agendaDir(m_dataDir + agendaDirName + "/"), m_agendaDirName(agendaDirName),
      m_firmName(firmName) {
  ForceDirectories(m_agendaDir);
  TIniFile ini(m_agendaDir + "AGENDA.INI");
  ini.WriteString("Údaje o firmě", "Název-obchodní", firmName);
}

void AgendaBuilder::AddRightsWithoutUsers() {
  if (const auto error = WriteNewModelRights(m_dataDir, {}, false)) throw std::runtime_error(*error);
}

std::string AgendaBuilder::AddYear(const std::string& dirName, const std::string& yearName) {
  const std::string year = m_agendaDir + dirName + "/";
  ForceDirectories(year);
  TIniFile ini(year + "ROK.INI");
  if (!yearName.empty()) ini.WriteString("Global", "Účetní rok", yearName);
  else ini.WriteString("Global", "Jiný klíč", "x");
  return year;
}

void AgendaBuilder::AddTable(const std::string& yearDir, const std::string& table, const std::vector<Document>& docs) {
  const std::string key = table == "SKSEZDOK" ? "CDokladu" : "Cislo";
  const std::string path = m_agendaDir + yearDir + "/" + table;
  const auto error = engine::CreateTable(path, {{key, engine::FieldType::Integer},
                                                {"Uzamceni", engine::FieldType::Boolean},
                                                {"Partner", engine::FieldType::Text},
                                                {"Castka", engine::FieldType::Double}},
                                         {key});
  if (error) throw std::runtime_error(*error);
  TBFTable t;
  if (t.OpenTable(path) != 0) throw std::runtime_error("cannot open " + path);
  for (const auto& d : docs) {
    t.AppendBlank();
    t.SetValue(key, Variant::FromInt(d.key));
    t.SetValue("Uzamceni", d.lock);
    t.SetValue("Partner", Variant::FromString("Odběratel č. " + std::to_string(d.key)));
    t.SetValue("Castka", Variant::FromDouble(d.key * 10.5));
    if (t.Post() != 0) throw std::runtime_error("cannot post " + path);
  }
  t.CloseTable();
}

HostContext AgendaBuilder::Context() const {
  HostContext ctx;
  ctx.SetPaths(m_agendaDir, m_dataDir);
  const std::size_t dot = m_agendaDirName.rfind('.');
  ctx.AgendaExt = dot == std::string::npos ? "" : UpperCase(m_agendaDirName.substr(dot + 1));
  ctx.AgendaName = m_firmName;
  ctx.ConfigName = "Default";
  ctx.MoneyVersionText = "13.0";
  ForceDirectories(ctx.SettingsDir());
  return ctx;
}

std::vector<std::string> AgendaBuilder::Groups(const std::string& yearDir, const std::string& version) const {
  return {"?MAIN=1?MAIN", "?AKTROK=" + m_agendaDir + yearDir + "?AKTROK", "?MVERZE=" + version + "?MVERZE",
          "?AKTHESLO=?AKTHESLO", "?AKTCFGNAME=Default?AKTCFGNAME"};
}

void DeleteDocument(const std::string& tablePath, const std::string& keyField, std::int32_t key) {
  TBFTable t;
  if (t.OpenTable(tablePath) != 0 || t.SetOrder(keyField) != 0 || t.Seek1(Variant::FromInt(key)) != kSeekFound) {
    throw std::runtime_error("no document " + std::to_string(key) + " in " + tablePath);
  }
  t.DeleteRecord();
}

std::string LockText(const Variant& v) {
  if (v.IsNull()) return "Null";
  bool b = false;
  return v.ToBool(b) ? (b ? "1" : "0") : "?";
}

std::vector<std::pair<std::int32_t, std::string>> ReadLocks(const std::string& tablePath, const std::string& keyField) {
  std::vector<std::pair<std::int32_t, std::string>> out;
  TBFTable t;
  if (t.OpenTable(tablePath) != 0) throw std::runtime_error("cannot open " + tablePath);
  if (t.RecCount() > 0 && t.GoTop() == 0) {
    while (!t.IsEof()) {
      std::int32_t key = 0;
      t.Value(keyField).ToInt(key);
      out.emplace_back(key, LockText(t.Value(keyField == "ID" ? "Lock" : "Uzamceni")));
      t.Skip();
    }
  }
  t.CloseTable();
  return out;
}

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
        if (n <= 0) *open = false;
        else text->append(buf, static_cast<std::size_t>(n));
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

std::string DumpTable(const std::string& tablePath) {
  std::string out, err;
  const int rc = RunProgram({std::string(VORLEND_BIN_DIR) + "/tablectl", "dump", tablePath}, &out, &err);
  if (rc != 0) throw std::runtime_error("tablectl dump failed: " + err);
  return out;
}

}  // namespace vorlend::test
