// The save and the restore with the power cut at many moments. Each run goes in a child process
// that sees its SQLite files through the power-cut VFS and its other files (`info`, `info.tab`,
// the template copies, directories, the deletion's renames) through a file door that keeps a
// journal of what was not synced; when the power goes, both are left as the disk would hold them
// after the restart. The parent then starts again on them the ordinary way and checks that nothing
// was lost: every table is sound, every document whose lock changed has its earlier state in an
// archive the restore accepts, and the archive gives it back.
//
// Beside the cuts, the same layer shows without any cut the order in which the disk sees the writes
// and syncs of a save and a restore, and plays a disk with no room left.
//
// VORLEND_POWER_CUTS sets how many cuts the whole suite makes (fewer for the sanitizer build).
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <utility>

#include "archive/catalogue.h"
#include "archive/restore.h"
#include "archive/roads.h"
#include "archive/save.h"
#include "engine/table_files.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "support/agenda_builder.h"
#include "support/fault_door.h"
#include "support/power_cut_vfs.h"
#include "support/scripted_ports.h"

using namespace vorlend;
using namespace vorlend::test;
namespace fs = std::filesystem;

namespace {

using Locks = std::map<std::int32_t, std::string>;  // key -> lock as LockText writes it

// ---- how many cuts, and the line that reports them.

constexpr int kDefaultCuts = 1050;

int CutBudget() {
  const char* text = std::getenv("VORLEND_POWER_CUTS");
  if (!text || !*text) return kDefaultCuts;
  return std::max(1, std::atoi(text));
}

int g_saveCuts = 0;
int g_restoreCuts = 0;

// One line at the end of the program, for the figures: "power cuts: save 702, restore 351" when
// both tests ran in it, only the one that ran when CTest runs each test in a process of its own.
class CutReport : public ::testing::Environment {
public:
  void TearDown() override {
    std::string line;
    if (g_saveCuts > 0) line += "save " + std::to_string(g_saveCuts);
    if (g_restoreCuts > 0) line += (line.empty() ? "" : ", ") + std::string("restore ") + std::to_string(g_restoreCuts);
    if (!line.empty()) std::printf("power cuts: %s\n", line.c_str());
  }
};
[[maybe_unused]] ::testing::Environment* const kCutReport = ::testing::AddGlobalTestEnvironment(new CutReport);

// ---- a run in a child process.

struct ChildRun {
  bool cut = false;         // the power went
  bool ended = false;       // the operation ran to its end (and the power went after it, if at all)
  int status = -1;          // the exit status of an operation that ended, 0 when it succeeded
  long events = 0;          // ... its I/O events
  std::vector<long> syncs;  // ... and which of them were syncs
  std::string message;      // ... and the last message it showed
};

// What the cache had written back when the power went: the SQLite files that keep their unsynced
// writes, and how many of the file door's unsynced changes, oldest first, reached the disk (`door`
// modulo their number plus one).
struct CacheAtCut {
  WrittenBack files;
  std::size_t door = 0;
};

// Runs `operation` in a forked child with the power-cut VFS and a journaling file door installed.
// The door is made in the child, after the fork, and put in force there: what it records never
// reaches the parent, which looks at the files through the system's door as a restarted machine
// would. Each of the door's operations is an I/O event of the same count as SQLite's writes and
// syncs. The power goes at the cutAt-th event, or right after the operation's end when it has
// fewer; with cutAt <= 0 it never goes. The operation returns 0 on success and may name its last
// message; nothing of the child's memory comes back except through the pipe.
ChildRun RunInChild(long cutAt, const CacheAtCut& cache, const std::function<int(std::string&)>& operation,
                    const DiskFull& diskFull = {}) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::close(pipeFds[0]);
    int status = 3;
    std::string message;
    try {
      InstallPowerCutVfs(cutAt, cache.files, diskFull);
      // Never destroyed: the cut runs it at the child's last moment, and the child ends by _exit.
      auto* door = new FaultDoor();
      door->KeepJournal(PowerCutDurableContent);
      door->SetBeforeEach(PowerCutIoEvent);
      AtPowerCut([door, kept = cache.door] { return door->CutPower(kept % (door->UnsyncedChanges() + 1)); });
      const ScopedFileDoor journaled(*door);
      status = operation(message);
    } catch (const std::exception& e) {
      message = std::string("exception: ") + e.what();
    } catch (...) {
      // Nothing may leave the child: it would run the rest of the test program a second time.
      message = "an exception of unknown type";
    }
    std::ostringstream out;
    out << status << " " << PowerCutEventCount() << "\n";
    for (long s : PowerCutSyncEvents()) out << s << " ";
    out << "\n" << message;
    const std::string text = out.str();
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t w = ::write(pipeFds[1], text.data() + done, text.size() - done);
      if (w <= 0) break;
      done += static_cast<std::size_t>(w);
    }
    if (cutAt > 0) CutPowerNow();
    ::_exit(status);
  }
  ::close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  ChildRun run;
  run.cut = WIFEXITED(status) && WEXITSTATUS(status) == kPowerCutExitCode;
  if (!run.cut) run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.ended = !text.empty();
  if (!run.ended) return run;
  std::istringstream in(text);
  in >> run.status >> run.events;
  in.ignore(1);
  std::string syncLine;
  std::getline(in, syncLine);
  std::istringstream syncs(syncLine);
  for (long s; syncs >> s;) run.syncs.push_back(s);
  run.message.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

