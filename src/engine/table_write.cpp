// The writing side of a table: record locks, posting, deleting. Each write is one SQLite
// transaction begun IMMEDIATE, so a concurrent writer waits on the busy timeout instead of
// failing half-way.
#include "engine/host_error.h"
#include "engine/table.h"

#include <cerrno>

#include "platform/files.h"

namespace vorlend::engine {

void Table::FailWith(const std::string& message) {
  m_lastError = message;
  // A write SQLite could not make for want of space is reported as such by whoever shows it.
  if (OutOfSpace(m_db)) NoteWriteFailure(ENOSPC, m_datPath);
}

void Table::ClearFailure() {
  m_lastError.clear();
  m_busy = false;
  m_lockFileFailure = false;
}

bool Table::BeginTransaction(bool synced) {
  ClearFailure();
  if (m_inTransaction) {
    FailWith("Tabulka " + m_datPath + " už má otevřenou transakci.");
    return false;
  }
  // A synced commit waits until the log is on the disk (the log is synced at every commit, not
  // only before a checkpoint).
  if (synced) {
    StatementUse use(m_statements->Get("PRAGMA synchronous=FULL"));
    if (sqlite3_step(use.Get()) != SQLITE_DONE) {
      FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      return false;
    }
  }
  m_syncedTransaction = synced;
  if (!Begin()) {
    EndTransaction();
    return false;
  }
  m_inTransaction = true;
  return true;
}

bool Table::RequireTransaction() {
  if (m_inTransaction) return true;
  FailWith("Tabulka " + m_datPath + " nemá otevřenou transakci.");
  return false;
}

bool Table::CommitTransaction(bool synced) {
  ClearFailure();
  if (!m_inTransaction) return synced ? SyncLog() : RequireTransaction();
  m_inTransaction = false;
  bool ok = Commit();
  // commit() rolled back: what this handle holds as posted values is no longer in the table.
  if (!ok) ForgetRolledBack();
  // A transaction begun unsynced is synced after its commit (the level cannot change inside it).
  if (ok && synced && !m_syncedTransaction) ok = SyncLog();
  EndTransaction();
  return ok;
}

void Table::ReleaseHeldLocks() {
  for (const std::int64_t recno : m_heldLocks) m_lockFile.Unlock(recno);
  m_heldLocks.clear();
}

// Every commit of the table is in its log or, checkpointed, in its synced data file: syncing the
// log makes them all durable.
bool Table::SyncLog() {
  // Nothing was written through this connection since the last sync (a block whose documents all
  // held their state already): there is nothing to make durable, and no sync is owed.
  const int changes = sqlite3_total_changes(m_db);
  if (changes == m_changesSynced && !m_schemaChanged) return true;
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK || !log || !log->pMethods) {
    return true;  // no log open: nothing was written through this connection
  }
  if (log->pMethods->xSync(log, SQLITE_SYNC_NORMAL) == SQLITE_OK) {
    m_changesSynced = changes;
    m_schemaChanged = false;
    return true;
  }
  FailWith("Databázi " + m_datPath + " nelze uložit na disk.");
  return false;
}

void Table::RollbackTransaction() {
  if (!m_inTransaction) {
    ReleaseHeldLocks();  // locks taken for a block whose transaction never began
    return;
  }
  m_inTransaction = false;
  Rollback();
  ForgetRolledBack();
  EndTransaction();
}

// After a rollback the current record is read again: a record this transaction made is gone, and
// values it posted are no longer the table's.
void Table::ForgetRolledBack() {
  DiscardChanges();
  DropReadAhead();
  try {
    if (m_state == State::Record && !RereadCurrent()) m_state = State::Gone;
  } catch (const HostError&) {
    m_state = State::Nothing;
  }
}

// A lock taken only for one post or delete: kept until the transaction ends when the write went
// into one, else let go at once.
void Table::ReturnBorrowedLock(bool written) {
  if (written && m_inTransaction)
    m_heldLocks.push_back(m_recno);
  else
    m_lockFile.Unlock(m_recno);
}

// The record locks of the transaction go, and the table's commits are ordinary again.
void Table::EndTransaction() {
  ReleaseLock();
  ReleaseHeldLocks();
  if (m_syncedTransaction) {
    m_syncedTransaction = false;
    StatementUse use(m_statements->Get("PRAGMA synchronous=NORMAL"));
    sqlite3_step(use.Get());
  }
}

