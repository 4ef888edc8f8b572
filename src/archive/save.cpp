#include "archive/save.h"

#include <exception>

#include "archive/operation.h"
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

// Two marked years whose archive tables would bear one name (a long year extension cut short, or
// "ROK.002" beside "rok.002") would overwrite each other's saved states: such a save is refused
// before anything is created.
bool CheckMarkedYearsDistinct(const SaveJob& job) {
  const auto& rows = job.years.Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].Checked) continue;
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      if (!rows[j].Checked) continue;
      if (SameText(FileNameOf(Modules[0], rows[i]), FileNameOf(Modules[0], rows[j]))) {
        job.dialogs.Message(MsgKind::Error,
                            "Chyba: účetní roky v adresářích " + rows[i].EntryName + " a " + rows[j].EntryName +
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

  job.progress.SetPosition(0);
  job.progress.SetText("Procházím " + row.WorkingStr + "...");
  job.progress.ProcessMessages();

  if (!FileExists(moneyPath + ".dat")) return 0;
  if (job.BFMoneyFile.OpenTable(moneyPath) != 0) {
    job.dialogs.Message(MsgKind::Error, OpenErrorText(moneyPath));
    return -1;
  }
  TableCloser closeMoney(job.BFMoneyFile);
  const int count = job.BFMoneyFile.RecCount();
  if (count < 1) return 0;
  job.progress.SetMaximum(count);
  if (job.BFMoneyFile.GoTop() != 0) {
    job.dialogs.Message(MsgKind::Error, PositionErrorText(moneyPath));
    return -1;
  }

  const std::string keyField = KeyFieldForFileName(row.FileName);
  if (job.BFLockFile.OpenTable(archivePath) != 0) {
    job.dialogs.Message(MsgKind::Error, OpenErrorText(archivePath));
    return -1;
  }
  TableCloser closeArchive(job.BFLockFile);
  const bool change = job.action != LockAction::NoAction;
  const Variant newLock = Variant::FromBool(job.action == LockAction::Lock);

  for (int counter = 0;; ++counter) {
    job.BFLockFile.AppendBlank();
    if (job.BFLockFile.Post() != 0) {
      job.dialogs.Message(MsgKind::Error, PostErrorText(archivePath));
      return -1;
    }
    Variant saved = job.BFMoneyFile.Value("Uzamceni");
    job.BFLockFile.SetValue("ID", job.BFMoneyFile.Value(keyField));
    job.BFLockFile.SetValue("Lock", saved);
    if (job.BFLockFile.Post() != 0) {
      job.dialogs.Message(MsgKind::Error, PostErrorText(archivePath));
      return -1;
    }

    if (change) {
      if (!LockRecordWithRetry(job.BFMoneyFile, job.dialogs, row.WorkingStr)) return -1;
      // Another user may have changed the flag between the read above and the lock: the archive
      // must hold the value the document had when it was changed.
      const Variant current = job.BFMoneyFile.Value("Uzamceni");
      if (current != saved) {
        job.BFLockFile.SetValue("Lock", current);
        if (job.BFLockFile.Post() != 0) {
          job.dialogs.Message(MsgKind::Error, PostErrorText(archivePath));
          return -1;
        }
      }
      job.BFMoneyFile.EditRecord();
      job.BFMoneyFile.SetValue("Uzamceni", newLock);
      if (job.BFMoneyFile.Post() != 0) {
        job.dialogs.Message(MsgKind::Error, PostErrorText(moneyPath));
        return -1;
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
  if (!CheckMarkedYearsDistinct(job)) return -1;
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
