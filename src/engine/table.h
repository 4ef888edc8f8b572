#pragma once
// One open table of our table component: the cursor, the record lock and the field values of the
// current record. The host proxy TBFTable wraps it with the component's result codes.
//
// The cursor keeps only the current record's number and key: every operation queries afresh from
// them and resets its statements before it returns. Skip reads a bounded block of the records
// that follow, so a walk costs one query per block; the block is dropped after a short while, and
// LockRecord always re-reads the record, so a change is never made from a stale copy.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/field.h"
#include "engine/record_lock.h"
#include "engine/sql.h"
#include "platform/variant.h"

namespace vorlend::engine {

// How long a write waits for another program that holds the table's write access before the post
// fails as busy (a second unless set).
void SetBusyTimeout(int milliseconds);
int BusyTimeout();

// How a table is opened.
struct OpenOptions {
  // The files must be what they claim to be: NAME.dat and NAME.dia plain files, never symbolic
  // links (a table in storage that other people can write, such as an archive).
  bool noFollow = false;
  // For reading only: no lock file is made where none exists.
  bool readOnly = false;
  // With readOnly, for a table nobody writes meanwhile (an archive held by its reader): when it
  // was closed cleanly (no log file beside it) it is read as it stands, and SQLite makes no log
  // files beside it either.
  bool asStored = false;
};

class Table {
public:
  // Opens NAME.dat and its lock file NAME.dia (created when missing). Returns nullptr, with the
  // reason in `error`, when the file is missing or is not one of our tables; the file is never
  // changed by a failed open. `busy`, when given, tells an open that failed only because another
  // program keeps the table to itself past the busy timeout (SQLite's exclusive locking mode):
  // like a held record, it may succeed when tried again.
  [[nodiscard]] static std::unique_ptr<Table> Open(const std::string& path, std::string& error,
                                                   OpenOptions options = {}, bool* busy = nullptr);
  // Releases the record lock and discards unposted changes.
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const std::string& DataFile() const { return m_datPath; }
  const std::vector<FieldDef>& Fields() const { return m_fields; }
  std::vector<std::string> IndexNames() const;
  // Position of the field, compared without regard to letter case; -1 when there is none.
  int FieldIndex(std::string_view name) const;
  // The same; throws HostError when the table has no such field.
  int RequireField(std::string_view name) const;

  std::int64_t RecordCount();
  // For a table filled in one go (the archive table a save writes): its indexes are dropped until
  // BuildDeferredIndexes makes them again with one sort, which costs far less than keeping them
  // up to date through every insert of keys in no particular order. Only the indexes' files go:
  // SetOrder still orders by their fields. False (LastError) when they could not be dropped; a
  // table whose indexes are deferred already, or that has none, answers true.
  [[nodiscard]] bool DeferIndexes();
  // Makes the deferred indexes again in one write transaction (outside any other); true when none
  // were deferred.
  [[nodiscard]] bool BuildDeferredIndexes();
  // SQLite's integrity check of the open table: "ok", or the problems found.
  std::string IntegrityCheck();
  // Selects an index by name, without regard to letter case; an empty name selects record order.
  // The current record stays current. False when the table has no such index.
  [[nodiscard]] bool SetOrder(std::string_view indexName);
  const std::string& Order() const;

  // The first record in the current order becomes current; false (and eof) when there is none.
  [[nodiscard]] bool GoTop();
  // The next record in the current order becomes current, or eof is reached.
  void Skip();
  bool Eof() const { return m_state == State::Eof; }
  // The first record whose leading index fields equal the keys becomes current; on a miss eof
  // is set. Throws HostError when no index is selected or there are more keys than index fields.
  [[nodiscard]] bool Seek(const std::vector<Variant>& keys);

  // A new record of blank values becomes current; its first post inserts it.
  void AppendBlank();
  // Writes the fields set since the record was read or locked, by record number, in one write
  // transaction, and releases this handle's record lock. False when nothing was written: no
  // current record, the record is gone, another handle holds its lock, or the database refused.
  [[nodiscard]] bool Post();
  // Takes the current record's lock without waiting, then re-reads the record. False when another
  // handle holds the lock or the record no longer exists.
  [[nodiscard]] bool LockRecord();
  // Deletes the current record unless another handle holds its lock. The cursor stays between
  // the neighbours, so skip goes on with the next record.
  [[nodiscard]] bool DeleteRecord();

  bool HasRecord() const { return m_state == State::Record || m_state == State::New; }
  // True after LockRecord found that another user had deleted the current record meanwhile.
  bool RecordGone() const { return m_state == State::Gone; }
  std::int64_t RecordNumber() const { return m_state == State::Record ? m_recno : 0; }
  std::int64_t LockedRecord() const { return m_lockedRecno; }

  // Field values of the current record. Throw HostError for a field that does not exist, when no
  // record is current, and for a written value that does not convert to the field's type.
  Variant Value(std::string_view field);
  Variant Value(int field);
  void SetValue(std::string_view field, const Variant& value);
  void SetValue(int field, const Variant& value);

