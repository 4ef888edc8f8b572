#pragma once
// Money's access-rights tables in the data directory, which decide whether the add-on starts.
#include <string>

namespace vorlend::seed {

enum class RightsModel { None, Old, New };

struct RightsOptions {
  RightsModel model = RightsModel::New;
  std::string user;       // the one user's name and system account; empty: the current account
  std::string password;   // the user's password as typed
  bool lockRight = true;  // the right to lock documents, which the add-on requires
  bool prispol = true;    // new model: write the level rights into PRISPOL
};

// Writes the rights tables of the model with one user, by default the current operating-system
// user with the right to lock documents. None writes rights tables without any user, on which
// Money lets everybody in with every right. Returns an error text, empty on success.
std::string WriteRights(const std::string& dataDir, const RightsOptions& options);

}  // namespace vorlend::seed
