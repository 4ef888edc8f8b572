#include "support/sqlite_shim.h"

namespace vorlend::test {

namespace {

// ---- file calls passed on to the real file.

int PassClose(sqlite3_file* f) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  const int rc = shim->real->pMethods ? shim->real->pMethods->xClose(shim->real) : SQLITE_OK;
  delete shim->path;
  shim->path = nullptr;
  return rc;
}
int PassRead(sqlite3_file* f, void* buf, int amount, sqlite3_int64 offset) {
  return Real(f)->pMethods->xRead(Real(f), buf, amount, offset);
}
int PassWrite(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
  return Real(f)->pMethods->xWrite(Real(f), buf, amount, offset);
}
int PassTruncate(sqlite3_file* f, sqlite3_int64 size) {
  return Real(f)->pMethods->xTruncate(Real(f), size);
}
int PassSync(sqlite3_file* f, int flags) {
  return Real(f)->pMethods->xSync(Real(f), flags);
}
int PassFileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Real(f)->pMethods->xFileSize(Real(f), size);
}
int PassLock(sqlite3_file* f, int level) {
  return Real(f)->pMethods->xLock(Real(f), level);
}
int PassUnlock(sqlite3_file* f, int level) {
  return Real(f)->pMethods->xUnlock(Real(f), level);
}
int PassCheckReservedLock(sqlite3_file* f, int* out) {
  return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int PassFileControl(sqlite3_file* f, int op, void* arg) {
  return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int PassSectorSize(sqlite3_file* f) {
  return Real(f)->pMethods->xSectorSize(Real(f));
}
int PassDeviceCharacteristics(sqlite3_file* f) {
  return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int PassShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
  return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int PassShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void PassShmBarrier(sqlite3_file* f) {
  Real(f)->pMethods->xShmBarrier(Real(f));
}
int PassShmUnmap(sqlite3_file* f, int deleteFlag) {
  return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
int PassFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
  return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int PassUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* p) {
  return Real(f)->pMethods->xUnfetch(Real(f), offset, p);
}

// ---- layer calls passed on to the real layer.

int PassDelete(sqlite3_vfs* vfs, const char* name, int syncDir) {
  return RealLayer(vfs)->xDelete(RealLayer(vfs), name, syncDir);
}
int PassAccess(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
  return RealLayer(vfs)->xAccess(RealLayer(vfs), name, flags, out);
}
int PassFullPathname(sqlite3_vfs* vfs, const char* name, int n, char* out) {
  return RealLayer(vfs)->xFullPathname(RealLayer(vfs), name, n, out);
}
void* PassDlOpen(sqlite3_vfs* vfs, const char* name) {
  return RealLayer(vfs)->xDlOpen(RealLayer(vfs), name);
}
void PassDlError(sqlite3_vfs* vfs, int n, char* out) {
  RealLayer(vfs)->xDlError(RealLayer(vfs), n, out);
}
void (*PassDlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void) {
  return RealLayer(vfs)->xDlSym(RealLayer(vfs), handle, symbol);
}
void PassDlClose(sqlite3_vfs* vfs, void* handle) {
  RealLayer(vfs)->xDlClose(RealLayer(vfs), handle);
}
int PassRandomness(sqlite3_vfs* vfs, int n, char* out) {
  return RealLayer(vfs)->xRandomness(RealLayer(vfs), n, out);
}
int PassSleep(sqlite3_vfs* vfs, int microseconds) {
  return RealLayer(vfs)->xSleep(RealLayer(vfs), microseconds);
}
int PassCurrentTime(sqlite3_vfs* vfs, double* out) {
  return RealLayer(vfs)->xCurrentTime(RealLayer(vfs), out);
}
int PassGetLastError(sqlite3_vfs* vfs, int n, char* out) {
  return RealLayer(vfs)->xGetLastError(RealLayer(vfs), n, out);
}
int PassCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) {
  return RealLayer(vfs)->xCurrentTimeInt64(RealLayer(vfs), out);
}
int PassSetSystemCall(sqlite3_vfs* vfs, const char* name, sqlite3_syscall_ptr p) {
  return RealLayer(vfs)->xSetSystemCall(RealLayer(vfs), name, p);
}
sqlite3_syscall_ptr PassGetSystemCall(sqlite3_vfs* vfs, const char* name) {
  return RealLayer(vfs)->xGetSystemCall(RealLayer(vfs), name);
}
const char* PassNextSystemCall(sqlite3_vfs* vfs, const char* name) {
  return RealLayer(vfs)->xNextSystemCall(RealLayer(vfs), name);
}

}  // namespace

sqlite3_io_methods ShimFileMethods(const ShimFileCalls& calls) {
  sqlite3_io_methods m{};
  m.iVersion = 3;
  m.xClose = PassClose;
  m.xRead = PassRead;
  m.xWrite = calls.write ? calls.write : PassWrite;
  m.xTruncate = PassTruncate;
  m.xSync = calls.sync ? calls.sync : PassSync;
  m.xFileSize = PassFileSize;
  m.xLock = PassLock;
  m.xUnlock = PassUnlock;
  m.xCheckReservedLock = PassCheckReservedLock;
  m.xFileControl = PassFileControl;
  m.xSectorSize = PassSectorSize;
  m.xDeviceCharacteristics = PassDeviceCharacteristics;
  m.xShmMap = calls.shmMap ? calls.shmMap : PassShmMap;
  m.xShmLock = PassShmLock;
  m.xShmBarrier = PassShmBarrier;
  m.xShmUnmap = PassShmUnmap;
  m.xFetch = PassFetch;
  m.xUnfetch = PassUnfetch;
  return m;
}

int OpenShimFile(sqlite3_vfs* shim, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags,
                 const sqlite3_io_methods* methods, bool watched) {
  auto* file = reinterpret_cast<ShimFile*>(f);
  file->base.pMethods = nullptr;
  file->real = reinterpret_cast<sqlite3_file*>(file + 1);
  file->path = nullptr;
  const int rc = RealLayer(shim)->xOpen(RealLayer(shim), name, file->real, flags, outFlags);
  if (rc != SQLITE_OK) return rc;
  file->base.pMethods = methods;
  if (watched && name) file->path = new std::string(name);
  return rc;
}

void MakeShimLayer(sqlite3_vfs& shim, sqlite3_vfs* real, const char* name,
                   int (*open)(sqlite3_vfs*, sqlite3_filename, sqlite3_file*, int, int*),
                   int (*deleteFile)(sqlite3_vfs*, const char*, int), int (*getLastError)(sqlite3_vfs*, int, char*)) {
  shim = sqlite3_vfs{};
  shim.iVersion = 3;
  shim.szOsFile = static_cast<int>(sizeof(ShimFile)) + real->szOsFile;
  shim.mxPathname = real->mxPathname;
  shim.zName = name;
  shim.pAppData = real;
  shim.xOpen = open;
  shim.xDelete = deleteFile ? deleteFile : PassDelete;
  shim.xAccess = PassAccess;
  shim.xFullPathname = PassFullPathname;
  shim.xDlOpen = PassDlOpen;
  shim.xDlError = PassDlError;
  shim.xDlSym = PassDlSym;
  shim.xDlClose = PassDlClose;
  shim.xRandomness = PassRandomness;
  shim.xSleep = PassSleep;
  shim.xCurrentTime = PassCurrentTime;
  shim.xGetLastError = getLastError ? getLastError : PassGetLastError;
  shim.xCurrentTimeInt64 = PassCurrentTimeInt64;
  shim.xSetSystemCall = PassSetSystemCall;
  shim.xGetSystemCall = PassGetSystemCall;
  shim.xNextSystemCall = PassNextSystemCall;
}

}  // namespace vorlend::test
