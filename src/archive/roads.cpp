#include "archive/roads.h"

#include <algorithm>
#include <optional>

#include "archive/inspect.h"
#include "archive/modules.h"
#include "archive/restore.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

namespace {

// How many documents restoring the archive would change (with `firstDifference`, 1 as soon as one
// would); -1 when the look cannot be made (the archive held by another user's deletion, a damaged
// table), which a caller counts as a change. Shown on `shown` when given; Stopped when the user
// asked to stop there.
Result DifferingDocuments(const HostContext& ctx, const ArchiveRow& row, bool firstDifference, int& differing,
                          const InspectionProgress* shown = nullptr) {
  differing = -1;
  const ArchiveHold hold(ctx, row, LockMode::Shared);
  if (!hold.Held()) return Result::Ok();
  ArchiveInspection inspection;
  Result inspected = InspectArchive(ctx, hold.Dir(), false, inspection, shown, firstDifference);
  if (inspected.Kind() == ResultKind::Stopped) return inspected;
  if (inspected.IsOk()) differing = InspectionTotals(inspection).differing;
  return Result::Ok();
}

// The text on the progress while the look before a save reads an archive.
std::string LookText(const ArchiveRow& row) {
  const std::string named = "archiv " + row.Dir + " (\"" + row.MapName + "\")";
  return row.complete ? "Kontroluji " + named + " se stejnými tabulkami..." : "Kontroluji nedokončený " + named + "...";
}

bool SameArchiveRow(const ArchiveRow& a, const ArchiveRow& b) {
  return a.Dir == b.Dir && a.MapName == b.MapName && a.MapDate == b.MapDate && a.MapTime == b.MapTime &&
         a.savedUtc == b.savedUtc && a.complete == b.complete && a.running == b.running;
}

bool Accepted(const std::vector<ArchiveRow>& accepted, const ArchiveRow& row) {
  return std::any_of(accepted.begin(), accepted.end(), [&](const ArchiveRow& a) { return SameArchiveRow(a, row); });
}

// How a job ended, told to the user once its tables are closed: a failure as an error, and the
// success to the front end before any question that follows it. A job the user ended needs no
// word (the question said it all).
void Present(const Result& result, const RoadPorts& ports, const OperationCounts& counts) {
  if (result.IsOk()) {
    if (ports.succeeded) ports.succeeded(counts);
  } else {
    SayFailure(result, ports.dialogs);
  }
}

}  // namespace

std::vector<std::string> PlannedTables(const YearList& years, const ModuleFilter& filter) {
  std::vector<std::string> tables;
  for (const YearRow& year : years.Rows()) {
    if (!year.Checked) continue;
    for (std::size_t m = 0; m < kModuleCount; ++m) {
      if (filter[m]) tables.push_back(UpperCase(ArchiveTableName(kModules[m], year)));
    }
  }
  return tables;
}

namespace {

// The archives a new save looks at, newest first: all but those the user agreed to go on beside.
std::vector<ArchiveRow> RowsToLookAt(const ArchiveList& list, const std::vector<ArchiveRow>& accepted) {
  std::vector<ArchiveRow> rows;
  for (const ArchiveRow& row : list.Rows()) {
    if (!Accepted(accepted, row)) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end(), [](const ArchiveRow& a, const ArchiveRow& b) { return SavedAfter(a, b); });
  return rows;
}

// How many documents the archive's restore would change, read on the progress page when there is
// one: a large archive takes seconds, and the user may stop the save meanwhile.
Result LookInto(const HostContext& ctx, const ArchiveRow& row, Progress* progress, int& differing) {
  if (!progress) return DifferingDocuments(ctx, row, true, differing);
  progress->Begin();
  const InspectionProgress shown{*progress, nullptr, LookText(row)};
  Result looked = DifferingDocuments(ctx, row, true, differing, &shown);
  progress->SetPosition(0);
  return looked;
}

// The newest complete archive of any of `tables` whose restore would still change documents. Only
// the newest one of each table is looked into: an older one's changes were recorded by the newer
// one, whose restore comes first.
Result FindPending(const HostContext& ctx, const std::vector<ArchiveRow>& rows, std::vector<std::string> tables,
                   Progress* progress, std::optional<UnfinishedArchive>& found) {
  for (const ArchiveRow& row : rows) {
    if (tables.empty()) break;
    if (!row.complete || !row.damage.empty()) continue;
    const auto end = std::remove_if(tables.begin(), tables.end(), [&](const std::string& t) {
      return std::find(row.tables.begin(), row.tables.end(), t) != row.tables.end();
    });
    if (end == tables.end()) continue;
    tables.erase(end, tables.end());
    int differing = 0;
    if (Result looked = LookInto(ctx, row, progress, differing); !looked.IsOk()) return looked;
    if (differing > 0) {
      found = UnfinishedArchive{row, UnfinishedKind::Pending};
      return Result::Ok();
    }
  }
  return Result::Ok();
}

}  // namespace

