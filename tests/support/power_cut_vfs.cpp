#include "support/power_cut_vfs.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorlend::test {

namespace {

// Ends the process when the durable state itself could not be put back: the files would then
// show the cache's content, and every check made on them would prove nothing.
constexpr int kCutFailedExitCode = kPowerCutExitCode + 1;

// One file as the disk holds it after a power cut.
struct DurableFile {
  dev_t dev = 0;  // the file the path named when SQLite opened it; another file at that path
  ino_t ino = 0;  // later (deleted and made again) is not this one
  std::string content;
};

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_shim{};
long g_cutAt = 0;
WrittenBack g_writtenBack;
DiskFull g_diskFull;
std::atomic<long> g_events{0};
std::map<std::string, DurableFile> g_durable;  // by the path SQLite opened
std::set<std::string> g_shmFiles;
std::vector<long> g_syncEvents;
std::function<bool()> g_atCut;
std::vector<PowerCutEvent> g_eventLog;

// SQLite allocates szOsFile bytes per open file (aligned to 8 only): this header, then the real
// VFS's own file.
struct ShimFile {
  sqlite3_file base;
  sqlite3_file* real;
  std::string* path;  // null for files that are not tracked (temporary files)
};
static_assert(sizeof(ShimFile) % 8 == 0, "the real file that follows must stay aligned");

sqlite3_file* Real(sqlite3_file* f) {
  return reinterpret_cast<ShimFile*>(f)->real;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (w <= 0) return false;
    done += static_cast<std::size_t>(w);
  }
  return true;
}

// The power goes: the cache is lost, the disk keeps what was synced, and nothing runs after.
[[noreturn]] void CutThePower() {
  // Another layer's files first: a folder it renames back is then found here by its old path, and a
  // file it makes again (a new file to this shim) it made with its durable content already.
  bool ok = !g_atCut || g_atCut();
  for (const auto& [path, file] : g_durable) {
    if (g_writtenBack && g_writtenBack(path)) continue;  // the disk holds what the cache held
    struct stat st {};
    // A file deleted meanwhile stays deleted.
    if (::stat(path.c_str(), &st) != 0 || st.st_dev != file.dev || st.st_ino != file.ino) continue;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      ok = false;
      continue;
    }
    ok = WriteAll(fd, file.content) && ::ftruncate(fd, static_cast<off_t>(file.content.size())) == 0 && ok;
    ::close(fd);
  }
  for (const std::string& shm : g_shmFiles) ::unlink(shm.c_str());
  ::_exit(ok ? kPowerCutExitCode : kCutFailedExitCode);
}

// Counts one write or sync of a tracked file; at the cut point the power goes before it happens.
long IoEvent(bool sync, const std::string& path) {
  const long n = ++g_events;
  if (g_cutAt > 0 && n >= g_cutAt) CutThePower();
  g_eventLog.push_back({sync, path});
  return n;
}

// The whole current content of an open file, read through SQLite's own handle: a descriptor of
// our own, once closed, would drop the POSIX locks SQLite holds on the file.
bool ReadContent(sqlite3_file* real, std::string& out) {
  sqlite3_int64 size = 0;
  if (real->pMethods->xFileSize(real, &size) != SQLITE_OK) return false;
  out.assign(static_cast<std::size_t>(size), '\0');
  return size == 0 || real->pMethods->xRead(real, out.data(), static_cast<int>(size), 0) == SQLITE_OK;
}

// ---- the file methods: every call goes to the real file; writes and syncs are events first.

int ShimClose(sqlite3_file* f) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  const int rc = shim->real->pMethods ? shim->real->pMethods->xClose(shim->real) : SQLITE_OK;
  delete shim->path;
  shim->path = nullptr;
  return rc;
}

int ShimRead(sqlite3_file* f, void* buf, int amount, sqlite3_int64 offset) {
  return Real(f)->pMethods->xRead(Real(f), buf, amount, offset);
}

int ShimWrite(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
  if (const std::string* path = reinterpret_cast<ShimFile*>(f)->path) {
    if (g_diskFull && g_diskFull(*path)) return SQLITE_FULL;
    IoEvent(false, *path);
  }
  return Real(f)->pMethods->xWrite(Real(f), buf, amount, offset);
}

int ShimTruncate(sqlite3_file* f, sqlite3_int64 size) {
  return Real(f)->pMethods->xTruncate(Real(f), size);
}

