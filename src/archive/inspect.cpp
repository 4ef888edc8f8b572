#include "archive/inspect.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "archive/modules.h"
#include "archive/operation.h"
#include "archive/restore.h"
#include "archive/restore_block.h"
#include "archive/save.h"
#include "host/bftable.h"
#include "platform/files.h"

namespace vorlend {

namespace {

struct ArchivedRecord {
  std::int32_t key = 0;
  Variant lock;
};

// The record the archive table stands on; false for one the save cannot have written.
bool ReadArchived(TBFTable& archive, ArchivedRecord& r) {
  try {
    if (!RecordableKey(archive.Value("ID"), r.key)) return false;
    r.lock = archive.Value("Lock");
    return ArchivableLock(r.lock);
  } catch (const HostError&) {
    return false;
  }
}

bool IsLocked(const Variant& lock) {
  bool b = false;
  return !lock.IsNull() && lock.ToBool(b) && b;
}

// One archive record beside its document in Money (sought by the key when `seekable`).
Result InspectRecord(TBFTable& archive, TBFTable& money, bool seekable, const std::string& archivePath,
                     std::size_t index, bool listDocuments, ArchiveInspection& result) {
  TableInspection& t = result.tables[index];
  ArchivedRecord r;
  if (!ReadArchived(archive, r)) return DamagedArchive(archivePath);
  ++t.recorded;
  if (IsLocked(r.lock)) ++t.locked;
  DocumentInspection d{index, r.key, r.lock, false, Variant::Null()};
  if (seekable && FindDocument(money, r.key)) {
    d.exists = true;
    d.current = money.Value("Uzamceni");
  }
  const bool differs = d.exists && !SameLockState(d.current, d.archived);
  if (!d.exists) ++t.missing;
  if (differs) ++t.differing;
  if (listDocuments && (differs || !d.exists)) result.documents.push_back(std::move(d));
  return Result::Ok();
}

// How far the look is, on the progress it is shown on (none: not shown): a table's bar, or with a
// text of its own one bar over the whole archive.
class InspectionShown {
public:
  explicit InspectionShown(const InspectionProgress* shown) : m_shown(shown) {}

  // The records of each archive table, read once before the first table begins: the observer
  // counts the whole look by them, the bar of the whole archive goes over their sum. A table that
  // cannot be opened counts none here; the look itself says what is wrong with it.
  void Begin(const std::string& archiveDir, const ArchiveInspection& result) {
    if (!m_shown) return;
    std::vector<int> records;
    long long all = 0;
    for (const TableInspection& t : result.tables) {
      TBFTable archive;
      const bool open = archive.OpenTable(archiveDir + t.row.FileName, kArchiveTableReading) == 0;
      records.push_back(open ? archive.RecCount() : 0);
      all += records.back();
    }
    if (m_shown->observer) m_shown->observer->JobBegins(records);
    if (Whole()) {
      m_shown->progress.SetText(m_shown->text);
      m_shown->progress.SetMaximum(static_cast<int>(std::min<long long>(all, INT_MAX)));
      m_shown->progress.SetPosition(0);
      m_shown->progress.ProcessMessages();
    }
  }
  void TableBegins(const TableInspection& t, int records) {
    if (!m_shown || Whole()) return;
    m_shown->progress.SetText("Porovnávám " + t.row.WorkingStr + "...");
    m_shown->progress.SetMaximum(records);
    m_shown->progress.SetPosition(0);
    m_shown->progress.ProcessMessages();
  }
  // After each record of the table: every few records the window works and the bar moves. False
  // when the user asked to stop.
  bool Tick(int recordsOfTable) {
    if (!m_shown) return true;
    if (recordsOfTable % kProgressStep == 0) {
      m_shown->progress.ProcessMessages();
      m_shown->progress.SetPosition(Position(recordsOfTable));
    }
    return !m_shown->progress.AbortRequested();
  }
  void TableEnds(int recordsOfTable) {
    if (!m_shown) return;
    m_shown->progress.SetPosition(Position(recordsOfTable));
    m_before += recordsOfTable;
  }

private:
  bool Whole() const { return !m_shown->text.empty(); }
  int Position(int recordsOfTable) const {
    return Whole() ? static_cast<int>(std::min<long long>(m_before + recordsOfTable, INT_MAX)) : recordsOfTable;
  }