Result FindUnfinished(const HostContext& ctx, const ArchiveList& list, const std::vector<std::string>& tables,
                      const std::vector<ArchiveRow>& accepted, std::optional<UnfinishedArchive>& found,
                      Progress* progress) {
  found.reset();
  const std::vector<ArchiveRow> rows = RowsToLookAt(list, accepted);
  for (const ArchiveRow& row : rows) {
    if (row.running) {
      found = UnfinishedArchive{row, UnfinishedKind::Running};
      return Result::Ok();
    }
  }
  // A damaged archive is left out: nothing restores it, so no question could lead anywhere.
  for (const ArchiveRow& row : rows) {
    if (row.complete || !row.damage.empty()) continue;
    int differing = 0;
    if (Result looked = LookInto(ctx, row, progress, differing); !looked.IsOk()) return looked;
    if (differing != 0) {
      found = UnfinishedArchive{row, UnfinishedKind::Incomplete};
      return Result::Ok();
    }
  }
  if (Result looked = FindPending(ctx, rows, tables, progress, found); !looked.IsOk() || found) return looked;
  for (const ArchiveRow& row : rows) {
    if (!row.complete && row.damage.empty()) {
      found = UnfinishedArchive{row, UnfinishedKind::NothingToRestore};
      return Result::Ok();
    }
  }
  return Result::Ok();
}

namespace {

// Deletes the archive the hold holds (exclusively); the message of a refusal has been shown.
DeletionStatus DeleteHeld(const ArchiveHold& hold, Dialogs& dialogs) {
  if (!hold.HeldOrSay(dialogs)) {
    return hold.Access() == ArchiveAccess::Gone ? DeletionStatus::Gone : DeletionStatus::Refused;
  }
  const Result deleted = DeleteArchiveDirectory(ExcludeTrailingPathDelimiter(hold.Dir()));
  if (deleted.IsOk()) return DeletionStatus::Deleted;
  SayFailure(deleted, dialogs);
  return DeletionStatus::Failed;
}

}  // namespace

std::string UnfinishedArchiveText(const UnfinishedArchive& archive) {
  const ArchiveRow& row = archive.row;
  std::string named = "Archiv " + row.Dir + " (\"" + row.MapName + "\")";
  if (archive.kind != UnfinishedKind::Running) named += " uložený " + row.MapDate + " " + row.MapTime;
  switch (archive.kind) {
    case UnfinishedKind::Running:
      return named +
             " se právě ukládá: jiný uživatel teď ukládá zámky dokladů této agendy. Nové uložení by jako "
             "původní stav zaznamenalo zámky, které jeho uložení právě mění.";
    case UnfinishedKind::Incomplete:
      return named +
             " nebyl dokončen: jeho uložení se přerušilo a doklady, které stihlo zpracovat, mohou mít změněný "
             "zámek. Jejich původní stav je jen v tomto archivu.";
    case UnfinishedKind::NothingToRestore:
      return named +
             " nebyl dokončen, ale jeho obnovení by už nic nezměnilo: všechny zaznamenané doklady mají "
             "zámek ve stavu, který archiv uchovává.";
    case UnfinishedKind::Pending:
      return named +
             " obsahuje stejné tabulky a jeho obnovení by ještě změnilo zámky dokladů. Nové uložení by jako "
             "původní stav zaznamenalo zámky, které jeho uložení změnilo, a obnovení obou archivů v nesprávném "
             "pořadí by původní stav ztratilo.";
  }
  return {};
}

