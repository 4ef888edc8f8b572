// Times the save (with "unlock all") and the restore of lock states over one year of 8 document
// tables, done five ways, and reports each run's time and peak memory:
//
//   ours, blocks            the add-on as it runs: StartSave and RestoreLocks with the default
//                           block size
//   ours, record by record  the add-on through a table component without transactions: every
//                           post commits on its own
//   per-record loop         SQLite by hand: per document one archive commit and one document
//                           commit; the restore one indexed seek and one commit per document
//   block loop              SQLite by hand with the add-on's guarantees: blocks of 1,000, each
//                           block's documents locked, then read again as one read, their archive
//                           records inserted in multi-row statements in one synced commit before the
//                           documents change in one transaction, the locks held until that commits
//   bulk                    one statement per table and step, in one transaction, no record locks
//
// The agenda is seeded once per size and copied for every way, so each works on a fresh copy of
// the same data, and its restore reads the archive its own save wrote. Every run takes place in a
// child process of its own, so the peak memory is that run's alone. The saves of one size run one
// after the other, then the restores, so a change of the machine's load spreads over all ways.
//
// The bench loads a small library of its own (sync_shim.so, beside it) that counts every run's disk
// syncs and can make each of them slower, as on a disk whose sync is slow.
//
//   archive_bench [--quick] [--sync-delay MS] [--only WAY] [DOCS_PER_TABLE...]
//     default sizes 2500 and 25000 documents per table (20,000 and 200,000 documents);
//     --quick measures only the first size; --sync-delay makes every sync MS milliseconds slower;
//     --only runs one way (by the start of its name), for a profiler such as callgrind.
#include <dlfcn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "archive/operation.h"
#include "archive/restore.h"
#include "archive/save.h"
#include "archive/year_list.h"
#include "host/host_context.h"
#include "platform/files.h"

using namespace vorlend;

namespace {

// ---------------------------------------------------------------------------------------------
// Running a measurement

struct Result {
  double seconds = 0;
  long peakKiB = 0;
  long syncs = -1;       // -1: not counted (the bench runs without its shim)
  long long wrote = -1;  // bytes handed to the system's writes; -1: not counted
};

// The bytes this process has handed to write calls so far (the kernel's count), -1 when unknown.
long long BytesWritten() {
  std::FILE* io = std::fopen("/proc/self/io", "r");
  if (!io) return -1;
  char line[128];
  long long wrote = -1;
  while (std::fgets(line, sizeof line, io)) {
    if (std::sscanf(line, "wchar: %lld", &wrote) == 1) break;
  }
  std::fclose(io);
  return wrote;
}

// The disk syncs this process has made so far, when the shim is loaded.
long SyncCount() {
  using CountFn = long (*)();
  static const auto count = reinterpret_cast<CountFn>(::dlsym(RTLD_DEFAULT, "vorlend_sync_count"));
  return count ? count() : -1;
}

// The benchmark's working directory; removed at the end, and left for a look when a run fails.
std::string g_workDir;

[[noreturn]] void Failed(const std::string& what) {
  std::fprintf(stderr, "archive_bench: failed: %s (the data is left in %s)\n", what.c_str(), g_workDir.c_str());
  std::exit(1);
}

// Runs `work` in a child process; returns its wall time (measured by the child) and peak RSS.
// A run that fails ends the benchmark: its figures would mean nothing.
template <typename F>
Result InChild(const std::string& what, F work) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) std::abort();
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFd[0]);
    const long syncsBefore = SyncCount();
    const long long wroteBefore = BytesWritten();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = work();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long syncs = syncsBefore < 0 ? -1 : SyncCount() - syncsBefore;
    const long long wroteAfter = BytesWritten();
    const long long wrote = wroteBefore < 0 || wroteAfter < 0 ? -1 : wroteAfter - wroteBefore;
    if (::write(pipeFd[1], &s, sizeof s) != sizeof s || ::write(pipeFd[1], &syncs, sizeof syncs) != sizeof syncs ||
        ::write(pipeFd[1], &wrote, sizeof wrote) != sizeof wrote)
      ::_exit(3);
    ::_exit(ok ? 0 : 2);
  }
  ::close(pipeFd[1]);
  Result r;
  if (::read(pipeFd[0], &r.seconds, sizeof r.seconds) != sizeof r.seconds) r.seconds = -1;
  if (::read(pipeFd[0], &r.syncs, sizeof r.syncs) != sizeof r.syncs) r.syncs = -1;
  if (::read(pipeFd[0], &r.wrote, sizeof r.wrote) != sizeof r.wrote) r.wrote = -1;
  ::close(pipeFd[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Failed(what);
  r.peakKiB = usage.ru_maxrss;
  return r;
}

// `text` as one word of a shell command.
std::string ShellWord(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) Failed(command);
}

