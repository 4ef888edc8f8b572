#pragma once
// Restoring lock states: every document an archive lists and that still exists gets its saved
// lock value back. The archive itself is only read. Before the first document is written, the
// whole archive is read once and every Money table it will change is opened with its index, so a
// damaged table stops the restore while every document is still as it was.
#include <string>

#include "archive/catalogue.h"
#include "archive/file_list.h"
#include "archive/operation.h"
#include "archive/report.h"
#include "host/bftable.h"
#include "host/host_context.h"
#include "platform/ports.h"

namespace vorlend {

struct RestoreJob {
  const HostContext& context;  // AgendaPath, and the form in which messages show paths
  Dialogs& dialogs;
  Progress& progress;  // also carries the user's abort request
  TBFTable& BFMoneyFile;
  TBFTable& BFLockFile;
  FileList& mtFileList;
  OperationObserver* observer = nullptr;  // optional
  // The archive the job holds: its tables are opened by their names, and must still be its own.
  const ArchiveHold* hold = nullptr;  // optional
  int blockSize = kRestoreBlockSize;  // documents per block; 1 = record by record

  // Filled in by the restore.
  OperationCounts counts{};
};

// Ok when every row of the file list was processed; every table is closed when it returns.
Result RestoreLocks(RestoreJob& job, const std::string& archiveDir);

// The archive's file list as the restore reads it before anything in Money is touched: info.tab
// present, readable and not empty, every row a safe path, every archive table present.
Result ReadArchiveFileList(const std::string& archiveDir, FileList& files);

}  // namespace vorlend
