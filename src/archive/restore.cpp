#include "archive/restore.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "archive/modules.h"
#include "archive/operation.h"
#include "archive/restore_block.h"
#include "archive/save.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace vorlend {

namespace {

constexpr const char* kAbortQuestion = "Opravdu chcete přerušit právě probíhající operaci ?";

// The steps of a restore, defined below the entry points in the order they happen.
Result RestoreLocksUnguarded(RestoreJob& job, const std::string& archiveDir);
Result CheckEveryTable(RestoreJob& job, const std::string& archiveDir, std::vector<int>& documents);
Result OpenRow(RestoreJob& job, const FileListRow& row, const RowTables& p, bool showProgress, bool& ready);
Result RestoreRow(RestoreJob& job, const FileListRow& row, const std::string& archiveDir);
Result RestoreDocument(RestoreJob& job, RestoreBlock& block, std::int32_t key, const Variant& archived);
bool IsSafeRow(const FileListRow& row);

}  // namespace

Result RestoreLocks(RestoreJob& job, const std::string& archiveDir) {
  // Every table is closed however the restore ends, before anyone is told how it ended.
  TableCloser closeArchive(job.BFLockFile);
  TableCloser closeMoney(job.BFMoneyFile);
  try {
    return RestoreLocksUnguarded(job, archiveDir);
  } catch (const std::exception& e) {
    return Result::Failed(e.what());
  }
}

Result ReadArchiveFileList(const std::string& archiveDir, FileList& files) {
  // Other users can write the archive folder: nothing in it is read through a link.
  const DirectoryHandle dir(archiveDir);
  files.clear();
  if (!dir.HasPlainFile("info.tab")) return Result::Failed("Chyba: soubor " + archiveDir + "info.tab neexistuje!");
  std::string bytes;
  if (!dir.ReadFile("info.tab", bytes)) {
    return Result::Failed("Nastala chyba při načítání souboru " + archiveDir + "info.tab");
  }
  files = DecodeFileList(bytes);
  if (files.empty()) return Result::Failed("Chyba: seznam archivních souborů je prázdný!");
  for (const FileListRow& row : files) {
    if (!IsSafeRow(row)) {
      return Result::Failed("Chyba: archiv je poškozen, soubor " + archiveDir + "info.tab obsahuje neplatnou cestu \"" +
                            row.FileName + "\", \"" + row.MoneyFile + "\".");
    }
    if (!dir.HasPlainFile(row.FileName + ".DAT")) {
      return Result::Failed("Chyba: archivní soubor " + archiveDir + row.FileName + " neexistuje!");
    }
  }
  // The file list must be the one the save wrote beside the description: a list cut short or
  // with a crossed row would restore part of the archive, or onto other documents.
  std::string infoBytes;
  dir.ReadFile("info", infoBytes);
  TMemIniFile info(archiveDir + "info", infoBytes);
  const std::string damage = FileListDamage(files, info);
  if (!damage.empty()) {
    return Result::Failed("Chyba: archiv " + ExcludeTrailingPathDelimiter(archiveDir) + " je poškozen: " + damage +
                          ". Z archivu se nic neobnovuje ani nemaže.");
  }
  return Result::Ok();
}

