#include "archive/save.h"

#include <exception>

#include "archive/operation.h"
#include "platform/cp1250.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace vorlend {

namespace {

constexpr const char* kInfoError = "Nastala chyba při ukládání info souboru.";
constexpr const char* kAbortQuestion =
    "Přerušíte-li nyní právě probíhající proces, nebudete moci později obnovit stav zámků do původního stavu. "
    "Opravdu to chcete ?";

std::string FileNameOf(const ModuleInfo& module, const YearRow& year) {
  return CutToChars(std::string(module.Code) + year.YearExt, 10);
}

// Every marked year must stand in the archive under names that lead back to it alone: the Money
// path "ROK." + extension must reach the year's own directory (not "ROK.002" when "rok.002" was
// marked, nor a cut extension), the names must survive the archive's Windows-1250 text, and two
// marked years must never share one archive table. A save that breaks this is refused before
// anything is created.
bool CheckMarkedYears(const SaveJob& job) {
  const std::string& agenda = job.context.AgendaDir;
  const auto& rows = job.years.Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const YearRow& year = rows[i];
    if (!year.Checked) continue;
    if (Cp1250ToUtf8(Utf8ToCp1250(year.YearExt)) != year.YearExt ||
        ResolvePath(agenda + "ROK." + year.YearExt) != ResolvePath(agenda + year.EntryName)) {
      job.dialogs.Message(MsgKind::Error, "Chyba: adresář účetního roku " + year.EntryName +
                                              " nelze v archivu zámků jednoznačně označit. Adresář roku "
                                              "přejmenujte na ROK.nnn.");
      return false;
    }
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      if (!rows[j].Checked) continue;
      if (SameText(FileNameOf(Modules[0], year), FileNameOf(Modules[0], rows[j]))) {
        job.dialogs.Message(MsgKind::Error,
                            "Chyba: účetní roky v adresářích " + year.EntryName + " a " + rows[j].EntryName +
                                " by se v archivu uložily do stejných souborů. Označte jen jeden z nich, nebo "
                                "adresář roku přejmenujte.");
        return false;
      }
    }
  }
  return true;
}

