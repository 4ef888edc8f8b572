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

Result LockRecordWithRetry(TBFTable& table, Dialogs& dialogs, const std::string& workingStr, LockOutcome& outcome,
                           const LockSubject& subject, const SettleFn& settle, TableBlock* block) {
  for (bool settled = false;; settled = true) {
    int result = -1;
    try {
      result = block ? block->LockForBlock() : table.LockRecord();
    } catch (const HostError&) {
      result = -1;  // the component raising counts as a record held by someone else
    }
    outcome = LockOutcome::Locked;
    if (result == 0) return Result::Ok();
    // Asking "wait and go on" about a deleted document would ask for ever.
    outcome = LockOutcome::Gone;
    if (result == kLockRecordGone) return Result::Ok();
    // Asking "wait and go on" about a lock file nobody can write would ask for ever.
    outcome = LockOutcome::Unavailable;
    if (result == kLockRecordUnavailable) return Result::Failed(table.LastError());
    if (!settled && settle) {
      outcome = LockOutcome::Unsettled;
      if (Result written = settle(); !written.IsOk()) return written;
    }
    if (subject.observer) subject.observer->LockConflict(subject.shownTable, subject.key);
    outcome = LockOutcome::Held;
    if (!ConflictAnsweredYes(dialogs, workingStr)) return Result::Conflict();
  }
}

Result OpenWithRetry(TBFTable& table, const std::string& path, Dialogs& dialogs, const std::string& workingStr) {
  for (;;) {
    const int result = table.OpenTable(path);
    if (result == 0) return Result::Ok();
    if (result != kTableBusy) return Result::Failed(OpenErrorText(path));
    if (!ConflictAnsweredYes(dialogs, workingStr)) return Result::Conflict();
  }
}

TableBlock::TableBlock(TBFTable& table, std::string shownTable, bool synced, Dialogs& dialogs,
                       const std::string& workingStr, SettleFn settle)
    : m_table(table),
      m_shownTable(std::move(shownTable)),
      m_synced(synced),
      m_dialogs(dialogs),
      m_workingStr(workingStr),
      m_settle(std::move(settle)) {}

TableBlock::~TableBlock() {
  if (m_open || m_blockLocks) m_table.Rollback();
}

Result TableBlock::Open() {
  while (m_transactions && !m_open) {
    const int begun = m_table.StartTransaction(m_synced);
    if (begun == 0) {
      m_open = true;
      m_started = std::chrono::steady_clock::now();
    } else if (begun == kTransactionUnavailable) {
      m_transactions = false;
    } else if (begun == kTableBusy) {
      // Another program keeps the table busy, like a held record: the user waits or stops.
      if (m_settle) {
        if (Result written = m_settle(); !written.IsOk()) return written;
      }
      if (!ConflictAnsweredYes(m_dialogs, m_workingStr)) return Result::Conflict();
    } else {
      return WriteFailed();
    }
  }
  return Result::Ok();
}

int TableBlock::LockForBlock() {
  const int locked = m_table.LockRecordForBlock();
  if (locked == 0 && !m_open) m_blockLocks = true;
  return locked;
}

Result TableBlock::Post() {
  if (Result opened = Open(); !opened.IsOk()) return opened;
  if (!m_open) return PostAlone();
  if (m_table.Post() != 0) return WriteFailed();
  ++m_pending;
  return Result::Ok();
}

Result TableBlock::PostAlone() {
  for (;;) {
    const int result = m_table.Post();
    if (result == 0) return Result::Ok();
    if (result != kTableBusy) return WriteFailed();
    if (!ConflictAnsweredYes(m_dialogs, m_workingStr)) return Result::Conflict();
  }
}

Result TableBlock::WriteFailed() const {
  return Result::Failed(PostErrorText(m_shownTable));
}

std::chrono::milliseconds BlockTime() {
  const std::chrono::milliseconds tenSyncs(g_lastSyncMicros.load() / 100);
  return std::clamp(tenSyncs, std::chrono::milliseconds(kBlockTimeLimitMs), std::chrono::milliseconds(kMaxBlockTimeMs));
}

Result TableBlock::Commit(bool synced) {
  if (m_blockLocks) {
    m_blockLocks = false;
    // Locks taken outside the transaction go with it; without one, they go now.
    if (!m_open) m_table.Rollback();
  }
  if (!m_open) {
    // Blocks committed before are made durable now; a component without transactions keeps its
    // posts by its own means.
    if (!synced || !m_unsynced) return Result::Ok();
    m_unsynced = false;
    return m_table.Commit(true) == 0 ? Result::Ok() : WriteFailed();
  }
  m_open = false;
  m_pending = 0;
  m_unsynced = !synced && !m_synced;
  const bool timed = synced || m_synced;
  const auto started = std::chrono::steady_clock::now();
  if (m_table.Commit(synced) != 0) return WriteFailed();
  if (timed) {
    g_lastSyncMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count();
  }
  return Result::Ok();
}

bool TableBlock::Full(int blockSize) const {
  if (!m_open) return !m_transactions;
  return m_pending >= blockSize || std::chrono::steady_clock::now() - m_started >= BlockTime();
}

Result ChangeLock(TBFTable& table, TableBlock& block, const Variant& before, const Variant& lock,
                  OperationCounts& pending) {
  table.SetValue("Uzamceni", lock);
  if (Result posted = block.Post(); !posted.IsOk()) return posted;
  ++pending.written;
  if (!SameLockState(before, lock)) ++pending.changed;
  return Result::Ok();
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

Result StopIfAsked(Progress& progress, Dialogs& dialogs, MsgKind kind, const char* question, const SettleFn& settle) {
  if (!progress.AbortRequested()) return Result::Ok();
  if (settle) {
    if (Result written = settle(); !written.IsOk()) return written;
  }
  if (dialogs.Ask(QuestionId::StopJob, kind, question)) return Result::Stopped();
  progress.ClearAbort();
  return Result::Ok();
}

std::string StoredPathNative(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

RowTables RowTablePaths(const HostContext& ctx, const FileListRow& row, const std::string& archiveDir) {
  RowTables t;
  t.money = StoredPathNative(ctx.AgendaPath + row.MoneyFile);
  t.archive = archiveDir + row.FileName;
  return t;
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
