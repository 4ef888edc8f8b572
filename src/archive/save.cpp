#include "archive/save.h"

namespace vorlend {

// The save is not built yet; it refuses honestly instead of pretending work was done.
int CreateArchiveDirectory(SaveJob& job) {
  job.dialogs.Message(MsgKind::Error, "Ukládání zámků dokladů zatím není k dispozici.");
  return -1;
}

int SaveLocks(SaveJob& job) {
  job.dialogs.Message(MsgKind::Error, "Ukládání zámků dokladů zatím není k dispozici.");
  return -1;
}

int CreateLockTable(const std::string&, const std::string&, Dialogs& dialogs) {
  dialogs.Message(MsgKind::Error, "Ukládání zámků dokladů zatím není k dispozici.");
  return -1;
}

}  // namespace vorlend
