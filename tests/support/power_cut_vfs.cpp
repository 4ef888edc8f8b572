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

#include "support/sqlite_shim.h"

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

int ShimWrite(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
  if (const std::string* path = reinterpret_cast<ShimFile*>(f)->path) {
    if (g_diskFull && g_diskFull(*path)) return SQLITE_FULL;
    IoEvent(false, *path);
  }
  return Real(f)->pMethods->xWrite(Real(f), buf, amount, offset);
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

int ShimShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
  // The shared memory lives in "-shm" beside the database; it is forgotten at the cut.
  if (const std::string* path = reinterpret_cast<ShimFile*>(f)->path) g_shmFiles.insert(*path + "-shm");
  return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}

const sqlite3_io_methods kShimMethods = ShimFileMethods({ShimWrite, ShimSync, ShimShmMap});

// ---- the VFS methods.

int ShimOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  const bool tracked = name && DurableKind(flags);
  struct stat before {};
  const bool existed = tracked && ::stat(name, &before) == 0;

  const int rc = OpenShimFile(vfs, name, f, flags, outFlags, &kShimMethods, false);
  if (rc != SQLITE_OK || !tracked) return rc;

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
  MakeShimLayer(g_shim, g_real, "power-cut", ShimOpen, ShimDelete);
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
