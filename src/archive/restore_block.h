#pragma once
// The pieces of a restore (used by restore.cpp only): the archive table read a block of records
// at a time, and the block of one Money table.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/operation.h"
#include "archive/restore.h"

namespace vorlend {

// The failure of reading an archive table whose records cannot be what the save wrote.
Result DamagedArchive(const std::string& table);

// An archive table read in record order, a block of records at a time: nobody writes an archive
// while a job holds it.
class ArchiveReader {
public:
  // `withLocks`: the records' locks are read as well (a check of the archive needs only keys).
  ArchiveReader(TBFTable& archive, const std::string& shownTable, bool withLocks = true);

  // The next record's key and lock (Null without locks); false after the last, and at a record
  // the save cannot have written (then Outcome() says the archive is damaged).
  bool Next(std::int32_t& key, Variant& lock);
  // Ok unless the table could not be read to its end.
  const Result& Outcome() const { return m_outcome; }

private:
  static constexpr std::size_t kRecordsPerRead = 1000;

  TBFTable& m_archive;
  const std::string& m_shownTable;
  std::vector<int> m_fields;
  std::vector<std::int64_t> m_found;
  std::vector<Variant> m_values;
  std::size_t m_next = 0;
  bool m_last = false;
  Result m_outcome;
};

// The block of one Money table within a restore: the documents' changes wait here, each holding
// its record lock, until Settle commits them. The table's last block is synced, and with it every
// earlier one: an archive deleted after the restore never outlives the states it put back.
//
// With a component that has transactions, the block's documents are only locked as they are
// found; Settle reads them again in one read once their locks are held and changes them with one
// statement per archived lock state. A component without transactions has blocks of one,
// written record by record.
class RestoreBlock {
public:
  RestoreBlock(RestoreJob& job, const RowTables& tables, const std::string& workingStr);

  // Before the document found: its lock must not be taken twice within one block (an archive
  // may hold a key twice; the later record wins, as it would record by record), and the block's
  // transaction is open.
  Result Begin();

  // Takes the found document's record lock, asking while another user holds it (see
  // LockRecordWithRetry).
  Result Lock(std::int32_t key, LockOutcome& outcome);

  // Gives the locked document its archived lock.
  Result Change(const Variant& archived);

  // Commits the block; `last` syncs it.
  Result Settle(bool last = false);

  // The block has reached `blockSize` documents or its time (see TableBlock::Full).
  bool Full(int blockSize) const {
    return m_rows.size() >= static_cast<std::size_t>(blockSize) || m_documents.Full(blockSize);
  }
  // What a question needs first: everything done so far written.
  const SettleFn& BeforeQuestion() const { return m_settle; }

private:
  struct Row {
    std::int64_t recno;
    Variant archived;
  };

  bool InBlocks() const { return m_documents.Transactions(); }

  // The block's documents read again, and those that still exist given their archived locks, one
  // statement per lock state. A document deleted since it was found is counted as gone.
  Result ChangeRows();

  Result Commit(bool last);

  RestoreJob& m_job;
  const RowTables& m_tables;
  const std::string m_workingStr;
  const int m_lockField;
  const SettleFn m_settle;
  TableBlock m_documents;
  std::vector<Row> m_rows;                    // of the block, in the archive's order
  std::unordered_set<std::int64_t> m_recnos;  // their documents
  bool m_settling = false;
  OperationCounts m_pending{};  // counted when their block is settled
};

}  // namespace vorlend
