#include "seed/rights.h"

#include "host/rights_tables.h"
#include "platform/environment.h"

namespace vorlend::seed {

std::string WriteRights(const std::string& dataDir, const RightsOptions& options) {
  RightsUser user;
  user.ID = 1;
  user.Name = options.user.empty() ? CurrentUserName() : options.user;
  user.osAccount = user.Name;
  user.osLogin = true;
  user.Password = options.password;
  user.note = "Správce agendy";
  user.UzamceniDo = options.lockRight;

  std::optional<std::string> error;
  switch (options.model) {
    // Empty old-model tables: no "PrisUziv.dat", and no user to identify.
    case RightsModel::None:
      error = WriteOldModelRights(dataDir, {});
      break;
    case RightsModel::Old:
      error = WriteOldModelRights(dataDir, {user});
      break;
    case RightsModel::New:
      error = WriteNewModelRights(dataDir, {user}, options.prispol);
      break;
  }
  return error ? *error : std::string();
}

}  // namespace vorlend::seed
