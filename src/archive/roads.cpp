#include "archive/roads.h"

#include "archive/inspect.h"
#include "archive/restore.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

namespace {

// The ports a job talks through: an error that a full disk caused says so, wherever in the job
// the write failed that made it.
class JobDialogs : public Dialogs {
public:
  JobDialogs(Dialogs& inner, const HostContext& ctx) : m_inner(inner), m_ctx(ctx) { TakeNoSpaceFolder(); }
  void Message(MsgKind kind, const std::string& text) override {
    const std::string folder = kind == MsgKind::Error ? TakeNoSpaceFolder() : std::string();
    m_inner.Message(kind, folder.empty() ? text
                                         : text + "\r\rNa disku není dost místa pro " + m_ctx.Shown(folder) +
                                               ". Uvolněte na disku místo a akci spusťte znovu.");
  }
  bool Question(MsgKind kind, const std::string& text) override { return m_inner.Question(kind, text); }
  bool Ask(QuestionId id, MsgKind kind, const std::string& text) override { return m_inner.Ask(id, kind, text); }

private:
  Dialogs& m_inner;
  const HostContext& m_ctx;
};

// True only when restoring the archive would change no document: every state it recorded is the
// document's state now. A look that cannot be made (the archive held by another user's deletion,
// a damaged table) counts as a change.
bool NothingToRestore(const HostContext& ctx, const ArchiveRow& row) {
  const ArchiveHold hold(ctx, row, LockMode::Shared);
  if (!hold.Held()) return false;
  SilentDialogs quiet;
  ArchiveInspection inspection;
  if (InspectArchive(ctx, hold.Dir(), quiet, false, inspection) != 0) return false;
  for (const TableInspection& table : inspection.tables) {
    if (table.differing > 0) return false;
  }
  return true;
}

// The unfinished archive that matters most to a new save: one whose save runs, then one whose
// restore would change something, then any other.
bool FindUnfinished(const HostContext& ctx, UnfinishedArchive& found) {
  const std::vector<ArchiveRow> rows = IncompleteArchives(ctx);
  for (const ArchiveRow& row : rows) {
    if (row.Running) {
      found = {row, UnfinishedKind::Running};
      return true;
    }
  }
  for (const ArchiveRow& row : rows) {
    if (!NothingToRestore(ctx, row)) {
      found = {row, UnfinishedKind::Incomplete};
      return true;
    }
  }
  if (rows.empty()) return false;
  found = {rows.front(), UnfinishedKind::NothingToRestore};
  return true;
}

// Deletes the archive the hold holds (exclusively); the message of a refusal has been shown.
DeletionStatus DeleteHeld(const HostContext& ctx, const ArchiveHold& hold, Dialogs& dialogs) {
  if (!hold.HeldOrSay(dialogs)) {
    return hold.Access() == ArchiveAccess::Gone ? DeletionStatus::Gone : DeletionStatus::Refused;
  }
  return DeleteArchiveDirectory(ctx, ExcludeTrailingPathDelimiter(hold.Dir()), dialogs) == 0 ? DeletionStatus::Deleted
                                                                                              : DeletionStatus::Failed;
}

}  // namespace

std::string UnfinishedArchiveQuestion(const UnfinishedArchive& archive) {
  const ArchiveRow& row = archive.row;
  const std::string named = "Archiv \"" + row.MapName + "\" uložený " + row.MapDate + " " + row.MapTime;
  const char* const goOn = "\r\rChcete přesto pokračovat v novém uložení ?";
  switch (archive.kind) {
    case UnfinishedKind::Running:
      return "Archiv \"" + row.MapName +
             "\" se právě ukládá: jiný uživatel teď ukládá zámky dokladů této agendy. Nové uložení by jako "
             "původní stav zaznamenalo zámky, které jeho uložení právě mění.\r\rDoporučujeme počkat, až "
             "jeho uložení skončí." +
             goOn;
    case UnfinishedKind::Incomplete:
      return named +
             " nebyl dokončen: jeho uložení se přerušilo a doklady, které stihlo zpracovat, mohou mít změněný "
             "zámek. Jejich původní stav je jen v tomto archivu.\r\rDoporučujeme nejprve vrátit zámky z tohoto "
             "archivu." +
             goOn;
    case UnfinishedKind::NothingToRestore:
      return named +
             " nebyl dokončen, ale jeho obnovení by už nic nezměnilo: všechny zaznamenané doklady mají "
             "zámek ve stavu, který archiv uchovává.\r\rPokud ho už nepotřebujete, smažte ho tlačítkem "
             "Smazat v seznamu archivů." +
             goOn;
  }
  return {};
}

