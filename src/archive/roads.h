#pragma once
// The wizard's two roads and the deletion of an archive, once for the window and the batch tool
// alike. Each road takes the ports and returns an outcome; the steps around its job live here:
// the question about an unfinished archive before a save, the hold on the archive a job works
// with, the job itself, the deletion offered after a restore, and the counts. The front ends only
// present the outcome.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/catalogue.h"
#include "archive/file_list.h"
#include "archive/inspect.h"
#include "archive/report.h"
#include "archive/save.h"
#include "archive/year_list.h"
#include "host/bftable.h"
#include "host/host_context.h"
#include "platform/ports.h"

namespace vorlend {

inline constexpr const char* kDeleteArchiveQuestion =
    "Smazání uloženého archivu je nevratná operace. Opravdu to chcete ?";
inline constexpr const char* kDeleteAfterRestoreQuestion =
    "Operace byla dokončena. Pokud archiv uložených zámků již nebudete potřebovat, můžete ho smazat, aby "
    "nezabíral na disku zbytečně místo. Chcete to udělat nyní ?";

struct RoadPorts {
  Dialogs& dialogs;
  Progress& progress;                     // also carries the user's abort request
  OperationObserver* observer = nullptr;  // optional
  // The job has succeeded, with these counts; called before any question that follows it (the
  // window shows its done page there).
  std::function<void(const OperationCounts&)> succeeded{};
};

// What a road works with: the window owns these for its whole life, the batch tool for one run.
// Every table is closed when the road returns.
struct RoadTables {
  TBFTable& money;
  TBFTable& lock;
  FileList& files;
};

// An archive of the agenda that a new save should not ignore.
enum class UnfinishedKind {
  Running,           // its save still runs: a new save would record the states it is changing
  Incomplete,        // its save stopped; only it holds the earlier states of what it changed
  NothingToRestore,  // its save stopped, but every state it recorded is the document's state now
  Pending,           // complete, of the same tables, and its restore would still change documents
};
struct UnfinishedArchive {
  ArchiveRow row;
  UnfinishedKind kind = UnfinishedKind::Incomplete;
};
// The archive tables a save of these years and modules writes (upper case, as ArchiveRow::tables).
std::vector<std::string> PlannedTables(const YearList& years, const ModuleFilter& filter);

// The archive that matters most to a new save of `tables` and that the user has not yet agreed to
// go on beside (`accepted`), in `found`: one whose save runs, then an unfinished one whose restore
// would change something, then the newest complete one of any of these tables whose restore
// would (its states would be recorded as the earlier ones), then any other unfinished one. An
// archive looked into is read on `progress` (its page begun, a text naming the archive, the bar
// over its records, the window at work every few records); Stopped when the user asked to stop
// there, with nothing written or changed.
Result FindUnfinished(const HostContext& ctx, const ArchiveList& list, const std::vector<std::string>& tables,
                      const std::vector<ArchiveRow>& accepted, std::optional<UnfinishedArchive>& found,
                      Progress* progress = nullptr);

// What is unfinished about the archive, and why a new save should not ignore it.
std::string UnfinishedArchiveText(const UnfinishedArchive& archive);
// The window's question before a new save: the text, what to do instead, and the question.
std::string UnfinishedArchiveQuestion(const UnfinishedArchive& archive);
// The question before restoring `row` while `newer`, saved after it, holds some of its tables.
std::string NewerArchiveQuestion(const ArchiveRow& row, const ArchiveRow& newer);
// What that question says before it asks.
std::string NewerArchiveText(const ArchiveRow& row, const ArchiveRow& newer);
// The question before deleting an unfinished archive whose restore would change `pending` documents.
std::string PendingDeletionQuestion(const ArchiveRow& row, int pending);
// The question asked about an unfinished archive before a save, by its kind.
QuestionId UnfinishedQuestionId(UnfinishedKind kind);

enum class SaveStatus { Saved, Declined, Failed, Refused };
struct SaveOutcome {
  SaveStatus status = SaveStatus::Failed;
  UnfinishedArchive unfinished{};  // Declined: what the declined question was about
  std::string archiveNumber;       // the archive's directory name, when one is left
  bool incompleteLeft = false;     // failed or stopped after documents changed: the archive keeps them
  std::string archiveName;         // as stored ("[bez názvu]" for a blank name)
  OperationCounts counts{};
  std::vector<SkippedDocuments> skipped{};
  Result result{};  // Saved or Failed: how the save ended (shown to the user by the road)
};
// The agenda's archives as the user is shown them, once what killed saves left behind is gone
// (`tidy`; a look that only reads leaves it for the list). False after the message when the
// archive folder cannot be read: an empty list is then no answer.
[[nodiscard]] bool RunListRoad(const HostContext& ctx, Dialogs& dialogs, ArchiveList& list, bool tidy = true);

// The recapitulation of a listed archive, read while the archive is held shared, so that it is true
// of the archive as it is now: a save that still runs, another user's deletion, an archive gone or
// replaced is said instead (false after the message).
[[nodiscard]] bool RunRecapitulationRoad(const HostContext& ctx, Dialogs& dialogs, const ArchiveRow& row,
                                         Recapitulation& recap);

// Asks about an unfinished archive (QuestionId::GoOnDespiteUnfinished) or one of the same tables
// still waiting for its restore (QuestionId::ArchiveOrder), then saves. Refused: another save's
// start held the agenda too long, or the archive root cannot be made (after the message). The
// look at the archives shows on the progress and stops on the user's request: Failed with a
// Stopped result, nothing created.
SaveOutcome RunSaveRoad(const HostContext& ctx, const RoadPorts& ports, const RoadTables& tables, const YearList& years,
                        SaveChoices choices, int blockSize = kSaveBlockSize);

enum class DeletionStatus {
  NotAsked,  // the road did not come to the question
  Kept,      // the user answered Ne
  Deleted,
  Failed,       // after "Nelze smazat adresář ..."; the archive stays listed (the message says under which number)
  Refused,      // another user works with it, or its save runs (after the message)
  Gone,         // deleted or replaced by another user meanwhile (after the message)
  WouldDelete,  // a dry run: the deletion would have gone ahead
};

enum class RestoreStatus { Restored, Failed, Refused, Declined };
struct RestoreRoadOutcome {
  RestoreStatus status = RestoreStatus::Failed;
  ArchiveRow newer{};                          // Declined: the newer archive the question named
  ArchiveAccess access = ArchiveAccess::Held;  // Refused: why (after the message)
  DeletionStatus deletion = DeletionStatus::NotAsked;
  OperationCounts counts{};
  Result result{};  // Restored or Failed: how the restore ended (shown to the user by the road)
};
// Holds the archive shared for the whole road, asks when a newer archive holds some of its tables
// (QuestionId::ArchiveOrder), restores it, and offers its deletion
// (QuestionId::DeleteAfterRestore): only the archive it restored is deleted, never another that
// took its number meanwhile.
RestoreRoadOutcome RunRestoreRoad(const HostContext& ctx, const RoadPorts& ports, const RoadTables& tables,
                                  const ArchiveRow& row, int blockSize = kRestoreBlockSize);

// "Smazat": asks (QuestionId::DeleteArchive; for an unfinished archive whose restore would still
// change documents QuestionId::DeletePendingWork, with their count, set in `pending`), then
// deletes the archive while holding it exclusively; an archive that another user's job holds is
// left with a message. `dryRun`: every step but the deletion itself (WouldDelete when it would go
// ahead), so a dry run answers what the deletion would do, refusals included.
DeletionStatus RunDeleteRoad(const HostContext& ctx, Dialogs& dialogs, const ArchiveRow& row, int* pending = nullptr,
                             bool dryRun = false);

// The archive a command names: its number in the agenda's list, or "latest", the archive saved
// last whatever its state (a caller that needs a complete one looks at row.complete). A failure
// says why there is none.
Result RunFindArchiveRoad(const HostContext& ctx, const std::string& number, ArchiveRow& row);

// The lock states the archive holds, read while it is held shared so that no other user deletes it
// meanwhile; -1 when it cannot be held or read.
int RunCountStatesRoad(const HostContext& ctx, const ArchiveRow& row);

// What is wrong with the archive (see CheckArchive), read whole while it is held shared; an archive
// that another user's job holds, or that is gone, says so as its one problem. `records` counts the
// records read.
std::vector<std::string> RunCheckRoad(const HostContext& ctx, const ArchiveRow& row, int& records);

// How many documents a restore of the unfinished archive would still change: 0 for a complete one
// (its deletion is the usual end of its use), -1 when it cannot be read.
int PendingChanges(const HostContext& ctx, const ArchiveRow& row);

// What a restore of the archive would change ("Porovnat s Money", `show`, `restore --dry-run`):
// the archive held shared while its recapitulation (when asked for) and every record are read, so
// no other user deletes it meanwhile; nothing is locked or written. Ok with the counts; Stopped on
// request; Refused (another user's job holds the archive, or it is gone) or Failed after the
// message that says why not.
Result RunComparisonRoad(const HostContext& ctx, Dialogs& dialogs, const ArchiveRow& row, bool listDocuments,
                         ArchiveInspection& inspection, Recapitulation* recap = nullptr,
                         const InspectionProgress* shown = nullptr);

}  // namespace vorlend