// The moments to cut a run of `events` I/O events at, `count` of them (at most one per event).
// First right after the end (events + 1): the program is done, and what it did not sync is still
// in the cache. Then the event after each sync: the disk's content changes only at a sync, so
// these meet every state the disk can be left in, the newest data just made durable and the rest
// still in the cache. Then points spread evenly over the run, then random ones (a fixed seed),
// which vary how far the program itself had got past the last sync.
std::vector<long> CutPoints(long events, const std::vector<long>& syncs, int count, unsigned seed) {
  std::set<long> points{events + 1};
  const auto wanted = static_cast<std::size_t>(std::min<long>(count, events + 1));
  std::vector<long> afterSync;
  for (long s : syncs) {
    if (s + 1 <= events) afterSync.push_back(s + 1);
  }
  // Half the budget at most for them, taken evenly when there are more.
  const std::size_t syncShare = std::min(afterSync.size(), std::max<std::size_t>(1, wanted / 2));
  for (std::size_t i = 0; i < syncShare && !afterSync.empty(); ++i) {
    points.insert(afterSync[i * afterSync.size() / syncShare]);
  }
  const std::size_t even = (wanted - std::min(wanted, points.size())) * 3 / 4;
  for (std::size_t i = 0; i < even; ++i) {
    points.insert(1 + static_cast<long>(i * static_cast<std::size_t>(events - 1) / std::max<std::size_t>(1, even - 1)));
  }
  std::mt19937 rng(seed);
  std::uniform_int_distribution<long> any(1, events);
  while (points.size() < wanted) points.insert(any(rng));
  return {points.begin(), points.end()};
}

// A file's name with its folder ("Rok.002/POKLKNIH.dat-wal"): the same at every run of the test,
// wherever its temporary folder lies.
std::string ShortName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t folder = slash == 0 || slash == std::string::npos ? std::string::npos : path.rfind('/', slash - 1);
  return folder == std::string::npos ? path : path.substr(folder + 1);
}

// What the cache had written back when the power went. At every other cut nothing: all that was
// not synced is lost together. At the others each SQLite file by a coin of its own, thrown afresh
// at every cut point, so that over many cuts one table keeps its unsynced writes while another
// loses them, both ways round; and of the file door's changes some of the oldest, as a journaling
// file system writes changes of names in their order.
CacheAtCut CacheWrittenBack(std::size_t cutNumber, long cutAt) {
  if (cutNumber % 2 == 0) return {};
  return {[cutAt](const std::string& path) {
            std::uint64_t h = 1469598103934665603ull ^ static_cast<std::uint64_t>(cutAt);  // FNV-1a
            for (const char c : ShortName(path)) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
            h ^= h >> 33;
            h *= 0xff51afd7ed558ccdull;
            h ^= h >> 33;
            return (h & 1) != 0;
          },
          static_cast<std::size_t>(cutAt) * 2654435761u};
}

// ---- the agenda.

// One Money table of the agenda: documents firstKey.., every lockedEvery-th locked and every
// nullEvery-th without a lock value at all (0: none).
struct SeededTable {
  const char* yearDir;
  const char* code;
  int count;
  std::int32_t firstKey;
  int lockedEvery;
  int nullEvery;
};

// Two years; 2004 has only the module PD, so the save also writes archive tables of Money tables
// that do not exist, which the restore passes over.
constexpr SeededTable kAgenda[] = {
    {"Rok.002", "PD", 31, 100, 3, 7},
    {"Rok.002", "BD", 17, 1, 2, 0},
    {"Rok.002", "SD", 23, 5000, 4, 5},
    {"Rok.001", "PD", 12, 100, 2, 11},
};

const ModuleInfo& ModuleOf(const std::string& code) {
  for (const ModuleInfo& m : kModules) {
    if (code == m.code) return m;
  }
  throw std::logic_error("no module " + code);
}

struct MoneyTable {
  std::string path;
  std::string keyField;
  std::string archiveName;  // "PD002"
};

Locks ReadLockMap(const std::string& path, const std::string& keyField) {
  Locks locks;
  // A key recorded twice counts with its last record, as the restore leaves it.
  for (const auto& [key, lock] : ReadLocks(path, keyField)) locks[key] = lock;
  return locks;
}