// One row of the file list: the Money table walked from its first record, each document first
// recorded in the archive table and only then changed.
int SaveRow(SaveJob& job, const FileListRow& row, const std::string& archiveDir) {
  HostContext& ctx = job.context;
  const std::string moneyPath = NativePath(ctx.AgendaDir + row.MoneyFile);
  const std::string archivePath = archiveDir + row.FileName;
  // The tables are closed before the message: a record lock must not outlive the failure while
  // the message waits for the user.
  auto fail = [&](const std::string& text) {
    job.BFLockFile.CloseTable();
    job.BFMoneyFile.CloseTable();
    job.dialogs.Message(MsgKind::Error, text);
    return -1;
  };

  job.progress.SetPosition(0);
  job.progress.SetText("Procházím " + row.WorkingStr + "...");
  job.progress.ProcessMessages();

  if (!FileExists(moneyPath + ".dat")) return 0;
  if (job.BFMoneyFile.OpenTable(moneyPath) != 0) return fail(OpenErrorText(moneyPath));
  TableCloser closeMoney(job.BFMoneyFile);
  const int count = job.BFMoneyFile.RecCount();
  if (count < 1) return 0;
  job.progress.SetMaximum(count);
  if (job.BFMoneyFile.GoTop() != 0) return fail(PositionErrorText(moneyPath));

  const std::string keyField = KeyFieldForFileName(row.FileName);
  if (job.BFLockFile.OpenTable(archivePath) != 0) return fail(OpenErrorText(archivePath));
  TableCloser closeArchive(job.BFLockFile);
  const bool change = job.action != LockAction::NoAction;
  const Variant newLock = Variant::FromBool(job.action == LockAction::Lock);

  for (int counter = 0;; ++counter) {
    // A document without a usable key could never be found again by the restore: it is neither
    // recorded nor changed, so its lock state stays as it is.
    Variant key = job.BFMoneyFile.Value(keyField);
    std::int32_t keyNumber = 0;
    if (key.toInt(keyNumber)) {
      job.BFLockFile.AppendBlank();
      if (job.BFLockFile.Post() != 0) return fail(PostErrorText(archivePath));
      Variant saved = job.BFMoneyFile.Value("Uzamceni");
      job.BFLockFile.SetValue("ID", key);
      job.BFLockFile.SetValue("Lock", saved);
      if (job.BFLockFile.Post() != 0) return fail(PostErrorText(archivePath));

      if (change) {
        const LockOutcome locked = LockRecordWithRetry(job.BFMoneyFile, job.dialogs, row.WorkingStr);
        if (locked == LockOutcome::Refused) return -1;
        // A document another user deleted meanwhile has nothing left to change; its archive
        // record is never found by the restore.
        if (locked == LockOutcome::Locked) {
          // Another user may have changed the document between the read above and the lock: the
          // archive must hold what the document was when it is changed.
          Variant currentKey = job.BFMoneyFile.Value(keyField);
          const Variant current = job.BFMoneyFile.Value("Uzamceni");
          std::int32_t currentNumber = 0;
          if (!currentKey.toInt(currentNumber)) currentKey = key;  // the record keeps the key it can be found by
          if (currentKey != key || current != saved) {
            job.BFLockFile.SetValue("ID", currentKey);
            job.BFLockFile.SetValue("Lock", current);
            if (job.BFLockFile.Post() != 0) return fail(PostErrorText(archivePath));
          }
          job.BFMoneyFile.EditRecord();
          job.BFMoneyFile.SetValue("Uzamceni", newLock);
          if (job.BFMoneyFile.Post() != 0) return fail(PostErrorText(moneyPath));
        }
      }
    }

    ProgressTick(job.progress, counter);
    if (AbortConfirmed(ctx, job.dialogs, MsgKind::Confirmation, kAbortQuestion)) return -1;

    job.BFMoneyFile.Skip();
    if (job.BFMoneyFile.IsEof()) break;
  }
  job.progress.SetPosition(0);
  job.progress.ProcessMessages();
  return 0;
}

int SaveLocksUnguarded(SaveJob& job) {
  HostContext& ctx = job.context;
  const std::string& archiveDir = job.ArchiveDir;
  const std::string infoPath = archiveDir + "info";

  // The start of the archive: its description, marked as not complete.
  if (Trim(job.archiveName).empty()) job.archiveName = "[bez názvu]";
  try {
    TIniFile info(infoPath);
    const TDateTime now = Now();
    info.WriteString("MAIN", "AgendaExt", ctx.AgendaExt);
    info.WriteInteger("MAIN", "Correct", 0);
    info.WriteString("MAIN", "Name", job.archiveName);
    info.WriteString("MAIN", "Date", DateToStr(now));
    info.WriteString("MAIN", "Time", TimeToStr(now));
    info.WriteString("MAIN", "AgendaName", ctx.AgendaName);
  } catch (const std::exception&) {
    job.dialogs.Message(MsgKind::Error, kInfoError);
    return -1;
  }

  // The file list: marked years in the list's order, modules in the module table's order.
  job.mtFileList.clear();
  std::size_t moduleCounter = 0;
  std::string yearsText;
  for (const YearRow& year : job.years.Rows()) {
    if (!year.Checked) continue;
    yearsText += year.YearName + ", ";
    for (std::size_t m = 0; m < ModuleCount; ++m) {
      if (!job.filter[m]) continue;
      ++moduleCounter;
      job.mtFileList.push_back(MakeFileListRow(FileNameOf(Modules[m], year),
                                               "ROK." + year.YearExt + "\\" + Modules[m].MoneyTable,
                                               Modules[m].WorkingText + year.YearName));
    }
  }
  if (moduleCounter != job.mtFileList.size()) {
    job.dialogs.Message(MsgKind::Error, "Interní chyba: počet databází k vytvoření neodpovídá filtru.");
    return -1;
  }

  // Every archive table exists before the first Money table is opened.
  for (const FileListRow& row : job.mtFileList) {
    if (CreateLockTable(archiveDir + row.FileName, ctx.ProgramDir(), job.dialogs) != 0) return -1;
  }
  yearsText = Trim(yearsText);
  if (!yearsText.empty()) yearsText.pop_back();

  for (const FileListRow& row : job.mtFileList) {
    if (SaveRow(job, row, archiveDir) != 0) return -1;
  }

  // Completion: the sections that describe the archive, the file list, and last of all the mark.
  try {
    TIniFile info(infoPath);
    info.WriteString("YEARS", "List", yearsText);
    for (std::size_t m = 0; m < ModuleCount; ++m) info.WriteBool("FILTER", Modules[m].Code, job.filter[m]);
  } catch (const std::exception&) {
    job.dialogs.Message(MsgKind::Error, kInfoError);
    return -1;
  }
  if (!WriteFileListFile(archiveDir + "info.tab", job.mtFileList)) {
    job.dialogs.Message(MsgKind::Error, "Nastala chyba při ukládání tabulky souborů");
    return -1;
  }
  try {
    TIniFile info(infoPath);
    info.WriteInteger("MAIN", "Correct", 1);
  } catch (const std::exception&) {
    job.dialogs.Message(MsgKind::Error, kInfoError);
    return -1;
  }
  return 0;
}

}  // namespace

