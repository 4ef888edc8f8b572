#include "archive/restore_block.h"

#include <algorithm>

#include "archive/save.h"

namespace vorlend {

int Fail(RestoreJob& job, const std::string& text) {
  return FailClosing(job.BFMoneyFile, job.BFLockFile, job.dialogs, text);
}

ArchiveReader::ArchiveReader(TBFTable& archive, const std::string& shownTable, bool withLocks)
    : m_archive(archive), m_shownTable(shownTable) {
  try {
    m_fields = {archive.FieldIndex("ID"), archive.FieldIndex("Lock")};
  } catch (const HostError&) {
    throw DamagedArchive{shownTable};
  }
  if (!withLocks) m_fields.pop_back();
}

bool ArchiveReader::Next(std::int32_t& key, Variant& lock) {
  if (m_next == m_found.size()) {
    if (m_last) return false;
    const std::int64_t after = m_found.empty() ? 0 : m_found.back();
    m_archive.ReadRecordsAfter(after, kRecordsPerRead, m_fields, m_found, m_values);
    m_next = 0;
    m_last = m_found.size() < kRecordsPerRead;
    if (m_found.empty()) return false;
  }
  const std::size_t i = m_fields.size() * m_next++;
  if (!RecordableKey(m_values[i], key)) throw DamagedArchive{m_shownTable};
  lock = m_fields.size() > 1 ? m_values[i + 1] : Variant();
  if (m_fields.size() > 1 && !ArchivableLock(lock)) throw DamagedArchive{m_shownTable};
  return true;
}

RestoreBlock::RestoreBlock(RestoreJob& job, const RowTables& tables, const std::string& workingStr)
    : m_job(job),
      m_tables(tables),
      m_workingStr(workingStr),
      m_lockField(job.BFMoneyFile.FieldIndex("Uzamceni")),
      m_settle([this] { return Settle(); }),
      m_documents(job.BFMoneyFile, false, job.dialogs, workingStr, m_settle) {}

bool RestoreBlock::Begin() {
  if (m_documents.Transactions() && m_recnos.count(m_job.BFMoneyFile.RecordNumber()) != 0 && !Settle()) return false;
  const PostOutcome opened = m_documents.Open();
  if (opened == PostOutcome::Failed) Fail(m_job, PostErrorText(m_tables.money));
  return opened == PostOutcome::Posted;
}

LockOutcome RestoreBlock::Lock(std::int32_t key) {
  return LockRecordWithRetry(m_job.BFMoneyFile, m_job.dialogs, m_workingStr, {m_job.Observer, m_tables.money, key},
                             m_settle, InBlocks() ? &m_documents : nullptr);
}

bool RestoreBlock::Change(const Variant& archived) {
  if (InBlocks()) {
    const std::int64_t recno = m_job.BFMoneyFile.RecordNumber();
    m_rows.push_back({recno, archived});
    m_recnos.insert(recno);
    return true;
  }
  const Variant current = m_job.BFMoneyFile.Value(m_lockField);
  m_job.BFMoneyFile.EditRecord();
  const PostOutcome posted = ChangeLock(m_job.BFMoneyFile, m_documents, current, archived, m_pending);
  if (posted == PostOutcome::Failed) Fail(m_job, PostErrorText(m_tables.money));
  return posted == PostOutcome::Posted;
}

bool RestoreBlock::Settle(bool last) {
  if (m_settling) return true;  // a question inside the settling: the block is being written
  m_settling = true;
  const bool settled = (!InBlocks() || ChangeRows()) && Commit(last);
  m_settling = false;
  return settled;
}

bool RestoreBlock::ChangeRows() {
  std::vector<std::int64_t> locked, found;
  std::vector<Variant> current;
  for (const Row& row : m_rows) locked.push_back(row.recno);
  m_job.BFMoneyFile.ReadRecords(locked, {m_lockField}, found, current);
  std::vector<std::pair<Variant, std::vector<std::int64_t>>> byState;
  for (const Row& row : m_rows) {
    const std::ptrdiff_t at = PositionOf(found, row.recno);
    if (at < 0) {
      ++m_job.Counts.Gone;
      continue;
    }
    ++m_pending.Written;
    if (!SameLockState(current[static_cast<std::size_t>(at)], row.archived)) ++m_pending.Changed;
    auto group = std::find_if(byState.begin(), byState.end(), [&](const auto& g) { return g.first == row.archived; });
    if (group == byState.end()) group = byState.insert(byState.end(), {row.archived, {}});
    group->second.push_back(row.recno);
  }
  m_rows.clear();
  m_recnos.clear();
  if (byState.empty()) return true;
  const PostOutcome opened = m_documents.Open();
  if (opened != PostOutcome::Posted) return opened == PostOutcome::Failed ? FailWith() : false;
  for (const auto& [state, recnos] : byState) {
    if (m_job.BFMoneyFile.SetField(recnos, m_lockField, state) != 0) return FailWith();
  }
  return true;
}

bool RestoreBlock::Commit(bool last) {
  if (!m_documents.Commit(last)) return FailWith();
  m_job.Counts.Written += m_pending.Written;
  m_job.Counts.Changed += m_pending.Changed;
  m_pending = {};
  return true;
}

bool RestoreBlock::FailWith() {
  Fail(m_job, PostErrorText(m_tables.money));
  return false;
}

}  // namespace vorlend
