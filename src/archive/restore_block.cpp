#include "archive/restore_block.h"

#include <algorithm>

#include "archive/save.h"

namespace vorlend {

Result DamagedArchive(const std::string& table) {
  return Result::Failed("Chyba: archiv je poškozen, databáze " + TableFileText(table) +
                        " obsahuje záznam, který nelze načíst.");
}

ArchiveReader::ArchiveReader(TBFTable& archive, const std::string& shownTable, bool withLocks)
    : m_archive(archive), m_shownTable(shownTable) {
  try {
    m_fields = {archive.FieldIndex("ID"), archive.FieldIndex("Lock")};
  } catch (const HostError&) {
    m_outcome = DamagedArchive(shownTable);
  }
  if (!withLocks) m_fields.pop_back();
}

bool ArchiveReader::Next(std::int32_t& key, Variant& lock) {
  if (!m_outcome.IsOk()) return false;
  if (m_next == m_found.size()) {
    if (m_last) return false;
    const std::int64_t after = m_found.empty() ? 0 : m_found.back();
    m_archive.ReadRecordsAfter(after, kRecordsPerRead, m_fields, m_found, m_values);
    m_next = 0;
    m_last = m_found.size() < kRecordsPerRead;
    if (m_found.empty()) return false;
  }
  const std::size_t i = m_fields.size() * m_next++;
  lock = m_fields.size() > 1 ? m_values[i + 1] : Variant();
  if (!RecordableKey(m_values[i], key) || (m_fields.size() > 1 && !ArchivableLock(lock))) {
    m_outcome = DamagedArchive(m_shownTable);
    return false;
  }
  return true;
}

RestoreBlock::RestoreBlock(RestoreJob& job, const RowTables& tables, const std::string& workingStr)
    : m_job(job),
      m_tables(tables),
      m_workingStr(workingStr),
      m_lockField(job.BFMoneyFile.FieldIndex("Uzamceni")),
      m_settle([this] { return Settle(); }),
      m_documents(job.BFMoneyFile, tables.money, false, job.dialogs, workingStr, m_settle) {}

Result RestoreBlock::Begin() {
  if (m_documents.Transactions() && m_recnos.count(m_job.BFMoneyFile.RecordNumber()) != 0) {
    if (Result settled = Settle(); !settled.IsOk()) return settled;
  }
  return m_documents.Open();
}

Result RestoreBlock::Lock(std::int32_t key, LockOutcome& outcome) {
  return LockRecordWithRetry(m_job.BFMoneyFile, m_job.dialogs, m_workingStr, outcome,
                             {m_job.observer, m_tables.money, key}, m_settle, InBlocks() ? &m_documents : nullptr);
}

Result RestoreBlock::Change(const Variant& archived) {
  if (InBlocks()) {
    const std::int64_t recno = m_job.BFMoneyFile.RecordNumber();
    m_rows.push_back({recno, archived});
    m_recnos.insert(recno);
    return Result::Ok();
  }
  const Variant current = m_job.BFMoneyFile.Value(m_lockField);
  m_job.BFMoneyFile.EditRecord();
  return ChangeLock(m_job.BFMoneyFile, m_documents, current, archived, m_pending);
}

Result RestoreBlock::Settle(bool last) {
  if (m_settling) return Result::Ok();  // a question inside the settling: the block is being written
  m_settling = true;
  Result settled = InBlocks() ? ChangeRows() : Result::Ok();
  if (settled.IsOk()) settled = Commit(last);
  m_settling = false;
  return settled;
}

Result RestoreBlock::ChangeRows() {
  std::vector<std::int64_t> locked, found;
  std::vector<Variant> current;
  for (const Row& row : m_rows) locked.push_back(row.recno);
  m_job.BFMoneyFile.ReadRecords(locked, {m_lockField}, found, current);
  // A document that already holds its archived state is counted as put back, and left alone: a
  // restore with nothing to change writes nothing. (A block never holds a document twice.)
  std::vector<std::pair<Variant, std::vector<std::int64_t>>> byState;
  for (const Row& row : m_rows) {
    const std::ptrdiff_t at = PositionOf(found, row.recno);
    if (at < 0) {
      ++m_job.counts.gone;
      continue;
    }
    ++m_pending.written;
    if (SameLockState(current[static_cast<std::size_t>(at)], row.archived)) continue;
    ++m_pending.changed;
    auto group = std::find_if(byState.begin(), byState.end(), [&](const auto& g) { return g.first == row.archived; });
    if (group == byState.end()) group = byState.insert(byState.end(), {row.archived, {}});
    group->second.push_back(row.recno);
  }
  m_rows.clear();
  m_recnos.clear();
  if (byState.empty()) return Result::Ok();
  if (Result opened = m_documents.Open(); !opened.IsOk()) return opened;
  for (const auto& [state, recnos] : byState) {
    if (m_job.BFMoneyFile.SetField(recnos, m_lockField, state) != 0) return m_documents.WriteFailed();
  }
  return Result::Ok();
}

Result RestoreBlock::Commit(bool last) {
  if (Result committed = m_documents.Commit(last); !committed.IsOk()) return committed;
  m_job.counts.written += m_pending.written;
  m_job.counts.changed += m_pending.changed;
  m_pending = {};
  return Result::Ok();
}

}  // namespace vorlend
