#include "archive/operation.h"

#include <algorithm>

namespace vorlend {

namespace {
bool ConflictAnsweredYes(Dialogs& dialogs, const std::string& workingStr) {
  const std::string question = LockConflictQuestionStart + workingStr +
                               ": některý doklad je právě editován uživatelem Money. Počkejte na uvolnění a "
                               "pokračujte tlačítkem [Ano]. Klepnutím na tlačítko [Ne] celou operaci přerušíte.";
  return dialogs.Question(MsgKind::Warning, question);
}
}  // namespace

LockOutcome LockRecordWithRetry(TBFTable& table, Dialogs& dialogs, const std::string& workingStr,
                                const LockSubject& subject) {
  for (;;) {
    int result = -1;
    try {
      result = table.LockRecord();
    } catch (const HostError&) {
      result = -1;  // the component raising counts as a record held by someone else
    }
    if (result == 0) return LockOutcome::Locked;
    // Asking "wait and go on" about a deleted document would ask for ever.
    if (result == LockRecordGone) return LockOutcome::Gone;
    // Asking "wait and go on" about a lock file nobody can write would ask for ever.
    if (result == LockRecordUnavailable) return LockOutcome::Unavailable;
    if (subject.observer) subject.observer->LockConflict(subject.shownTable, subject.key);
    if (!ConflictAnsweredYes(dialogs, workingStr)) return LockOutcome::Refused;
  }
}

PostOutcome PostWithRetry(TBFTable& table, Dialogs& dialogs, const std::string& workingStr) {
  for (;;) {
    const int result = table.Post();
    if (result == 0) return PostOutcome::Posted;
    if (result != PostBusy) return PostOutcome::Failed;
    if (!ConflictAnsweredYes(dialogs, workingStr)) return PostOutcome::Refused;
  }
}

void ProgressTick(Progress& progress, int counter) {
  if (counter % ProgressStep != 0) return;
  progress.ProcessMessages();
  progress.SetPosition(counter);
}

bool AbortConfirmed(Progress& progress, Dialogs& dialogs, MsgKind kind, const char* question) {
  if (!progress.AbortRequested()) return false;
  if (dialogs.Question(kind, question)) return true;
  progress.ClearAbort();
  return false;
}

std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

RowTables RowTablePaths(const HostContext& ctx, const FileListRow& row, const std::string& archiveDir) {
  RowTables t;
  t.money = NativePath(ctx.AgendaPath + row.MoneyFile);
  t.moneyShown = ctx.Shown(t.money);
  t.archive = archiveDir + row.FileName;
  t.archiveShown = ctx.Shown(t.archive);
  return t;
}

int FailClosing(TBFTable& money, TBFTable& archive, Dialogs& dialogs, const std::string& text) {
  archive.CloseTable();
  money.CloseTable();
  dialogs.Message(MsgKind::Error, text);
  return -1;
}

std::string OpenErrorText(const std::string& tablePath) {
  return "Nastala chyba při otevírání databáze " + tablePath + ".DAT";
}

std::string PositionErrorText(const std::string& tablePath) {
  return "Nastala chyba při nastavení rekordu v databázi " + tablePath + ".DAT";
}

std::string IndexErrorText(const std::string& tablePath) {
  return "Nastala chyba při nastavení indexu v databázi " + tablePath + ".DAT";
}

std::string PostErrorText(const std::string& tablePath) {
  return "Nastala chyba při ukládání záznamu v databázi " + tablePath + ".DAT";
}

}  // namespace vorlend