std::string UnfinishedArchiveQuestion(const UnfinishedArchive& archive) {
  const char* advice = "";
  switch (archive.kind) {
    case UnfinishedKind::Running:
      advice = "Doporučujeme počkat, až jeho uložení skončí.";
      break;
    case UnfinishedKind::Incomplete:
      advice =
          "Doporučujeme nejprve vrátit zámky z tohoto archivu (volba \"vrátit zámky dokladů do původního "
          "stavu\"), pak ho smazat a uložení spustit znovu.";
      break;
    case UnfinishedKind::NothingToRestore:
      advice = "Pokud ho už nepotřebujete, smažte ho tlačítkem Smazat v seznamu archivů.";
      break;
    case UnfinishedKind::Pending:
      advice = "Doporučujeme nejprve vrátit zámky z tohoto archivu.";
      break;
  }
  return UnfinishedArchiveText(archive) + "\r\r" + advice + "\r\rChcete přesto pokračovat v novém uložení ?";
}

QuestionId UnfinishedQuestionId(UnfinishedKind kind) {
  return kind == UnfinishedKind::Pending ? QuestionId::ArchiveOrder : QuestionId::GoOnDespiteUnfinished;
}

std::string NewerArchiveQuestion(const ArchiveRow& row, const ArchiveRow& newer) {
  return NewerArchiveText(row, newer) + "\r\rChcete přesto obnovit archiv \"" + row.MapName + "\" ?";
}

std::string NewerArchiveText(const ArchiveRow& row, const ArchiveRow& newer) {
  return "Archiv \"" + newer.MapName + "\" (číslo " + newer.Dir + "), uložený " + newer.MapDate + " " + newer.MapTime +
         ", je novější než archiv \"" + row.MapName + "\" (číslo " + row.Dir +
         ") a obsahuje některé stejné tabulky. Archivy se obnovují od nejnovějšího: novější archiv zaznamenal "
         "zámky, které uložení staršího archivu změnilo, a jeho pozdější obnovení by stav vrácený ze "
         "staršího archivu znovu přepsalo.\r\rDoporučujeme nejprve obnovit novější archiv.";
}

std::string PendingDeletionQuestion(const ArchiveRow& row, int pending) {
  return "Archiv \"" + row.MapName + "\" (číslo " + row.Dir + ") nebyl dokončen a jeho obnovení by ještě změnilo " +
         "zámky dokladů: " + std::to_string(pending) +
         ". Jejich původní stav je jen v tomto archivu; po smazání ho nebude možné vrátit.\r\rOpravdu chcete "
         "archiv smazat ?";
}

int PendingChanges(const HostContext& ctx, const ArchiveRow& row) {
  if (row.complete) return 0;
  int differing = -1;
  static_cast<void>(DifferingDocuments(ctx, row, false, differing));
  return differing;
}

bool RunListRoad(const HostContext& ctx, Dialogs& dialogs, ArchiveList& list, bool tidy) {
  if (tidy) RemoveAbandonedSaves(ctx);
  const Result loaded = LoadArchiveList(ctx, list);
  SayFailure(loaded, dialogs);
  return loaded.IsOk();
}

bool RunRecapitulationRoad(const HostContext& ctx, Dialogs& dialogs, const ArchiveRow& row, Recapitulation& recap) {
  const ArchiveHold reading(ctx, row, LockMode::Shared);
  if (!reading.HeldOrSay(dialogs)) return false;
  ShowRecapitulation(reading.Dir(), recap);
  return true;
}

