#pragma once
#include "host/host_context.h"
#include "platform/ports.h"

namespace vorlend {

// The access-rights gate of the start-up: true when the Money user may lock documents; otherwise
// false after the reader's error or the missing-right warning.
bool CheckAccessRights(const HostContext& ctx, Dialogs& dialogs);

}  // namespace vorlend
