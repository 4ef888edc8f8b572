#include "support/portable.h"

#include <cstdlib>

#include "platform/win_text.h"

namespace vorlend::test {

// Both the C runtime's copy of the environment (getenv) and the process's (GetEnvironmentVariable).
void SetEnv(const std::string& name, const std::string& value) {
  ::_putenv_s(name.c_str(), value.c_str());
  ::SetEnvironmentVariableW(win::Wide(name).c_str(), win::Wide(value).c_str());
}

void UnsetEnv(const std::string& name) {
  ::_putenv_s(name.c_str(), "");
  ::SetEnvironmentVariableW(win::Wide(name).c_str(), nullptr);
}

bool MakeFifo(const std::string&) {
  return false;
}

bool MakeSymlink(const std::string&, const std::string&) {
  return false;
}

std::vector<std::string> TempFolderVariables() {
  return {"TMP", "TEMP"};
}

}  // namespace vorlend::test
