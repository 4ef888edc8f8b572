#include "archive/save.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>

#include "archive/operation.h"
#include "archive/save_block.h"
#include "platform/cp1250.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace vorlend {

namespace {

constexpr const char* kInfoError = "Nastala chyba při ukládání info souboru.";
constexpr const char* kFileListError = "Nastala chyba při ukládání tabulky souborů";
constexpr const char* kAbortQuestion =
    "Přerušíte-li nyní právě probíhající proces, stav zámků dokladů změněných do této chvíle bude možné později "
    "obnovit do původního stavu z nedokončeného archivu. Opravdu to chcete ?";

// The steps of a save, defined below the entry points in the order they happen.
Result SaveLocksUnguarded(SaveJob& job);
Result WriteArchiveStart(SaveJob& job);
Result BuildFileList(SaveJob& job, std::string& yearsText);
Result CreateArchiveTables(SaveJob& job);
Result WriteArchiveDescription(SaveJob& job, const std::string& yearsText);
std::string SkippedWarning(const std::vector<SkippedDocuments>& skipped);
Result OpenEveryTable(SaveJob& job, std::vector<int>& documents);
Result SaveRow(SaveJob& job, const FileListRow& row);
Result SaveDocument(SaveJob& job, SaveBlock& block, int& skipped);
Result LeaveHeldDocument(SaveBlock& block, const DocumentState& walked, Result locked);
Result StopIfAsked(SaveJob& job, const SaveBlock& block);
Result CheckMarkedYears(const SaveJob& job);

}  // namespace

Result StartSave(SaveJob& job) {
  job.progress.ClearAbort();
  job.progress.SetText("Vytvářím databáze...");
  job.progress.ProcessMessages();
  job.documentsChanged = false;
  // Held until the save ends: other users see that the archive is still being written, and no
  // one restores or deletes it meanwhile.
  std::unique_ptr<DirectoryLock> running;
  for (int attempt = 1;; ++attempt) {
    if (Result made = CreateArchiveDirectory(job); !made.IsOk()) return made;
    running = std::make_unique<DirectoryLock>(job.ArchiveDir);
    // Another user's catalogue removes a directory without a file list that nobody holds: one
    // made a moment ago may have gone before its lock was taken. The save then makes another.
    if (running->Held() && running->StillAt(job.ArchiveDir)) break;
    if (attempt == 10)
      return Result::Failed("Chyba: nelze vytvořit adresář " + ExcludeTrailingPathDelimiter(job.ArchiveDir));
  }
  job.progress.Begin();
  Result saved = SaveLocks(job);
  // Every document is as it was: the half-written archive would only stand in the way. It goes
  // while the lock still hides it, so no catalogue ever offers it.
  if (!saved.IsOk() && !job.documentsChanged) RemoveDirectoryTree(job.ArchiveDir);
  return saved;
}

Result CreateArchiveDirectory(SaveJob& job) {
  if (Result checked = CheckMarkedYears(job); !checked.IsOk()) return checked;
  const HostContext& ctx = job.context;
  auto fail = [](const std::string& path) { return Result::Failed("Chyba: nelze vytvořit adresář " + path); };
  const std::string root = ctx.ArchiveRoot();
  if (!DirectoryExists(root)) {
    CreateDir(root);
    if (!DirectoryExists(root)) return fail(root);
    ShareWithGroup(root);
  }
  std::string candidate;
  for (unsigned n = 1;; ++n) {
    candidate = ctx.AddOnDataDir() + "Db/" + std::to_string(n);
    // A name taken by anything (an archive, a file, a link) is skipped; another user's save may
    // have taken it a moment ago.
    if (PathExists(candidate)) continue;
    const NewDirResult made = CreateNewDir(candidate);
    if (made == NewDirResult::Created) {
      // Another user of the agenda may restore and delete it.
      ShareWithGroup(candidate);
      // The archive must outlive a power cut as surely as the changes it will allow; a folder
      // whose name cannot be made durable takes no archive.
      if (!SyncDirectoryOf(ExcludeTrailingPathDelimiter(root)) || !SyncDirectoryOf(candidate)) {
        RemoveDir(candidate);
        return fail(candidate);
      }
      break;
    }
    if (made == NewDirResult::Exists) continue;
    return fail(candidate);
  }
  candidate += "/";
  if (!DirectoryExists(candidate)) return fail(candidate);
  job.ArchiveDir = candidate;
  return Result::Ok();
}

