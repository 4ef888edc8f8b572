// Times the save (with "unlock all") and the restore of lock states over one year of 8 document
// tables, next to direct SQLite loops that perform the same reads and writes per document, and
// reports each one's peak memory. Every measurement runs in a child process of its own, so the
// peak belongs to that run alone.
//
//   archive_bench [DOCS_PER_TABLE...]      (default: 2500 25000, i.e. 20,000 and 200,000 documents)
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/host_context.h"
#include "archive/catalogue.h"
#include "archive/restore.h"
#include "archive/save.h"
#include "platform/files.h"
#include "platform/ini.h"

using namespace vorlend;

namespace {

class NoDialogs : public Dialogs {
public:
  void Message(MsgKind, const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
  bool Question(MsgKind, const std::string&) override { return false; }
};

class NoProgress : public Progress {
public:
  void SetText(const std::string&) override {}
  void SetMaximum(int) override {}
  void SetPosition(int) override {}
  void ProcessMessages() override {}
};

struct Result {
  double seconds = 0;
  long peakKiB = 0;
};

// Runs `work` in a child process; returns its wall time (measured by the child) and peak RSS.
template <typename F>
Result InChild(F work) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) std::abort();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFd[0]);
    const auto start = std::chrono::steady_clock::now();
    const bool ok = work();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (::write(pipeFd[1], &s, sizeof s) != sizeof s) ::_exit(3);
    ::_exit(ok ? 0 : 2);
  }
  ::close(pipeFd[1]);
  Result r;
  if (::read(pipeFd[0], &r.seconds, sizeof r.seconds) != sizeof r.seconds) r.seconds = -1;
  ::close(pipeFd[0]);
  int status = 0;
  rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "a measured run failed\n");
    std::exit(1);
  }
  r.peakKiB = usage.ru_maxrss;
  return r;
}

std::string Seed(const std::string& binDir, const std::string& dataDir, int docs) {
  const std::string cmd = binDir + "agenda-seed " + dataDir + " --years 1 --docs " + std::to_string(docs) +
                          " --locked 40 --seed 7 >/dev/null";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "agenda-seed failed\n");
    std::exit(1);
  }
  return dataDir + "/AGENDA.001/ROK.001/";
}

HostContext Context(const std::string& dataDir) {
  HostContext ctx;
  ctx.SetPaths(dataDir + "/AGENDA.001/", dataDir + "/");
  ctx.AgendaExt = "001";
  ctx.AgendaName = "bench";
  ctx.ConfigName = "Default";
  ForceDirectories(ctx.SettingsDir());
  return ctx;
}

bool OurSave(const std::string& dataDir) {
  HostContext ctx = Context(dataDir);
  NoDialogs dialogs;
  NoProgress progress;
  TBFTable money, lock;
  YearList years;
  if (!FillYearList(ctx.AgendaPath, dialogs, years)) return false;
  years.Toggle(0);
  ModuleFilter all;
  all.fill(true);
  FileList files;
  SaveJob job{ctx, dialogs, progress, money, lock, years, SaveChoices{all, LockAction::Unlock, "bench"}, files};
  return StartSave(job) == 0;
}

bool OurRestore(const std::string& dataDir) {
  HostContext ctx = Context(dataDir);
  NoDialogs dialogs;
  NoProgress progress;
  TBFTable money, lock;
  FileList files;
  RestoreJob job{ctx, dialogs, progress, money, lock, files};
  return RestoreLocks(job, ctx.ArchiveRoot() + "1/") == 0;
}

sqlite3* OpenDb(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) std::abort();
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA busy_timeout=5000;", nullptr, nullptr, nullptr);
  return db;
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(db));
    std::abort();
  }
}

sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", sql.c_str(), sqlite3_errmsg(db));
    std::abort();
  }
  return s;
}

const char* kTables[] = {"POKLKNIH", "BANKKNIH", "KNIHPOHL", "KNIHZAV", "INTDOKL", "PFAKTURY", "VFAKTURY", "SKSEZDOK"};

