#include "host/settings_store.h"

#include "host/s3inifile.h"

namespace vorlend {

// The one-argument form: the files decide (a ".DAT" beside the name means the table form).
std::string ReadSettingsString(const std::string& fileName, const std::string& section, const std::string& key,
                               const std::string& def) {
  TS3IniFile store(fileName);
  return store.ReadString(section, key, def);
}

}  // namespace vorlend
