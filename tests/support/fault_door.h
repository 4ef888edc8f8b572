#pragma once
// A file door for tests (platform/file_door.h): every operation goes on to another door (the
// system's), and the test decides which of them go wrong the ways a disk does.
//
// Failures. The door counts the operations it is asked for, from 1, and those of another layer
// that it is told of (SQLite's writes, through sqlite_faults.h), so one count covers every write
// of a job. Chosen ones fail: the nth, or every one from the nth on that needs room on the disk
// (a disk that stays full: writes, copies, new files and directories fail, removals go on), or
// every one on a path that matches a mask, with "no space" (ENOSPC, ERROR_DISK_FULL on Windows)
// or an I/O error (EIO, ERROR_WRITE_FAULT). The failure is handed to NoteWriteFailure with its
// path and its error left as the system's, as the system's door does with what the kernel says,
// so a full disk is noted for the message. A failed operation changes nothing, but for a copy,
// which leaves the first half of its source in the target as a disk that gave out part of the
// way would.
//
// Power cuts. With a journal kept, the door remembers every change that would not last through a
// power cut yet: a name made, removed or renamed whose folder was not synced since (both folders
// for a rename), and a file emptied without a sync. CutPower takes them back, newest first, and
// leaves the disk as a machine that lost its cache would find it after the restart: a template
// copy whose folder was not synced is gone, a rename undone, a removed archive back with its files.
// Writes of whole files (WriteFileAtomic) and the content of copies are synced by the door itself,
// so they last once the operation returns. A tree is removed entry by entry, each removal an
// operation of its own, so a cut can fall between two of them. A journaling file system writes
// changes of names to the disk in their order, so when the cache was partly written back, the
// oldest changes survive.
//
// Paths are taken as the disk spells them when the operation runs; a later rename that lasts moves
// what an older change names. Symbolic links are neither recorded nor made again, and the "-shm"
// files of SQLite neither (a power cut forgets them).
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_door.h"

namespace vorlend::test {

enum class Fault { None, NoSpace, IoError };

// One operation the door was asked for (or one write of another layer), in the order they came.
struct DoorOperation {
  std::string what;        // "write", "copy", "rename", "delete", "mkdir", "rmdir", "rmtree", "sync", ...
  std::string path;        // the path written to (a copy's target, a rename's new name), as given
  bool needsRoom = false;  // it makes something new on the disk: a full disk refuses it
  Fault fault = Fault::None;
};

// What the disk holds of a file that another layer writes (SQLite's data in the power-cut VFS):
// true with its content, false when that layer does not know the file.
using DurableContent = std::function<bool(const std::string& path, std::string& content)>;

class FaultDoor final : public FileDoor {
public:
  explicit FaultDoor(FileDoor& inner = SystemFileDoor());
  ~FaultDoor() override;
  FaultDoor(const FaultDoor&) = delete;
  FaultDoor& operator=(const FaultDoor&) = delete;

  // ---- failures; each adds to those set before.
  void FailNth(long n, Fault fault);
  void FullFrom(long n);
  void FailOnPath(std::string mask, Fault fault);  // the whole path matched, as MatchesMask does
  // One write of another layer, counted as an operation: the fault it meets.
  Fault ForeignWrite(const std::string& what, const std::string& path);
  // The operations so far; Count() of them.
  const std::vector<DoorOperation>& Operations() const { return m_operations; }
  long Count() const { return static_cast<long>(m_operations.size()); }
  // The first operation made to fail, or null.
  const DoorOperation* FirstFailure() const;

  // ---- power cuts.
  // Called before each counted operation takes place, `sync` when it makes something last.
  void SetBeforeEach(std::function<void(bool sync)> hook) { m_beforeEach = std::move(hook); }
  // From now on every change that does not last yet is kept in the journal.
  void KeepJournal(DurableContent durableContent = {});
  // Changes in the journal that would not survive a power cut now.
  std::size_t UnsyncedChanges() const;
  // The power goes: the `writtenBack` oldest of the changes that would not last reached the disk
  // all the same, the others are taken back. False when the disk could not be put back so.
  [[nodiscard]] bool CutPower(std::size_t writtenBack = 0);

  bool WriteFileAtomic(std::string_view path, std::string_view bytes) override;
  bool CopyFile(std::string_view source, std::string_view target, bool syncDirectory) override;
  bool RenamePath(std::string_view from, std::string_view to) override;
  bool DeleteFile(std::string_view path) override;
  bool CreateDir(std::string_view path) override;
  NewDirResult CreateNewDir(std::string_view path) override;
  bool RemoveDir(std::string_view path) override;
  bool RemoveDirectoryTree(std::string_view path) override;
  bool SyncDirectoryOf(std::string_view path) override;
  bool CreateEmptyFile(std::string_view path) override;
  bool FolderTakesNewFiles(std::string_view folder) override;
  void ShareWithGroup(std::string_view directory) override;

private:
  struct Journal;
  // Counts the operation and decides its fault; `note`: a failure is noted and its error set, as
  // the system's door does.
  Fault Decide(const char* what, std::string_view path, bool needsRoom, bool sync, bool note);
  Fault Begin(const char* what, std::string_view path, bool needsRoom, bool sync);
  bool RemoveEntryByEntry(const std::string& path);

  FileDoor& m_inner;
  std::vector<DoorOperation> m_operations;
  std::vector<std::pair<long, Fault>> m_nth;
  long m_fullFrom = 0;
  std::vector<std::pair<std::string, Fault>> m_masks;
  std::function<void(bool)> m_beforeEach;
  std::unique_ptr<Journal> m_journal;
};

}  // namespace vorlend::test
