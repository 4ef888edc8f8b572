#pragma once
// Saving lock states: a new numbered archive directory, one archive table per chosen module and
// marked year, and in the same pass the chosen lock action on every document. The archive record
// of a document is always posted before that document is changed.
#include <string>

#include "app/host_context.h"
#include "archive/file_list.h"
#include "archive/modules.h"
#include "archive/year_list.h"
#include "host/bftable.h"
#include "platform/ports.h"

namespace vorlend {

struct SaveJob {
  HostContext& context;        // paths, AgendaExt, AgendaName, AbortRequested
  Dialogs& dialogs;
  Progress& progress;
  TBFTable& BFMoneyFile;
  TBFTable& BFLockFile;
  const YearList& years;       // marked rows take part, in the list's order
  ModuleFilter filter{};
  LockAction action = LockAction::Unlock;
  std::string& archiveName;    // the name box's text; a blank name becomes "[bez názvu]" in it
  std::string ArchiveDir;      // set by CreateArchiveDirectory, trailing separator
  FileList& mtFileList;      // rebuilt by every save
};

// 0 after ArchiveDir has been set; -1 after its message.
int CreateArchiveDirectory(SaveJob& job);
// 0 when the archive is complete; -1 after any failure, refusal or abort.
int SaveLocks(SaveJob& job);
// 0 when both files are fresh copies of the template; -1 after its message.
int CreateLockTable(const std::string& basePath, const std::string& programDir, Dialogs& dialogs);

}  // namespace vorlend
