// The writing side of a table: record locks, posting, deleting. Each write is one SQLite
// transaction begun IMMEDIATE, so a concurrent writer waits on the busy timeout instead of
// failing half-way.
#include "engine/host_error.h"
#include "engine/table.h"

#include <cerrno>

#include "platform/files.h"

namespace vorlend::engine {

void Table::failWith(const std::string& message) {
  m_lastError = message;
  // A write SQLite could not make for want of space is reported as such by whoever shows it.
  if (m_db && ((sqlite3_extended_errcode(m_db) & 0xff) == SQLITE_FULL || sqlite3_system_errno(m_db) == ENOSPC ||
               sqlite3_system_errno(m_db) == EDQUOT)) {
    NoteWriteFailure(ENOSPC, m_datPath);
  }
}

void Table::clearFailure() {
  m_lastError.clear();
  m_busy = false;
  m_lockFileFailure = false;
}

bool Table::beginTransaction(bool synced) {
  clearFailure();
  if (m_inTransaction) {
    failWith("Tabulka " + m_datPath + " už má otevřenou transakci.");
    return false;
  }
  // A synced commit waits until the log is on the disk (the log is synced at every commit, not
  // only before a checkpoint).
  if (synced) {
    StatementUse use(m_statements->get("PRAGMA synchronous=FULL"));
    if (sqlite3_step(use.get()) != SQLITE_DONE) {
      failWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      return false;
    }
  }
  m_syncedTransaction = synced;
  if (!begin()) {
    endTransaction();
    return false;
  }
  m_inTransaction = true;
  return true;
}

bool Table::commitTransaction(bool synced) {
  clearFailure();
  if (!m_inTransaction) {
    if (synced) return syncLog();
    failWith("Tabulka " + m_datPath + " nemá otevřenou transakci.");
    return false;
  }
  m_inTransaction = false;
  bool ok = commit();
  // commit() rolled back: what this handle holds as posted values is no longer in the table.
  if (!ok) forgetRolledBack();
  // A transaction begun unsynced is synced after its commit (the level cannot change inside it).
  if (ok && synced && !m_syncedTransaction) ok = syncLog();
  endTransaction();
  return ok;
}

// Every commit of the table is in its log or, checkpointed, in its synced data file: syncing the
// log makes them all durable.
bool Table::syncLog() {
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK || !log ||
      !log->pMethods) {
    return true;  // no log open: nothing was written through this connection
  }
  if (log->pMethods->xSync(log, SQLITE_SYNC_NORMAL) == SQLITE_OK) return true;
  failWith("Databázi " + m_datPath + " nelze uložit na disk.");
  return false;
}

void Table::rollbackTransaction() {
  if (!m_inTransaction) return;
  m_inTransaction = false;
  rollback();
  forgetRolledBack();
  endTransaction();
}

// After a rollback the current record is read again: a record this transaction made is gone, and
// values it posted are no longer the table's.
void Table::forgetRolledBack() {
  discardChanges();
  dropReadAhead();
  try {
    if (m_state == State::Record && !rereadCurrent()) m_state = State::Gone;
  } catch (const HostError&) {
    m_state = State::Nothing;
  }
}

// A lock taken only for one post or delete: kept until the transaction ends when the write went
// into one, else let go at once.
void Table::returnBorrowedLock(bool written) {
  if (written && m_inTransaction) m_heldLocks.push_back(m_recno);
  else m_lockFile.unlock(m_recno);
}

// The record locks of the transaction go, and the table's commits are ordinary again.
void Table::endTransaction() {
  releaseLock();
  for (const std::int64_t recno : m_heldLocks) m_lockFile.unlock(recno);
  m_heldLocks.clear();
  if (m_syncedTransaction) {
    m_syncedTransaction = false;
    StatementUse use(m_statements->get("PRAGMA synchronous=NORMAL"));
    sqlite3_step(use.get());
  }
}

