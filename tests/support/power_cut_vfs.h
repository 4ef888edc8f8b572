#pragma once
// A power cut for SQLite, in a process of its own: a shim over the default "unix" VFS that models
// an operating system whose cache is lost when the power goes.
//
// For every file SQLite opens through it (main database, "-wal", rollback journal) the shim keeps
// the file's durable content: what the file held at its last sync. A file already on disk when
// SQLite first opens it counts as durable as it stands (what the test prepared before the run is
// taken as synced); a file SQLite creates has no durable content (size 0) until it is synced.
// Writes go through to the real file, so the program reads what it wrote while it runs. A sync
// records the content as durable instead of asking the disk: the disk never loses power here, the
// shim alone judges what would have survived, and an fsync would only cost time.
//
// Every write and every sync of a tracked file, process-wide, is one I/O event. When the count
// reaches the cut point, the power goes before that event takes effect: every tracked file is put
// back to its durable content (through fresh descriptors, truncated to the durable size), every
// "-shm" file seen is deleted (shared memory survives nothing), and the process ends at once with
// _exit(PowerCutExitCode). Nothing of the program runs after the cut: no destructor, no cleanup.
//
// An operating system also writes its cache back on its own, file by file in an order of its own
// choosing, so a write that was never synced may have reached the disk all the same. A test may
// name files whose cache was written back just before the cut: those keep every write the program
// made, the others lose what came after their last sync. A program that is safe only while all of
// its unsynced writes are lost together relies on luck; this finds it.
//
// Durable content belongs to a path: several connections to one file share it, and a sync through
// any of them makes every write to that file durable. A deletion by SQLite takes effect at once.
// The program under test is single-threaded.
//
// Files the program writes without SQLite (ini files, file lists, copies of the template table,
// directories, renames) pass the file door (platform/file_door.h). A test puts a door of its own in
// the child that counts each of its operations as an I/O event here (PowerCutIoEvent) and takes
// back at the cut what was not synced (AtPowerCut), before the SQLite files are put back; a file
// it puts back that SQLite had written gets its durable content (PowerCutDurableContent). A copy
// that SQLite opens later counts as on the disk as it stands: the door syncs a copy's content.
//
// Besides, the shim keeps the order of every write and sync (what must be on the disk before
// something else is written can be read off it), and may play a disk with no room left for some
// files.
//
// Install it in a forked child only: the shim lives until the process ends, and the process that
// looks at the files afterwards must open them the ordinary way, as a machine restarting would.
#include <functional>
#include <string>
#include <vector>

namespace vorlend::test {

// How a process whose power was cut ends.
inline constexpr int kPowerCutExitCode = 86;

// True for a file (by the path SQLite opened) whose cache was written back just before the cut.
using WrittenBack = std::function<bool(const std::string& path)>;

// True for a file (by the path SQLite opened) on a disk with no room left: every write to it is
// refused as SQLite's own file layer reports a full disk (SQLITE_FULL). A refused write changes
// nothing and is no I/O event.
using DiskFull = std::function<bool(const std::string& path)>;

// Registers the shim as SQLite's default VFS for the rest of this process. With cutAt > 0 the
// cutAt-th I/O event cuts the power; with cutAt <= 0 events are only counted. Without
// `writtenBack`, every file loses all it was written since its last sync. Call it before SQLite
// opens any file, and once per process.
void InstallPowerCutVfs(long cutAt, WrittenBack writtenBack = {}, DiskFull diskFull = {});

// Cuts the power now, after the program's last I/O event: what the program finished still sits in
// the cache unless it was synced. Does not return.
[[noreturn]] void CutPowerNow();

// The I/O events counted so far in this process (0 before InstallPowerCutVfs).
long PowerCutEventCount();

// One I/O event of another layer, counted with SQLite's (`sync`: one that makes something last).
// At the cut point the power goes before it takes effect, as for SQLite's own.
void PowerCutIoEvent(bool sync);

// Runs `first` when the power goes, before the SQLite files are put back; false from it fails the
// cut as a file that could not be put back does. One per process.
void AtPowerCut(std::function<bool()> first);

// What the disk holds of a file SQLite has written, if the power went now: true with its content
// when the file at `path` is one the shim tracks, false for any other.
bool PowerCutDurableContent(const std::string& path, std::string& content);

// The numbers of the events that were syncs, in order. What survives a cut changes only at a sync
// (and at a deletion): a cut just after each sync meets every state the disk can be left in.
const std::vector<long>& PowerCutSyncEvents();

// Every I/O event so far, in order: a write or a sync, and the path of its file as SQLite opened
// it. Whatever must be on the disk before something else is written can be read off it.
struct PowerCutEvent {
  bool sync = false;
  std::string path;  // empty for the file door's operations
};
const std::vector<PowerCutEvent>& PowerCutEventLog();

}  // namespace vorlend::test
