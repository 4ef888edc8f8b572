#include "support/portable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace vorlend::test {

void SetEnv(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}
void UnsetEnv(const std::string& name) {
  ::unsetenv(name.c_str());
}
bool MakeFifo(const std::string& path) {
  return ::mkfifo(path.c_str(), 0600) == 0;
}
bool MakeSymlink(const std::string& target, const std::string& link) {
  return ::symlink(target.c_str(), link.c_str()) == 0;
}

std::vector<std::string> TempFolderVariables() {
  return {"TMPDIR"};
}

}  // namespace vorlend::test
