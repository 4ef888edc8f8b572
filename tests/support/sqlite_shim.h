#pragma once
// The frame of the test file layers for SQLite (the power-cut layer, the full-disk layer): each
// watches a few calls of the real layer and passes every other call on unchanged. SQLite gives
// each open file szOsFile bytes: a ShimFile, then the real layer's own file.
#include <sqlite3.h>

#include <string>

namespace vorlend::test {

struct ShimFile {
  sqlite3_file base;
  sqlite3_file* real;
  std::string* path;  // null for files the layer does not watch (temporary files)
};
static_assert(sizeof(ShimFile) % 8 == 0, "the real file that follows must stay aligned");

inline sqlite3_file* Real(sqlite3_file* f) {
  return reinterpret_cast<ShimFile*>(f)->real;
}

// The file calls a layer watches; each one left null passes on to the real file.
struct ShimFileCalls {
  int (*write)(sqlite3_file*, const void*, int, sqlite3_int64) = nullptr;
  int (*sync)(sqlite3_file*, int) = nullptr;
  int (*shmMap)(sqlite3_file*, int, int, int, void volatile**) = nullptr;
};
// The file methods with those calls in place; closing a file also forgets its path.
sqlite3_io_methods ShimFileMethods(const ShimFileCalls& calls);

// Opens the real file behind `f` with `methods` as the shim's, its path kept when `watched`.
int OpenShimFile(sqlite3_vfs* shim, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags,
                 const sqlite3_io_methods* methods, bool watched);

// The real layer a shim passes on to.
inline sqlite3_vfs* RealLayer(sqlite3_vfs* shim) {
  return static_cast<sqlite3_vfs*>(shim->pAppData);
}

// Makes `shim` a layer over `real` under `name` that passes every call on, but xOpen and those
// given here (null: passed on).
void MakeShimLayer(sqlite3_vfs& shim, sqlite3_vfs* real, const char* name,
                   int (*open)(sqlite3_vfs*, sqlite3_filename, sqlite3_file*, int, int*),
                   int (*deleteFile)(sqlite3_vfs*, const char*, int) = nullptr,
                   int (*getLastError)(sqlite3_vfs*, int, char*) = nullptr);

// The files whose content SQLite must find again after a restart: the database, its log and its
// journals.
inline bool DurableKind(int flags) {
  return (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL)) != 0;
}

}  // namespace vorlend::test