// Money itself has the agenda open while the add-on works (the add-on is started from it): a
// connection of its own to every Money table, opened in the child before the operation and never
// closed. SQLite then no longer checkpoints a table when the add-on closes it, so what the add-on
// did not sync stays in the unsynced log instead of reaching the disk at the close.
void OpenLikeMoney(const std::vector<std::string>& tablePaths) {
  for (const std::string& path : tablePaths) {
    sqlite3* db = nullptr;
    const std::string dat = engine::ResolveTablePaths(path).dat;
    if (sqlite3_open_v2(dat.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw std::runtime_error("Money cannot open " + dat);
    }
  }
}

// The problems found after one cut, each on a line of its own.
class Problems {
public:
  template <class... T>
  void Add(const T&... parts) {
    std::ostringstream line;
    (line << ... << parts);
    m_lines.push_back(line.str());
  }
  bool Empty() const { return m_lines.empty(); }
  // The first few lines: one cut that breaks an invariant usually breaks it for many documents.
  std::string Text() const {
    std::string text;
    for (std::size_t i = 0; i < m_lines.size() && i < 6; ++i) text += "  " + m_lines[i] + "\n";
    if (m_lines.size() > 6) text += "  ... " + std::to_string(m_lines.size() - 6) + " more\n";
    return text;
  }

private:
  std::vector<std::string> m_lines;
};

// The runs make many syncs of their own besides SQLite's (ini files, file lists, copied tables),
// each milliseconds on a disk and nothing in memory, and what survives a cut is decided by the VFS
// alone: the test's folder goes to /dev/shm where the machine has it.
class InMemoryTempFolder {
public:
  InMemoryTempFolder() {
    if (const char* t = std::getenv("TMPDIR")) m_previous = t;
    m_hadPrevious = std::getenv("TMPDIR") != nullptr;
    if (::access("/dev/shm", W_OK) == 0 && DirectoryExists("/dev/shm")) ::setenv("TMPDIR", "/dev/shm", 1);
  }
  // Called once the folder is made: child programs and later tests see TMPDIR as it was.
  void Restore() const {
    if (m_hadPrevious)
      ::setenv("TMPDIR", m_previous.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }

private:
  std::string m_previous;
  bool m_hadPrevious = false;
};

struct PowerCutFixture : ::testing::Test {
  InMemoryTempFolder inMemory;
  TempDir dir;
  AgendaBuilder agenda{dir};
  HostContext ctx;
  std::vector<MoneyTable> tables;
  ModuleFilter filter{};
  std::map<std::string, Locks> seeded;  // Money table path -> the documents as built

  void SetUp() override {
    inMemory.Restore();
    SetFormatSettings(CzechLocaleFormats());
    SetClockForTesting([] { return EncodeDate(2026, 12, 7) + EncodeTime(9, 5, 3); });
    agenda.AddYear("Rok.001", "2004");
    agenda.AddYear("Rok.002", "2005");
    for (const SeededTable& table : kAgenda) {
      const ModuleInfo& module = ModuleOf(table.code);
      std::vector<Document> docs = MakeDocuments(table.count, table.firstKey, table.lockedEvery);
      for (int i = 0; table.nullEvery > 0 && i < table.count; ++i) {
        if (i % table.nullEvery == table.nullEvery - 1) docs[static_cast<std::size_t>(i)].lock = Variant::Null();
      }
      agenda.AddTable(table.yearDir, module.moneyTable, docs);
      const std::string ext = std::string(table.yearDir).substr(4);
      tables.push_back({agenda.AgendaDir() + table.yearDir + "/" + module.moneyTable, module.keyField,
                        std::string(table.code) + ext});
      filter[static_cast<std::size_t>(&module - kModules.data())] = true;
    }
    ctx = agenda.Context();
    for (const MoneyTable& t : tables) seeded[t.path] = ReadLockMap(t.path, t.keyField);
  }
  void TearDown() override { SetClockForTesting(nullptr); }

  std::string Work() const { return dir / "Money"; }
  std::string Pristine() const { return dir / "pristine"; }
  // What every run starts from: the data directory as it stands now.
  void KeepAsPristine() {
    fs::remove_all(Pristine());
    fs::copy(Work(), Pristine(), fs::copy_options::recursive);
  }
  void BackToPristine() {
    fs::remove_all(Work());
    fs::copy(Pristine(), Work(), fs::copy_options::recursive);
  }

  std::vector<std::string> MoneyPaths() const {
    std::vector<std::string> paths;
    for (const MoneyTable& t : tables) paths.push_back(t.path);
    return paths;
  }

  std::map<std::string, Locks> MoneyNow() const {
    std::map<std::string, Locks> now;
    for (const MoneyTable& t : tables) now[t.path] = ReadLockMap(t.path, t.keyField);
    return now;
  }

  // Every table on the disk, Money's and the archives', must pass SQLite's integrity check once it
  // is opened again.
  void CheckEveryTable(Problems& problems) const {
    for (const auto& entry : fs::recursive_directory_iterator(Work())) {
      if (!entry.is_regular_file() || !SameText(entry.path().extension().string(), ".dat")) continue;
      const std::string result = engine::CheckTable(entry.path().string());
      if (result != "ok") problems.Add(entry.path().string(), ": ", result);
    }
  }

  // The archive directories of the agenda that hold a file list.
  std::vector<std::string> ArchivesWithFileList() const {
    std::vector<std::string> found;
    if (!DirectoryExists(ctx.ArchiveRoot())) return found;
    for (const auto& entry : fs::directory_iterator(ctx.ArchiveRoot())) {
      const std::string archive = entry.path().string() + "/";
      if (entry.is_directory() && FileExists(archive + "info.tab")) found.push_back(archive);
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  // The data file of the table a file of SQLite's belongs to: the file itself, or the table whose
  // log or journal it is.
  static std::string DataFileOf(const std::string& path) {
    for (const std::string suffix : {"-wal", "-journal"}) {
      if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return path.substr(0, path.size() - suffix.size());
      }
    }
    return path;
  }

  // What the disk saw of a save out of order, read off the I/O of the process so far. A block's
  // archive records are committed and synced before its documents change: every commit of a Money
  // table (a run of I/O on its files that nothing else interrupts) must come after a sync of its
  // archive table made since the table's previous commit, and none of its writes while a file of
  // the archive table holds a write not yet synced.
  Problems ArchiveSyncedBeforeEveryChange(const std::string& archiveDir) const {
    struct Pair {
      std::string archive;  // the data file of the Money table's archive table
      int syncs = 0;        // of the archive table's files since the Money table's last commit
    };
    std::map<std::string, Pair> byMoney;  // by the Money table's data file
    for (const MoneyTable& t : tables) {
      byMoney[ResolvePath(t.path + ".dat")] = {ResolvePath(archiveDir + t.archiveName + ".dat")};
    }
    Problems problems;
    std::set<std::string> unsynced;
    std::string previousTable;
    int commits = 0;
    for (const PowerCutEvent& e : PowerCutEventLog()) {
      if (e.path.empty()) continue;  // the file door's: no table file
      const std::string table = DataFileOf(e.path);
      if (e.sync) {
        unsynced.erase(e.path);
      } else {
        unsynced.insert(e.path);
      }
      for (auto& [money, pair] : byMoney) {
        if (table == pair.archive && e.sync) ++pair.syncs;
        if (table != money) continue;
        if (previousTable != money) {
          ++commits;
          if (pair.syncs == 0) problems.Add(ShortName(e.path), " committed with no sync of its archive table before");
          pair.syncs = 0;
        }
        for (const std::string& file : unsynced) {
          if (!e.sync && DataFileOf(file) == pair.archive) {
            problems.Add(ShortName(e.path), " written while ", ShortName(file), " held unsynced writes");
          }
        }
      }
      previousTable = table;
    }
    if (commits == 0) problems.Add("no document change reached the disk");
    return problems;
  }

  // The Money tables' files that hold writes not yet synced, read off the I/O of the process so
  // far; empty when every change is on the disk.
  std::string UnsyncedMoneyWrites() const {
    std::set<std::string> money;
    for (const MoneyTable& t : tables) money.insert(ResolvePath(t.path + ".dat"));
    std::set<std::string> unsynced;
    bool written = false;
    for (const PowerCutEvent& e : PowerCutEventLog()) {
      if (e.path.empty()) continue;  // the file door's: no table file
      if (money.count(DataFileOf(e.path)) == 0) continue;
      written = written || !e.sync;
      if (e.sync) {
        unsynced.erase(e.path);
      } else {
        unsynced.insert(e.path);
      }
    }
    if (!written) return "no document change reached the disk";
    std::string text;
    for (const std::string& file : unsynced) text += ShortName(file) + " holds unsynced writes\n";
    return text;
  }

  // The restore as the user would run it after the restart, on the archive directory.
  int RestoreNormally(const std::string& archiveDir, std::string& message) {
    ScriptedDialogs dialogs;
    ScriptedProgress progress;
    TBFTable money, lock;
    FileList files;
    RestoreJob job{ctx, dialogs, progress, money, lock, files};
    const int result = Presented(RestoreLocks(job, archiveDir), dialogs);
    message = dialogs.Last() ? dialogs.LastEntry().text : "";
    return result;
  }

  // A kind of run, cut at many moments.
  struct Runs {
    std::vector<std::string> names;                                     // one per run
    std::function<int(std::size_t run, std::string& message)> operate;  // in the child
    std::function<Problems()> check;                                    // in the parent, after the child
  };

  // Each run once whole first, counting its I/O events: it must succeed and pass the checks. Then
  // `budget` cuts, shared among the runs by their number of events, each from the same start.
  // Returns the number of cuts made.
  int CutRuns(const Runs& runs, int budget, unsigned seed) {
    std::vector<ChildRun> whole;
    long allEvents = 0;
    for (std::size_t r = 0; r < runs.names.size(); ++r) {
      BackToPristine();
      whole.push_back(RunInChild(0, {}, [&](std::string& message) { return runs.operate(r, message); }));
      const ChildRun& run = whole.back();
      if (run.cut || !run.ended || run.status != 0 || run.events <= 0) {
        ADD_FAILURE() << runs.names[r] << ": the run without a cut ended with status " << run.status << " after "
                      << run.events << " events: " << run.message;
        return 0;
      }
      Report(runs.names[r], "without a power cut", runs.check(), "");
      allEvents += run.events;
    }

    int cuts = 0;
    for (std::size_t r = 0; r < runs.names.size(); ++r) {
      const long events = whole[r].events;
      const int share = static_cast<int>((static_cast<long>(budget) * events + allEvents - 1) / allEvents);
      const std::vector<long> points = CutPoints(events, whole[r].syncs, share, seed + static_cast<unsigned>(r));
      for (std::size_t i = 0; i < points.size(); ++i) {
        const long cutAt = points[i];
        // After the end nothing unsynced survives: what the program finished must be on the disk.
        const CacheAtCut cache = cutAt > events ? CacheAtCut{} : CacheWrittenBack(i, cutAt);
        BackToPristine();
        const ChildRun run = RunInChild(cutAt, cache, [&](std::string& message) { return runs.operate(r, message); });
        // A run usually takes the same course as the whole one; when it ends sooner (a block closed
        // early on a busy machine), the power goes after its end, which is a moment like any other.
        if (!run.cut || (run.ended && run.status != 0)) {
          ADD_FAILURE() << runs.names[r] << ": the run to be cut at event " << cutAt << " ended with status "
                        << run.status << " after " << run.events << " events: " << run.message;
          continue;
        }
        ++cuts;
        const std::string moment =
            run.ended ? "power cut after the end (" + std::to_string(run.events) + " I/O events)"
                      : "power cut before I/O event " + std::to_string(cutAt) + " of " + std::to_string(events);
        Report(runs.names[r], moment, runs.check(), WrittenBackNames(cache));
      }
    }
    EXPECT_EQ(m_failedCuts, 0) << m_failedCuts << " of " << cuts << " cuts broke an invariant, " << m_failedAllLost
                               << " of them with every unsynced write lost";
    return cuts;
  }

private:
  // The SQLite files of the data directory whose cache counts as written back at the cut (and
  // with them some of the oldest of the file door's unsynced changes, their number drawn by lot).
  std::string WrittenBackNames(const CacheAtCut& cache) const {
    const WrittenBack& writtenBack = cache.files;
    if (!writtenBack) return "none";
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(Work())) {
      const std::string path = entry.path().string();
      const std::string ext = entry.path().extension().string();
      if (entry.is_regular_file() && (SameText(ext, ".dat") || SameText(ext, ".dat-wal")) && writtenBack(path)) {
        names.push_back(ShortName(path));
      }
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return (text.empty() ? "none of the files left" : text) + "; the file door's oldest changes by lot";
  }

  // One cut's problems; the first few cuts that have any are shown in full.
  void Report(const std::string& what, const std::string& moment, const Problems& problems,
              const std::string& writtenBack) {
    if (problems.Empty()) return;
    if (writtenBack == "none") ++m_failedAllLost;
    if (++m_failedCuts <= 8) {
      ADD_FAILURE() << what << ", " << moment
                    << (writtenBack.empty() ? "" : " (cache written back: " + writtenBack + ")") << ":\n"
                    << problems.Text();
    }
  }

  int m_failedCuts = 0;
  int m_failedAllLost = 0;
};

// ---- the save.

struct SaveRun {
  LockAction action;
  int blockSize;
  bool moneyOpen;  // Money has the agenda open meanwhile
};

std::string Describe(const SaveRun& run) {
  return std::string(run.action == LockAction::Lock ? "lock-all" : "unlock-all") + " save, blocks of " +
         std::to_string(run.blockSize) + (run.moneyOpen ? ", Money open" : ", the add-on alone");
}

struct PowerCutSave : PowerCutFixture {
  void SetUp() override {
    PowerCutFixture::SetUp();
    KeepAsPristine();
  }

  // The save in the child, as its Start button runs it over both years.
  int Save(const SaveRun& run, std::string& message) {
    ScriptedDialogs dialogs;
    ScriptedProgress progress;
    TBFTable money, lock;
    YearList years;
    FileList files;
    if (!FillYearList(ctx.AgendaPath, dialogs, years)) return 2;
    for (std::size_t i = 0; i < years.Count(); ++i) years.Toggle(i);
    if (run.moneyOpen) OpenLikeMoney(MoneyPaths());
    const SaveOutcome outcome = RunSaveRoad(ctx, RoadPorts{dialogs, progress}, RoadTables{money, lock, files}, years,
                                            SaveChoices{filter, run.action, "před výpadkem"}, run.blockSize);
    message = dialogs.Last() ? dialogs.LastEntry().text : "";
    return outcome.status == SaveStatus::Saved ? 0 : 1;
  }

  // What the restarted machine must find after a save was cut (or ran to its end): sound tables;
  // every changed document's earlier state in an archive with its file list, which the catalogue
  // offers and whose restore gives every document back; no change at all without such an archive.
  Problems CheckAfterSave() {
    Problems problems;
    CheckEveryTable(problems);
    const std::vector<std::string> archives = ArchivesWithFileList();
    if (archives.size() > 1) problems.Add(archives.size(), " archives with a file list after one save");
    const std::string archive = archives.empty() ? "" : archives.front();

    for (const auto& [path, now] : MoneyNow()) {
      const MoneyTable& table =
          *std::find_if(tables.begin(), tables.end(), [&](const MoneyTable& t) { return t.path == path; });
      const Locks& before = seeded.at(path);
      if (now.size() != before.size()) problems.Add(path, ": ", now.size(), " documents, ", before.size(), " before");
      Locks archived;
      if (!archive.empty() && FileExists(archive + table.archiveName + ".dat")) {
        archived = ReadLockMap(archive + table.archiveName, "ID");
      }
      // The archive never holds a state its document did not have before the save.
      for (const auto& [key, lock] : archived) {
        const auto earlier = before.find(key);
        if (earlier == before.end() || earlier->second != lock) {
          problems.Add(table.archiveName, " holds ", lock, " for document ", key, ", which was ",
                       earlier == before.end() ? "missing" : earlier->second, " before the save");
        }
      }
      for (const auto& [key, lock] : now) {
        const auto earlier = before.find(key);
        if (earlier == before.end() || earlier->second == lock) continue;
        if (archive.empty()) {
          problems.Add(table.archiveName, " document ", key, " changed ", earlier->second, " -> ", lock,
                       " and no archive with a file list is left");
          continue;
        }
        const auto record = archived.find(key);
        if (record == archived.end()) {
          problems.Add(table.archiveName, " document ", key, " changed ", earlier->second, " -> ", lock,
                       " but the archive has no record of it");
        } else if (record->second != earlier->second) {
          problems.Add(table.archiveName, " document ", key, " changed ", earlier->second, " -> ", lock,
                       " but the archive holds ", record->second);
        }
      }
    }
    if (archive.empty()) return problems;

    ArchiveList list;
    EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
    const std::string dirName = fs::path(archive).parent_path().filename().string();
    if (std::none_of(list.Rows().begin(), list.Rows().end(), [&](const ArchiveRow& r) { return r.Dir == dirName; })) {
      problems.Add("the catalogue does not offer archive ", dirName);
    }
    std::string message;
    if (RestoreNormally(archive, message) != 0) problems.Add("the restore of ", archive, " failed: ", message);
    for (const auto& [path, now] : MoneyNow()) {
      const Locks& before = seeded.at(path);
      for (const auto& [key, lock] : before) {
        const auto after = now.find(key);
        if (after == now.end() || after->second != lock) {
          problems.Add(path, " document ", key, " is ", after == now.end() ? "missing" : after->second,
                       " after the restore, ", lock, " before the save");
        }
      }
    }
    return problems;
  }
};

// ---- the restore.

struct PowerCutRestore : PowerCutFixture {
  std::string archiveDir;
  std::map<std::string, Locks> unlocked;            // Money table path -> the documents after the save
  std::map<std::string, std::string> archiveDumps;  // archive table -> its dump after the save
  std::map<std::string, std::string> archiveBytes;  // archive table's .dat -> its bytes after the save

  // The agenda saved once with "unlock all", completely and without any cut.
  void SetUp() override {
    PowerCutFixture::SetUp();
    ScriptedDialogs dialogs;
    ScriptedProgress progress;
    TBFTable money, lock;
    YearList years;
    FileList files;
    ASSERT_TRUE(FillYearList(ctx.AgendaPath, dialogs, years));
    for (std::size_t i = 0; i < years.Count(); ++i) years.Toggle(i);
    SaveJob job{ctx, dialogs, progress, money, lock, years, SaveChoices{filter, LockAction::Unlock, "odemčeno"}, files};
    ASSERT_EQ(Presented(StartSave(job), dialogs), 0) << (dialogs.Last() ? dialogs.LastEntry().text : "");
    archiveDir = job.ArchiveDir;
    unlocked = MoneyNow();
    for (const auto& entry : fs::directory_iterator(archiveDir)) {
      if (!SameText(entry.path().extension().string(), ".dat")) continue;
      archiveDumps[entry.path().string()] = DumpTable(entry.path().string());
      archiveBytes[entry.path().string()] = ReadBytes(entry.path().string());
    }
    KeepAsPristine();
  }

  struct RestoreRun {
    int blockSize;
    bool deleteAfter;  // the archive deleted once it is restored, as the user may choose
    bool moneyOpen;    // Money has the agenda open meanwhile
  };

  // The restore in the child, as its Start button runs it on the catalogue's row. `asked` runs when
  // the deletion is offered.
  int Restore(const RestoreRun& run, std::string& message, const std::function<void()>& asked = {}) {
    ScriptedDialogs dialogs;
    ScriptedProgress progress;
    TBFTable money, lock;
    FileList files;
    ArchiveList list;
    EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
    if (list.Count() != 1) return 2;
    if (run.moneyOpen) OpenLikeMoney(MoneyPaths());
    dialogs.Answer(run.deleteAfter);
    if (asked) dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) { asked(); };
    const RestoreRoadOutcome outcome =
        RunRestoreRoad(ctx, RoadPorts{dialogs, progress}, RoadTables{money, lock, files}, list.Row(0), run.blockSize);
    if (run.deleteAfter && outcome.deletion != DeletionStatus::Deleted) return 1;
    message = dialogs.Last() ? dialogs.LastEntry().text : "";
    return outcome.status == RestoreStatus::Restored ? 0 : 1;
  }

  // What the restarted machine must find after a restore was cut: sound tables, every document
  // either back at its archived state or still as the save left it, the archive untouched, and a
  // second restore that puts every archived state back. An archive deleted after its restore
  // must not be gone while a state it held is not back in its document.
  Problems CheckAfterRestore(bool dumpArchive) {
    Problems problems;
    CheckEveryTable(problems);
    if (!FileExists(archiveDir + "info.tab")) {
      for (const auto& [path, now] : MoneyNow()) {
        for (const auto& [key, lock] : seeded.at(path)) {
          const auto after = now.find(key);
          if (after == now.end() || after->second != lock) {
            problems.Add(path, " document ", key, " is ", after == now.end() ? "missing" : after->second,
                         " and its archive is deleted, which held ", lock);
          }
        }
      }
      return problems;
    }
    for (const auto& [path, now] : MoneyNow()) {
      const Locks& archived = seeded.at(path);
      const Locks& before = unlocked.at(path);
      if (now.size() != archived.size()) {
        problems.Add(path, ": ", now.size(), " documents, ", archived.size(), " before");
      }
      for (const auto& [key, lock] : now) {
        const auto a = archived.find(key);
        const auto b = before.find(key);
        if ((a == archived.end() || a->second != lock) && (b == before.end() || b->second != lock)) {
          problems.Add(path, " document ", key, " is ", lock,
                       ", neither its archived state nor its state before the restore");
        }
      }
    }
    // Dumping runs tablectl once per table; the archive is only read, so its files are compared
    // byte for byte at every cut and dumped at some.
    for (const auto& [path, dump] : archiveDumps) {
      if (!FileExists(path) || ReadBytes(path) != archiveBytes.at(path)) {
        problems.Add(path, FileExists(path) ? " changed on the disk" : " is gone");
      } else if (dumpArchive && DumpTable(path) != dump) {
        problems.Add(path, " holds other records");
      }
    }
    std::string message;
    if (RestoreNormally(archiveDir, message) != 0) problems.Add("the second restore failed: ", message);
    for (const auto& [path, now] : MoneyNow()) {
      for (const auto& [key, lock] : seeded.at(path)) {
        const auto after = now.find(key);
        if (after == now.end() || after->second != lock) {
          problems.Add(path, " document ", key, " is ", after == now.end() ? "missing" : after->second,
                       " after the second restore, archived ", lock);
        }
      }
    }
    return problems;
  }
};

// The suite's cuts: two thirds for the save, one for the restore, whose runs are shorter.
int SaveBudget() {
  return std::max(1, CutBudget() * 2 / 3);
}
int RestoreBudget() {
  return std::max(1, CutBudget() - SaveBudget());
}

}  // namespace

// A save cut at any moment leaves every earlier lock state within reach: in the archive before
// the document changed, and back in the document after the archive is restored.
TEST_F(PowerCutSave, EveryEarlierStateSurvivesACutAtAnyMoment) {
  const std::vector<SaveRun> saves = {{LockAction::Unlock, 1, true},
                                      {LockAction::Lock, 3, false},
                                      {LockAction::Unlock, 4, true},
                                      {LockAction::Lock, 5, true},
                                      {LockAction::Unlock, 7, false}};
  Runs runs;
  for (const SaveRun& s : saves) runs.names.push_back(Describe(s));
  runs.operate = [&](std::size_t r, std::string& message) { return Save(saves[r], message); };
  runs.check = [&] { return CheckAfterSave(); };
  g_saveCuts += CutRuns(runs, SaveBudget(), 1000);
}

// A restore cut at any moment leaves every document either restored or as it was, the archive as
// the save wrote it (or deleted only once every state it held is back), and a restore run again
// afterwards finishes the job.
TEST_F(PowerCutRestore, EveryDocumentIsRestoredOrAsItWasAfterACut) {
  const std::vector<RestoreRun> restores = {
      {1, false, true}, {2, false, false}, {3, true, true}, {5, false, true}, {7, true, false}};
  Runs runs;
  for (const RestoreRun& rr : restores) {
    runs.names.push_back("restore, blocks of " + std::to_string(rr.blockSize) +
                         (rr.deleteAfter ? ", the archive deleted after it" : "") +
                         (rr.moneyOpen ? ", Money open" : ", the add-on alone"));
  }
  runs.operate = [&](std::size_t r, std::string& message) { return Restore(restores[r], message); };
  int checks = 0;
  runs.check = [&] { return CheckAfterRestore(checks++ % 10 == 0); };
  g_restoreCuts += CutRuns(runs, RestoreBudget(), 2000);
}

// The order in which the disk sees a save's writes, run by run without a cut: a block's documents
// change in their Money table only once its archive records are synced.
TEST_F(PowerCutSave, EveryChangeComesAfterItsArchiveRecordsAreSynced) {
  for (const SaveRun& save : {SaveRun{LockAction::Unlock, 1, true}, SaveRun{LockAction::Lock, 4, true}}) {
    BackToPristine();
    const ChildRun run = RunInChild(0, {}, [&](std::string& message) {
      if (Save(save, message) != 0) return 1;
      const std::vector<std::string> archives = ArchivesWithFileList();
      if (archives.size() != 1) {
        message = std::to_string(archives.size()) + " archives with a file list after one save";
        return 1;
      }
      message = ArchiveSyncedBeforeEveryChange(archives.front()).Text();
      return message.empty() ? 0 : 1;
    });
    EXPECT_TRUE(run.ended && run.status == 0) << Describe(save) << ":\n" << run.message;
  }
}

// A disk with no room left for the archive: SQLite refuses the archive's commit, no document
// changes, the archive goes, and the error says that the disk is full and for which folder.
TEST_F(PowerCutSave, AFullDiskStopsTheSaveBeforeAnyDocumentChangesAndSaysSo) {
  const std::string root = ExcludeTrailingPathDelimiter(ctx.ArchiveRoot()) + "/";
  const DiskFull archiveDisk = [&](const std::string& path) {
    return StartsWith(path, ExcludeTrailingPathDelimiter(ResolvePath(root)) + "/");
  };
  const ChildRun run = RunInChild(
      0, {},
      [&](std::string& message) {
        return Save({LockAction::Unlock, 5, false}, message);
      },
      archiveDisk);
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.message, "Nastala chyba při ukládání záznamu v databázi " + ResolvePath(root) +
                             "1/PD002.dat\r\rNa disku není dost místa pro " + root +
                             "1/. Uvolněte na disku místo a akci spusťte znovu.");
  EXPECT_EQ(MoneyNow(), seeded);
  EXPECT_TRUE(ArchivesWithFileList().empty());
  Problems problems;
  CheckEveryTable(problems);
  EXPECT_TRUE(problems.Empty()) << problems.Text();
}

// The order in which the disk sees a restore's writes, with Money holding its tables open (so the
// add-on's close writes nothing back): every document it changed is on the disk before it offers
// to delete the archive, until then the only durable copy of the states it put back.
TEST_F(PowerCutRestore, EveryChangeIsSyncedBeforeTheArchiveMayBeDeleted) {
  for (const RestoreRun& restore : {RestoreRun{2, false, true}, RestoreRun{kRestoreBlockSize, true, true}}) {
    BackToPristine();
    const ChildRun run = RunInChild(0, {}, [&](std::string& message) {
      std::string unsynced = "the deletion was never offered";
      const int status = Restore(restore, message, [&] { unsynced = UnsyncedMoneyWrites(); });
      if (status != 0) return status;
      message = unsynced;
      return message.empty() ? 0 : 1;
    });
    EXPECT_TRUE(run.ended && run.status == 0) << "blocks of " << restore.blockSize << ":\n" << run.message;
  }
}
