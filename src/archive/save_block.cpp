#include "archive/save_block.h"

#include <utility>

namespace vorlend {

namespace {

// The document as it is now that it is locked: another user may have changed it since the walk
// read it, and the archive must hold what it was when it is changed. A key that cannot be
// recorded any more keeps the one the walk read, which the document can be found by.
DocumentState ReadAgain(const DocumentState& now, const DocumentState& walked) {
  std::int32_t number = 0;
  if (!RecordableKey(now.key, number)) return {walked.key, now.lock};
  return now;
}

}  // namespace

SaveBlock::SaveBlock(SaveJob& job, const RowTables& tables, const std::string& workingStr, const std::string& keyField)
    : m_job(job),
      m_tables(tables),
      m_workingStr(workingStr),
      m_fields{job.BFMoneyFile.FieldIndex(keyField), job.BFMoneyFile.FieldIndex("Uzamceni"),
               job.BFLockFile.FieldIndex("ID"), job.BFLockFile.FieldIndex("Lock")},
      m_lock(Variant::FromBool(job.choices.action == LockAction::Lock)),
      m_settle([this] { return Settle(); }),
      m_records(job.BFLockFile, tables.archive, true, job.dialogs, workingStr, m_settle),
      m_documents(job.BFMoneyFile, tables.money, false, job.dialogs, workingStr, m_settle) {}

DocumentState SaveBlock::Walked() {
  return {m_job.BFMoneyFile.Value(m_fields.key), m_job.BFMoneyFile.Value(m_fields.lock)};
}

Result SaveBlock::Begin() {
  if (Result opened = m_records.Open(); !opened.IsOk()) return opened;
  if (!m_records.Transactions() || m_job.choices.action == LockAction::NoAction) return Result::Ok();
  return m_documents.Open();
}

Result SaveBlock::Lock(std::int32_t key, LockOutcome& outcome) {
  return LockRecordWithRetry(m_job.BFMoneyFile, m_job.dialogs, m_workingStr, outcome,
                             {m_job.observer, m_tables.money, key}, m_settle, InBlocks() ? &m_documents : nullptr);
}

Result SaveBlock::Record(const DocumentState& state) {
  if (InBlocks()) {
    m_rows.push_back({0, state});
    return Result::Ok();
  }
  return Post(state);
}

Result SaveBlock::Locked(const DocumentState& walked) {
  if (InBlocks()) {
    m_rows.push_back({m_job.BFMoneyFile.RecordNumber(), walked});
    return Result::Ok();
  }
  const DocumentState now = ReadAgain(Walked(), walked);
  if (Result posted = Post(now); !posted.IsOk()) return posted;
  m_job.BFMoneyFile.EditRecord();
  return Change(now.lock);
}

Result SaveBlock::Settle() {
  if (m_settling) return Result::Ok();  // a question inside the settling: the block is being written
  m_settling = true;
  Result settled = InBlocks() ? SettleRows() : Commit();
  m_settling = false;
  return settled;
}

bool SaveBlock::Full(int blockSize) const {
  if (!InBlocks()) return m_records.Full(blockSize) || m_documents.Full(blockSize);
  return m_rows.size() >= static_cast<std::size_t>(blockSize) || m_records.Full(blockSize);
}

// The rows of the block: read again, recorded, changed (see the class).
Result SaveBlock::SettleRows() {
  std::vector<std::int64_t> changed;
  std::vector<Variant> records;
  ReadRowsAgain(changed, records);
  m_rows.clear();
  if (!records.empty()) {
    if (Result opened = m_records.Open(); !opened.IsOk()) return opened;
    if (m_job.BFLockFile.InsertRecords({m_fields.recordKey, m_fields.recordLock}, records) != 0) {
      return m_records.WriteFailed();
    }
    m_pending.recorded += static_cast<int>(records.size() / 2);
  }
  if (!changed.empty()) {
    if (Result opened = m_documents.Open(); !opened.IsOk()) return opened;
    if (m_job.BFMoneyFile.SetField(changed, m_fields.lock, m_lock) != 0) return m_documents.WriteFailed();
  }
  return Commit();
}

// The locked rows read again: `changed` gets those that still exist, `records` every row's
// archive values (key, lock) in walk order. A document deleted meanwhile is recorded as walked.
// The archive keeps the walk's order, the order of the documents in their table: a restore that
// goes through the archive in its order finds the documents of one block side by side.
void SaveBlock::ReadRowsAgain(std::vector<std::int64_t>& changed, std::vector<Variant>& records) {
  std::vector<std::int64_t> locked, found;
  std::vector<Variant> values;
  for (const Row& row : m_rows)
    if (row.recno != 0) locked.push_back(row.recno);
  m_job.BFMoneyFile.ReadRecords(locked, {m_fields.key, m_fields.lock}, found, values);
  records.reserve(m_rows.size() * 2);
  for (Row& row : m_rows) {
    DocumentState state = std::move(row.state);
    if (row.recno != 0) {
      const std::ptrdiff_t at = PositionOf(found, row.recno);
      if (at >= 0) {
        const auto i = static_cast<std::size_t>(at) * 2;
        state = ReadAgain({values[i], values[i + 1]}, state);
        changed.push_back(row.recno);
        ++m_pending.written;
        if (!SameLockState(state.lock, m_lock)) ++m_pending.changed;
      } else {
        ++m_job.counts.gone;  // deleted meanwhile: its record holds what the walk read
      }
    }
    records.push_back(std::move(state.key));
    records.push_back(std::move(state.lock));
  }
}

// Commits the archive records (synced), then the documents.
Result SaveBlock::Commit() {
  if (Result recorded = m_records.Commit(); !recorded.IsOk()) return recorded;
  m_job.counts.recorded += m_pending.recorded;
  // A save that changed no lock leaves nothing to put back: a change counts from the moment it
  // may become permanent.
  if (m_pending.changed > 0) m_job.documentsChanged = true;
  if (Result changed = m_documents.Commit(); !changed.IsOk()) return changed;
  m_job.counts.written += m_pending.written;
  m_job.counts.changed += m_pending.changed;
  m_pending = {};
  return Result::Ok();
}

// Record by record: the archive record posted in one post, key and lock together.
Result SaveBlock::Post(const DocumentState& state) {
  m_job.BFLockFile.AppendBlank();
  m_job.BFLockFile.SetValue("ID", state.key);
  m_job.BFLockFile.SetValue("Lock", state.lock);
  if (Result posted = m_records.Post(); !posted.IsOk()) return posted;
  ++m_pending.recorded;
  return Result::Ok();
}

// Record by record: the locked document, whose lock read again is `current`, gets the chosen
// lock.
Result SaveBlock::Change(const Variant& current) {
  if (Result posted = ChangeLock(m_job.BFMoneyFile, m_documents, current, m_lock, m_pending); !posted.IsOk()) {
    return posted;
  }
  // A component without transactions wrote the change already.
  if (!SameLockState(current, m_lock) && m_documents.CommitsEachPost()) m_job.documentsChanged = true;
  return Result::Ok();
}

}  // namespace vorlend
