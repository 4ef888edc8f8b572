#pragma once
// What the tests ask of the system beyond the add-on's own platform layer, the same on POSIX
// systems and on Windows.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
// A test of something Windows has no equivalent of (FIFOs, symbolic links anyone may make, POSIX
// permissions, signals, mounts) is skipped there, with the reason.
#define VORLEND_LINUX_ONLY(reason) GTEST_SKIP() << "Linux only: " << (reason)
#else
#define VORLEND_LINUX_ONLY(reason) static_cast<void>(0)
#endif

namespace vorlend::test {

void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);
// The environment variables that name the system's temporary folder.
std::vector<std::string> TempFolderVariables();

// The system's temporary folder is `path` until Restore or the end of the object (TMPDIR on POSIX
// systems, TMP and TEMP on Windows).
class TempFolderOverride {
public:
  explicit TempFolderOverride(const std::string& path);
  ~TempFolderOverride() { Restore(); }
  TempFolderOverride(const TempFolderOverride&) = delete;
  TempFolderOverride& operator=(const TempFolderOverride&) = delete;
  void Restore();

private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_old;
};

// A FIFO; false where the system has none.
bool MakeFifo(const std::string& path);
// A symbolic link to a file or a directory; false where none can be made.
bool MakeSymlink(const std::string& target, const std::string& link);

}  // namespace vorlend::test
