#pragma once
#include <string>

namespace vorlend {

// One string read from one of Money's settings stores (AGENDA.INI, ROK.INI, or the table of the
// same name with ".DAT"), the store created for the read and released at once.
std::string ReadSettingsString(const std::string& fileName, const std::string& section, const std::string& key,
                               const std::string& def);

}  // namespace vorlend