// An agenda with one year of `perTable` documents in each of the 8 document tables, 40 % locked.
void Seed(const std::string& binDir, const std::string& dataDir, int perTable) {
  Run(ShellWord(binDir + "agenda-seed") + " " + ShellWord(dataDir) + " --years 1 --docs " + std::to_string(perTable) +
      " --locked 40 --seed 7 >/dev/null");
}

std::string YearDir(const std::string& dataDir) {
  return dataDir + "/AGENDA.001/ROK.001/";
}

// ---------------------------------------------------------------------------------------------
// The add-on

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

HostContext Context(const std::string& dataDir) {
  HostContext ctx;
  ctx.SetPaths(dataDir + "/AGENDA.001/", dataDir + "/");
  ctx.AgendaExt = "001";
  ctx.AgendaName = "bench";
  ctx.ConfigName = "Default";
  ForceDirectories(ctx.SettingsDir());
  return ctx;
}

// Every module of the one year, "odemknout".
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
  return StartSave(job).IsOk();
}

bool OurRestore(const std::string& dataDir) {
  HostContext ctx = Context(dataDir);
  NoDialogs dialogs;
  NoProgress progress;
  TBFTable money, lock;
  FileList files;
  RestoreJob job{ctx, dialogs, progress, money, lock, files};
  return RestoreLocks(job, ctx.ArchiveRoot() + "1/").IsOk();
}

bool OurSaveRecordByRecord(const std::string& dataDir) {
  TBFTable::SetTransactionsAvailable(false);
  return OurSave(dataDir);
}

bool OurRestoreRecordByRecord(const std::string& dataDir) {
  TBFTable::SetTransactionsAvailable(false);
  return OurRestore(dataDir);
}

// ---------------------------------------------------------------------------------------------
// SQLite by hand

struct DocTable {
  const char* name;
  const char* key;
};
constexpr DocTable kTables[] = {{"POKLKNIH", "Cislo"}, {"BANKKNIH", "Cislo"},   {"KNIHPOHL", "Cislo"},
                                {"KNIHZAV", "Cislo"},  {"INTDOKL", "Cislo"},    {"PFAKTURY", "Cislo"},
                                {"VFAKTURY", "Cislo"}, {"SKSEZDOK", "CDokladu"}};

// Documents per block of the block loop.
constexpr int kLoopBlock = 1000;

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", sql.c_str(), sqlite3_errmsg(db));
    std::abort();
  }
}

// One connection, with the journal of the file (WAL) and the given synchronous level.
class Db {
public:
  Db(const std::string& path, const char* synchronous) {
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), sqlite3_errmsg(m_db));
      std::abort();
    }
    sqlite3_busy_timeout(m_db, 5000);
    Exec(m_db, std::string("PRAGMA journal_mode=WAL; PRAGMA synchronous=") + synchronous);
  }
  ~Db() { sqlite3_close(m_db); }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  operator sqlite3*() const { return m_db; }

private:
  sqlite3* m_db = nullptr;
};

// A prepared statement, reset after every use; declared after its Db, so it is finalized first.
class Statement {
public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "%s: %s\n", sql.c_str(), sqlite3_errmsg(db));
      std::abort();
    }
  }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  operator sqlite3_stmt*() const { return m_stmt; }
  // Steps a statement that returns no rows, and resets it.
  void Run() {
    if (sqlite3_step(m_stmt) != SQLITE_DONE) {
      std::fprintf(stderr, "%s: %s\n", sqlite3_sql(m_stmt), sqlite3_errmsg(sqlite3_db_handle(m_stmt)));
      std::abort();
    }
    sqlite3_reset(m_stmt);
  }

private:
  sqlite3_stmt* m_stmt = nullptr;
};

// Opens the table at `path` on `db` as the schema `name`.
void Attach(sqlite3* db, const std::string& path, const char* name) {
  Statement attach(db, std::string("ATTACH ? AS ") + name);
  sqlite3_bind_text(attach, 1, path.c_str(), -1, SQLITE_TRANSIENT);
  attach.Run();
}