bool Table::Begin() {
  if (m_inTransaction) return true;
  StatementUse use(m_statements->Get("BEGIN IMMEDIATE"));
  const int rc = sqlite3_step(use.Get());
  if (rc == SQLITE_DONE) return true;
  m_busy = (rc & 0xff) == SQLITE_BUSY;
  if ((rc & 0xff) == SQLITE_READONLY) {
    // Read-only storage, or the log files another program left read-only beside the table.
    FailWith("Databázi " + m_datPath + " nelze zapsat: soubor nebo jeho soubory " + m_datPath + "-wal a " + m_datPath +
             "-shm jsou jen pro čtení.");
    return false;
  }
  FailWith("Databáze " + m_datPath + " je zaneprázdněna: " + SqliteMessage(m_db));
  return false;
}

bool Table::Commit() {
  if (m_inTransaction) return true;
  StatementUse use(m_statements->Get("COMMIT"));
  if (sqlite3_step(use.Get()) == SQLITE_DONE) return true;
  FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
  Rollback();
  return false;
}

void Table::Rollback() {
  if (m_inTransaction || sqlite3_get_autocommit(m_db)) return;
  StatementUse use(m_statements->Get("ROLLBACK"));
  sqlite3_step(use.Get());
}

bool Table::RereadCurrent() {
  StatementUse use(m_statements->Get(m_rereadSql));
  sqlite3_bind_int64(use.Get(), 1, m_recno);
  const int rc = sqlite3_step(use.Get());
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) throw HostError("Chyba při čtení tabulky " + m_datPath + ": " + SqliteMessage(m_db));
  m_cellBytes.clear();
  for (std::size_t j = 0; j < m_fields.size(); ++j)
    ReadStored(use.Get(), static_cast<int>(j + 1), m_cells[j], m_cellBytes);
  m_current = m_cells.data();
  m_currentBytes = &m_cellBytes;
  std::fill(m_rowReady.begin(), m_rowReady.end(), 0);
  return true;
}

bool Table::TakeRecordLock() {
  if (!m_lockFile.Writable()) {
    m_lockFileFailure = true;
    FailWith("Soubor zámků " + m_diaPath + " nelze otevřít pro zápis, záznamy tabulky " + m_datPath +
             " proto nelze uzamknout.");
    return false;
  }
  if (m_lockFile.TryLock(m_recno)) return true;
  FailWith("Záznam je uzamčen jiným uživatelem.");
  return false;
}

bool Table::LockRecord() {
  ClearFailure();
  // A record that was never posted is seen by nobody else; there is nothing to lock yet.
  if (m_state == State::New) return true;
  if (m_state != State::Record) {
    FailWith("Tabulka " + m_datPath + " nestojí na žádném záznamu.");
    return false;
  }
  if (m_lockedRecno != m_recno) {
    ReleaseLock();
    if (!TakeRecordLock()) return false;
    m_lockedRecno = m_recno;
  }
  // Fields another user posted while this handle waited for the lock must not be written back
  // from a stale copy: read the record again and start the changes from here.
  bool exists = false;
  try {
    exists = RereadCurrent();
  } catch (...) {
    ReleaseLock();
    throw;
  }
  if (!exists) {
    ReleaseLock();
    // The cursor keeps its position, so a walk goes on with the record that follows.
    m_state = State::Gone;
    FailWith("Záznam mezitím někdo smazal.");
    return false;
  }
  DiscardChanges();
  return true;
}

bool Table::Post() {
  ClearFailure();
  if (m_state == State::New) return PostNewRecord();
  if (m_state != State::Record) {
    FailWith("Tabulka " + m_datPath + " nestojí na žádném záznamu.");
    return false;
  }
  if (!m_anyDirty) {
    ReleaseLock();
    return true;
  }
  // A post without this handle's lock still respects another handle's lock.
  const bool borrowed = m_lockedRecno != m_recno;
  if (borrowed && !m_lockFile.TryLock(m_recno)) {
    FailWith("Záznam je uzamčen jiným uživatelem.");
    return false;
  }
  bool ok = Begin() && UpdateCurrentRecord();
  if (ok)
    ok = Commit();
  else
    Rollback();
  if (borrowed) ReturnBorrowedLock(ok);
  if (!ok) return false;

  bool keyChanged = false;
  for (int f : OrderFields()) keyChanged = keyChanged || m_dirty[static_cast<std::size_t>(f)];
  KeepPostedValues();
  if (keyChanged) {
    // The record moved within the order: the walk goes on from its new place.
    DropReadAhead();
    CapturePositionKey();
  }
  ReleaseLock();
  return true;
}