int CreateArchiveDirectory(SaveJob& job) {
  if (!CheckMarkedYears(job)) return -1;
  const HostContext& ctx = job.context;
  auto fail = [&](const std::string& path) {
    job.dialogs.Message(MsgKind::Error, "Chyba: nelze vytvořit adresář " + path);
    return -1;
  };
  const std::string root = ctx.ArchiveRoot();
  if (!DirectoryExists(root)) {
    CreateDir(root);
    if (!DirectoryExists(root)) return fail(root);
  }
  std::string candidate;
  for (unsigned n = 1;; ++n) {
    candidate = ctx.AddOnDataDir() + "Db/" + std::to_string(n);
    if (DirectoryExists(candidate)) continue;
    const NewDirResult made = CreateNewDir(candidate);
    if (made == NewDirResult::Created) break;
    // Another user's save may have taken this number a moment ago: take the next one.
    if (made == NewDirResult::Exists && DirectoryExists(candidate)) continue;
    return fail(candidate);
  }
  candidate += "/";
  if (!DirectoryExists(candidate)) return fail(candidate);
  job.ArchiveDir = candidate;
  return 0;
}

int SaveLocks(SaveJob& job) {
  try {
    return SaveLocksUnguarded(job);
  } catch (const std::exception& e) {
    // Tables are closed by their guards; the archive stays incomplete and is never listed.
    job.dialogs.Message(MsgKind::Error, e.what());
    return -1;
  }
}

int CreateLockTable(const std::string& basePath, const std::string& programDir, Dialogs& dialogs) {
  const std::string dat = basePath + ".dat";
  const std::string dia = basePath + ".dia";
  for (const std::string& old : {dat, dia, dat + "-wal", dat + "-shm"}) {
    if (PathExists(old)) DeleteFile(old);
  }
  if (PathExists(dat) || PathExists(dia)) {
    dialogs.Message(MsgKind::Error, "Chyba: nelze vytvořit soubor " + basePath + ".%%%");
    return -1;
  }
  const std::pair<std::string, std::string> pairs[] = {{programDir + "Pattern/DB1.DAT", dat},
                                                       {programDir + "Pattern/DB1.DIA", dia}};
  for (const auto& [source, target] : pairs) {
    if (!FileExists(source)) {
      dialogs.Message(MsgKind::Error,
                      "Chyba: soubor " + source + " neexistuje. Proveďte reinstalaci tohoto programu.");
      return -1;
    }
    if (!CopyFile(source, target)) {
      dialogs.Message(MsgKind::Error, "Chyba: nelze vytvořit soubor " + target);
      return -1;
    }
    if (!FileExists(target)) {
      dialogs.Message(MsgKind::Error, "Chyba: nepodařilo se vytvořit soubor " + target);
      return -1;
    }
  }
  return 0;
}

}  // namespace vorlend