SaveOutcome RunSaveRoad(const HostContext& ctx, const RoadPorts& ports, const RoadTables& tables,
                        const YearList& years, SaveChoices choices, int blockSize) {
  SaveOutcome outcome;
  RemoveAbandonedSaves(ctx);
  // A new save would record the states an unfinished one changed, or is changing, as the earlier
  // ones.
  if (FindUnfinished(ctx, outcome.unfinished) &&
      !ports.dialogs.Ask(QuestionId::GoOnDespiteUnfinished, MsgKind::Warning,
                         UnfinishedArchiveQuestion(outcome.unfinished))) {
    outcome.status = SaveStatus::Declined;
    return outcome;
  }
  // Whatever the save leaves open is closed when it returns, also after an exception.
  TableCloser closeMoney(tables.money);
  TableCloser closeLock(tables.lock);
  JobDialogs dialogs(ports.dialogs, ctx);
  SaveJob job{ctx, dialogs, ports.progress, tables.money, tables.lock, years, std::move(choices), tables.files};
  job.Observer = ports.observer;
  job.BlockSize = blockSize;
  const int result = StartSave(job);
  outcome.status = result == 0 ? SaveStatus::Saved : SaveStatus::Failed;
  outcome.incompleteLeft = result != 0 && job.DocumentsChanged;
  if (result == 0 || outcome.incompleteLeft) {
    outcome.archiveNumber = ExtractFileName(ExcludeTrailingPathDelimiter(job.ArchiveDir));
  }
  outcome.archiveName = job.choices.archiveName;
  outcome.counts = job.Counts;
  outcome.skipped = job.Skipped;
  if (result == 0 && ports.succeeded) ports.succeeded();
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
  int result = -1;
  {
    TableCloser closeMoney(tables.money);
    TableCloser closeLock(tables.lock);
    JobDialogs dialogs(ports.dialogs, ctx);
    RestoreJob job{ctx, dialogs, ports.progress, tables.money, tables.lock, tables.files};
    job.Observer = ports.observer;
    job.BlockSize = blockSize;
    ports.progress.ClearAbort();
    ports.progress.SetText("Načítám archiv...");
    ports.progress.ProcessMessages();
    ports.progress.Begin();
    result = RestoreLocks(job, hold.Dir());
    outcome.counts = job.Counts;
  }
  if (result != 0) return outcome;
  outcome.status = RestoreStatus::Restored;
  if (ports.succeeded) ports.succeeded();
  if (!ports.dialogs.Ask(QuestionId::DeleteAfterRestore, MsgKind::Confirmation, kDeleteAfterRestoreQuestion)) {
    outcome.deletion = DeletionStatus::Kept;
    return outcome;
  }
  hold.Upgrade();
  outcome.deletion = DeleteHeld(ctx, hold, ports.dialogs);
  return outcome;
}

DeletionStatus RunDeleteRoad(const HostContext& ctx, Dialogs& dialogs, const ArchiveRow& row) {
  if (!dialogs.Ask(QuestionId::DeleteArchive, MsgKind::Confirmation, kDeleteArchiveQuestion)) return DeletionStatus::Kept;
  const ArchiveHold hold(ctx, row, LockMode::Exclusive);
  return DeleteHeld(ctx, hold, dialogs);
}

int RunComparisonRoad(const HostContext& ctx, Dialogs& dialogs, const ArchiveRow& row, bool listDocuments,
                      ArchiveInspection& inspection, Recapitulation* recap, const InspectionProgress* shown) {
  const ArchiveHold hold(ctx, row, LockMode::Shared);
  if (!hold.HeldOrSay(dialogs)) return -1;
  if (recap) ShowRecapitulation(hold.Dir(), *recap);
  return InspectArchive(ctx, hold.Dir(), dialogs, listDocuments, inspection, shown);
}

}  // namespace vorlend