// The appended record: every field, set or not, in one insert.
bool Table::PostNewRecord() {
  if (!Begin()) return false;
  {
    StatementUse use(m_statements->Get(m_insertSql));
    // Text is bound without a copy, so the values must outlive the statement's step.
    std::vector<Variant> values(m_fields.size());
    for (std::size_t j = 0; j < m_fields.size(); ++j) {
      values[j] = m_dirty[j] ? m_pending[j] : CurrentValue(j);
      BindValue(use.Get(), static_cast<int>(j + 1), values[j]);
    }
    if (sqlite3_step(use.Get()) != SQLITE_DONE) {
      FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      Rollback();
      return false;
    }
  }
  const std::int64_t recno = sqlite3_last_insert_rowid(m_db);
  if (!Commit()) return false;
  KeepPostedValues();
  m_recno = recno;
  m_state = State::Record;
  CapturePositionKey();
  ReleaseLock();
  return true;
}

// The changed fields of the current record, in one update whose text is built once per set of
// fields. False (with the reason) when the write failed or the record is gone.
bool Table::UpdateCurrentRecord() {
  if (m_updateSql.empty() || m_updateFields != m_dirty) {
    std::string assignments;
    for (std::size_t j = 0; j < m_fields.size(); ++j) {
      if (m_dirty[j]) assignments += (assignments.empty() ? "" : ",") + QuoteIdent(m_fields[j].name) + "=?";
    }
    m_updateFields = m_dirty;
    m_updateSql =
        "UPDATE " + QuoteIdent(kRecordsTable) + " SET " + assignments + " WHERE " + QuoteIdent(kRecNoColumn) + "=?";
  }
  StatementUse use(m_statements->Get(m_updateSql));
  int i = 1;
  for (std::size_t j = 0; j < m_fields.size(); ++j) {
    if (m_dirty[j]) BindValue(use.Get(), i++, m_pending[j]);
  }
  sqlite3_bind_int64(use.Get(), i, m_recno);
  if (sqlite3_step(use.Get()) != SQLITE_DONE) {
    FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
    return false;
  }
  if (sqlite3_changes(m_db) == 0) {
    FailWith("Záznam mezitím někdo smazal.");
    return false;
  }
  return true;
}

// What was posted becomes the current record's stored values.
void Table::KeepPostedValues() {
  for (std::size_t j = 0; j < m_fields.size(); ++j) {
    if (m_dirty[j]) SetStoredValue(j, m_pending[j]);
  }
  DiscardChanges();
}

bool Table::DeleteRecord() {
  ClearFailure();
  if (m_state == State::New) {
    DiscardChanges();
    m_state = State::Eof;
    return true;
  }
  if (m_state != State::Record) {
    FailWith("Tabulka " + m_datPath + " nestojí na žádném záznamu.");
    return false;
  }
  const bool borrowed = m_lockedRecno != m_recno;
  if (borrowed && !m_lockFile.TryLock(m_recno)) {
    FailWith("Záznam je uzamčen jiným uživatelem.");
    return false;
  }
  bool ok = Begin();
  if (ok) {
    StatementUse use(
        m_statements->Get("DELETE FROM " + QuoteIdent(kRecordsTable) + " WHERE " + QuoteIdent(kRecNoColumn) + "=?"));
    sqlite3_bind_int64(use.Get(), 1, m_recno);
    if (sqlite3_step(use.Get()) != SQLITE_DONE) {
      FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      ok = false;
    }
  }
  if (ok)
    ok = Commit();
  else
    Rollback();
  if (borrowed) ReturnBorrowedLock(ok);
  if (!ok) return false;
  DiscardChanges();
  ReleaseLock();
  // The cursor keeps the deleted record's number and key, so skip finds its successor.
  m_state = State::Gone;
  return true;
}

}  // namespace vorlend::engine
