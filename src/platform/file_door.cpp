#include "platform/file_door.h"

#include <atomic>

#include "platform/files_internal.h"

namespace vorlend {

namespace {
std::atomic<FileDoor*> g_door{nullptr};
}  // namespace

FileDoor& SystemFileDoor() {
  // Never destroyed: a write made while the process ends still finds it.
  static FileDoor* const kDoor = new SystemDoor();
  return *kDoor;
}

FileDoor& CurrentFileDoor() {
  FileDoor* door = g_door.load(std::memory_order_acquire);
  return door ? *door : SystemFileDoor();
}

ScopedFileDoor::ScopedFileDoor(FileDoor& door) : m_previous(g_door.exchange(&door, std::memory_order_acq_rel)) {}

ScopedFileDoor::~ScopedFileDoor() {
  g_door.store(m_previous, std::memory_order_release);
}

// ---- the operations of files.h that change the disk: each through the door in force.

bool WriteFileAtomic(std::string_view path, std::string_view bytes) {
  return CurrentFileDoor().WriteFileAtomic(path, bytes);
}
bool CopyFile(std::string_view source, std::string_view target, bool syncDirectory) {
  return CurrentFileDoor().CopyFile(source, target, syncDirectory);
}
bool RenamePath(std::string_view from, std::string_view to) {
  return CurrentFileDoor().RenamePath(from, to);
}
bool DeleteFile(std::string_view path) {
  return CurrentFileDoor().DeleteFile(path);
}
bool CreateDir(std::string_view path) {
  return CurrentFileDoor().CreateDir(path);
}
NewDirResult CreateNewDir(std::string_view path) {
  return CurrentFileDoor().CreateNewDir(path);
}
bool RemoveDir(std::string_view path) {
  return CurrentFileDoor().RemoveDir(path);
}
bool RemoveDirectoryTree(std::string_view path) {
  return CurrentFileDoor().RemoveDirectoryTree(path);
}
bool SyncDirectoryOf(std::string_view path) {
  return CurrentFileDoor().SyncDirectoryOf(path);
}
bool CreateEmptyFile(std::string_view path) {
  return CurrentFileDoor().CreateEmptyFile(path);
}
bool FolderTakesNewFiles(std::string_view folder) {
  return CurrentFileDoor().FolderTakesNewFiles(folder);
}
void ShareWithGroup(std::string_view directory) {
  CurrentFileDoor().ShareWithGroup(directory);
}

}  // namespace vorlend