Result RunFindArchiveRoad(const HostContext& ctx, const std::string& number, ArchiveRow& row) {
  if (Result readable = ArchiveRootReadable(ctx); !readable.IsOk()) return readable;
  if (number == "latest") {
    return LatestArchive(ctx, row) ? Result::Ok() : Result::Failed("Agenda nemá žádný dokončený archiv.");
  }
  return FindListedArchive(ctx, number, row) ? Result::Ok() : Result::Failed(NotListedText(ctx, number));
}

int RunCountStatesRoad(const HostContext& ctx, const ArchiveRow& row) {
  const ArchiveHold reading(ctx, row, LockMode::Shared);
  return reading.Held() ? CountArchivedStates(reading.Dir()) : -1;
}

std::vector<std::string> RunCheckRoad(const HostContext& ctx, const ArchiveRow& row, int& records) {
  records = 0;
  const ArchiveHold hold(ctx, row, LockMode::Shared);
  if (!hold.Held()) return {hold.RefusalText()};
  return CheckArchive(hold.Dir(), records);
}

SaveOutcome RunSaveRoad(const HostContext& ctx, const RoadPorts& ports, const RoadTables& tables, const YearList& years,
                        SaveChoices choices, int blockSize) {
  SaveOutcome outcome;
  // A full disk is named from the road's start: the start lock's folders are its first writes.
  ForgetNotedFullDisk();
  RemoveAbandonedSaves(ctx);
  // A new save would record the states an unfinished one changed, or is changing, as the earlier
  // ones. The look and the new archive's directory are one step under the agenda's start lock, so
  // of two saves started together the second finds the first running. The lock is let go while a
  // question waits, and the look is made again afterwards.
  const std::vector<std::string> planned = PlannedTables(years, choices.filter);
  // "Přerušit" stops the save from here on, the look at the archives included.
  ports.progress.ClearAbort();
  std::vector<ArchiveRow> accepted;
  std::optional<SaveStartLock> start;
  ArchiveList archives;
  for (;;) {
    start.emplace(ctx);
    if (!start->Held()) {
      outcome.result = Result::Failed(start->FailureText());
      Present(outcome.result, ports, outcome.counts);
      outcome.status = SaveStatus::Refused;
      return outcome;
    }
    // One look at the archives serves the question and the new archive's sequence; a save that
    // cannot see the archives cannot tell whether one of them waits for its restore.
    if (Result listed = LoadArchiveList(ctx, archives); !listed.IsOk()) {
      start.reset();
      outcome.result = std::move(listed);
      Present(outcome.result, ports, outcome.counts);
      outcome.status = SaveStatus::Refused;
      return outcome;
    }
    std::optional<UnfinishedArchive> found;
    if (Result looked = FindUnfinished(ctx, archives, planned, accepted, found, &ports.progress); !looked.IsOk()) {
      // Stopped while it looked: nothing has been written or changed.
      start.reset();
      outcome.result = std::move(looked);
      Present(outcome.result, ports, outcome.counts);
      outcome.status = SaveStatus::Failed;
      return outcome;
    }
    if (!found) break;
    start.reset();
    outcome.unfinished = *found;
    const UnfinishedArchive& u = outcome.unfinished;
    if (!ports.dialogs.Ask(UnfinishedQuestionId(u.kind), MsgKind::Warning, UnfinishedArchiveQuestion(u))) {
      outcome.status = SaveStatus::Declined;
      return outcome;
    }
    accepted.push_back(u.row);
  }
  SaveJob job{ctx, ports.dialogs, ports.progress, tables.money, tables.lock, years, std::move(choices), tables.files};
  job.observer = ports.observer;
  job.blockSize = blockSize;
  job.sequence = NextSaveSequence(archives);
  job.archiveHeld = [&start] { start.reset(); };
  outcome.result = StartSave(job);
  const bool saved = outcome.result.IsOk();
  outcome.status = saved ? SaveStatus::Saved : SaveStatus::Failed;
  outcome.incompleteLeft = !saved && job.documentsChanged;
  if (saved || outcome.incompleteLeft) {
    outcome.archiveNumber = ExtractFileName(ExcludeTrailingPathDelimiter(job.ArchiveDir));
  }
  outcome.archiveName = job.choices.archiveName;
  outcome.counts = job.counts;
  outcome.skipped = job.skipped;
  // Nobody waits for the agenda while the user reads how the save ended.
  start.reset();
  Present(outcome.result, ports, outcome.counts);
  return outcome;
}

