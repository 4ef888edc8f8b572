#include "seed/settings_store.h"

#include "engine/table_files.h"
#include "host/s3inifile.h"
#include "platform/files.h"
#include "platform/ini.h"

namespace vorlend::seed {

std::string WriteSettingsStore(const std::string& iniPath, SettingsForm form, const std::vector<Setting>& settings) {
  if (form == SettingsForm::Ini) {
    try {
      TIniFile ini(iniPath);
      for (const Setting& s : settings) ini.WriteString(s.section, s.key, s.value);
    } catch (const std::exception& e) {
      return e.what();
    }
    return {};
  }
  const std::string tablePath = ChangeFileExt(iniPath, ".DAT");
  using engine::FieldType;
  if (auto error = engine::CreateTable(tablePath,
                                       {{"Section1", FieldType::Text},
                                        {"Variable", FieldType::Text},
                                        {"TypeVar", FieldType::Text},
                                        {"Value", FieldType::Untyped}},
                                       {"Section1+Variable"}))
    return *error;
  // Written the way Money's newer versions read it: through the settings store in table form.
  TS3IniFile store(iniPath, "13");
  if (store.StorageForm != TS3IniFile::TableForm || !store.Table || !store.Table->IsOpen())
    return "nelze otevřít tabulku " + tablePath;
  for (const Setting& s : settings) store.WriteString(s.section, s.key, s.value);
  for (const Setting& s : settings)
    if (store.ReadString(s.section, s.key, "\x01") != s.value) return "nelze zapsat do tabulky " + tablePath;
  return {};
}

}  // namespace vorlend::seed