Result SaveLocks(SaveJob& job) {
  // Every table is closed however the save ends, before anyone is told how it ended.
  TableCloser closeArchive(job.BFLockFile);
  TableCloser closeMoney(job.BFMoneyFile);
  try {
    return SaveLocksUnguarded(job);
  } catch (const std::exception& e) {
    // The archive stays incomplete.
    return Result::Failed(e.what());
  }
}

Result CreateLockTable(const std::string& basePath, const std::string& programDir) {
  const std::string dat = basePath + ".dat";
  const std::string dia = basePath + ".dia";
  for (const std::string& old : {dat, dia, dat + "-wal", dat + "-shm"}) {
    if (PathExists(old)) DeleteFile(old);
  }
  if (PathExists(dat) || PathExists(dia)) return Result::Failed("Chyba: nelze vytvořit soubor " + basePath + ".%%%");
  const std::pair<std::string, std::string> pairs[] = {{programDir + "Pattern/DB1.DAT", dat},
                                                       {programDir + "Pattern/DB1.DIA", dia}};
  for (const auto& [source, target] : pairs) {
    if (!FileExists(source)) {
      return Result::Failed("Chyba: soubor " + source + " neexistuje. Proveďte reinstalaci tohoto programu.");
    }
    // The names of every copy are synced once, with the archive's folder, before the first
    // document changes.
    if (!CopyFile(source, target, false)) return Result::Failed("Chyba: nelze vytvořit soubor " + target);
    if (!FileExists(target)) return Result::Failed("Chyba: nepodařilo se vytvořit soubor " + target);
  }
  return Result::Ok();
}

std::string ArchiveTableName(const ModuleInfo& module, const YearRow& year) {
  return CutToChars(std::string(module.code) + year.YearExt, 10);
}

bool RecordableKey(const Variant& key, std::int32_t& number) {
  double exact = 0;
  return key.ToInt(number) && key.ToDouble(exact) && exact == static_cast<double>(number);
}

