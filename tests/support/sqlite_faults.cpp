#include "support/sqlite_faults.h"

#include <sqlite3.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace vorlend::test {

namespace {

// The engine's file layer (engine/sql.cpp): SQLite's default one, on Windows the one for long paths.
#ifdef _WIN32
constexpr const char* kEngineLayer = "win32-longpath";
#else
constexpr const char* kEngineLayer = nullptr;
#endif

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_shim{};
FaultDoor* g_door = nullptr;
int g_lastError = 0;  // the system's error of the last write made to fail, 0 after one that went

// SQLite allocates szOsFile bytes per open file: this header, then the real layer's own file.
struct ShimFile {
  sqlite3_file base;
  sqlite3_file* real;
  std::string* path;  // null for files whose writes are not counted (temporary files)
};
static_assert(sizeof(ShimFile) % 8 == 0, "the real file that follows must stay aligned");

sqlite3_file* Real(sqlite3_file* f) {
  return reinterpret_cast<ShimFile*>(f)->real;
}

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
  if (const std::string* path = reinterpret_cast<ShimFile*>(f)->path; path && g_door) {
    switch (g_door->ForeignWrite("sqlite write", *path)) {
      case Fault::NoSpace:
        g_lastError = ENOSPC;
        return SQLITE_FULL;
      case Fault::IoError:
        g_lastError = EIO;
        return SQLITE_IOERR_WRITE;
      case Fault::None:
        g_lastError = 0;
        break;
    }
  }
  return Real(f)->pMethods->xWrite(Real(f), buf, amount, offset);
}
int ShimTruncate(sqlite3_file* f, sqlite3_int64 size) {
  return Real(f)->pMethods->xTruncate(Real(f), size);
}
int ShimSync(sqlite3_file* f, int flags) {
  return Real(f)->pMethods->xSync(Real(f), flags);
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

int ShimOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  shim->base.pMethods = nullptr;
  shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
  shim->path = nullptr;
  const int rc = g_real->xOpen(g_real, name, shim->real, flags, outFlags);
  if (rc != SQLITE_OK) return rc;
  shim->base.pMethods = &kShimMethods;
  const int durable = SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL;
  if (name && (flags & durable) != 0) shim->path = new std::string(name);
  return rc;
}

int ShimGetLastError(sqlite3_vfs*, int n, char* out) {
  return g_lastError != 0 ? g_lastError : g_real->xGetLastError(g_real, n, out);
}

// The rest of the layer is the real one's.
int ShimDelete(sqlite3_vfs*, const char* name, int syncDir) {
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

ScopedSqliteFaults::ScopedSqliteFaults(FaultDoor& door) {
  if (g_door) throw std::logic_error("one ScopedSqliteFaults at a time");
  if (sqlite3_initialize() != SQLITE_OK) throw std::runtime_error("sqlite3_initialize failed");
  if (!g_real) {
    g_real = sqlite3_vfs_find(kEngineLayer);
    if (!g_real || g_real->iVersion < 3) throw std::runtime_error("no SQLite file layer of version 3 to wrap");
    g_shim.iVersion = 3;
    g_shim.szOsFile = static_cast<int>(sizeof(ShimFile)) + g_real->szOsFile;
    g_shim.mxPathname = g_real->mxPathname;
    // Under the real layer's name: the engine asks for it by name on Windows.
    g_shim.zName = g_real->zName;
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
  }
  g_door = &door;
  g_lastError = 0;
  // First in SQLite's list of layers: it is found by the real one's name and is the default.
  if (sqlite3_vfs_register(&g_shim, 1) != SQLITE_OK) throw std::runtime_error("sqlite3_vfs_register failed");
}

ScopedSqliteFaults::~ScopedSqliteFaults() {
  sqlite3_vfs_unregister(&g_shim);
  g_door = nullptr;
}

}  // namespace vorlend::test
