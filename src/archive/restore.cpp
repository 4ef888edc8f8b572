#include "archive/restore.h"

#include <algorithm>
#include <exception>
#include <unordered_set>

#include "archive/modules.h"
#include "archive/operation.h"
#include "archive/save.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

namespace {

constexpr const char* kAbortQuestion = "Opravdu chcete přerušit právě probíhající operaci ?";

// Raised while reading an archive table whose records cannot be what the save wrote.
struct DamagedArchive {
  std::string table;  // as messages show it
};

// A damaged info.tab must never make the restore write outside the agenda or read outside the
// archive: a Money path is relative and stays below the agenda, a table name is a bare name.
bool IsSafeRow(const FileListRow& row) {
  const std::string money = NativePath(row.MoneyFile);
  if (money.empty() || money[0] == '/' || (money.size() > 1 && money[1] == ':')) return false;
  for (const std::string& part : Split(money, '/')) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  const std::string& name = row.FileName;
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

// An archive table read in record order, a block of records at a time: nobody writes an archive
// while a job holds it.
class ArchiveReader {
public:
  // `withLocks`: the records' locks are read as well (a check of the archive needs only keys).
  ArchiveReader(TBFTable& archive, const std::string& shownTable, bool withLocks = true)
      : m_archive(archive), m_shownTable(shownTable) {
    try {
      m_fields = {archive.FieldIndex("ID"), archive.FieldIndex("Lock")};
    } catch (const HostError&) {
      throw DamagedArchive{shownTable};
    }
    if (!withLocks) m_fields.pop_back();
  }

  // The next record's key and lock (Null without locks); false after the last. Throws
  // DamagedArchive for a record the save cannot have written.
  bool Next(std::int32_t& key, Variant& lock) {
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
    return true;
  }

private:
  static constexpr std::size_t kRecordsPerRead = 1000;

  TBFTable& m_archive;
  const std::string& m_shownTable;
  std::vector<int> m_fields;
  std::vector<std::int64_t> m_found;
  std::vector<Variant> m_values;
  std::size_t m_next = 0;
  bool m_last = false;
};

int Fail(RestoreJob& job, const std::string& text) {
  return FailClosing(job.BFMoneyFile, job.BFLockFile, job.dialogs, text);
}

// Opens the row's archive table and stands on its first record; with a Money table to change,
// opens that too with its index. 1 when the row has nothing to restore (the tables are closed
// again), 0 when both tables stand ready, -1 after the message.
int OpenRow(RestoreJob& job, const FileListRow& row, const RowTables& p, bool showProgress) {
  if (job.BFLockFile.OpenTable(p.archive, kArchiveTableReading) != 0) return Fail(job, OpenErrorText(p.archiveShown));
  const int count = job.BFLockFile.RecCount();
  if (count < 1) {
    job.BFLockFile.CloseTable();
    return 1;
  }
  if (showProgress) job.progress.SetMaximum(count);
  if (job.BFLockFile.GoTop() != 0) return Fail(job, PositionErrorText(p.archiveShown));
  // The year or the module is gone from Money. The restoring pass counts what it cannot restore.
  if (!FileExists(p.money + ".dat")) {
    if (showProgress) {
      ++job.Counts.TablesAbsent;
      job.Counts.Documents += count;
      job.Counts.Gone += count;
    }
    job.BFLockFile.CloseTable();
    return 1;
  }
  if (job.BFMoneyFile.OpenTable(p.money) != 0) return Fail(job, OpenErrorText(p.moneyShown));
  if (job.BFMoneyFile.RecCount() < 1) {
    if (showProgress) {
      job.Counts.Documents += count;
      job.Counts.Gone += count;
    }
    job.BFMoneyFile.CloseTable();
    job.BFLockFile.CloseTable();
    return 1;
  }
  if (job.BFMoneyFile.SetOrder(KeyFieldForFileName(row.FileName)) != 0) return Fail(job, IndexErrorText(p.moneyShown));
  return 0;
}

// Everything the restore will read or change is opened once, and every archive record read,
// before the first document is written.
int CheckEveryTable(RestoreJob& job, const std::string& archiveDir) {
  for (const FileListRow& row : job.mtFileList) {
    const RowTables p = RowTablePaths(job.context, row, archiveDir);
    const int opened = OpenRow(job, row, p, false);
    if (opened < 0) return -1;
    if (opened > 0) continue;
    TableCloser closeArchive(job.BFLockFile);
    TableCloser closeMoney(job.BFMoneyFile);
    ArchiveReader reader(job.BFLockFile, p.archiveShown, false);
    std::int32_t key = 0;
    Variant lock;
    while (reader.Next(key, lock)) {
    }
  }
  return 0;
}

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
  RestoreBlock(RestoreJob& job, const RowTables& tables, const std::string& workingStr)
      : m_job(job),
        m_tables(tables),
        m_workingStr(workingStr),
        m_lockField(job.BFMoneyFile.FieldIndex("Uzamceni")),
        m_settle([this] { return Settle(); }),
        m_documents(job.BFMoneyFile, false, job.dialogs, workingStr, m_settle) {}

  // Before the document found: its lock must not be taken twice within one block (an archive
  // may hold a key twice; the later record wins, as it would record by record), and the block's
  // transaction is open. False after the message or the user's stop.
  [[nodiscard]] bool Begin() {
    if (m_documents.Transactions() && m_recnos.count(m_job.BFMoneyFile.RecordNumber()) != 0 && !Settle()) return false;
    const PostOutcome opened = m_documents.Open();
    if (opened == PostOutcome::Failed) Fail(m_job, PostErrorText(m_tables.moneyShown));
    return opened == PostOutcome::Posted;
  }

  // Takes the found document's record lock, asking while another user holds it.
  [[nodiscard]] LockOutcome Lock(std::int32_t key) {
    return LockRecordWithRetry(m_job.BFMoneyFile, m_job.dialogs, m_workingStr, {m_job.Observer, m_tables.moneyShown, key},
                               m_settle, InBlocks() ? &m_documents : nullptr);
  }

  // Gives the locked document its archived lock. False after the message or the user's stop.
  [[nodiscard]] bool Change(const Variant& archived) {
    if (InBlocks()) {
      const std::int64_t recno = m_job.BFMoneyFile.RecordNumber();
      m_rows.push_back({recno, archived});
      m_recnos.insert(recno);
      m_documents.Count();
      return true;
    }
    const Variant current = m_job.BFMoneyFile.Value(m_lockField);
    m_job.BFMoneyFile.EditRecord();
    const PostOutcome posted = ChangeLock(m_job.BFMoneyFile, m_documents, current, archived, m_pending);
    if (posted == PostOutcome::Failed) Fail(m_job, PostErrorText(m_tables.moneyShown));
    return posted == PostOutcome::Posted;
  }

  // Commits the block; `last` syncs it. False after the message.
  [[nodiscard]] bool Settle(bool last = false) {
    if (m_settling) return true;  // a question inside the settling: the block is being written
    m_settling = true;
    const bool settled = (!InBlocks() || ChangeRows()) && Commit(last);
    m_settling = false;
    return settled;
  }

  bool Full(int blockSize) const { return m_documents.Full(blockSize); }
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
  bool ChangeRows() {
    std::vector<std::int64_t> locked, found;
    std::vector<Variant> current;
    for (const Row& row : m_rows) locked.push_back(row.recno);
    m_job.BFMoneyFile.ReadRecords(locked, {m_lockField}, found, current);
    std::vector<std::pair<Variant, std::vector<std::int64_t>>> byState;
    for (const Row& row : m_rows) {
      const auto at = std::lower_bound(found.begin(), found.end(), row.recno);
      if (at == found.end() || *at != row.recno) {
        ++m_job.Counts.Gone;
        continue;
      }
      ++m_pending.Written;
      if (!SameLockState(current[static_cast<std::size_t>(at - found.begin())], row.archived)) ++m_pending.Changed;
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

  bool Commit(bool last) {
    if (!m_documents.Commit(last)) return FailWith();
    m_job.Counts.Written += m_pending.Written;
    m_job.Counts.Changed += m_pending.Changed;
    m_pending = {};
    return true;
  }

  bool FailWith() {
    Fail(m_job, PostErrorText(m_tables.moneyShown));
    return false;
  }

  RestoreJob& m_job;
  const RowTables& m_tables;
  const std::string m_workingStr;
  const int m_lockField;
  const SettleFn m_settle;
  TableBlock m_documents;
  std::vector<Row> m_rows;  // of the block, in the archive's order
  std::unordered_set<std::int64_t> m_recnos;  // their documents
  bool m_settling = false;
  OperationCounts m_pending{};  // counted when their block is settled
};

// One archive record, in the order things happen: find its document by the key, take the record
// lock, read the document again, give it the archived lock (in a block, the last two when the
// block is written). A document no longer in Money, or deleted since it was found, is skipped.
// 0 to go on; -1 when the row ends (after a message or the user's stop).
int RestoreDocument(RestoreJob& job, RestoreBlock& block, std::int32_t key, const Variant& archived) {
  ++job.Counts.Documents;
  if (job.BFMoneyFile.Seek1(Variant::FromInt(key)) != kSeekFound) {
    ++job.Counts.Gone;
    return 0;
  }
  if (!block.Begin()) return -1;
  switch (block.Lock(key)) {
    case LockOutcome::Refused:
    case LockOutcome::Failed: return -1;
    case LockOutcome::Unavailable: return Fail(job, job.context.ShownIn(job.BFMoneyFile.LastError()));
    case LockOutcome::Gone: ++job.Counts.Gone; return 0;
    case LockOutcome::Locked: break;
  }
  return block.Change(archived) ? 0 : -1;
}

// One row of the file list: each archived document sought by its key and given its saved value,
// block by block; before any question the block is committed, so everything before the document
// asked about is written.
int RestoreRow(RestoreJob& job, const FileListRow& row, const std::string& archiveDir) {
  const RowTables p = RowTablePaths(job.context, row, archiveDir);

  ++job.Counts.TablesBegun;
  if (job.Observer) job.Observer->TableBegins(job.Counts.TablesBegun, job.Counts.Tables);
  job.progress.SetPosition(0);
  job.progress.SetText("Nastavuji " + row.WorkingStr + "...");
  job.progress.ProcessMessages();

  const int opened = OpenRow(job, row, p, true);
  if (opened != 0) return opened < 0 ? -1 : 0;
  TableCloser closeArchive(job.BFLockFile);
  TableCloser closeMoney(job.BFMoneyFile);

  const int blockSize = std::max(1, job.BlockSize);
  RestoreBlock block(job, p, row.WorkingStr);
  ArchiveReader reader(job.BFLockFile, p.archiveShown);
  std::int32_t key = 0;
  Variant archived;
  for (int counter = 0; reader.Next(key, archived); ++counter) {
    if (RestoreDocument(job, block, key, archived) != 0) return -1;
    ProgressTick(job.progress, counter);
    if (AbortConfirmed(job.progress, job.dialogs, MsgKind::Confirmation, kAbortQuestion, block.BeforeQuestion())) {
      return -1;
    }
    if (block.Full(blockSize) && !block.Settle()) return -1;
  }
  if (!block.Settle(true)) return -1;
  job.progress.SetPosition(0);
  job.progress.ProcessMessages();
  return 0;
}

int RestoreLocksUnguarded(RestoreJob& job, const std::string& archiveDir) {
  job.Counts = {};
  // The whole archive is checked before anything in Money is touched.
  if (!ReadArchiveFileList(job.context, archiveDir, job.dialogs, job.mtFileList)) return -1;
  job.Counts.Tables = static_cast<int>(job.mtFileList.size());
  try {
    if (CheckEveryTable(job, archiveDir) != 0) return -1;
    for (const FileListRow& row : job.mtFileList) {
      if (RestoreRow(job, row, archiveDir) != 0) return -1;
      ++job.Counts.TablesDone;
      if (job.Observer) job.Observer->TableEnds();
    }
  } catch (const DamagedArchive& damaged) {
    return Fail(job, "Chyba: archiv je poškozen, databáze " + damaged.table +
                         ".DAT obsahuje záznam, který nelze načíst.");
  }
  return 0;
}

}  // namespace

bool ReadArchiveFileList(const HostContext& ctx, const std::string& archiveDir, Dialogs& dialogs, FileList& files) {
  const std::string shownDir = ctx.Shown(archiveDir);
  // Other users can write the archive folder: nothing in it is read through a link.
  const DirectoryHandle dir(archiveDir);
  if (!dir.HasPlainFile("info.tab")) {
    dialogs.Message(MsgKind::Error, "Chyba: soubor " + shownDir + "info.tab neexistuje!");
    return false;
  }
  files.clear();
  std::string bytes;
  if (!dir.ReadFile("info.tab", bytes)) {
    dialogs.Message(MsgKind::Error, "Nastala chyba při načítání souboru " + shownDir + "info.tab");
    return false;
  }
  files = DecodeFileList(bytes);
  if (files.empty()) {
    dialogs.Message(MsgKind::Error, "Chyba: seznam archivních souborů je prázdný!");
    return false;
  }
  for (const FileListRow& row : files) {
    if (!IsSafeRow(row)) {
      dialogs.Message(MsgKind::Error, "Chyba: archiv je poškozen, soubor " + shownDir +
                                          "info.tab obsahuje neplatnou cestu \"" + row.FileName + "\", \"" +
                                          row.MoneyFile + "\".");
      return false;
    }
    if (!dir.HasPlainFile(row.FileName + ".DAT")) {
      dialogs.Message(MsgKind::Error, "Chyba: archivní soubor " + shownDir + row.FileName + " neexistuje!");
      return false;
    }
  }
  return true;
}

int RestoreLocks(RestoreJob& job, const std::string& archiveDir) {
  try {
    return RestoreLocksUnguarded(job, archiveDir);
  } catch (const std::exception& e) {
    job.BFMoneyFile.CloseTable();
    job.BFLockFile.CloseTable();
    job.dialogs.Message(MsgKind::Error, job.context.ShownIn(e.what()));
    return -1;
  }
}

}  // namespace vorlend
