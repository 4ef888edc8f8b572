#pragma once
// What the file layer's system sides (files_posix.cpp, files_win.cpp) share.
#include <string>
#include <string_view>

#include "platform/file_door.h"

namespace vorlend {

// Turns "\" into "/".
std::string Slashes(std::string_view path);

// The name a replacing write gives its temporary file beside `target`: "info.~PID.RANDOM".
std::string TemporaryNameFor(const std::string& target);
// Removes the temporary files beside `target` whose writing process no longer runs: it died
// before the rename and will never finish them.
void RemoveStaleTemporaries(const std::string& target);

// The system's door: its operations are defined in files_posix.cpp or files_win.cpp. Inside
// them, an operation that needs another one (a copy that syncs its folder) calls the system's
// own, never the door in force.
class SystemDoor final : public FileDoor {
public:
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
};

}  // namespace vorlend