// Where the hand-written ways keep their archive: one table per document table, made like the
// add-on's template (record number, ID, Lock, and the index on ID the restore seeks by).
std::string LoopArchiveTable(const std::string& dataDir, const DocTable& t) {
  return dataDir + "/loop-archive/" + t.name + ".dat";
}

void CreateArchiveTable(const std::string& path) {
  Db db(path, "NORMAL");
  Exec(db,
       "CREATE TABLE records(\"_RecNo\" INTEGER PRIMARY KEY AUTOINCREMENT, ID INTEGER, Lock BOOLEAN);"
       "CREATE INDEX \"ix:ID\" ON records(ID);");
}

// The record locks of one table, the way the table component takes them: one byte of the .dia
// file at the record number, an open-file-description write lock that never waits.
class LockFile {
public:
  explicit LockFile(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (m_fd < 0) {
      std::perror(path.c_str());
      std::abort();
    }
  }
  ~LockFile() { ::close(m_fd); }
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  bool Lock(std::int64_t recno) { return Set(F_WRLCK, recno); }
  void Unlock(std::int64_t recno) { Set(F_UNLCK, recno); }

private:
  bool Set(short type, std::int64_t recno) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(recno);
    fl.l_len = 1;
    return ::fcntl(m_fd, F_OFD_SETLK, &fl) == 0;
  }
  int m_fd;
};

// A document as a save records it: its record number, key and lock value (which may be NULL).
struct Doc {
  std::int64_t recno = 0;
  std::int32_t key = 0;
  int lock = 0;
  bool lockNull = false;
};

void BindLock(sqlite3_stmt* s, int i, const Doc& d) {
  if (d.lockNull)
    sqlite3_bind_null(s, i);
  else
    sqlite3_bind_int(s, i, d.lock);
}

// The next documents of a walk in record order after `after`, as many as a block holds, from a
// statement that selects record number, key and lock by "WHERE _RecNo > ?1 ORDER BY _RecNo LIMIT
// ?2". The read ends with the call: a read left open across the walk's own commits would keep
// SQLite from ever resetting the table's log, which then grows by every commit of the table and
// slows each of them (the table component never keeps one open either).
void NextDocs(Statement& walk, std::int64_t after, std::vector<Doc>& docs) {
  docs.clear();
  sqlite3_bind_int64(walk, 1, after);
  sqlite3_bind_int(walk, 2, kLoopBlock);
  while (sqlite3_step(walk) == SQLITE_ROW) {
    docs.push_back({sqlite3_column_int64(walk, 0), sqlite3_column_int(walk, 1), sqlite3_column_int(walk, 2),
                    sqlite3_column_type(walk, 2) == SQLITE_NULL});
  }
  sqlite3_reset(walk);
}

std::string WalkSql(const char* key) {
  return std::string("SELECT _RecNo, \"") + key +
         "\", Uzamceni FROM records WHERE _RecNo > ?1 ORDER BY _RecNo LIMIT ?2";
}

// Per document: one archive record inserted in a commit of its own, then the document updated in
// a commit of its own.
bool LoopSave(const std::string& dataDir) {
  ForceDirectories(dataDir + "/loop-archive");
  for (const DocTable& t : kTables) {
    const std::string archivePath = LoopArchiveTable(dataDir, t);
    CreateArchiveTable(archivePath);
    Db archive(archivePath, "NORMAL");
    Db money(YearDir(dataDir) + t.name + ".DAT", "NORMAL");
    Statement walk(money, WalkSql(t.key));
    Statement insert(archive, "INSERT INTO records(ID, Lock) VALUES (?, ?)");
    Statement change(money, "UPDATE records SET Uzamceni = 0 WHERE _RecNo = ?");
    std::vector<Doc> docs;
    for (std::int64_t last = 0;; last = docs.back().recno) {
      NextDocs(walk, last, docs);
      if (docs.empty()) break;
      for (const Doc& d : docs) {
        Exec(archive, "BEGIN IMMEDIATE");
        sqlite3_bind_int(insert, 1, d.key);
        BindLock(insert, 2, d);
        insert.Run();
        Exec(archive, "COMMIT");
        Exec(money, "BEGIN IMMEDIATE");
        sqlite3_bind_int64(change, 1, d.recno);
        change.Run();
        Exec(money, "COMMIT");
      }
    }
  }
  return true;
}

