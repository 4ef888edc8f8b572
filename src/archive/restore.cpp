#include "archive/restore.h"

#include <algorithm>
#include <exception>

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
int RestoreLocksUnguarded(RestoreJob& job, const std::string& archiveDir);
int CheckEveryTable(RestoreJob& job, const std::string& archiveDir);
int OpenRow(RestoreJob& job, const FileListRow& row, const RowTables& p, bool showProgress);
int RestoreRow(RestoreJob& job, const FileListRow& row, const std::string& archiveDir);
int RestoreDocument(RestoreJob& job, RestoreBlock& block, std::int32_t key, const Variant& archived);
bool IsSafeRow(const FileListRow& row);

}  // namespace

int RestoreLocks(RestoreJob& job, const std::string& archiveDir) {
  try {
    return RestoreLocksUnguarded(job, archiveDir);
  } catch (const std::exception& e) {
    job.BFMoneyFile.CloseTable();
    job.BFLockFile.CloseTable();
    job.dialogs.Message(MsgKind::Error, e.what());
    return -1;
  }
}

bool ReadArchiveFileList(const std::string& archiveDir, Dialogs& dialogs, FileList& files) {
  // Other users can write the archive folder: nothing in it is read through a link.
  const DirectoryHandle dir(archiveDir);
  if (!dir.HasPlainFile("info.tab")) {
    dialogs.Message(MsgKind::Error, "Chyba: soubor " + archiveDir + "info.tab neexistuje!");
    return false;
  }
  files.clear();
  std::string bytes;
  if (!dir.ReadFile("info.tab", bytes)) {
    dialogs.Message(MsgKind::Error, "Nastala chyba při načítání souboru " + archiveDir + "info.tab");
    return false;
  }
  files = DecodeFileList(bytes);
  if (files.empty()) {
    dialogs.Message(MsgKind::Error, "Chyba: seznam archivních souborů je prázdný!");
    return false;
  }
  for (const FileListRow& row : files) {
    if (!IsSafeRow(row)) {
      dialogs.Message(MsgKind::Error, "Chyba: archiv je poškozen, soubor " + archiveDir +
                                          "info.tab obsahuje neplatnou cestu \"" + row.FileName + "\", \"" +
                                          row.MoneyFile + "\".");
      return false;
    }
    if (!dir.HasPlainFile(row.FileName + ".DAT")) {
      dialogs.Message(MsgKind::Error, "Chyba: archivní soubor " + archiveDir + row.FileName + " neexistuje!");
      return false;
    }
  }
  // The file list must be the one the save wrote beside the description: a list cut short or
  // with a crossed row would restore part of the archive, or onto other documents.
  std::string infoBytes;
  dir.ReadFile("info", infoBytes);
  TMemIniFile info(archiveDir + "info", infoBytes);
  const std::string damage = FileListDamage(files, info);
  if (!damage.empty()) {
    dialogs.Message(MsgKind::Error, "Chyba: archiv " + ExcludeTrailingPathDelimiter(archiveDir) +
                                        " je poškozen: " + damage + ". Z archivu se nic neobnovuje ani nemaže.");
    return false;
  }
  return true;
}

namespace {

int RestoreLocksUnguarded(RestoreJob& job, const std::string& archiveDir) {
  job.Counts = {};
  // The whole archive is checked before anything in Money is touched.
  if (!ReadArchiveFileList(archiveDir, job.dialogs, job.mtFileList)) return -1;
  job.Counts.Tables = static_cast<int>(job.mtFileList.size());
  try {
    if (CheckEveryTable(job, archiveDir) != 0) return -1;
    for (const FileListRow& row : job.mtFileList) {
      if (RestoreRow(job, row, archiveDir) != 0) return -1;
      ++job.Counts.TablesDone;
      if (job.Observer) job.Observer->TableEnds();
    }
  } catch (const DamagedArchive& damaged) {
    return Fail(job, damaged.Text());
  }
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
    ArchiveReader reader(job.BFLockFile, p.archive);
    std::int32_t key = 0;
    Variant lock;
    while (reader.Next(key, lock)) {
    }
  }
  return 0;
}

// Opens the row's archive table and stands on its first record; with a Money table to change,
// opens that too with its index. 1 when the row has nothing to restore (the tables are closed
// again), 0 when both tables stand ready, -1 after the message or the user's stop.
int OpenRow(RestoreJob& job, const FileListRow& row, const RowTables& p, bool showProgress) {
  if (job.BFLockFile.OpenTable(p.archive, kArchiveTableReading) != 0) return Fail(job, OpenErrorText(p.archive));
  // The table is opened by its name: it must be the held archive's, not one of another folder
  // put in its place since.
  if (job.Hold && !job.Hold->StillHeld()) return Fail(job, job.Hold->GoneText());
  const int count = job.BFLockFile.RecCount();
  if (count < 1) {
    job.BFLockFile.CloseTable();
    return 1;
  }
  if (showProgress) job.progress.SetMaximum(count);
  if (job.BFLockFile.GoTop() != 0) return Fail(job, PositionErrorText(p.archive));
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
  const PostOutcome opened = OpenWithRetry(job.BFMoneyFile, p.money, job.dialogs, row.WorkingStr);
  if (opened == PostOutcome::Refused) {
    job.BFLockFile.CloseTable();
    return -1;
  }
  if (opened == PostOutcome::Failed) return Fail(job, OpenErrorText(p.money));
  if (job.BFMoneyFile.RecCount() < 1) {
    if (showProgress) {
      job.Counts.Documents += count;
      job.Counts.Gone += count;
    }
    job.BFMoneyFile.CloseTable();
    job.BFLockFile.CloseTable();
    return 1;
  }
  if (job.BFMoneyFile.SetOrder(KeyFieldForFileName(row.FileName)) != 0) return Fail(job, IndexErrorText(p.money));
  return 0;
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
  ArchiveReader reader(job.BFLockFile, p.archive);
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
    case LockOutcome::Failed:
      return -1;
    case LockOutcome::Unavailable:
      return Fail(job, job.BFMoneyFile.LastError());
    case LockOutcome::Gone:
      ++job.Counts.Gone;
      return 0;
    case LockOutcome::Locked:
      break;
  }
  return block.Change(archived) ? 0 : -1;
}

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

}  // namespace

}  // namespace vorlend
