#pragma once
// Money's settings stores AGENDA and ROK, as an ini file or as a settings table.
#include <string>
#include <vector>

namespace vorlend::seed {

enum class SettingsForm { Ini, Table };

struct Setting {
  std::string section;
  std::string key;
  std::string value;
};

// Writes the settings into iniPath ("…/AGENDA.INI") in the ini form, or into the table of the
// same name with ".DAT" in the table form. Returns an error text, empty on success.
std::string WriteSettingsStore(const std::string& iniPath, SettingsForm form, const std::vector<Setting>& settings);

}  // namespace vorlend::seed
