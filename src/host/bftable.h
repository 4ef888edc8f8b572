#pragma once
// TBFTable: the proxy through which the add-on uses one table of the host table component at a
// time. Results follow the component: 0 is success for OpenTable, SetOrder, GoTop, Post and
// LockRecord; 7 is a hit for the seeks. Operations that fail as calls throw HostError.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/host_error.h"
#include "platform/variant.h"

namespace vorlend {

namespace engine {
class Table;
}

inline constexpr int kSeekFound = 7;
// LockRecord's answer when another user deleted the record meanwhile (any other non-zero answer:
// another user holds it).
inline constexpr int kLockRecordGone = 2;
// LockRecord's answer when the table's lock file cannot be written: no record of the table can be
// locked, however often it is tried.
inline constexpr int kLockRecordUnavailable = 3;
// The answer of Post, StartTransaction and OpenTable when another program kept the table past the
// wait (a write of its own, or the table kept to itself): the table is busy the way a held record
// is, and the same call may succeed when tried again.
inline constexpr int kTableBusy = 4;
// StartTransaction's answer from a component that has no transactions (the host's own component
// offers only single posts): every post then commits on its own.
inline constexpr int kTransactionUnavailable = 5;

// How the add-on opens a table of its own. Written: as a table is written (the archive a save makes).
// Read: read-only and, closed cleanly, read as it stands with nothing made beside it (nobody writes
// an archive while a job holds it).
enum class OwnTableMode { Written, Read };

// How long one call waits for a table another program keeps busy before it answers kTableBusy.
std::chrono::milliseconds TableBusyWait();

// A table's data file as messages name it: the path as the disk spells it where the file exists
// (an archive's "vf002.dat", an agenda's "Rok.002/VFaktury.dat"), else the path with ".DAT".
std::string TableFileText(const std::string& tablePath);

class TBFTable {
public:
  TBFTable();
  ~TBFTable();
  TBFTable(const TBFTable&) = delete;
  TBFTable& operator=(const TBFTable&) = delete;

  // Path with or without ".DAT", letter case not significant. 0 = open.
  [[nodiscard]] int OpenTable(const std::string& path);
  // The same for a table of the add-on's own (an archive's), which is never opened through a link.
  [[nodiscard]] int OpenTable(const std::string& path, OwnTableMode mode);
  // Harmless when nothing is open; releases a held record lock and discards unposted changes.
  void CloseTable();
  bool IsOpen() const;

  int RecCount();
  // SQLite's integrity check of the open table: "ok", or the problems found.
  std::string IntegrityCheck();
  [[nodiscard]] int SetOrder(const std::string& indexName);
  int GoTop();  // a walk may leave it to IsEof
  int Skip();
  bool IsEof();
  [[nodiscard]] int Seek1(const Variant& key);
  [[nodiscard]] int Seek2(const Variant& key1, const Variant& key2);
  [[nodiscard]] int SeekN(const std::vector<Variant>& keys);
  int AppendBlank();
  [[nodiscard]] int Post();
  [[nodiscard]] int LockRecord();
  int EditRecord();
  int DeleteRecord();

  // Posts that follow go into one transaction until Commit or Rollback; every record lock taken
  // inside it is held until it ends. `synced`: Commit returns once the transaction is on the
  // disk. 0 = begun; PostBusy = another program keeps the table's write access;
  // TransactionUnavailable = the component has no transactions; else a failure (LastError).
  [[nodiscard]] int StartTransaction(bool synced = false);
  // 0 = committed and the record locks released; else nothing of the transaction was written.
  // `synced`: returns once the table, with every earlier commit, is on the disk (with no
  // transaction open, Commit(true) does only that).
  [[nodiscard]] int Commit(bool synced = false);
  // Discards the transaction's posts and releases its record locks; harmless when none is open.
  void Rollback();
  // For the archive table a save fills: its indexes are dropped while it is written and made
  // again by BuildDeferredIndexes with one sort. 0 = deferred (or none to defer);
  // TransactionUnavailable = a component without block operations, whose indexes stay as they
  // are; else a failure (LastError).
  [[nodiscard]] int DeferIndexes();
  // 0 = the deferred indexes are made again (or none were deferred); else a failure (LastError).
  [[nodiscard]] int BuildDeferredIndexes();
  // Makes every proxy of this process answer StartTransaction as a component without
  // transactions does, for the record-by-record way and its tests.
  static void SetTransactionsAvailable(bool available);

  Variant Value(const std::string& field);
  void SetValue(const std::string& field, const Variant& value);

  // Block operations of our component (a component without transactions has none; see
  // StartTransaction): a block's records are locked one by one as they are found, then read
  // again, written and changed with a few statements for the whole block. The field positions
  // come from FieldIndex.
  //
  // The field's position; throws HostError when the table has no such field.
  int FieldIndex(const std::string& field);
  Variant Value(int field);
  // The current record's number.
  std::int64_t RecordNumber();
  // Takes the current record's lock until the block's transaction ends (or Rollback), without
  // reading it again: 0, LockRecordUnavailable, or another non-zero answer when another user
  // holds it. A record deleted meanwhile is missing from ReadRecords.
  [[nodiscard]] int LockRecordForBlock();
  // The values of `fields` in the records `recnos`: `found` the numbers of those that exist,
  // ascending, `values` their values, fields.size() per record.
  void ReadRecords(const std::vector<std::int64_t>& recnos, const std::vector<int>& fields,
                   std::vector<std::int64_t>& found, std::vector<Variant>& values);
  // The same for the next `limit` records in record order after record number `after` (0: from
  // the first).
  void ReadRecordsAfter(std::int64_t after, std::size_t limit, const std::vector<int>& fields,
                        std::vector<std::int64_t>& found, std::vector<Variant>& values);
  // Appends a record for every fields.size() values, inside the open transaction. 0 = done.
  [[nodiscard]] int InsertRecords(const std::vector<int>& fields, const std::vector<Variant>& values);
  // Gives `field` the value in the records `recnos`, all locked for the block. 0 = done.
  [[nodiscard]] int SetField(const std::vector<std::int64_t>& recnos, int field, const Variant& value);

  // Why the last OpenTable, Post, LockRecord or DeleteRecord failed; empty after a success.
  const std::string& LastError() const { return m_lastError; }

private:
  friend engine::Table& EngineTableOf(TBFTable& table);
  std::unique_ptr<engine::Table> m_table;
  std::string m_lastError;
  std::vector<Variant> m_keys;  // of the last seek
};

// Closes the table when the scope is left, on every way out.
class TableCloser {
public:
  explicit TableCloser(TBFTable& table) : m_table(table) {}
  ~TableCloser() { m_table.CloseTable(); }
  TableCloser(const TableCloser&) = delete;
  TableCloser& operator=(const TableCloser&) = delete;

private:
  TBFTable& m_table;
};

// Stands the table on the document whose key, in the index SetOrder chose, is `key`; false when
// there is none.
[[nodiscard]] bool FindDocument(TBFTable& table, std::int32_t key);

}  // namespace vorlend
