#include "app/access_gate.h"

#include <string>

#include "app/startup.h"
#include "engine/host_error.h"
#include "host/s3access_rights.h"

namespace vorlend {

bool CheckAccessRights(const HostContext& ctx, Dialogs& dialogs) {
  bool loaded = false;
  bool mayLock = false;
  std::string error;
  try {
    // The reader lives for this one check; it is gone before any message box shows.
    TS3AccessRights rights(ctx.DataPath);
    loaded = rights.LoadUserRights(ctx.UserPassword);
    if (loaded)
      mayLock = rights.Granted(AccessRight::UzamceniDo);
    else
      error = rights.LastError();
  } catch (const HostError& e) {
    // A rights table that breaks while it is read refuses the start like one that cannot be read.
    loaded = false;
    error = e.what();
  }
  if (!loaded) {
    dialogs.Message(MsgKind::Error, error);
    return false;
  }
  if (!mayLock) {
    dialogs.Message(MsgKind::Warning, kNoRightsText);
    return false;
  }
  return true;
}

}  // namespace vorlend