RestoreRoadOutcome RunRestoreRoad(const HostContext& ctx, const RoadPorts& ports, const RoadTables& tables,
                                  const ArchiveRow& row, int blockSize) {
  RestoreRoadOutcome outcome;
  // Held until the road ends: no other user deletes the archive while it is restored, nor
  // between the restore and its deletion.
  ArchiveHold hold(ctx, row, LockMode::Shared);
  outcome.access = hold.Access();
  if (!hold.HeldOrSay(ports.dialogs)) {
    outcome.status = RestoreStatus::Refused;
    return outcome;
  }
  // A newer archive recorded the states this one's save left; restored after this one, it would
  // undo it. Newer archives are restored first.
  const std::vector<ArchiveRow> newer = NewerArchivesHolding(ctx, row);
  if (!newer.empty()) {
    outcome.newer = newer.front();
    if (!ports.dialogs.Ask(QuestionId::ArchiveOrder, MsgKind::Warning, NewerArchiveQuestion(row, newer.front()))) {
      outcome.status = RestoreStatus::Declined;
      return outcome;
    }
  }
  ForgetNotedFullDisk();
  RestoreJob job{ctx, ports.dialogs, ports.progress, tables.money, tables.lock, tables.files};
  job.observer = ports.observer;
  job.blockSize = blockSize;
  job.hold = &hold;
  ports.progress.ClearAbort();
  ports.progress.SetText("Načítám archiv...");
  ports.progress.ProcessMessages();
  ports.progress.Begin();
  outcome.result = RestoreLocks(job, hold.Dir());
  outcome.counts = job.counts;
  Present(outcome.result, ports, outcome.counts);
  if (!outcome.result.IsOk()) return outcome;
  outcome.status = RestoreStatus::Restored;
  if (!ports.dialogs.Ask(QuestionId::DeleteAfterRestore, MsgKind::Confirmation, kDeleteAfterRestoreQuestion)) {
    outcome.deletion = DeletionStatus::Kept;
    return outcome;
  }
  hold.Upgrade();
  outcome.deletion = DeleteHeld(hold, ports.dialogs);
  return outcome;
}

DeletionStatus RunDeleteRoad(const HostContext& ctx, Dialogs& dialogs, const ArchiveRow& row, int* pending,
                             bool dryRun) {
  // An unfinished archive may hold the only earlier states of documents its save changed.
  const int changes = PendingChanges(ctx, row);
  if (pending) *pending = changes;
  const bool yes =
      changes > 0 ? dialogs.Ask(QuestionId::DeletePendingWork, MsgKind::Warning, PendingDeletionQuestion(row, changes))
                  : dialogs.Ask(QuestionId::DeleteArchive, MsgKind::Confirmation, kDeleteArchiveQuestion);
  if (!yes) return DeletionStatus::Kept;
  const ArchiveHold hold(ctx, row, LockMode::Exclusive);
  if (dryRun && hold.HeldOrSay(dialogs)) return DeletionStatus::WouldDelete;
  return dryRun ? DeletionStatus::Refused : DeleteHeld(hold, dialogs);
}

Result RunComparisonRoad(const HostContext& ctx, Dialogs& dialogs, const ArchiveRow& row, bool listDocuments,
                         ArchiveInspection& inspection, Recapitulation* recap, const InspectionProgress* shown) {
  const ArchiveHold hold(ctx, row, LockMode::Shared);
  if (!hold.HeldOrSay(dialogs)) return Result::Refused(hold.RefusalText());
  if (recap) ShowRecapitulation(hold.Dir(), *recap);
  if (shown) shown->progress.ClearAbort();
  Result compared = InspectArchive(ctx, hold.Dir(), listDocuments, inspection, shown);
  SayFailure(compared, dialogs);
  return compared;
}

}  // namespace vorlend
