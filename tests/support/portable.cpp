#include "support/portable.h"

#include <cstdlib>

namespace vorlend::test {

TempFolderOverride::TempFolderOverride(const std::string& path) {
  for (const std::string& name : TempFolderVariables()) {
    const char* old = std::getenv(name.c_str());
    m_old.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    SetEnv(name, path);
  }
}

void TempFolderOverride::Restore() {
  for (const auto& [name, old] : m_old) {
    if (old)
      SetEnv(name, *old);
    else
      UnsetEnv(name);
  }
  m_old.clear();
}

}  // namespace vorlend::test
