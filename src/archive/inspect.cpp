#include "archive/inspect.h"

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

ArchivedRecord ReadArchived(TBFTable& archive, const std::string& shownTable) {
  ArchivedRecord r;
  try {
    if (RecordableKey(archive.Value("ID"), r.key)) {
      r.lock = archive.Value("Lock");
      if (ArchivableLock(r.lock)) return r;
    }
  } catch (const HostError&) {
  }
  throw DamagedArchive{shownTable};
}

bool IsLocked(const Variant& lock) {
  bool b = false;
  return !lock.IsNull() && lock.ToBool(b) && b;
}

// One archive record beside its document in Money (sought by the key when `seekable`).
void InspectRecord(TBFTable& archive, TBFTable& money, bool seekable, const std::string& archivePath, std::size_t index,
                   bool listDocuments, ArchiveInspection& result) {
  TableInspection& t = result.tables[index];
  const ArchivedRecord r = ReadArchived(archive, archivePath);
  ++t.recorded;
  if (IsLocked(r.lock)) ++t.locked;
  DocumentInspection d{index, r.key, r.lock, false, Variant::Null()};
  if (seekable && money.Seek1(Variant::FromInt(r.key)) == kSeekFound) {
    d.exists = true;
    d.current = money.Value("Uzamceni");
  }
  const bool differs = d.exists && !SameLockState(d.current, d.archived);
  if (!d.exists) ++t.missing;
  if (differs) ++t.differing;
  if (listDocuments && (differs || !d.exists)) result.documents.push_back(std::move(d));
}

void ShowTableBegins(const InspectionProgress* shown, const TableInspection& t, int records) {
  if (!shown) return;
  shown->progress.SetText("Porovnávám " + t.row.WorkingStr + "...");
  shown->progress.SetMaximum(records);
  shown->progress.SetPosition(0);
  shown->progress.ProcessMessages();
}

// One row of the file list: every archive record sought in the Money table, nothing locked.
// 0 when done, 1 when stopped on request, -1 after the message.
int InspectRow(const HostContext& ctx, const std::string& archiveDir, Dialogs& dialogs, std::size_t index,
               bool listDocuments, ArchiveInspection& result, const InspectionProgress* shown, bool firstDifference) {
  TableInspection& t = result.tables[index];
  const RowTables p = RowTablePaths(ctx, t.row, archiveDir);
  TBFTable archive, money;
  auto fail = [&](const std::string& text) { return FailClosing(money, archive, dialogs, text); };

  t.moneyTableExists = FileExists(p.money + ".dat");
  if (archive.OpenTable(p.archive, kArchiveTableReading) != 0) return fail(OpenErrorText(p.archive));
  TableCloser closeArchive(archive);
  ShowTableBegins(shown, t, archive.RecCount());
  if (archive.RecCount() < 1) return 0;
  if (archive.GoTop() != 0) return fail(PositionErrorText(p.archive));

  bool seekable = false;
  if (t.moneyTableExists) {
    if (money.OpenTable(p.money) != 0) return fail(OpenErrorText(p.money));
    seekable = money.RecCount() >= 1;
    if (seekable && money.SetOrder(KeyFieldForFileName(t.row.FileName)) != 0) return fail(IndexErrorText(p.money));
  }
  TableCloser closeMoney(money);

  do {
    InspectRecord(archive, money, seekable, p.archive, index, listDocuments, result);
    if (firstDifference && t.differing > 0) return 0;
    if (shown) {
      ProgressTick(shown->progress, t.recorded);
      if (shown->progress.AbortRequested()) return 1;
    }
    archive.Skip();
  } while (!archive.IsEof());
  if (shown) shown->progress.SetPosition(t.recorded);
  return 0;
}

}  // namespace

int InspectArchive(const HostContext& ctx, const std::string& archiveDir, Dialogs& dialogs, bool listDocuments,
                   ArchiveInspection& result, const InspectionProgress* shown, bool firstDifference) {
  result = {};
  FileList files;
  if (!ReadArchiveFileList(archiveDir, dialogs, files)) return -1;
  for (const FileListRow& row : files) result.tables.push_back(TableInspection{row});
  if (shown) shown->progress.ClearAbort();
  try {
    for (std::size_t i = 0; i < result.tables.size(); ++i) {
      if (shown && shown->observer) {
        shown->observer->TableBegins(static_cast<int>(i) + 1, static_cast<int>(result.tables.size()));
      }
      const int rc = InspectRow(ctx, archiveDir, dialogs, i, listDocuments, result, shown, firstDifference);
      if (rc != 0) return rc;
      if (firstDifference && result.tables[i].differing > 0) break;
      if (shown && shown->observer) shown->observer->TableEnds();
    }
  } catch (const DamagedArchive& damaged) {
    dialogs.Message(MsgKind::Error, damaged.Text());
    return -1;
  } catch (const std::exception& e) {
    dialogs.Message(MsgKind::Error, e.what());
    return -1;
  }
  return 0;
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
// Keeps the messages a check would have shown, answers every question "Ne".
class CollectingDialogs : public Dialogs {
public:
  void Message(MsgKind, const std::string& text) override { texts.push_back(text); }
  bool Question(MsgKind, const std::string&) override { return false; }
  std::vector<std::string> texts;
};

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
  } catch (const DamagedArchive& damaged) {
    problems.push_back(damaged.Text());
  } catch (const HostError& e) {
    problems.push_back("Databáze " + TableFileText(base) + " je poškozena: " + e.what());
  }
}
}  // namespace

std::vector<std::string> CheckArchive(const std::string& archiveDir, int& records) {
  records = 0;
  CollectingDialogs collected;
  FileList files;
  if (!ReadArchiveFileList(archiveDir, collected, files)) return collected.texts;
  std::vector<std::string> problems;
  for (const FileListRow& row : files) {
    CheckArchiveTable(archiveDir + row.FileName, problems, records);
  }
  return problems;
}

int CountArchivedStates(const std::string& archiveDir) {
  SilentDialogs quiet;
  FileList files;
  if (!ReadArchiveFileList(archiveDir, quiet, files)) return -1;
  int states = 0;
  for (const FileListRow& row : files) {
    TBFTable table;
    if (table.OpenTable(archiveDir + row.FileName, kArchiveTableReading) != 0) return -1;
    states += table.RecCount();
  }
  return states;
}

}  // namespace vorlend