bool Table::begin() {
  if (m_inTransaction) return true;
  StatementUse use(m_statements->get("BEGIN IMMEDIATE"));
  const int rc = sqlite3_step(use.get());
  if (rc == SQLITE_DONE) return true;
  m_busy = (rc & 0xff) == SQLITE_BUSY;
  if ((rc & 0xff) == SQLITE_READONLY) {
    // Read-only storage, or the log files another program left read-only beside the table.
    failWith("Databázi " + m_datPath + " nelze zapsat: soubor nebo jeho soubory " + m_datPath + "-wal a " +
             m_datPath + "-shm jsou jen pro čtení.");
    return false;
  }
  failWith("Databáze " + m_datPath + " je zaneprázdněna: " + SqliteMessage(m_db));
  return false;
}

bool Table::commit() {
  if (m_inTransaction) return true;
  StatementUse use(m_statements->get("COMMIT"));
  if (sqlite3_step(use.get()) == SQLITE_DONE) return true;
  failWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
  rollback();
  return false;
}

void Table::rollback() {
  if (m_inTransaction || sqlite3_get_autocommit(m_db)) return;
  StatementUse use(m_statements->get("ROLLBACK"));
  sqlite3_step(use.get());
}

bool Table::rereadCurrent() {
  StatementUse use(m_statements->get(m_rereadSql));
  sqlite3_bind_int64(use.get(), 1, m_recno);
  const int rc = sqlite3_step(use.get());
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) throw HostError("Chyba při čtení tabulky " + m_datPath + ": " + SqliteMessage(m_db));
  m_cellBytes.clear();
  for (std::size_t j = 0; j < m_fields.size(); ++j) ReadStored(use.get(), static_cast<int>(j + 1), m_cells[j], m_cellBytes);
  m_current = m_cells.data();
  m_currentBytes = &m_cellBytes;
  std::fill(m_rowReady.begin(), m_rowReady.end(), 0);
  return true;
}

bool Table::lockRecord() {
  clearFailure();
  // A record that was never posted is seen by nobody else; there is nothing to lock yet.
  if (m_state == State::New) return true;
  if (m_state != State::Record) {
    failWith("Tabulka " + m_datPath + " nestojí na žádném záznamu.");
    return false;
  }
  if (m_lockedRecno != m_recno) {
    releaseLock();
    if (!m_lockFile.writable()) {
      m_lockFileFailure = true;
      failWith("Soubor zámků " + m_diaPath + " nelze otevřít pro zápis, záznamy tabulky " + m_datPath +
               " proto nelze uzamknout.");
      return false;
    }
    if (!m_lockFile.tryLock(m_recno)) {
      failWith("Záznam je uzamčen jiným uživatelem.");
      return false;
    }
    m_lockedRecno = m_recno;
  }
  // Fields another user posted while this handle waited for the lock must not be written back
  // from a stale copy: read the record again and start the changes from here.
  bool exists = false;
  try {
    exists = rereadCurrent();
  } catch (...) {
    releaseLock();
    throw;
  }
  if (!exists) {
    releaseLock();
    // The cursor keeps its position, so a walk goes on with the record that follows.
    m_state = State::Gone;
    failWith("Záznam mezitím někdo smazal.");
    return false;
  }
  discardChanges();
  return true;
}

bool Table::post() {
  clearFailure();
  if (m_state == State::New) return postNewRecord();
  if (m_state != State::Record) {
    failWith("Tabulka " + m_datPath + " nestojí na žádném záznamu.");
    return false;
  }
  if (!m_anyDirty) {
    releaseLock();
    return true;
  }
  // A post without this handle's lock still respects another handle's lock.
  const bool borrowed = m_lockedRecno != m_recno;
  if (borrowed && !m_lockFile.tryLock(m_recno)) {
    failWith("Záznam je uzamčen jiným uživatelem.");
    return false;
  }
  bool ok = begin() && updateCurrentRecord();
  if (ok) ok = commit();
  else rollback();
  if (borrowed) returnBorrowedLock(ok);
  if (!ok) return false;

  bool keyChanged = false;
  for (int f : orderFields()) keyChanged = keyChanged || m_dirty[static_cast<std::size_t>(f)];
  keepPostedValues();
  if (keyChanged) {
    // The record moved within the order: the walk goes on from its new place.
    dropReadAhead();
    capturePositionKey();
  }
  releaseLock();
  return true;
}

