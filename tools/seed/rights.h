#pragma once
// Money's access-rights tables in the data directory, which decide whether the add-on starts.
#include <string>

namespace vorlend::seed {

enum class RightsModel { None, Old, New };

// Writes the rights tables of the model, granting the current operating-system user the right
// to lock documents. None writes nothing. Returns an error text, empty on success.
std::string WriteRights(const std::string& dataDir, RightsModel model);

}  // namespace vorlend::seed
