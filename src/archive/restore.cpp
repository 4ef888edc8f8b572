#include "archive/restore.h"

#include <exception>

#include "archive/modules.h"
#include "archive/operation.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

namespace {

constexpr const char* kAbortQuestion = "Opravdu chcete přerušit právě probíhající operaci ?";

// Raised while reading an archive table whose records cannot be what the save wrote.
struct DamagedArchive {
  std::string table;
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

std::int32_t ArchivedKey(TBFTable& archive, const std::string& archiveTable) {
  std::int32_t key = 0;
  try {
    if (archive.Value("ID").toInt(key)) return key;
  } catch (const HostError&) {
  }
  throw DamagedArchive{archiveTable};
}

Variant ArchivedLock(TBFTable& archive, const std::string& archiveTable) {
  try {
    return archive.Value("Lock");
  } catch (const HostError&) {
    throw DamagedArchive{archiveTable};
  }
}

// One row of the file list: each archived document sought by its key and given its saved value.
int RestoreRow(RestoreJob& job, const FileListRow& row, const std::string& archiveDir) {
  HostContext& ctx = job.context;
  const std::string archivePath = archiveDir + row.FileName;

  job.progress.SetPosition(0);
  job.progress.SetText("Nastavuji " + row.WorkingStr + "...");
  job.progress.ProcessMessages();

  if (job.BFLockFile.OpenTable(archivePath) != 0) {
    job.dialogs.Message(MsgKind::Error, OpenErrorText(archivePath));
    return -1;
  }
  TableCloser closeArchive(job.BFLockFile);
  const int count = job.BFLockFile.RecCount();
  if (count < 1) return 0;
  job.progress.SetMaximum(count);
  if (job.BFLockFile.GoTop() != 0) {
    job.dialogs.Message(MsgKind::Error, PositionErrorText(archivePath));
    return -1;
  }

  const std::string moneyPath = NativePath(ctx.AgendaDir + row.MoneyFile);
  if (!FileExists(moneyPath + ".dat")) return 0;  // the year or the module is gone from Money
  if (job.BFMoneyFile.OpenTable(moneyPath) != 0) {
    job.dialogs.Message(MsgKind::Error, OpenErrorText(moneyPath));
    return -1;
  }
  TableCloser closeMoney(job.BFMoneyFile);
  if (job.BFMoneyFile.RecCount() < 1) return 0;
  if (job.BFMoneyFile.SetOrder(KeyFieldForFileName(row.FileName)) != 0) {
    job.dialogs.Message(MsgKind::Error, "Nastala chyba při nastavení indexu v databázi " + moneyPath + ".DAT");
    return -1;
  }

  for (int counter = 0;; ++counter) {
    const std::int32_t key = ArchivedKey(job.BFLockFile, archivePath);
    if (job.BFMoneyFile.Seek1(Variant::FromInt(key)) == SeekFound) {
      const LockOutcome locked = LockRecordWithRetry(job.BFMoneyFile, job.dialogs, row.WorkingStr);
      if (locked == LockOutcome::Refused) return -1;
      // A document deleted since the seek is skipped like one that was never found.
      if (locked == LockOutcome::Locked) {
        job.BFMoneyFile.EditRecord();
        job.BFMoneyFile.SetValue("Uzamceni", ArchivedLock(job.BFLockFile, archivePath));
        if (job.BFMoneyFile.Post() != 0) {
          job.dialogs.Message(MsgKind::Error, PostErrorText(moneyPath));
          return -1;
        }
      }
    }
    ProgressTick(job.progress, counter);
    if (AbortConfirmed(ctx, job.dialogs, MsgKind::Confirmation, kAbortQuestion)) return -1;
    job.BFLockFile.Skip();
    if (job.BFLockFile.IsEof()) break;
  }
  job.progress.SetPosition(0);
  job.progress.ProcessMessages();
  return 0;
}

int RestoreLocksUnguarded(RestoreJob& job, const std::string& archiveDir) {
  const std::string infoTab = archiveDir + "info.tab";
  if (!FileExists(infoTab)) {
    job.dialogs.Message(MsgKind::Error, "Chyba: soubor " + archiveDir + "info.tab neexistuje!");
    return -1;
  }
  job.mtFileList.clear();
  if (!ReadFileListFile(infoTab, job.mtFileList)) {
    job.dialogs.Message(MsgKind::Error, "Nastala chyba při načítání souboru " + archiveDir + "info.tab");
    return -1;
  }
  if (job.mtFileList.empty()) {
    job.dialogs.Message(MsgKind::Error, "Chyba: seznam archivních souborů je prázdný!");
    return -1;
  }

  // The whole archive is checked before anything in Money is touched.
  for (const FileListRow& row : job.mtFileList) {
    if (!IsSafeRow(row)) {
      job.dialogs.Message(MsgKind::Error, "Chyba: archiv je poškozen, soubor " + archiveDir +
                                              "info.tab obsahuje neplatnou cestu \"" + row.FileName + "\", \"" +
                                              row.MoneyFile + "\".");
      return -1;
    }
    if (!FileExists(archiveDir + row.FileName + ".DAT")) {
      job.dialogs.Message(MsgKind::Error, "Chyba: archivní soubor " + archiveDir + row.FileName + " neexistuje!");
      return -1;
    }
  }

  for (const FileListRow& row : job.mtFileList) {
    try {
      if (RestoreRow(job, row, archiveDir) != 0) return -1;
    } catch (const DamagedArchive& damaged) {
      job.dialogs.Message(MsgKind::Error, "Chyba: archiv je poškozen, databáze " + damaged.table +
                                              ".DAT obsahuje záznam, který nelze načíst.");
      return -1;
    }
  }
  return 0;
}

}  // namespace

int RestoreLocks(RestoreJob& job, const std::string& archiveDir) {
  try {
    return RestoreLocksUnguarded(job, archiveDir);
  } catch (const std::exception& e) {
    job.dialogs.Message(MsgKind::Error, e.what());
    return -1;
  }
}

}  // namespace vorlend