// The appended record: every field, set or not, in one insert.
bool Table::postNewRecord() {
  if (!begin()) return false;
  {
    StatementUse use(m_statements->get(m_insertSql));
    // Text is bound without a copy, so the values must outlive the statement's step.
    std::vector<Variant> values(m_fields.size());
    for (std::size_t j = 0; j < m_fields.size(); ++j) {
      values[j] = m_dirty[j] ? m_pending[j] : storedValue(j);
      BindValue(use.get(), static_cast<int>(j + 1), values[j]);
    }
    if (sqlite3_step(use.get()) != SQLITE_DONE) {
      failWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      rollback();
      return false;
    }
  }
  const std::int64_t recno = sqlite3_last_insert_rowid(m_db);
  if (!commit()) return false;
  keepPostedValues();
  m_recno = recno;
  m_state = State::Record;
  capturePositionKey();
  releaseLock();
  return true;
}

// The changed fields of the current record, in one update whose text is built once per set of
// fields. False (with the reason) when the write failed or the record is gone.
bool Table::updateCurrentRecord() {
  if (m_updateSql.empty() || m_updateFields != m_dirty) {
    std::string assignments;
    for (std::size_t j = 0; j < m_fields.size(); ++j) {
      if (m_dirty[j]) assignments += (assignments.empty() ? "" : ",") + QuoteIdent(m_fields[j].name) + "=?";
    }
    m_updateFields = m_dirty;
    m_updateSql = "UPDATE " + QuoteIdent(RecordsTable) + " SET " + assignments + " WHERE " + QuoteIdent(RecNoColumn) + "=?";
  }
  StatementUse use(m_statements->get(m_updateSql));
  int i = 1;
  for (std::size_t j = 0; j < m_fields.size(); ++j) {
    if (m_dirty[j]) BindValue(use.get(), i++, m_pending[j]);
  }
  sqlite3_bind_int64(use.get(), i, m_recno);
  if (sqlite3_step(use.get()) != SQLITE_DONE) {
    failWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
    return false;
  }
  if (sqlite3_changes(m_db) == 0) {
    failWith("Záznam mezitím někdo smazal.");
    return false;
  }
  return true;
}

// What was posted becomes the current record's stored values.
void Table::keepPostedValues() {
  for (std::size_t j = 0; j < m_fields.size(); ++j) {
    if (m_dirty[j]) setStoredValue(j, m_pending[j]);
  }
  discardChanges();
}

bool Table::deleteRecord() {
  clearFailure();
  if (m_state == State::New) {
    discardChanges();
    m_state = State::Eof;
    return true;
  }
  if (m_state != State::Record) {
    failWith("Tabulka " + m_datPath + " nestojí na žádném záznamu.");
    return false;
  }
  const bool borrowed = m_lockedRecno != m_recno;
  if (borrowed && !m_lockFile.tryLock(m_recno)) {
    failWith("Záznam je uzamčen jiným uživatelem.");
    return false;
  }
  bool ok = begin();
  if (ok) {
    StatementUse use(m_statements->get("DELETE FROM " + QuoteIdent(RecordsTable) + " WHERE " +
                                       QuoteIdent(RecNoColumn) + "=?"));
    sqlite3_bind_int64(use.get(), 1, m_recno);
    if (sqlite3_step(use.get()) != SQLITE_DONE) {
      failWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      ok = false;
    }
  }
  if (ok) ok = commit();
  else rollback();
  if (borrowed) returnBorrowedLock(ok);
  if (!ok) return false;
  discardChanges();
  releaseLock();
  // The cursor keeps the deleted record's number and key, so skip finds its successor.
  m_state = State::Gone;
  return true;
}

}  // namespace vorlend::engine
