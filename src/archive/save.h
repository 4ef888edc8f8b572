#pragma once
// Saving lock states: a new numbered archive directory, one archive table per chosen module and
// marked year, and in the same pass the chosen lock action on every document.
//
// No lock state may ever be out of reach. The archive record of a document is posted (in one post,
// key and lock together) before that document is changed; the file list info.tab is written
// before the first Money table is opened, so a save that stops half-way leaves an incomplete
// archive that the catalogue lists and the restore accepts; and every table the save will touch
// is opened once before the first document changes.
#include <functional>
#include <string>
#include <vector>

#include "archive/file_list.h"
#include "archive/modules.h"
#include "archive/operation.h"
#include "archive/report.h"
#include "archive/year_list.h"
#include "host/bftable.h"
#include "host/host_context.h"
#include "platform/ports.h"

namespace vorlend {

// What the user chose on the save pages.
// The name a save stores for an archive whose name was left blank.
inline constexpr const char* kUnnamedArchiveName = "[bez názvu]";

struct SaveChoices {
  ModuleFilter filter{};
  LockAction action = LockAction::Unlock;
  std::string archiveName;  // the name box's text; a blank name becomes kUnnamedArchiveName in it
};

// Documents of one Money table left as they were because their key is no whole 32-bit number: the
// restore could never find them again, so they are neither recorded nor changed.
struct SkippedDocuments {
  std::string WorkingStr;
  int count = 0;
};

struct SaveJob {
  const HostContext& context;  // paths, AgendaExt, AgendaName
  Dialogs& dialogs;
  Progress& progress;  // also carries the user's abort request
  TBFTable& BFMoneyFile;
  TBFTable& BFLockFile;
  const YearList& years;  // marked rows take part, in the list's order
  SaveChoices choices;
  FileList& mtFileList;                   // rebuilt by every save
  OperationObserver* observer = nullptr;  // optional
  int blockSize = kSaveBlockSize;         // documents per block; 1 = record by record
  long long sequence = 0;                 // MAIN/Sequence of the new archive (0: none written)
  // Called once the new archive directory is held and its description written: from then on
  // another save lists it as running.
  std::function<void()> archiveHeld{};

  // Filled in by the save.
  std::string ArchiveDir{};  // set by CreateArchiveDirectory, trailing separator
  bool documentsChanged = false;
  std::vector<SkippedDocuments> skipped{};
  OperationCounts counts{};
};

// The save as its Start button runs it, for the window and the batch tool alike: clears the abort
// request, creates the archive directory, begins the progress, and runs SaveLocks while holding
// the archive directory's lock. A save that fails or stops before it changed any document removes
// its archive directory again, so nothing incomplete is left for nothing. Ok when complete.
Result StartSave(SaveJob& job);

// Ok once ArchiveDir has been set.
Result CreateArchiveDirectory(SaveJob& job);
// Ok when the archive is complete; every table is closed when it returns.
Result SaveLocks(SaveJob& job);
// Ok when both files are fresh copies of the template files in `programDir` (their content synced;
// the caller syncs the folder that holds their names); a failure names the path.
Result CreateLockTable(const std::string& basePath, const std::string& programDir);

// The name of the archive table of a module and year: the module code and the year's extension.
std::string ArchiveTableName(const ModuleInfo& module, const YearRow& year);

// The key a document can be recorded under: a whole number that fits 32 bits. A fraction is never
// rounded, since the restore would then put the state on another document.
[[nodiscard]] bool RecordableKey(const Variant& key, std::int32_t& number);

}  // namespace vorlend