// Per archived document: one indexed seek and one update in a commit of its own.
bool LoopRestore(const std::string& dataDir) {
  for (const DocTable& t : kTables) {
    Db archive(LoopArchiveTable(dataDir, t), "NORMAL");
    Db money(YearDir(dataDir) + t.name + ".DAT", "NORMAL");
    const std::string key = std::string("\"") + t.key + "\"";
    Statement walk(archive, "SELECT ID, Lock FROM records ORDER BY _RecNo");
    Statement find(money, "SELECT _RecNo FROM records WHERE " + key + " = ? ORDER BY " + key + ", _RecNo LIMIT 1");
    Statement change(money, "UPDATE records SET Uzamceni = ? WHERE _RecNo = ?");
    while (sqlite3_step(walk) == SQLITE_ROW) {
      sqlite3_bind_int(find, 1, sqlite3_column_int(walk, 0));
      const bool found = sqlite3_step(find) == SQLITE_ROW;
      const std::int64_t recno = found ? sqlite3_column_int64(find, 0) : 0;
      sqlite3_reset(find);
      if (!found) continue;
      Exec(money, "BEGIN IMMEDIATE");
      sqlite3_bind_value(change, 1, sqlite3_column_value(walk, 1));
      sqlite3_bind_int64(change, 2, recno);
      change.Run();
      Exec(money, "COMMIT");
    }
  }
  return true;
}

// Record numbers per statement of the block loop's reads and updates: a list of this many "?",
// the last number repeated where a block has fewer left, so one statement serves every block.
constexpr int kInList = 100;
// Archive records per insert statement of the block loop.
constexpr int kInsertRows = 50;

std::string Placeholders(int count, const char* one) {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? "," : "") + std::string(one);
  return text;
}

// Binds record numbers [from, from + kInList) of `recnos` to ?1..?kInList (then ?offset...),
// repeating the last one; gives how many were real.
int BindRecnos(sqlite3_stmt* s, const std::vector<std::int64_t>& recnos, std::size_t from, int offset = 0) {
  const std::size_t n = std::min<std::size_t>(kInList, recnos.size() - from);
  for (int i = 0; i < kInList; ++i)
    sqlite3_bind_int64(s, offset + i + 1, recnos[from + std::min<std::size_t>(static_cast<std::size_t>(i), n - 1)]);
  return static_cast<int>(n);
}

// The documents of `recnos` (ascending), read again in statements of kInList: those that still
// exist, with the values they have now.
void ReadAgain(Statement& read, const std::vector<std::int64_t>& recnos, std::vector<Doc>& docs) {
  docs.clear();
  for (std::size_t from = 0; from < recnos.size(); from += kInList) {
    BindRecnos(read, recnos, from);
    while (sqlite3_step(read) == SQLITE_ROW) {
      docs.push_back({sqlite3_column_int64(read, 0), sqlite3_column_int(read, 1), sqlite3_column_int(read, 2),
                      sqlite3_column_type(read, 2) == SQLITE_NULL});
    }
    sqlite3_reset(read);
  }
}

// Sets the documents of `recnos` to the lock bound as ?1, in statements of kInList.
void ChangeAll(Statement& change, const std::vector<std::int64_t>& recnos) {
  for (std::size_t from = 0; from < recnos.size(); from += kInList) {
    BindRecnos(change, recnos, from, 1);
    change.Run();
  }
}

// The archive records of `docs` in their order, kInsertRows per statement (the rest one by one).
void InsertAll(Statement& many, Statement& one, const std::vector<Doc>& docs) {
  std::size_t i = 0;
  for (; i + kInsertRows <= docs.size(); i += kInsertRows) {
    for (int r = 0; r < kInsertRows; ++r) {
      sqlite3_bind_int(many, 2 * r + 1, docs[i + static_cast<std::size_t>(r)].key);
      BindLock(many, 2 * r + 2, docs[i + static_cast<std::size_t>(r)]);
    }
    many.Run();
  }
  for (; i < docs.size(); ++i) {
    sqlite3_bind_int(one, 1, docs[i].key);
    BindLock(one, 2, docs[i]);
    one.Run();
  }
}

std::string ReadAgainSql(const std::string& fields) {
  return "SELECT _RecNo, " + fields + " FROM records WHERE _RecNo IN (" + Placeholders(kInList, "?") +
         ") ORDER BY _RecNo";
}

std::string ChangeSql() {
  return "UPDATE records SET Uzamceni = ?1 WHERE _RecNo IN (" + Placeholders(kInList, "?") + ")";
}

