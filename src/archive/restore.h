#pragma once
// Restoring lock states: every document an archive lists and that still exists gets its saved
// lock value back. The archive itself is only read.
#include <string>

#include "app/host_context.h"
#include "archive/file_list.h"
#include "host/bftable.h"
#include "platform/ports.h"

namespace vorlend {

struct RestoreJob {
  HostContext& context;   // AgendaDir, AbortRequested
  Dialogs& dialogs;
  Progress& progress;
  TBFTable& BFMoneyFile;
  TBFTable& BFLockFile;
  FileList& mtFileList;
};

// 0 when every row of the file list was processed; -1 after any failure, refusal or abort.
int RestoreLocks(RestoreJob& job, const std::string& archiveDir);

}  // namespace vorlend
