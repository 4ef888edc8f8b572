#include "support/portable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace vorlend::test {

void SetEnv(const std::string& name, const std::string& value) { ::setenv(name.c_str(), value.c_str(), 1); }
void UnsetEnv(const std::string& name) { ::unsetenv(name.c_str()); }
bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }
bool MakeSymlink(const std::string& target, const std::string& link) {
  return ::symlink(target.c_str(), link.c_str()) == 0;
}

TempFolderOverride::TempFolderOverride(const std::string& path) {
  for (const char* name : {"TMPDIR"}) {
    const char* old = std::getenv(name);
    m_old.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    SetEnv(name, path);
  }
}

void TempFolderOverride::Restore() {
  for (const auto& [name, old] : m_old) {
    if (old) SetEnv(name, *old);
    else UnsetEnv(name);
  }
  m_old.clear();
}

}  // namespace vorlend::test
