#include "host/settings_store.h"

#include "platform/ini.h"

namespace vorlend {

// Until the settings-store class over both forms exists, the ini form is read.
std::string ReadSettingsString(const std::string& fileName, const std::string& section, const std::string& key,
                               const std::string& def) {
  TIniFile ini(fileName);
  return ini.ReadString(section, key, def);
}

}  // namespace vorlend
