#pragma once
// The one door through which the add-on changes anything on the disk outside SQLite: the
// description files (`info`), file lists (`info.tab`) and settings it replaces, the copies of the
// template table, the directories it makes and removes, the renames of a deletion, and the syncs
// that make all of these last through a power cut. Reading passes no door. Nor do SQLite's own
// files, which go through SQLite's file layer (tests replace that one in their own way), the
// record-lock files the engine opens to hold locks in, and the version check's download, a
// scratch file that nothing needs after a crash.
//
// The free functions of platform/files.h that change the disk keep their signatures and pass each
// call to the door in force: the system's door (POSIX calls, Win32 on Windows) unless a test has
// put another in its place for a while with ScopedFileDoor, such as one that makes a chosen write
// fail with a full disk, or one that keeps a journal of what was not synced yet and takes it back
// at a simulated power cut (tests/support/fault_door.h).
//
// What each operation leaves on the disk if the power goes right after it returns, which the code
// that writes an archive counts on and a door that simulates power cuts must honour:
// - WriteFileAtomic: the new content under its name, or the old one if it failed (both synced).
// - CopyFile: the copy's content is synced; its name only with `syncDirectory`, else at the next
//   SyncDirectoryOf in its folder.
// - CreateDir, CreateNewDir, CreateEmptyFile, RenamePath, DeleteFile, RemoveDir,
//   RemoveDirectoryTree: the change of a name lasts once the folder that holds the name is synced
//   (both folders for a rename). An emptied file's content is not synced at all.
// - SyncDirectoryOf: every name made, changed or removed in the folder that holds `path` lasts.
//
// An operation that fails leaves the system's error where the system leaves it (errno; the last
// error on Windows) and, when the disk or the quota is full, notes it with NoteWriteFailure and the
// path written to, so that whoever reports the failure can say why. A door of a test does the same
// for the failures it makes up.
//
// The door in force belongs to the process and serves all of its threads. A child made by fork
// starts with its parent's door object as it was at the fork (a test that forks puts the child's
// own door in place inside the child); a program started anew starts with the system's.
#include <string_view>

#include "platform/files.h"

namespace vorlend {

class FileDoor {
public:
  virtual ~FileDoor() = default;

  // The operations of platform/files.h of the same names; see there.
  [[nodiscard]] virtual bool WriteFileAtomic(std::string_view path, std::string_view bytes) = 0;
  [[nodiscard]] virtual bool CopyFile(std::string_view source, std::string_view target, bool syncDirectory) = 0;
  [[nodiscard]] virtual bool RenamePath(std::string_view from, std::string_view to) = 0;
  virtual bool DeleteFile(std::string_view path) = 0;
  virtual bool CreateDir(std::string_view path) = 0;
  [[nodiscard]] virtual NewDirResult CreateNewDir(std::string_view path) = 0;
  virtual bool RemoveDir(std::string_view path) = 0;
  virtual bool RemoveDirectoryTree(std::string_view path) = 0;
  [[nodiscard]] virtual bool SyncDirectoryOf(std::string_view path) = 0;
  [[nodiscard]] virtual bool CreateEmptyFile(std::string_view path) = 0;
  // A probe file made and removed at once.
  virtual bool FolderTakesNewFiles(std::string_view folder) = 0;
  // Changes the folder's permissions only; nothing is written, and nothing is reported.
  virtual void ShareWithGroup(std::string_view directory) = 0;

protected:
  FileDoor() = default;
  FileDoor(const FileDoor&) = default;
  FileDoor& operator=(const FileDoor&) = default;
};

// The system's door. It lives as long as the process.
FileDoor& SystemFileDoor();
// The door in force.
FileDoor& CurrentFileDoor();

// Puts `door` in force for this process until the object ends, when the door that was in force
// before comes back. Scopes nest; the door must outlive the scope, and so must every operation
// that another thread began through it.
class ScopedFileDoor {
public:
  explicit ScopedFileDoor(FileDoor& door);
  ~ScopedFileDoor();
  ScopedFileDoor(const ScopedFileDoor&) = delete;
  ScopedFileDoor& operator=(const ScopedFileDoor&) = delete;

private:
  FileDoor* m_previous;
};

}  // namespace vorlend