  const InspectionProgress* m_shown;
  long long m_before = 0;  // the records of the tables before this one
};

// One row of the file list: every archive record sought in the Money table, nothing locked.
// Stopped when the user asked to stop.
Result InspectRow(const HostContext& ctx, const std::string& archiveDir, std::size_t index, bool listDocuments,
                  ArchiveInspection& result, InspectionShown& shown, bool firstDifference) {
  TableInspection& t = result.tables[index];
  const RowTables p = RowTablePaths(ctx, t.row, archiveDir);
  TBFTable archive, money;

  t.moneyTableExists = FileExists(p.money + ".dat");
  if (archive.OpenTable(p.archive, kArchiveTableReading) != 0) return Result::Failed(OpenErrorText(p.archive));
  TableCloser closeArchive(archive);
  shown.TableBegins(t, archive.RecCount());
  if (archive.RecCount() < 1) return Result::Ok();
  if (archive.GoTop() != 0) return Result::Failed(PositionErrorText(p.archive));

  bool seekable = false;
  if (t.moneyTableExists) {
    if (money.OpenTable(p.money) != 0) return Result::Failed(OpenErrorText(p.money));
    seekable = money.RecCount() >= 1;
    if (seekable && money.SetOrder(KeyFieldForFileName(t.row.FileName)) != 0) {
      return Result::Failed(IndexErrorText(p.money));
    }
  }
  TableCloser closeMoney(money);

  do {
    if (Result read = InspectRecord(archive, money, seekable, p.archive, index, listDocuments, result); !read.IsOk()) {
      return read;
    }
    if (firstDifference && t.differing > 0) return Result::Ok();
    if (!shown.Tick(t.recorded)) return Result::Stopped();
    archive.Skip();
  } while (!archive.IsEof());
  shown.TableEnds(t.recorded);
  return Result::Ok();
}

}  // namespace

Result InspectArchive(const HostContext& ctx, const std::string& archiveDir, bool listDocuments,
                      ArchiveInspection& result, const InspectionProgress* shown, bool firstDifference) {
  result = {};
  FileList files;
  if (Result listed = ReadArchiveFileList(archiveDir, files); !listed.IsOk()) return listed;
  for (const FileListRow& row : files) result.tables.push_back(TableInspection{row});
  InspectionShown progress(shown);
  try {
    progress.Begin(archiveDir, result);
    for (std::size_t i = 0; i < result.tables.size(); ++i) {
      if (shown && shown->observer) {
        shown->observer->TableBegins(static_cast<int>(i) + 1, static_cast<int>(result.tables.size()));
      }
      if (Result inspected = InspectRow(ctx, archiveDir, i, listDocuments, result, progress, firstDifference);
          !inspected.IsOk()) {
        return inspected;
      }
      if (firstDifference && result.tables[i].differing > 0) break;
      if (shown && shown->observer) shown->observer->TableEnds();
    }
  } catch (const std::exception& e) {
    return Result::Failed(e.what());
  }
  return Result::Ok();
}

TableInspection InspectionTotals(const ArchiveInspection& inspection) {
  TableInspection total;
  for (const TableInspection& t : inspection.tables) {
    total.recorded += t.recorded;
    total.locked += t.locked;
    total.differing += t.differing;
    total.missing += t.missing;
  }
  return total;
}

namespace {
// The problems of one archive table.
void CheckArchiveTable(const std::string& base, std::vector<std::string>& problems, int& records) {
  TBFTable table;
  if (table.OpenTable(base, kArchiveTableReading) != 0) {
    problems.push_back(OpenErrorText(base) + " (" + table.LastError() + ")");
    return;
  }
  TableCloser close(table);
  const std::string integrity = table.IntegrityCheck();
  if (integrity != "ok") problems.push_back("Databáze " + TableFileText(base) + " je poškozena: " + integrity);
  try {
    ArchiveReader reader(table, base);
    std::int32_t key = 0;
    Variant lock;
    while (reader.Next(key, lock)) ++records;
    if (!reader.Outcome().IsOk()) problems.push_back(reader.Outcome().Message());
  } catch (const HostError& e) {
    problems.push_back("Databáze " + TableFileText(base) + " je poškozena: " + e.what());
  }
}
}  // namespace

std::vector<std::string> CheckArchive(const std::string& archiveDir, int& records) {
  records = 0;
  FileList files;
  if (Result listed = ReadArchiveFileList(archiveDir, files); !listed.IsOk()) return {listed.Message()};
  std::vector<std::string> problems;
  for (const FileListRow& row : files) {
    CheckArchiveTable(archiveDir + row.FileName, problems, records);
  }
  return problems;
}

int CountArchivedStates(const std::string& archiveDir) {
  FileList files;
  if (!ReadArchiveFileList(archiveDir, files).IsOk()) return -1;
  int states = 0;
  for (const FileListRow& row : files) {
    TBFTable table;
    if (table.OpenTable(archiveDir + row.FileName, kArchiveTableReading) != 0) return -1;
    states += table.RecCount();
  }
  return states;
}

}  // namespace vorlend