// Block by block, in the order the add-on's guarantees need: the block's documents locked, then
// read again as one read, then their archive records posted in one synced commit,
// and only then the documents changed in one transaction; the locks released once that has
// committed. No change reaches the disk without its earlier state.
bool BlockLoopSave(const std::string& dataDir) {
  ForceDirectories(dataDir + "/loop-archive");
  for (const DocTable& t : kTables) {
    const std::string archivePath = LoopArchiveTable(dataDir, t);
    CreateArchiveTable(archivePath);
    Db archive(archivePath, "FULL");
    Db money(YearDir(dataDir) + t.name + ".DAT", "NORMAL");
    LockFile locks(YearDir(dataDir) + t.name + ".DIA");
    Statement walk(money, WalkSql(t.key));
    Statement read(money, ReadAgainSql(std::string("\"") + t.key + "\", Uzamceni"));
    Statement many(archive, "INSERT INTO records(ID, Lock) VALUES " + Placeholders(kInsertRows, "(?,?)"));
    Statement one(archive, "INSERT INTO records(ID, Lock) VALUES (?, ?)");
    Statement change(money, ChangeSql());
    std::vector<Doc> walked, now;
    std::vector<std::int64_t> held;
    for (std::int64_t last = 0;; last = walked.back().recno) {
      NextDocs(walk, last, walked);
      if (walked.empty()) break;
      held.clear();
      for (const Doc& w : walked) {
        if (!locks.Lock(w.recno)) return false;  // nobody else works on the benchmark's agenda
        held.push_back(w.recno);
      }
      // The walk's values may have changed before the locks; the archive gets what is changed.
      Exec(money, "BEGIN IMMEDIATE");
      ReadAgain(read, held, now);
      std::vector<std::int64_t> existing;
      for (const Doc& d : now) existing.push_back(d.recno);  // the others were deleted meanwhile
      Exec(archive, "BEGIN IMMEDIATE");
      InsertAll(many, one, now);
      Exec(archive, "COMMIT");
      sqlite3_bind_int(change, 1, 0);
      ChangeAll(change, existing);
      Exec(money, "COMMIT");
      for (const std::int64_t recno : held) locks.Unlock(recno);
    }
  }
  return true;
}

// Block by block over the archive: per archived document one indexed seek and its record lock;
// then the block's documents read again as one read and changed with one statement per lock
// state in one transaction, the locks released once it has committed. The table's last block is
// committed with a sync, which makes every earlier one durable as well.
bool BlockLoopRestore(const std::string& dataDir) {
  for (const DocTable& t : kTables) {
    Db archive(LoopArchiveTable(dataDir, t), "NORMAL");
    Db money(YearDir(dataDir) + t.name + ".DAT", "NORMAL");
    LockFile locks(YearDir(dataDir) + t.name + ".DIA");
    const std::string key = std::string("\"") + t.key + "\"";
    Statement walk(archive, "SELECT _RecNo, ID, Lock FROM records WHERE _RecNo > ?1 ORDER BY _RecNo LIMIT ?2");
    Statement find(money, "SELECT _RecNo FROM records WHERE " + key + " = ? ORDER BY " + key + ", _RecNo LIMIT 1");
    Statement read(money, ReadAgainSql(key + ", Uzamceni"));
    Statement change(money, ChangeSql());
    Statement end(archive, "SELECT max(_RecNo) FROM records");
    const std::int64_t lastArchived = sqlite3_step(end) == SQLITE_ROW ? sqlite3_column_int64(end, 0) : 0;
    sqlite3_reset(end);
    std::vector<Doc> archived, now;  // record numbers of the archive
    std::vector<std::int64_t> held;
    std::array<std::vector<std::int64_t>, 3> byState;  // unlocked, locked, NULL
    std::vector<std::pair<std::int64_t, int>> wanted;  // document, state
    for (std::int64_t last = 0;; last = archived.back().recno) {
      NextDocs(walk, last, archived);
      if (archived.empty()) break;
      if (archived.back().recno == lastArchived) Exec(money, "PRAGMA synchronous=FULL");
      held.clear();
      wanted.clear();
      for (const Doc& d : archived) {
        sqlite3_bind_int(find, 1, d.key);
        const bool found = sqlite3_step(find) == SQLITE_ROW;
        const std::int64_t recno = found ? sqlite3_column_int64(find, 0) : 0;
        sqlite3_reset(find);
        if (!found) continue;
        if (!locks.Lock(recno)) return false;  // nobody else works on the benchmark's agenda
        held.push_back(recno);
        wanted.emplace_back(recno, d.lockNull ? 2 : d.lock != 0);
      }
      std::sort(held.begin(), held.end());
      std::sort(wanted.begin(), wanted.end());
      Exec(money, "BEGIN IMMEDIATE");
      ReadAgain(read, held, now);
      for (auto& group : byState) group.clear();
      std::size_t w = 0;
      for (const Doc& d : now) {  // the others were deleted since the seek
        while (wanted[w].first < d.recno) ++w;
        byState[static_cast<std::size_t>(wanted[w].second)].push_back(d.recno);
      }
      for (int state = 0; state < 3; ++state) {
        if (byState[static_cast<std::size_t>(state)].empty()) continue;
        if (state == 2)
          sqlite3_bind_null(change, 1);
        else
          sqlite3_bind_int(change, 1, state);
        ChangeAll(change, byState[static_cast<std::size_t>(state)]);
      }
      Exec(money, "COMMIT");
      for (const std::int64_t recno : held) locks.Unlock(recno);
    }
  }
  return true;
}

