#include "archive/operation.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace vorlend {

namespace {

// How long the last synced commit of a block took, in microseconds.
std::atomic<std::int64_t> g_lastSyncMicros{0};

bool ConflictAnsweredYes(Dialogs& dialogs, const std::string& workingStr) {
  const std::string question = kLockConflictQuestionStart + workingStr +
                               ": některý doklad je právě editován uživatelem Money. Počkejte na uvolnění a "
                               "pokračujte tlačítkem [Ano]. Klepnutím na tlačítko [Ne] celou operaci přerušíte.";
  return dialogs.Ask(QuestionId::LockConflict, MsgKind::Warning, question);
}
}  // namespace

LockOutcome LockRecordWithRetry(TBFTable& table, Dialogs& dialogs, const std::string& workingStr,
                                const LockSubject& subject, const SettleFn& settle, TableBlock* block) {
  for (bool settled = false;; settled = true) {
    int result = -1;
    try {
      result = block ? block->LockForBlock() : table.LockRecord();
    } catch (const HostError&) {
      result = -1;  // the component raising counts as a record held by someone else
    }
    if (result == 0) return LockOutcome::Locked;
    // Asking "wait and go on" about a deleted document would ask for ever.
    if (result == kLockRecordGone) return LockOutcome::Gone;
    // Asking "wait and go on" about a lock file nobody can write would ask for ever.
    if (result == kLockRecordUnavailable) return LockOutcome::Unavailable;
    if (!settled && settle && !settle()) return LockOutcome::Failed;
    if (subject.observer) subject.observer->LockConflict(subject.shownTable, subject.key);
    if (!ConflictAnsweredYes(dialogs, workingStr)) return LockOutcome::Refused;
  }
}

PostOutcome PostWithRetry(TBFTable& table, Dialogs& dialogs, const std::string& workingStr) {
  for (;;) {
    const int result = table.Post();
    if (result == 0) return PostOutcome::Posted;
    if (result != kTableBusy) return PostOutcome::Failed;
    if (!ConflictAnsweredYes(dialogs, workingStr)) return PostOutcome::Refused;
  }
}

PostOutcome OpenWithRetry(TBFTable& table, const std::string& path, Dialogs& dialogs, const std::string& workingStr) {
  for (;;) {
    const int result = table.OpenTable(path);
    if (result == 0) return PostOutcome::Posted;
    if (result != kTableBusy) return PostOutcome::Failed;
    if (!ConflictAnsweredYes(dialogs, workingStr)) return PostOutcome::Refused;
  }
}

TableBlock::TableBlock(TBFTable& table, bool synced, Dialogs& dialogs, const std::string& workingStr, SettleFn settle)
    : m_table(table), m_synced(synced), m_dialogs(dialogs), m_workingStr(workingStr), m_settle(std::move(settle)) {}

TableBlock::~TableBlock() {
  if (m_open || m_blockLocks) m_table.Rollback();
}

PostOutcome TableBlock::Open() {
  while (m_transactions && !m_open) {
    const int begun = m_table.StartTransaction(m_synced);
    if (begun == 0) {
      m_open = true;
      m_started = std::chrono::steady_clock::now();
    } else if (begun == kTransactionUnavailable) {
      m_transactions = false;
    } else if (begun == kTableBusy) {
      // Another program keeps the table busy, like a held record: the user waits or stops.
      if (m_settle && !m_settle()) return PostOutcome::Refused;
      if (!ConflictAnsweredYes(m_dialogs, m_workingStr)) return PostOutcome::Refused;
    } else {
      return PostOutcome::Failed;
    }
  }
  return PostOutcome::Posted;
}

int TableBlock::LockForBlock() {
  const int locked = m_table.LockRecordForBlock();
  if (locked == 0 && !m_open) m_blockLocks = true;
  return locked;
}

PostOutcome TableBlock::Post() {
  const PostOutcome opened = Open();
  if (opened != PostOutcome::Posted) return opened;
  if (!m_open) {
    return PostWithRetry(m_table, m_dialogs, m_workingStr);
  }
  if (m_table.Post() != 0) return PostOutcome::Failed;
  ++m_pending;
  return PostOutcome::Posted;
}

std::chrono::milliseconds BlockTime() {
  const std::chrono::milliseconds tenSyncs(g_lastSyncMicros.load() / 100);
  return std::clamp(tenSyncs, std::chrono::milliseconds(kBlockTimeLimitMs), std::chrono::milliseconds(kMaxBlockTimeMs));
}

bool TableBlock::Commit(bool synced) {
  if (m_blockLocks) {
    m_blockLocks = false;
    // Locks taken outside the transaction go with it; without one, they go now.
    if (!m_open) m_table.Rollback();
  }
  if (!m_open) {
    // Blocks committed before are made durable now; a component without transactions keeps its
    // posts by its own means.
    if (!synced || !m_unsynced) return true;
    m_unsynced = false;
    return m_table.Commit(true) == 0;
  }
  m_open = false;
  m_pending = 0;
  m_unsynced = !synced && !m_synced;
  const bool timed = synced || m_synced;
  const auto started = std::chrono::steady_clock::now();
  const bool committed = m_table.Commit(synced) == 0;
  if (timed && committed) {
    g_lastSyncMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count();
  }
  return committed;
}

bool TableBlock::Full(int blockSize) const {
  if (!m_open) return !m_transactions;
  return m_pending >= blockSize || std::chrono::steady_clock::now() - m_started >= BlockTime();
}

PostOutcome ChangeLock(TBFTable& table, TableBlock& block, const Variant& before, const Variant& lock,
                       OperationCounts& pending) {
  table.SetValue("Uzamceni", lock);
  const PostOutcome posted = block.Post();
  if (posted != PostOutcome::Posted) return posted;
  ++pending.Written;
  if (!SameLockState(before, lock)) ++pending.Changed;
  return posted;
}

std::ptrdiff_t PositionOf(const std::vector<std::int64_t>& found, std::int64_t recno) {
  const auto at = std::lower_bound(found.begin(), found.end(), recno);
  return at != found.end() && *at == recno ? at - found.begin() : -1;
}

void ProgressTick(Progress& progress, int counter) {
  if (counter % kProgressStep != 0) return;
  progress.ProcessMessages();
  progress.SetPosition(counter);
}

bool AbortConfirmed(Progress& progress, Dialogs& dialogs, MsgKind kind, const char* question, const SettleFn& settle) {
  if (!progress.AbortRequested()) return false;
  if (settle && !settle()) return true;
  if (dialogs.Ask(QuestionId::StopJob, kind, question)) return true;
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
  t.archive = archiveDir + row.FileName;
  return t;
}

int FailClosing(TBFTable& money, TBFTable& archive, Dialogs& dialogs, const std::string& text) {
  archive.CloseTable();
  money.CloseTable();
  dialogs.Message(MsgKind::Error, text);
  return -1;
}

std::string OpenErrorText(const std::string& tablePath) {
  return "Nastala chyba při otevírání databáze " + TableFileText(tablePath);
}

std::string PositionErrorText(const std::string& tablePath) {
  return "Nastala chyba při nastavení rekordu v databázi " + TableFileText(tablePath);
}

std::string IndexErrorText(const std::string& tablePath) {
  return "Nastala chyba při nastavení indexu v databázi " + TableFileText(tablePath);
}

std::string PostErrorText(const std::string& tablePath) {
  return "Nastala chyba při ukládání záznamu v databázi " + TableFileText(tablePath);
}

}  // namespace vorlend