int ShimSync(sqlite3_file* f, int flags) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  if (!shim->path) return Real(f)->pMethods->xSync(Real(f), flags);
  g_syncEvents.push_back(IoEvent(true, *shim->path));
  // What the file holds now is on the disk from here on, whoever wrote it.
  auto it = g_durable.find(*shim->path);
  if (it != g_durable.end() && !ReadContent(shim->real, it->second.content)) return SQLITE_IOERR_FSYNC;
  return SQLITE_OK;
}

int ShimFileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Real(f)->pMethods->xFileSize(Real(f), size);
}
int ShimLock(sqlite3_file* f, int level) {
  return Real(f)->pMethods->xLock(Real(f), level);
}
int ShimUnlock(sqlite3_file* f, int level) {
  return Real(f)->pMethods->xUnlock(Real(f), level);
}
int ShimCheckReservedLock(sqlite3_file* f, int* out) {
  return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int ShimFileControl(sqlite3_file* f, int op, void* arg) {
  return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int ShimSectorSize(sqlite3_file* f) {
  return Real(f)->pMethods->xSectorSize(Real(f));
}
int ShimDeviceCharacteristics(sqlite3_file* f) {
  return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}

int ShimShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
  // The shared memory lives in "-shm" beside the database; it is forgotten at the cut.
  if (const std::string* path = reinterpret_cast<ShimFile*>(f)->path) g_shmFiles.insert(*path + "-shm");
  return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShimShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShimShmBarrier(sqlite3_file* f) {
  Real(f)->pMethods->xShmBarrier(Real(f));
}
int ShimShmUnmap(sqlite3_file* f, int deleteFlag) {
  return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
int ShimFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
  return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int ShimUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* p) {
  return Real(f)->pMethods->xUnfetch(Real(f), offset, p);
}

const sqlite3_io_methods kShimMethods = {
    .iVersion = 3,
    .xClose = ShimClose,
    .xRead = ShimRead,
    .xWrite = ShimWrite,
    .xTruncate = ShimTruncate,
    .xSync = ShimSync,
    .xFileSize = ShimFileSize,
    .xLock = ShimLock,
    .xUnlock = ShimUnlock,
    .xCheckReservedLock = ShimCheckReservedLock,
    .xFileControl = ShimFileControl,
    .xSectorSize = ShimSectorSize,
    .xDeviceCharacteristics = ShimDeviceCharacteristics,
    .xShmMap = ShimShmMap,
    .xShmLock = ShimShmLock,
    .xShmBarrier = ShimShmBarrier,
    .xShmUnmap = ShimShmUnmap,
    .xFetch = ShimFetch,
    .xUnfetch = ShimUnfetch,
};

// ---- the VFS methods.

bool DurableKind(int flags) {
  return (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL)) != 0;
}

int ShimOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  shim->base.pMethods = nullptr;
  shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
  shim->path = nullptr;
  const bool tracked = name && DurableKind(flags);
  struct stat before {};
  const bool existed = tracked && ::stat(name, &before) == 0;

  const int rc = g_real->xOpen(g_real, name, shim->real, flags, outFlags);
  if (rc != SQLITE_OK) return rc;
  shim->base.pMethods = &kShimMethods;
  if (!tracked) return rc;

  struct stat st {};
  auto fail = [&](int code) {
    shim->real->pMethods->xClose(shim->real);
    shim->base.pMethods = nullptr;
    return code;
  };
  if (::stat(name, &st) != 0) return fail(SQLITE_CANTOPEN);
  shim->path = new std::string(name);
  auto it = g_durable.find(*shim->path);
  if (it != g_durable.end() && it->second.dev == st.st_dev && it->second.ino == st.st_ino) return rc;
  // First open of this file: one that was on the disk is durable as it stands; one SQLite has just
  // made holds nothing durable until it is synced.
  DurableFile file{st.st_dev, st.st_ino, {}};
  if (existed && !ReadContent(shim->real, file.content)) {
    delete shim->path;
    shim->path = nullptr;
    return fail(SQLITE_IOERR_READ);
  }
  g_durable[*shim->path] = std::move(file);
  return rc;
}

int ShimDelete(sqlite3_vfs*, const char* name, int syncDir) {
  g_durable.erase(name);
  return g_real->xDelete(g_real, name, syncDir);
}

int ShimAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
  return g_real->xAccess(g_real, name, flags, out);
}
int ShimFullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
  return g_real->xFullPathname(g_real, name, n, out);
}
void* ShimDlOpen(sqlite3_vfs*, const char* name) {
  return g_real->xDlOpen(g_real, name);
}
void ShimDlError(sqlite3_vfs*, int n, char* out) {
  g_real->xDlError(g_real, n, out);
}
void (*ShimDlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
  return g_real->xDlSym(g_real, handle, symbol);
}
void ShimDlClose(sqlite3_vfs*, void* handle) {
  g_real->xDlClose(g_real, handle);
}
int ShimRandomness(sqlite3_vfs*, int n, char* out) {
  return g_real->xRandomness(g_real, n, out);
}
int ShimSleep(sqlite3_vfs*, int microseconds) {
  return g_real->xSleep(g_real, microseconds);
}
int ShimCurrentTime(sqlite3_vfs*, double* out) {
  return g_real->xCurrentTime(g_real, out);
}
int ShimGetLastError(sqlite3_vfs*, int n, char* out) {
  return g_real->xGetLastError(g_real, n, out);
}
int ShimCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  return g_real->xCurrentTimeInt64(g_real, out);
}
int ShimSetSystemCall(sqlite3_vfs*, const char* name, sqlite3_syscall_ptr p) {
  return g_real->xSetSystemCall(g_real, name, p);
}
sqlite3_syscall_ptr ShimGetSystemCall(sqlite3_vfs*, const char* name) {
  return g_real->xGetSystemCall(g_real, name);
}
const char* ShimNextSystemCall(sqlite3_vfs*, const char* name) {
  return g_real->xNextSystemCall(g_real, name);
}

}  // namespace

void InstallPowerCutVfs(long cutAt, WrittenBack writtenBack, DiskFull diskFull) {
  if (g_real) throw std::logic_error("the power-cut VFS is installed once per process");
  if (sqlite3_initialize() != SQLITE_OK) throw std::runtime_error("sqlite3_initialize failed");
  g_real = sqlite3_vfs_find("unix");
  if (!g_real || g_real->iVersion < 3) throw std::runtime_error("no unix VFS of version 3");
  g_cutAt = cutAt;
  g_writtenBack = std::move(writtenBack);
  g_diskFull = std::move(diskFull);
  g_events = 0;
  g_shim.iVersion = 3;
  g_shim.szOsFile = static_cast<int>(sizeof(ShimFile)) + g_real->szOsFile;
  g_shim.mxPathname = g_real->mxPathname;
  g_shim.zName = "power-cut";
  g_shim.xOpen = ShimOpen;
  g_shim.xDelete = ShimDelete;
  g_shim.xAccess = ShimAccess;
  g_shim.xFullPathname = ShimFullPathname;
  g_shim.xDlOpen = ShimDlOpen;
  g_shim.xDlError = ShimDlError;
  g_shim.xDlSym = ShimDlSym;
  g_shim.xDlClose = ShimDlClose;
  g_shim.xRandomness = ShimRandomness;
  g_shim.xSleep = ShimSleep;
  g_shim.xCurrentTime = ShimCurrentTime;
  g_shim.xGetLastError = ShimGetLastError;
  g_shim.xCurrentTimeInt64 = ShimCurrentTimeInt64;
  g_shim.xSetSystemCall = ShimSetSystemCall;
  g_shim.xGetSystemCall = ShimGetSystemCall;
  g_shim.xNextSystemCall = ShimNextSystemCall;
  if (sqlite3_vfs_register(&g_shim, 1) != SQLITE_OK) throw std::runtime_error("sqlite3_vfs_register failed");
}

void CutPowerNow() {
  if (!g_real) throw std::logic_error("the power-cut VFS is not installed");
  CutThePower();
}

long PowerCutEventCount() {
  return g_events.load();
}

void PowerCutIoEvent(bool sync) {
  if (!g_real) throw std::logic_error("the power-cut VFS is not installed");
  const long n = IoEvent(sync, std::string());
  if (sync) g_syncEvents.push_back(n);
}

void AtPowerCut(std::function<bool()> first) {
  g_atCut = std::move(first);
}

bool PowerCutDurableContent(const std::string& path, std::string& content) {
  const auto it = g_durable.find(path);
  struct stat st {};
  if (it == g_durable.end() || ::stat(path.c_str(), &st) != 0 || st.st_dev != it->second.dev ||
      st.st_ino != it->second.ino) {
    return false;
  }
  content = it->second.content;
  return true;
}

const std::vector<long>& PowerCutSyncEvents() {
  return g_syncEvents;
}

const std::vector<PowerCutEvent>& PowerCutEventLog() {
  return g_eventLog;
}

}  // namespace vorlend::test