  // Groups the posts that follow into one write transaction until CommitTransaction or
  // RollbackTransaction. Every record lock taken or used inside it is held until it ends, so no
  // other user takes a record whose change is not committed yet. A synced transaction is on the
  // disk when CommitTransaction returns; an ordinary one is safe against a killed process only.
  // False when a transaction is already open, or the table's write access could not be had
  // (LastFailureBusy tells a busy table).
  [[nodiscard]] bool BeginTransaction(bool synced = false);
  // Commits and releases the record locks; false (everything rolled back) when the commit failed.
  // `synced`: returns once the table, with every earlier commit, is on the disk; with no
  // transaction open it only does that.
  [[nodiscard]] bool CommitTransaction(bool synced = false);
  // Discards every post since BeginTransaction and releases the record locks; harmless when no
  // transaction is open. The current record is read again, or is gone when this transaction
  // made it.
  void RollbackTransaction();
  bool InTransaction() const { return m_inTransaction; }

  // Block operations, for a caller that changes many records in one transaction: it takes their
  // locks one by one as it finds them, then reads them again and writes them with a few
  // statements for the whole block. They do not move the cursor.
  //
  // Takes the current record's lock without reading the record again; the caller reads the
  // block's records again with ReadRecords once their locks are taken. The lock is held until a
  // transaction ends (this one, or outside one the next one) or RollbackTransaction is called.
  // False as LockRecord, except that a record deleted meanwhile is locked and then missing from
  // ReadRecords.
  [[nodiscard]] bool LockRecordForBlock();
  // The values of `fields` (positions) in the records numbered `recnos`, read in a few
  // statements: `found` gets the numbers of those that exist, ascending and each once, and
  // `values` their values, fields.size() per record. Throws HostError when the read fails.
  void ReadRecords(std::vector<std::int64_t> recnos, const std::vector<int>& fields, std::vector<std::int64_t>& found,
                   std::vector<Variant>& values);
  // The same for the next `limit` records in record order after record number `after`.
  void ReadRecordsAfter(std::int64_t after, std::size_t limit, const std::vector<int>& fields,
                        std::vector<std::int64_t>& found, std::vector<Variant>& values);
  // Appends a record for every fields.size() values of `values` (in that order; the other fields
  // blank) in multi-row inserts, inside the open transaction. False with the reason; throws
  // HostError for a value that does not convert to its field's type.
  [[nodiscard]] bool InsertRecords(const std::vector<int>& fields, const std::vector<Variant>& values);
  // Gives field `field` the value `value` in the records `recnos`, inside the open transaction.
  // Every one of them must be held by this handle for the transaction (LockRecordForBlock); false
  // with the reason when one is not or the write is refused.
  [[nodiscard]] bool SetField(std::vector<std::int64_t> recnos, int field, const Variant& value);

  // The reason of the last failed post, lock or delete.
  const std::string& LastError() const { return m_lastError; }
  // The last post failed because another program kept the table's write access past the busy
  // timeout: like a held record, it may succeed when tried again.
  bool LastFailureBusy() const { return m_busy; }
  // The last lock failed because the lock file cannot be written: no record of this table can be
  // locked by anyone through this handle, so trying again cannot help.
  bool LastFailureLockFile() const { return m_lockFileFailure; }

private:
  enum class State { Nothing, Record, New, Gone, Eof };

  Table() = default;
  bool Load(const std::string& path, std::string& error, OpenOptions options);
  // The steps of load, in their order.
  bool CheckTableFiles(std::string& error, OpenOptions options) const;
  bool OpenConnection(std::string& error, OpenOptions options);
  bool CheckIsTable(std::string& error);
  bool ReopenAsStored(std::string& error);
  bool ReadFields(std::string& error);
  bool ReadIndexes(std::string& error);
  void PrepareRecordBuffers();
  // The steps of post.
  bool PostNewRecord();
  bool UpdateCurrentRecord();
  void KeepPostedValues();

  void RequireRecord(std::string_view field) const;
  void DiscardChanges();
  Variant CurrentValue(std::size_t field);
  void SetStoredValue(std::size_t field, Variant value);
  void CapturePositionKey();
  void DropReadAhead();
  void ReleaseLock();
  void EndTransaction();
  void ReleaseHeldLocks();
  // Takes the current record's lock byte without waiting; false with the reason when the lock
  // file cannot be written or another handle holds the record.
  bool TakeRecordLock();
  std::string SelectFieldsSql(const std::vector<int>& fields) const;
  bool InsertRows(sqlite3_stmt* stmt, const std::vector<int>& fields, const std::vector<Variant>& values,
                  std::size_t first, std::size_t count, std::vector<Variant>& record);
  void ReadBlockRows(sqlite3_stmt* stmt, const std::vector<int>& fields, const std::vector<std::int64_t>* only,
                     std::vector<std::int64_t>& found, std::vector<Variant>& values);
  // False, with the reason, when no transaction is open.
  bool RequireTransaction();
  // `v` as a value of field `field` into `out`; throws HostError when it does not convert.
  void ConvertFor(std::size_t field, const Variant& v, Variant& out) const;
  void ReturnBorrowedLock(bool written);
  void ForgetRolledBack();
  bool SyncLog();

