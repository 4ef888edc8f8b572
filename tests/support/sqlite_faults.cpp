#include "support/sqlite_faults.h"

#include <sqlite3.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "engine/sql.h"
#include "support/sqlite_shim.h"

namespace vorlend::test {

namespace {

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_shim{};
FaultDoor* g_door = nullptr;
int g_lastError = 0;  // the system's error of the last write made to fail, 0 after one that went

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

const sqlite3_io_methods kShimMethods = ShimFileMethods({ShimWrite});

int ShimOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  return OpenShimFile(vfs, name, f, flags, outFlags, &kShimMethods, DurableKind(flags));
}

int ShimGetLastError(sqlite3_vfs*, int n, char* out) {
  return g_lastError != 0 ? g_lastError : g_real->xGetLastError(g_real, n, out);
}

}  // namespace

ScopedSqliteFaults::ScopedSqliteFaults(FaultDoor& door) {
  if (g_door) throw std::logic_error("one ScopedSqliteFaults at a time");
  if (sqlite3_initialize() != SQLITE_OK) throw std::runtime_error("sqlite3_initialize failed");
  if (!g_real) {
    g_real = sqlite3_vfs_find(engine::kSqliteFileLayer);
    if (!g_real || g_real->iVersion < 3) throw std::runtime_error("no SQLite file layer of version 3 to wrap");
    // Under the real layer's name: the engine asks for it by name on Windows.
    MakeShimLayer(g_shim, g_real, g_real->zName, ShimOpen, nullptr, ShimGetLastError);
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