// Per table one INSERT ... SELECT into the archive (one synced commit), then one UPDATE of every
// document (one commit).
bool BulkSave(const std::string& dataDir) {
  ForceDirectories(dataDir + "/loop-archive");
  for (const DocTable& t : kTables) {
    const std::string archivePath = LoopArchiveTable(dataDir, t);
    CreateArchiveTable(archivePath);
    Db archive(archivePath, "FULL");
    Attach(archive, YearDir(dataDir) + t.name + ".DAT", "money");
    Exec(archive, "PRAGMA money.synchronous=NORMAL");
    Exec(archive, std::string("BEGIN IMMEDIATE; INSERT INTO main.records(ID, Lock) SELECT \"") + t.key +
                      "\", Uzamceni FROM money.records ORDER BY _RecNo; COMMIT");
    Exec(archive, "BEGIN IMMEDIATE; UPDATE money.records SET Uzamceni = 0; COMMIT");
  }
  return true;
}

// Per table one UPDATE ... FROM that joins the documents to the archive by key, in one synced
// commit.
bool BulkRestore(const std::string& dataDir) {
  for (const DocTable& t : kTables) {
    Db money(YearDir(dataDir) + t.name + ".DAT", "FULL");
    Attach(money, LoopArchiveTable(dataDir, t), "archive");
    Exec(money, std::string("BEGIN IMMEDIATE; UPDATE main.records AS d SET Uzamceni = a.Lock FROM archive.records AS a "
                            "WHERE a.ID = d.\"") +
                    t.key + "\"; COMMIT");
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The ways, the table and the aims

struct Way {
  const char* name;
  bool (*save)(const std::string& dataDir);
  bool (*restore)(const std::string& dataDir);
};
constexpr Way kWays[] = {
    {"ours, blocks", OurSave, OurRestore},
    {"ours, record by record", OurSaveRecordByRecord, OurRestoreRecordByRecord},
    {"per-record loop", LoopSave, LoopRestore},
    {"block loop", BlockLoopSave, BlockLoopRestore},
    {"bulk", BulkSave, BulkRestore},
};
constexpr std::size_t kWayCount = std::size(kWays);
enum WayIndex : std::size_t { OursBlocks = 0, PerRecordLoop = 2, BlockLoop = 3 };

enum Job : std::size_t { Save = 0, Restore = 1 };
constexpr const char* kJobNames[] = {"save", "restore"};
// The aims, ours in blocks against the hand-written loops: at least this many times faster than
// the per-record loop, and within this factor of the block loop.
constexpr double kMinSpeedUp[] = {10.0, 2.0};
// Within this factor of the block loop's time; with slow syncs (--sync-delay) the save within the
// second.
constexpr double kMaxBlockRatio = 1.3;
constexpr double kMaxBlockRatioSlowSync = 1.5;

bool SlowSyncs() {
  const char* delay = std::getenv("VORLEND_SYNC_DELAY_MS");
  return delay && std::atoi(delay) > 0;
}

using Results = std::array<Result, kWayCount>;  // one job at one size, by way

struct Measured {
  int docs = 0;
  std::array<Results, 2> jobs{};  // by Job
};

// The machine's load average over 1, 5 and 15 minutes: the figures of a loaded machine vary.
std::string LoadAverage() {
  double load[3] = {};
  FILE* f = std::fopen("/proc/loadavg", "r");
  const bool read = f && std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) == 3;
  if (f) std::fclose(f);
  char text[64] = "?";
  if (read) std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

// The ways to run: all, or the one --only names.
std::string g_only;
bool Runs(std::size_t way) {
  return g_only.empty() || std::string(kWays[way].name).rfind(g_only, 0) == 0;
}

void PrintHeader() {
  std::printf("%-8s %8s  %-23s %8s %8s %9s %7s %9s  %22s  %17s\n", "job", "docs", "way", "s", "us/doc", "peak KiB",
              "syncs", "bytes/doc", "per-record loop / this", "this / block loop");
}

void PrintRows(Job job, int docs, const Results& r) {
  for (std::size_t w = 0; w < kWayCount; ++w) {
    if (!Runs(w)) continue;
    std::printf("%-8s %8d  %-23s %8.2f %8.1f %9ld %7ld %9.0f  %21.2fx  %17.2f\n", kJobNames[job], docs, kWays[w].name,
                r[w].seconds, r[w].seconds * 1e6 / docs, r[w].peakKiB, r[w].syncs,
                r[w].wrote < 0 ? -1.0 : static_cast<double>(r[w].wrote) / docs, r[PerRecordLoop].seconds / r[w].seconds,
                r[w].seconds / r[BlockLoop].seconds);
  }
  std::fflush(stdout);
}

void PrintAims(const std::vector<Measured>& all) {
  std::printf("aims for ours, blocks:\n");
  for (const Measured& m : all) {
    for (Job job : {Save, Restore}) {
      const Results& r = m.jobs[job];
      const double speedUp = r[PerRecordLoop].seconds / r[OursBlocks].seconds;
      const double ratio = r[OursBlocks].seconds / r[BlockLoop].seconds;
      const double maxRatio = SlowSyncs() && job == Save ? kMaxBlockRatioSlowSync : kMaxBlockRatio;
      std::printf(
          "  %-8s %8d  %6.2fx faster than the per-record loop (aim ≥ %.0fx: %s), %5.2fx the block loop's time "
          "(aim ≤ %.1fx: %s)\n",
          kJobNames[job], m.docs, speedUp, kMinSpeedUp[job],
          // the per-record loop commits without syncs: slower syncs leave it as it was
          SlowSyncs()                   ? "no aim with slower syncs"
          : speedUp >= kMinSpeedUp[job] ? "met"
                                        : "MISSED",
          ratio, maxRatio, ratio <= maxRatio ? "met" : "MISSED");
    }
  }
  if (all.size() >= 2) {
    const Measured& first = all.front();
    const Measured& last = all.back();
    for (Job job : {Save, Restore}) {
      const long ours = last.jobs[job][OursBlocks].peakKiB - first.jobs[job][OursBlocks].peakKiB;
      const long loop = last.jobs[job][BlockLoop].peakKiB - first.jobs[job][BlockLoop].peakKiB;
      std::printf("  %-8s peak memory from %d to %d docs: %ld → %ld KiB (%+ld KiB; block loop %+ld KiB) (aim: flat)\n",
                  kJobNames[job], first.docs, last.docs, first.jobs[job][OursBlocks].peakKiB,
                  last.jobs[job][OursBlocks].peakKiB, ours, loop);
    }
  }
}

int Usage(FILE* to) {
  std::fprintf(to,
               "usage: archive_bench [--quick] [--sync-delay MS] [--only WAY] [DOCS_PER_TABLE...]\n"
               "  times the save and the restore over 8 document tables of DOCS_PER_TABLE documents each\n"
               "  (default 2500 and 25000); --quick measures only the first size; --sync-delay makes every\n"
               "  disk sync MS milliseconds slower; --only runs the one way whose name starts so\n");
  return to == stdout ? 0 : 2;
}

// Starts the bench again with its sync shim loaded, unless it is loaded already or missing, or the
// bench runs under valgrind (whose own preload the restart would lose).
void LoadSyncShim(char** argv) {
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload && std::string(preload).find("vgpreload") != std::string::npos) return;
  const std::string shim = ProgramDirectory() + "sync_shim.so";
  if (SyncCount() >= 0 || !FileExists(shim)) return;
  ::setenv("LD_PRELOAD", shim.c_str(), 1);
  ::execv("/proc/self/exe", argv);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    char* end = nullptr;
    const long n = std::strtol(arg.c_str(), &end, 10);
    if (arg == "-h" || arg == "--help") return Usage(stdout);
    if (arg == "--quick") {
      quick = true;
    } else if ((arg == "--sync-delay" || arg == "--only") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--only")
        g_only = value;
      else
        ::setenv("VORLEND_SYNC_DELAY_MS", value.c_str(), 1);
    } else if (!arg.empty() && *end == '\0' && n > 0 && n <= 10'000'000) {
      sizes.push_back(static_cast<int>(n));
    } else {
      std::fprintf(stderr, "archive_bench: unknown argument: %s\n", arg.c_str());
      return 2;
    }
  }
  LoadSyncShim(argv);
  if (sizes.empty()) sizes = {2500, 25000};
  if (quick) sizes.resize(1);

  const std::string binDir = ProgramDirectory();
  const std::string root = TempDirectory() + "vorlend-archive-bench-XXXXXX";
  std::vector<char> tmpl(root.begin(), root.end());
  tmpl.push_back('\0');
  if (!::mkdtemp(tmpl.data())) {
    std::perror("archive_bench: mkdtemp");
    return 1;
  }
  g_workDir = tmpl.data();

  std::printf(
      "save = 8 tables, each document's key and lock recorded in an archive, then the document unlocked; "
      "restore = each archived document sought by key and given its lock back | ours, blocks = the add-on, "
      "blocks of %d (save) or %d (restore) docs or %d-%d ms (ten syncs) | ours, record by record = the add-on through "
      "a component without "
      "transactions | per-record loop = SQLite, a commit per archive record and per document | block loop = "
      "SQLite with the add-on's guarantees: record locks, blocks of %d read again as one read, archive records in "
      "multi-row inserts synced before the documents "
      "commit | bulk = SQLite, one statement per table and step, no record locks\n",
      kSaveBlockSize, kRestoreBlockSize, kBlockTimeLimitMs, kMaxBlockTimeMs, kLoopBlock);
  if (SlowSyncs()) std::printf("every disk sync made %s ms slower\n", std::getenv("VORLEND_SYNC_DELAY_MS"));
  PrintHeader();
  const std::string loadBefore = LoadAverage();
  std::vector<Measured> all;
  for (const int perTable : sizes) {
    Measured m;
    m.docs = perTable * 8;
    const std::string seeded = g_workDir + "/seed-" + std::to_string(perTable);
    Seed(binDir, seeded, perTable);
    std::vector<std::string> copies;
    for (std::size_t w = 0; w < kWayCount; ++w) {
      copies.push_back(g_workDir + "/" + std::to_string(perTable) + "-" + std::to_string(w));
      Run("cp -a " + ShellWord(seeded) + " " + ShellWord(copies.back()));
    }
    const std::string docs = ", " + std::to_string(m.docs) + " docs";
    for (std::size_t w = 0; w < kWayCount; ++w)
      if (Runs(w))
        m.jobs[Save][w] =
            InChild(std::string("save, ") + kWays[w].name + docs, [&] { return kWays[w].save(copies[w]); });
    PrintRows(Save, m.docs, m.jobs[Save]);
    for (std::size_t w = 0; w < kWayCount; ++w)
      if (Runs(w))
        m.jobs[Restore][w] =
            InChild(std::string("restore, ") + kWays[w].name + docs, [&] { return kWays[w].restore(copies[w]); });
    PrintRows(Restore, m.docs, m.jobs[Restore]);
    if (Runs(OursBlocks)) {
      // The same restore once more: every document already holds its archived state.
      const auto idle = InChild("idle restore" + docs, [&] { return kWays[OursBlocks].restore(copies[OursBlocks]); });
      std::printf("%-8s %8d  %-23s %8.2f %8s %9ld %7ld %9lld  (bytes in all)\n", "restore", m.docs,
                  "ours, nothing to change", idle.seconds, "", idle.peakKiB, idle.syncs, idle.wrote);
    }
    all.push_back(m);
    RemoveDirectoryTree(seeded);
    for (const std::string& copy : copies) RemoveDirectoryTree(copy);
  }
  if (g_only.empty()) PrintAims(all);
  std::printf("load average (1, 5, 15 min) before: %s, after: %s\n", loadBefore.c_str(), LoadAverage().c_str());
  RemoveDirectoryTree(g_workDir);
  return 0;
}