namespace {

Result RestoreLocksUnguarded(RestoreJob& job, const std::string& archiveDir) {
  job.counts = {};
  // The whole archive is checked before anything in Money is touched.
  if (Result listed = ReadArchiveFileList(archiveDir, job.mtFileList); !listed.IsOk()) return listed;
  job.counts.tables = static_cast<int>(job.mtFileList.size());
  std::vector<int> documents;
  if (Result checked = CheckEveryTable(job, archiveDir, documents); !checked.IsOk()) return checked;
  if (job.observer) job.observer->JobBegins(documents);
  for (const FileListRow& row : job.mtFileList) {
    if (Result restored = RestoreRow(job, row, archiveDir); !restored.IsOk()) return restored;
    ++job.counts.tablesDone;
    if (job.observer) job.observer->TableEnds();
  }
  return Result::Ok();
}

// Everything the restore will read or change is opened once, and every archive record read,
// before the first document is written. `documents` gets the records each row will restore, in
// the file list's order (0 for a row with nothing to restore).
Result CheckEveryTable(RestoreJob& job, const std::string& archiveDir, std::vector<int>& documents) {
  documents.clear();
  for (const FileListRow& row : job.mtFileList) {
    const RowTables p = RowTablePaths(job.context, row, archiveDir);
    TableCloser closeArchive(job.BFLockFile);
    TableCloser closeMoney(job.BFMoneyFile);
    documents.push_back(0);
    bool ready = false;
    if (Result opened = OpenRow(job, row, p, false, ready); !opened.IsOk()) return opened;
    if (!ready) continue;
    ArchiveReader reader(job.BFLockFile, p.archive);
    std::int32_t key = 0;
    Variant lock;
    while (reader.Next(key, lock)) ++documents.back();
    if (!reader.Outcome().IsOk()) return reader.Outcome();
  }
  return Result::Ok();
}

// Opens the row's archive table and stands on its first record; with a Money table to change,
// opens that too with its index. `ready` when both tables stand ready; else the row has nothing
// to restore. The caller closes the tables.
Result OpenRow(RestoreJob& job, const FileListRow& row, const RowTables& p, bool showProgress, bool& ready) {
  ready = false;
  if (job.BFLockFile.OpenTable(p.archive, kArchiveTableReading) != 0) return Result::Failed(OpenErrorText(p.archive));
  // The table is opened by its name: it must be the held archive's, not one of another folder
  // put in its place since.
  if (job.hold && !job.hold->StillHeld()) return Result::Failed(job.hold->GoneText());
  const int count = job.BFLockFile.RecCount();
  if (count < 1) return Result::Ok();
  if (showProgress) job.progress.SetMaximum(count);
  if (job.BFLockFile.GoTop() != 0) return Result::Failed(PositionErrorText(p.archive));
  // The year or the module is gone from Money. The restoring pass counts what it cannot restore.
  if (!FileExists(p.money + ".dat")) {
    if (showProgress) {
      ++job.counts.tablesAbsent;
      job.counts.documents += count;
      job.counts.gone += count;
    }
    return Result::Ok();
  }
  if (Result opened = OpenWithRetry(job.BFMoneyFile, p.money, job.dialogs, row.WorkingStr); !opened.IsOk()) {
    return opened;
  }
  if (job.BFMoneyFile.RecCount() < 1) {
    if (showProgress) {
      job.counts.documents += count;
      job.counts.gone += count;
    }
    return Result::Ok();
  }
  if (job.BFMoneyFile.SetOrder(KeyFieldForFileName(row.FileName)) != 0) {
    return Result::Failed(IndexErrorText(p.money));
  }
  ready = true;
  return Result::Ok();
}

// One row of the file list: each archived document sought by its key and given its saved value,
// block by block; before any question the block is committed, so everything before the document
// asked about is written.
Result RestoreRow(RestoreJob& job, const FileListRow& row, const std::string& archiveDir) {
  const RowTables p = RowTablePaths(job.context, row, archiveDir);

  ++job.counts.tablesBegun;
  if (job.observer) job.observer->TableBegins(job.counts.tablesBegun, job.counts.tables);
  job.progress.SetPosition(0);
  job.progress.SetText("Nastavuji " + row.WorkingStr + "...");
  job.progress.ProcessMessages();

  TableCloser closeArchive(job.BFLockFile);
  TableCloser closeMoney(job.BFMoneyFile);
  bool ready = false;
  if (Result opened = OpenRow(job, row, p, true, ready); !opened.IsOk() || !ready) return opened;

  const int blockSize = std::max(1, job.blockSize);
  RestoreBlock block(job, p, row.WorkingStr);
  ArchiveReader reader(job.BFLockFile, p.archive);
  std::int32_t key = 0;
  Variant archived;
  for (int counter = 0; reader.Next(key, archived); ++counter) {
    if (Result restored = RestoreDocument(job, block, key, archived); !restored.IsOk()) return restored;
    ProgressTick(job.progress, counter);
    if (Result asked =
            StopIfAsked(job.progress, job.dialogs, MsgKind::Confirmation, kAbortQuestion, block.BeforeQuestion());
        !asked.IsOk()) {
      return asked;
    }
    if (block.Full(blockSize)) {
      if (Result settled = block.Settle(); !settled.IsOk()) return settled;
    }
  }
  // A record that cannot be read ends the restore before the block in hand is written.
  if (!reader.Outcome().IsOk()) return reader.Outcome();
  if (Result settled = block.Settle(true); !settled.IsOk()) return settled;
  job.progress.SetPosition(0);
  job.progress.ProcessMessages();
  return Result::Ok();
}

// One archive record, in the order things happen: find its document by the key, take the record
// lock, read the document again, give it the archived lock (in a block, the last two when the
// block is written). A document no longer in Money, or deleted since it was found, is skipped.
// Ok to go on.
Result RestoreDocument(RestoreJob& job, RestoreBlock& block, std::int32_t key, const Variant& archived) {
  ++job.counts.documents;
  if (!FindDocument(job.BFMoneyFile, key)) {
    ++job.counts.gone;
    return Result::Ok();
  }
  if (Result begun = block.Begin(); !begun.IsOk()) return begun;
  LockOutcome outcome = LockOutcome::Locked;
  if (Result locked = block.Lock(key, outcome); !locked.IsOk()) return locked;
  if (outcome == LockOutcome::Gone) {
    ++job.counts.gone;
    return Result::Ok();
  }
  return block.Change(archived);
}

// A damaged info.tab must never make the restore write outside the agenda or read outside the
// archive: a Money path is relative and stays below the agenda, a table name is a bare name.
bool IsSafeRow(const FileListRow& row) {
  const std::string money = StoredPathNative(row.MoneyFile);
  if (money.empty() || money[0] == '/' || (money.size() > 1 && money[1] == ':')) return false;
  for (const std::string& part : Split(money, '/')) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  const std::string& name = row.FileName;
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

}  // namespace

}  // namespace vorlend
