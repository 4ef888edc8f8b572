#include "archive/restore.h"

namespace vorlend {

// The restore is not built yet; it refuses honestly instead of pretending work was done.
int RestoreLocks(RestoreJob& job, const std::string&) {
  job.dialogs.Message(MsgKind::Error, "Obnovení zámků dokladů zatím není k dispozici.");
  return -1;
}

}  // namespace vorlend
