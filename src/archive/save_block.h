#pragma once
// The block of one Money table within a save (used by save.cpp only).
#include <cstdint>
#include <string>
#include <vector>

#include "archive/operation.h"
#include "archive/save.h"

namespace vorlend {

// A document's key and lock as the save reads them.
struct DocumentState {
  Variant key;
  Variant lock;
};

// The block of one Money table within a save. Each document's archive record and its change wait
// here until Settle writes them: the archive records first, committed and synced, and only then
// the documents, whose record locks go with their commit. So no change is ever on the disk without
// the earlier state it replaced. Whatever is not settled is rolled back when the block goes.
//
// With a component that has transactions, the block's documents are only locked as the walk
// reaches them; Settle reads them again in one read once their locks are held, inserts their
// archive records in a few multi-row statements, and changes them with one statement. A
// component without transactions has blocks of one, written record by record.
class SaveBlock {
public:
  // Both tables are open, the Money table on a record; `keyField` is its documents' key.
  SaveBlock(SaveJob& job, const RowTables& tables, const std::string& workingStr, const std::string& keyField);

  // The document the walk stands on, as it read it.
  DocumentState Walked();
  // Opens the block's transactions before a document: the archive's, and the documents' when
  // they change.
  Result Begin();
  // Takes the walked document's record lock, asking while another user holds it (see
  // LockRecordWithRetry).
  Result Lock(std::int32_t key, LockOutcome& outcome);
  // A document's archive record with what the walk read of it.
  Result Record(const DocumentState& state);
  // The locked document: recorded as it is now and given the chosen lock.
  Result Locked(const DocumentState& walked);
  // Writes the block.
  Result Settle();

  bool Full(int blockSize) const;
  // No document has changed yet, in this block or before it.
  bool NothingChanged() const { return !m_job.documentsChanged && m_pending.changed == 0 && m_rows.empty(); }
  // What a question needs first: everything done so far written.
  const SettleFn& BeforeQuestion() const { return m_settle; }

private:
  // The fields the save reads and writes, by their positions in the two tables.
  struct Fields {
    int key = 0, lock = 0;              // Money: the document's key, "Uzamceni"
    int recordKey = 0, recordLock = 0;  // archive: "ID", "Lock"
  };
  struct Row {
    std::int64_t recno;  // the locked document, read again when the block is written; 0: as walked
    DocumentState state;
  };

  bool InBlocks() const { return m_records.Transactions(); }
  Result SettleRows();
  void ReadRowsAgain(std::vector<std::int64_t>& changed, std::vector<Variant>& records);
  Result Commit();
  Result Post(const DocumentState& state);
  Result Change(const Variant& current);

  SaveJob& m_job;
  const RowTables& m_tables;
  const std::string m_workingStr;
  const Fields m_fields;
  const Variant m_lock;  // the lock every document gets
  const SettleFn m_settle;
  TableBlock m_records;
  TableBlock m_documents;
  std::vector<Row> m_rows;  // of the block, in walk order
  bool m_settling = false;
  OperationCounts m_pending{};  // counted when their block is settled
};

}  // namespace vorlend