namespace {

Result SaveLocksUnguarded(SaveJob& job) {
  job.skipped.clear();
  job.counts = {};
  std::string yearsText;
  if (Result started = WriteArchiveStart(job); !started.IsOk()) return started;
  // From here on another save lists this archive as one whose save runs.
  if (job.archiveHeld) job.archiveHeld();
  if (Result listed = BuildFileList(job, yearsText); !listed.IsOk()) return listed;
  if (Result created = CreateArchiveTables(job); !created.IsOk()) return created;
  if (Result described = WriteArchiveDescription(job, yearsText); !described.IsOk()) return described;
  std::vector<int> documents;
  if (Result opened = OpenEveryTable(job, documents); !opened.IsOk()) return opened;

  job.counts.tables = static_cast<int>(job.mtFileList.size());
  if (job.observer) job.observer->JobBegins(documents);
  for (const FileListRow& row : job.mtFileList) {
    if (Result saved = SaveRow(job, row); !saved.IsOk()) return saved;
    ++job.counts.tablesDone;
    if (job.observer) job.observer->TableEnds();
  }

  // Completion: the mark, last of all.
  try {
    TIniFile info(job.ArchiveDir + "info");
    info.WriteInteger("MAIN", "Correct", 1);
  } catch (const std::exception&) {
    return Result::Failed(kInfoError);
  }
  if (!job.skipped.empty()) job.dialogs.Message(MsgKind::Warning, SkippedWarning(job.skipped));
  return Result::Ok();
}

// The start of the archive: its description, marked as not complete.
Result WriteArchiveStart(SaveJob& job) {
  const HostContext& ctx = job.context;
  if (Trim(job.choices.archiveName).empty()) job.choices.archiveName = kUnnamedArchiveName;
  try {
    TMemIniFile info(job.ArchiveDir + "info");
    const TDateTime now = Now();
    info.WriteString("MAIN", "AgendaExt", ctx.AgendaExt);
    info.WriteInteger("MAIN", "Correct", 0);
    info.WriteString("MAIN", "Name", job.choices.archiveName);
    info.WriteString("MAIN", "Date", DateToStr(now));
    info.WriteString("MAIN", "Time", TimeToStr(now));
    info.WriteString("MAIN", "AgendaName", ctx.AgendaName);
    // The order of saves for every reader, whatever its locale, time zone or clock change.
    info.WriteString("MAIN", "SavedUtc", UtcStamp());
    if (job.sequence > 0) info.WriteString("MAIN", "Sequence", std::to_string(job.sequence));
    info.UpdateFile();
  } catch (const std::exception&) {
    return Result::Failed(kInfoError);
  }
  return Result::Ok();
}

// The file list: marked years in the list's order, modules in the module table's order. Gives
// the years' names as the archive lists them ("2026, 2025").
Result BuildFileList(SaveJob& job, std::string& yearsText) {
  job.mtFileList.clear();
  std::size_t moduleCounter = 0;
  std::vector<std::string> names;
  for (const YearRow& year : job.years.Rows()) {
    if (!year.Checked) continue;
    names.push_back(year.YearName);
    for (std::size_t m = 0; m < kModuleCount; ++m) {
      if (!job.choices.filter[m]) continue;
      ++moduleCounter;
      job.mtFileList.push_back(MakeFileListRow(ArchiveTableName(kModules[m], year),
                                               "ROK." + year.YearExt + "\\" + kModules[m].moneyTable,
                                               kModules[m].workingText + year.YearName));
    }
  }
  if (moduleCounter != job.mtFileList.size()) {
    return Result::Failed("Interní chyba: počet databází k vytvoření neodpovídá filtru.");
  }
  yearsText = YearsText(names);
  return Result::Ok();
}

// Every archive table exists, and stays after a power cut, before the first Money table is
// opened.
Result CreateArchiveTables(SaveJob& job) {
  const HostContext& ctx = job.context;
  for (const FileListRow& row : job.mtFileList) {
    if (Result made = CreateLockTable(job.ArchiveDir + row.FileName, ctx.ProgramDir()); !made.IsOk()) return made;
  }
  if (!job.mtFileList.empty() && !SyncDirectoryOf(job.ArchiveDir)) {
    return Result::Failed("Chyba: nelze vytvořit soubor " + job.ArchiveDir + job.mtFileList.front().FileName + ".%%%");
  }
  return Result::Ok();
}

// The sections that describe what the archive holds, and the file list. Written before the first
// Money table is opened, so an interrupted save can be restored; they do not change afterwards.
// Each description write is one replace of the whole file.
Result WriteArchiveDescription(SaveJob& job, const std::string& yearsText) {
  try {
    TMemIniFile info(job.ArchiveDir + "info");
    info.WriteString("YEARS", "List", yearsText);
    for (std::size_t m = 0; m < kModuleCount; ++m) info.WriteBool("FILTER", kModules[m].code, job.choices.filter[m]);
    info.UpdateFile();
  } catch (const std::exception&) {
    return Result::Failed(kInfoError);
  }
  if (!WriteFileListFile(job.ArchiveDir + "info.tab", job.mtFileList)) return Result::Failed(kFileListError);
  return Result::Ok();
}

std::string SkippedWarning(const std::vector<SkippedDocuments>& skipped) {
  std::string text =
      "Zámky byly uloženy, ale některé doklady nemají celé číslo dokladu, podle kterého by je bylo možné "
      "v archivu později najít. Tyto doklady se do archivu neuložily a jejich zámek zůstal beze změny:\r";
  for (const SkippedDocuments& s : skipped) text += "\r" + s.WorkingStr + ": " + std::to_string(s.count);
  return text;
}

// Every table of the file list is opened once before the first document changes: a damaged Money
// table of a later module must stop the save while every document is still as it was. The first
// record's key and lock are read as well, so a table without those fields is found here too; and
// a table whose documents will change must have the index the restore finds them by, or their
// earlier states could never be put back. Each table's count of documents comes with it
// (`documents`, in the file list's order; 0 for a table that does not exist).
Result OpenEveryTable(SaveJob& job, std::vector<int>& documents) {
  documents.clear();
  for (const FileListRow& row : job.mtFileList) {
    const RowTables p = RowTablePaths(job.context, row, job.ArchiveDir);
    documents.push_back(0);
    if (FileExists(p.money + ".dat")) {
      if (Result opened = OpenWithRetry(job.BFMoneyFile, p.money, job.dialogs, row.WorkingStr); !opened.IsOk()) {
        return opened;
      }
      TableCloser closeMoney(job.BFMoneyFile);
      documents.back() = job.BFMoneyFile.RecCount();
      if (documents.back() >= 1) {
        if (job.BFMoneyFile.GoTop() != 0) return Result::Failed(PositionErrorText(p.money));
        const std::string keyField = KeyFieldForFileName(row.FileName);
        job.BFMoneyFile.Value(keyField);
        job.BFMoneyFile.Value("Uzamceni");
        if (job.choices.action != LockAction::NoAction && job.BFMoneyFile.SetOrder(keyField) != 0) {
          return Result::Failed(IndexErrorText(p.money));
        }
      }
    }
    if (job.BFLockFile.OpenTable(p.archive, kArchiveTableWriting) != 0) return Result::Failed(OpenErrorText(p.archive));
    job.BFLockFile.CloseTable();
  }
  return Result::Ok();
}

// One row of the file list: the Money table walked from its first record, block by block, each
// document recorded in the archive before it changes. Before any question the block is settled.
Result SaveRow(SaveJob& job, const FileListRow& row) {
  const RowTables p = RowTablePaths(job.context, row, job.ArchiveDir);

  ++job.counts.tablesBegun;
  if (job.observer) job.observer->TableBegins(job.counts.tablesBegun, job.counts.tables);
  job.progress.SetPosition(0);
  job.progress.SetText("Procházím " + row.WorkingStr + "...");
  job.progress.ProcessMessages();

  if (!FileExists(p.money + ".dat")) {
    ++job.counts.tablesAbsent;
    return Result::Ok();
  }
  if (Result opened = OpenWithRetry(job.BFMoneyFile, p.money, job.dialogs, row.WorkingStr); !opened.IsOk()) {
    return opened;
  }
  TableCloser closeMoney(job.BFMoneyFile);
  const int count = job.BFMoneyFile.RecCount();
  if (count < 1) return Result::Ok();
  job.progress.SetMaximum(count);
  if (job.BFMoneyFile.GoTop() != 0) return Result::Failed(PositionErrorText(p.money));
  if (job.BFLockFile.OpenTable(p.archive, kArchiveTableWriting) != 0) return Result::Failed(OpenErrorText(p.archive));
  TableCloser closeArchive(job.BFLockFile);
  // The archive's records come in walk order, their keys in no order of their own: the key index
  // is made once, with one sort, when the table's last block is written. Nothing seeks in an
  // archive table, so one whose save stopped half-way lacks nothing a restore needs. A table
  // whose index cannot be dropped (a component without it, a full disk) keeps it up to date as
  // its records come; its first post says what is wrong with the disk.
  static_cast<void>(job.BFLockFile.DeferIndexes());

  const std::string keyField = KeyFieldForFileName(row.FileName);
  const int blockSize = std::max(1, job.blockSize);
  // The documents left out for their keys are reported however the row ends.
  SkippedDocuments skipped{row.WorkingStr, 0};
  struct SkipReport {
    SaveJob& job;
    SkippedDocuments& skipped;
    ~SkipReport() {
      if (skipped.count > 0) job.skipped.push_back(skipped);
    }
  } report{job, skipped};
  SaveBlock block(job, p, row.WorkingStr, keyField);
  for (int counter = 0;; ++counter) {
    if (Result saved = SaveDocument(job, block, skipped.count); !saved.IsOk()) return saved;
    ProgressTick(job.progress, counter);
    if (Result asked = StopIfAsked(job, block); !asked.IsOk()) return asked;
    if (block.Full(blockSize)) {
      if (Result settled = block.Settle(); !settled.IsOk()) return settled;
    }
    job.BFMoneyFile.Skip();
    if (job.BFMoneyFile.IsEof()) break;
  }
  if (Result settled = block.Settle(); !settled.IsOk()) return settled;
  if (job.BFLockFile.BuildDeferredIndexes() != 0) return Result::Failed(IndexErrorText(p.archive));
  job.progress.SetPosition(0);
  job.progress.ProcessMessages();
  return Result::Ok();
}

// One document, in the order things happen to it: take its record lock, read it again, write its
// archive record, change it (in a block, the last three when the block is written). Ok to go on.
Result SaveDocument(SaveJob& job, SaveBlock& block, int& skipped) {
  ++job.counts.documents;
  const DocumentState walked = block.Walked();
  std::int32_t keyNumber = 0;
  if (!RecordableKey(walked.key, keyNumber)) {
    ++skipped;
    ++job.counts.unusableKey;
    return Result::Ok();
  }
  if (Result begun = block.Begin(); !begun.IsOk()) return begun;
  if (job.choices.action == LockAction::NoAction) return block.Record(walked);
  // A stop asked for before the first document changes ends the save with every document as it
  // was (and its archive removed); after that, the question comes after each document.
  if (block.NothingChanged()) {
    if (Result asked = StopIfAsked(job, block); !asked.IsOk()) return asked;
  }

  LockOutcome outcome = LockOutcome::Locked;
  Result locked = block.Lock(keyNumber, outcome);
  switch (outcome) {
    case LockOutcome::Unsettled:
      return locked;
    case LockOutcome::Held:
    case LockOutcome::Unavailable:
      return LeaveHeldDocument(block, walked, std::move(locked));
    case LockOutcome::Gone:
      // Another user deleted the document meanwhile: nothing is left to change, and its record
      // holds what was read before; the restore never finds it.
      ++job.counts.gone;
      return block.Record(walked);
    case LockOutcome::Locked:
      break;
  }
  return block.Locked(walked);
}

// A document another user holds and the user did not wait for (or whose lock file nobody can
// write): it stays as it was, and the archive holds what the walk read of it, as it holds every
// document the save reached. The save ends here, with `locked`.
Result LeaveHeldDocument(SaveBlock& block, const DocumentState& walked, Result locked) {
  if (Result recorded = block.Record(walked); !recorded.IsOk()) return recorded;
  if (Result settled = block.Settle(); !settled.IsOk()) return settled;
  return locked;
}

// The user's stop is asked about with every earlier document written.
Result StopIfAsked(SaveJob& job, const SaveBlock& block) {
  return StopIfAsked(job.progress, job.dialogs, MsgKind::Confirmation, kAbortQuestion, block.BeforeQuestion());
}

// Every marked year must stand in the archive under names that lead back to it alone: the Money
// path "ROK." + extension must reach the year's own directory (not "ROK.002" when "rok.002" was
// marked, nor a cut extension), the names must survive the archive's Windows-1250 text, and two
// marked years must never share one archive table. A save that breaks this is refused before
// anything is created.
Result CheckMarkedYears(const SaveJob& job) {
  const std::string& agenda = job.context.AgendaPath;
  const auto& rows = job.years.Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const YearRow& year = rows[i];
    if (!year.Checked) continue;
    if (Cp1250ToUtf8(Utf8ToCp1250(year.YearExt)) != year.YearExt ||
        ResolvePath(agenda + "ROK." + year.YearExt) != ResolvePath(agenda + year.entryName)) {
      return Result::Failed("Chyba: adresář účetního roku " + year.entryName +
                            " nelze v archivu zámků jednoznačně označit. Adresář roku přejmenujte na ROK.nnn.");
    }
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      if (!rows[j].Checked) continue;
      if (SameText(ArchiveTableName(kModules[0], year), ArchiveTableName(kModules[0], rows[j]))) {
        return Result::Failed("Chyba: účetní roky v adresářích " + year.entryName + " a " + rows[j].entryName +
                              " by se v archivu uložily do stejných souborů. Označte jen jeden z nich, nebo "
                              "adresář roku přejmenujte.");
      }
    }
  }
  return Result::Ok();
}

}  // namespace

}  // namespace vorlend