// The same work as the save, straight on SQLite: per document one read, an archive record
// inserted with its values (one commit), and the document updated (one commit).
bool DirectSave(const std::string& dataDir) {
  const std::string year = dataDir + "/AGENDA.001/ROK.001/";
  const std::string archive = dataDir + "/direct-archive/";
  ForceDirectories(archive);
  for (const char* table : kTables) {
    const std::string key = std::string(table) == "SKSEZDOK" ? "CDokladu" : "Cislo";
    const std::string arch = archive + table + ".dat";
    sqlite3* a = nullptr;
    sqlite3_open(arch.c_str(), &a);
    Exec(a, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
            "CREATE TABLE records(recno INTEGER PRIMARY KEY AUTOINCREMENT, ID INTEGER, Lock BOOLEAN);"
            "CREATE INDEX ID ON records(ID);");
    sqlite3* reader = OpenDb(year + table + ".DAT");
    sqlite3* writer = OpenDb(year + table + ".DAT");
    sqlite3_stmt* walk = Prepare(reader, "SELECT rowid, \"" + key + "\", Uzamceni FROM records ORDER BY rowid");
    sqlite3_stmt* insert = Prepare(a, "INSERT INTO records(ID, Lock) VALUES (?, ?)");
    sqlite3_stmt* change = Prepare(writer, "UPDATE records SET Uzamceni = 0 WHERE rowid = ?");
    while (sqlite3_step(walk) == SQLITE_ROW) {
      Exec(a, "BEGIN IMMEDIATE");
      sqlite3_bind_int(insert, 1, sqlite3_column_int(walk, 1));
      sqlite3_bind_value(insert, 2, sqlite3_column_value(walk, 2));
      sqlite3_step(insert);
      sqlite3_reset(insert);
      Exec(a, "COMMIT");
      Exec(writer, "BEGIN IMMEDIATE");
      sqlite3_bind_int64(change, 1, sqlite3_column_int64(walk, 0));
      sqlite3_step(change);
      sqlite3_reset(change);
      Exec(writer, "COMMIT");
    }
    for (sqlite3_stmt* s : {walk, insert, change}) sqlite3_finalize(s);
    sqlite3_close(reader);
    sqlite3_close(writer);
    sqlite3_close(a);
  }
  return true;
}

// The same work as the restore, straight on SQLite: per archived document one indexed lookup and
// one update in a commit of its own.
bool DirectRestore(const std::string& dataDir) {
  const std::string year = dataDir + "/AGENDA.001/ROK.001/";
  const std::string archive = dataDir + "/direct-archive/";
  for (const char* table : kTables) {
    const std::string key = std::string(table) == "SKSEZDOK" ? "CDokladu" : "Cislo";
    sqlite3* a = OpenDb(archive + table + ".dat");
    sqlite3* money = OpenDb(year + table + ".DAT");
    sqlite3_stmt* walk = Prepare(a, "SELECT ID, Lock FROM records ORDER BY recno");
    sqlite3_stmt* find = Prepare(money, "SELECT rowid FROM records WHERE \"" + key + "\" = ? ORDER BY \"" + key + "\", rowid LIMIT 1");
    sqlite3_stmt* change = Prepare(money, "UPDATE records SET Uzamceni = ? WHERE rowid = ?");
    while (sqlite3_step(walk) == SQLITE_ROW) {
      sqlite3_bind_int(find, 1, sqlite3_column_int(walk, 0));
      if (sqlite3_step(find) == SQLITE_ROW) {
        const sqlite3_int64 rowid = sqlite3_column_int64(find, 0);
        sqlite3_reset(find);
        Exec(money, "BEGIN IMMEDIATE");
        sqlite3_bind_value(change, 1, sqlite3_column_value(walk, 1));
        sqlite3_bind_int64(change, 2, rowid);
        sqlite3_step(change);
        sqlite3_reset(change);
        Exec(money, "COMMIT");
      } else {
        sqlite3_reset(find);
      }
    }
    for (sqlite3_stmt* s : {walk, find, change}) sqlite3_finalize(s);
    sqlite3_close(a);
    sqlite3_close(money);
  }
  return true;
}

void Row(const char* what, int docs, const Result& ours, const Result& direct) {
  std::printf("%-8s %8d docs   ours %7.2f s (%6.1f us/doc, peak %6ld KiB)   direct SQLite %7.2f s (%6.1f us/doc, peak %6ld KiB)   ratio %.2f\n",
              what, docs, ours.seconds, ours.seconds * 1e6 / docs, ours.peakKiB, direct.seconds,
              direct.seconds * 1e6 / docs, direct.peakKiB, ours.seconds / direct.seconds);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {2500, 25000};
  const std::string binDir = ProgramDirectory();
  char tmpl[] = "/tmp/vorlend-archive-bench-XXXXXX";
  const std::string root = ::mkdtemp(tmpl);
  std::printf("save = walk 8 tables, 1 archive commit + 1 document commit per document; restore = 1 indexed seek + 1 commit per document\n");
  for (int perTable : sizes) {
    const int docs = perTable * 8;
    const std::string ours = root + "/ours-" + std::to_string(perTable);
    const std::string direct = root + "/direct-" + std::to_string(perTable);
    Seed(binDir, ours, perTable);
    Seed(binDir, direct, perTable);
    const Result saveOurs = InChild([&] { return OurSave(ours); });
    const Result saveDirect = InChild([&] { return DirectSave(direct); });
    Row("save", docs, saveOurs, saveDirect);
    const Result restoreOurs = InChild([&] { return OurRestore(ours); });
    const Result restoreDirect = InChild([&] { return DirectRestore(direct); });
    Row("restore", docs, restoreOurs, restoreDirect);
  }
  RemoveDirectoryTree(root);
  return 0;
}