  // All fields, or only those read so far and the current order's key (m_blockFields).
  std::string SelectSql(bool readFieldsOnly = false);
  const std::string& OrderBySql() const { return m_orderBySql; }
  void BuildOrderBySql();
  void MarkWanted(std::size_t field);
  void UpdateBlockFields();  // the fields a row read ahead holds: those read so far and the key
  const std::vector<int>& OrderFields() const;
  // Reads the rows a prepared statement yields into the read-ahead block; returns their number.
  std::size_t ReadRows(sqlite3_stmt* stmt, std::size_t limit, const std::vector<int>* fields = nullptr);
  void FetchAfterPosition(std::size_t limit);
  bool TakeNextRow();
  bool RereadCurrent();
  bool Begin();
  bool Commit();
  void Rollback();
  void FailWith(const std::string& message);
  void ClearFailure();

  sqlite3* m_db = nullptr;
  std::unique_ptr<StatementCache> m_statements;
  RecordLockFile m_lockFile;
  std::string m_datPath;
  std::string m_diaPath;
  std::vector<FieldDef> m_fields;
  std::vector<IndexDef> m_indexes;
  int m_order = -1;  // position in m_indexes; -1 = record order
  std::string m_selectList;
  // Statement texts built once: they are the keys of the statement cache, and building them for
  // every call would cost a walk or a restore more than SQLite's own work.
  std::string m_rereadSql;
  std::string m_insertSql;
  std::string m_insertManySql;       // of a block's records, many in one statement
  std::string m_orderBySql;          // of the current order
  std::vector<char> m_updateFields;  // the fields m_updateSql writes
  std::string m_updateSql;
  struct SeekText {
    int order = -2;
    std::size_t keys = 0;
    std::uint64_t nullKeys = 0;  // bit j: key j is Null
    unsigned wantedVersion = 0;
    std::string sql;
    std::vector<int> fields;  // the fields its rows hold (m_blockFields when it was made)
    sqlite3_stmt* stmt = nullptr;
  } m_seekText;
  std::vector<Variant> m_seekKeys;  // the keys of the last seek, converted to their fields' types
  unsigned m_wantedVersion = 0;     // grows whenever a field joins m_wanted
  // Fields the caller has read: a block of rows read ahead holds only these (and the key), so a
  // walk that reads two fields of every record does not pay for the others.
  std::vector<char> m_wanted;
  std::vector<int> m_blockFields;
  mutable std::string m_lastFieldName;  // one-entry cache of the last field looked up
  mutable int m_lastField = -1;

  State m_state = State::Nothing;
  std::int64_t m_recno = 0;
  // The current record as stored, turned into values field by field when read. It lies in the
  // read-ahead block while the walk takes records from there, else in m_cells. m_row holds the
  // values of a new record and those posted by this handle (m_rowReady).
  const StoredValue* m_current = nullptr;
  const std::string* m_currentBytes = nullptr;
  std::vector<StoredValue> m_cells;
  std::string m_cellBytes;
  std::vector<Variant> m_row;
  std::vector<char> m_rowReady;
  std::vector<Variant> m_pending;  // values set since the record was read or locked
  std::vector<char> m_dirty;
  bool m_anyDirty = false;
  std::vector<Variant> m_positionKey;  // key of the current record when it became current

  std::string m_blockBytes;                           // a block read's text of one value
  std::pair<int, std::string> m_setFieldSql{-1, {}};  // the field SetField wrote last, and its statement

  std::vector<std::int64_t> m_aheadRecnos;
  std::vector<StoredValue> m_aheadCells;  // m_fields.size() per row
  std::string m_aheadBytes;
  std::size_t m_aheadNext = 0;
  std::size_t m_aheadCount = 0;
  bool m_aheadReachesEnd = false;
  std::chrono::steady_clock::time_point m_aheadTime;

  std::int64_t m_lockedRecno = 0;
  bool m_inTransaction = false;
  std::vector<std::string> m_deferredIndexSql;  // CREATE INDEX of each index DeferIndexes dropped
  // What SyncLog last made durable: the connection's count of changed rows, and whether its
  // indexes were dropped or made since.
  int m_changesSynced = 0;
  bool m_schemaChanged = false;
  bool m_syncedTransaction = false;
  std::vector<std::int64_t> m_heldLocks;  // taken inside the transaction, released when it ends
  std::string m_lastError;
  bool m_busy = false;
  bool m_lockFileFailure = false;
};

}  // namespace vorlend::engine
