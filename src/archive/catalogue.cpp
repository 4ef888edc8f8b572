#include "archive/catalogue.h"

#include <algorithm>
#include <random>

#include "archive/file_list.h"
#include "archive/modules.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace vorlend {

namespace {
// An archive being deleted goes by this name until its last file is gone.
constexpr const char* kDeletingPrefix = ".mazany-";
// The folder whose lock a save holds while it checks for other saves and makes its archive.
constexpr const char* kSaveStartName = ".ukladani";
// A save's start takes moments; one that waits longer than this says so instead.
constexpr int kSaveStartWaitMs = 60000;
}  // namespace

void ArchiveList::Append(ArchiveRow row) {
  m_rows.push_back(std::move(row));
  m_current = m_rows.size() - 1;
}

void ArchiveList::DeleteCurrent() {
  if (m_rows.empty()) return;
  m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(m_current));
  if (m_current >= m_rows.size() && m_current > 0) --m_current;
}

std::string ArchiveDirOf(const HostContext& ctx, const ArchiveRow& row, bool trailingSeparator) {
  const std::string dir = ctx.ArchiveRoot() + row.Dir;
  return trailingSeparator ? IncludeTrailingPathDelimiter(dir) : dir;
}

namespace {
// Waits this long for another user's momentary hold on an archive.
constexpr int kHoldWaitMs = 1000;

// A name the save gives an archive directory: a decimal number from 1 to 2147483647 without a
// sign, blank or leading zero. Only such names are archives, so every listed archive is reached
// again by its number.
bool IsArchiveNumber(const std::string& name) {
  if (name.empty() || name.size() > 10 || name[0] == '0' || name.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  return std::stoll(name) <= 2147483647LL;
}

long long ReadSequence(TCustomIniFile& info) {
  const std::string text = info.ReadString("MAIN", "Sequence", "");
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoll(text);
}

// The archive's file list, read once: the tables it names and, unless its save still runs (and may
// not have written it yet), why it cannot be the one the save wrote beside the description.
void ReadFileListOf(const DirectoryHandle& dir, TCustomIniFile& info, ArchiveRow& row) {
  std::string bytes;
  row.tables.clear();
  const bool read = dir.ReadFile("info.tab", bytes);
  const FileList files = read ? DecodeFileList(bytes) : FileList{};
  for (const FileListRow& r : files) row.tables.push_back(UpperCase(r.FileName));
  if (row.running) {
    row.damage.clear();
  } else {
    row.damage = read ? FileListDamage(files, info) : "seznam souborů info.tab chybí nebo ho nelze přečíst";
  }
}

// The message for an archive root that cannot be read.
std::string UnreadableRootText(const HostContext& ctx, int error) {
  return "Adresář archivů zámků " + ctx.ArchiveRoot() + " nelze přečíst (" + SystemErrorText(error) + ").";
}

// The row of a listed archive of this agenda, read from its description file (one read, never
// through a link); false otherwise. `root` is the archive root as it is on the disk.
// `probeRunning`: an incomplete archive whose directory lock another process holds is a save that
// still runs. A job that holds the lock itself knows that no save runs.
bool ReadArchiveRow(const std::string& root, const std::string& dirName, const std::string& agendaExt, ArchiveRow& row,
                    bool probeRunning = true) {
  if (!IsArchiveNumber(dirName)) return false;
  const DirectoryHandle dir(root + dirName, false);
  // An archive this user may not open is not hidden: it may hold the only states of documents.
  if (!dir.IsOpen() && IsPermissionError(dir.Error())) {
    row = ArchiveRow{};
    row.Dir = dirName;
    row.complete = false;
    row.damage = "adresář nelze otevřít (" + SystemErrorText(dir.Error()) + ")";
    return true;
  }
  std::string bytes;
  if (!dir.ReadFile("info", bytes)) return false;
  TMemIniFile info(root + dirName + "/info", bytes);
  // Only a save that finished sets Correct. One that stopped after writing its file list left an
  // incomplete archive that can still be restored; while its save runs, the save holds the
  // directory's lock.
  row.complete = info.ReadBool("MAIN", "Correct", false);
  row.running = !row.complete && probeRunning && dir.LockedExclusively();
  if (!row.complete && !row.running && !dir.HasPlainFile("info.tab")) return false;
  if (UpperCase(info.ReadString("MAIN", "AgendaExt", "")) != UpperCase(agendaExt)) return false;
  row.MapName = CutToChars(info.ReadString("MAIN", "Name", ""), 50);
  row.MapDate = CutToChars(info.ReadString("MAIN", "Date", ""), 15);
  row.MapTime = CutToChars(info.ReadString("MAIN", "Time", ""), 10);
  row.AgendaName = CutToChars(info.ReadString("MAIN", "AgendaName", ""), 50);
  row.Dir = dirName;
  row.yearFilter = info.ReadString("YEARS", "List", "");
  row.moduleCodes.clear();
  for (const ModuleInfo& m : kModules) {
    if (info.ReadBool("FILTER", m.code, false)) row.moduleCodes.push_back(m.code);
  }
  row.savedUtc = info.ReadString("MAIN", "SavedUtc", "");
  row.sequence = ReadSequence(info);
  ReadFileListOf(dir, info, row);
  return true;
}

// Archive directories by number, ascending.
bool ArchiveOrder(const ArchiveRow& a, const ArchiveRow& b) {
  return a.Dir.size() != b.Dir.size() ? a.Dir.size() < b.Dir.size() : a.Dir < b.Dir;
}

// The same archive as when the row was read: the save stamps each archive with its name, date,
// time, sequence and UTC time, so another archive that took the number differs at least in those
// (one saved before the stamps were written, in its time).
// A save that ends makes its archive complete: a job meant for the running save's archive is not
// run on the archive it has become.
bool SameArchive(const ArchiveRow& a, const ArchiveRow& b) {
  return a.MapName == b.MapName && a.MapDate == b.MapDate && a.MapTime == b.MapTime && a.complete == b.complete &&
         a.sequence == b.sequence && a.savedUtc == b.savedUtc;
}

bool IsPrefixOf(const std::string& part, const std::string& whole) {
  return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// True when the directory holds only what a save writes before its file list: the description
// file (and its temporaries) and copies of the template tables, possibly cut short, into which
// nothing was ever written. The save writes its description only once it holds its directory, so
// one without it may be a save's that has just made it: an empty directory counts only once it
// is a minute old.
bool HoldsOnlyAnUnusedStart(const std::string& dir, const std::string& programDir) {
  if (!FileExists(dir + "info")) {
    return FindEntries(dir, "*").empty() && SecondsSinceModified(dir) > 60;
  }
  std::string templateDat, templateDia;
  if (!ReadWholeFile(programDir + "Pattern/DB1.DAT", templateDat, kMaxSmallFileBytes) ||
      !ReadWholeFile(programDir + "Pattern/DB1.DIA", templateDia, kMaxSmallFileBytes)) {
    return false;
  }
  for (const DirEntry& entry : FindEntries(dir, "*")) {
    if (entry.isDirectory || entry.isSymlink) return false;
    const std::string name = UpperCase(entry.name);
    if (name == "INFO" || StartsWith(name, "INFO.~")) continue;
    const std::string ext = ExtractFileExt(name);
    if (ext != ".DAT" && ext != ".DIA") return false;
    std::string bytes;
    if (!ReadWholeFile(dir + entry.name, bytes, kMaxSmallFileBytes) ||
        !IsPrefixOf(bytes, ext == ".DAT" ? templateDat : templateDia)) {
      return false;
    }
  }
  return true;
}

// Puts a folder whose deletion did not finish back under a number: its own while it is free, else
// the next free one, so the lock states it holds stay in the list. The number it took, or empty.
std::string PutBack(const std::string& folder, const std::string& root, const std::string& number) {
  long long n = IsArchiveNumber(number) ? std::stoll(number) : 1;
  for (int tries = 0; tries < 1000; ++tries, ++n) {
    std::string name = std::to_string(n);
    if (!PathExists(root + name) && RenamePath(folder, root + name)) return name;
  }
  return {};
}

// Renames the directory to a hidden name that is no archive and removes it, its file list first:
// a hidden folder that still holds its file list lost nothing yet. False when something could not
// be removed: the folder then goes back under a number (`putBack`), its file list with it.
bool RemoveArchiveFolder(const std::string& path, std::string& putBack) {
  const std::string root = ExtractFilePath(ExcludeTrailingPathDelimiter(path));
  const std::string number = ExtractFileName(ExcludeTrailingPathDelimiter(path));
  static std::mt19937 rng{std::random_device{}()};
  const std::string hidden = root + kDeletingPrefix + number + "-" + std::to_string(CurrentProcessId()) + "-" +
                             std::to_string(rng() % 1000000u);
  std::string fileList;
  const bool hadFileList = DirectoryHandle(path).ReadFile("info.tab", fileList);
  if (!RenamePath(path, hidden)) return false;
  // RemoveDirectoryTree never follows a symbolic link, so a link inside an archive cannot take
  // files outside it along.
  if ((!hadFileList || DeleteFile(hidden + "/info.tab")) && RemoveDirectoryTree(hidden)) return true;
  // Back under a number even when the file list cannot be written again: a numbered folder with
  // filled tables is never taken for an abandoned start, a hidden one would be removed.
  if (hadFileList && !FileExists(hidden + "/info.tab"))
    static_cast<void>(WriteFileAtomic(hidden + "/info.tab", fileList));
  putBack = PutBack(hidden, root, number);
  return false;
}

// Folders that a deletion cut short (the process killed) left behind under their hidden names.
// The deleting process holds the folder's lock until it is gone, so one that nobody holds is
// abandoned. One that still holds its file list lost nothing and goes back into the list; the
// rest are removed.
void RemoveAbandonedDeletions(const std::string& root) {
  for (const DirEntry& entry : FindEntries(root, std::string(kDeletingPrefix) + "*")) {
    if (!entry.isDirectory) continue;
    const std::string path = root + entry.name;
    const DirectoryLock lock(path, LockMode::Exclusive, 0);
    if (!lock.Held() || !lock.StillAt(path)) continue;
    if (DirectoryHandle(path).HasPlainFile("info.tab")) {
      const std::string number = entry.name.substr(std::string(kDeletingPrefix).size());
      PutBack(path, root, number.substr(0, number.find('-')));
    } else {
      RemoveDirectoryTree(path);
    }
  }
}
}  // namespace

Result LoadArchiveList(const HostContext& ctx, ArchiveList& list) {
  list.Clear();
  const std::string root = ResolvePath(ctx.ArchiveRoot());
  if (Result readable = ArchiveRootReadable(ctx); !readable.IsOk()) return readable;
  if (!PathExists(root)) return Result::Ok();  // no archive saved yet
  int error = 0;
  const std::vector<DirEntry> entries = FindEntries(root, "*.*", &error);
  if (error != 0) return Result::Failed(UnreadableRootText(ctx, error));
  std::vector<ArchiveRow> rows;
  for (const DirEntry& entry : entries) {
    ArchiveRow row;
    if (entry.isDirectory && ReadArchiveRow(root, entry.name, ctx.AgendaExt, row)) rows.push_back(std::move(row));
  }
  std::stable_sort(rows.begin(), rows.end(), ArchiveOrder);
  for (auto& row : rows) list.Append(std::move(row));
  return Result::Ok();
}

bool FindListedArchive(const HostContext& ctx, const std::string& dirName, ArchiveRow& row) {
  return ReadArchiveRow(ResolvePath(ctx.ArchiveRoot()), dirName, ctx.AgendaExt, row);
}

namespace {
// The date and time of saving as the list shows them, for archives saved before the UTC time was
// kept: read in the Czech formats the add-on writes where no other locale is set, else in the
// reader's; 0 when neither reads it.
TDateTime ShownTimeOfSaving(const ArchiveRow& row) {
  for (const LocaleFormats& formats : {CzechLocaleFormats(), FormatSettings()}) {
    TDateTime date = 0, time = 0;
    if (TryStrToDate(row.MapDate, date, formats)) return date + (TryStrToTime(row.MapTime, time, formats) ? time : 0);
  }
  return 0;
}
}  // namespace

std::string FileListDamage(const FileList& files, TCustomIniFile& info) {
  ModuleFilter modules{};
  for (std::size_t m = 0; m < kModuleCount; ++m) modules[m] = info.ReadBool("FILTER", kModules[m].code, false);
  return FileListDamage(files, info.ReadString("YEARS", "List", ""), modules);
}

bool SavedAfter(const ArchiveRow& a, const ArchiveRow& b) {
  if (a.sequence != b.sequence) return a.sequence > b.sequence;
  if (a.savedUtc != b.savedUtc) return a.savedUtc > b.savedUtc;
  const TDateTime ta = ShownTimeOfSaving(a), tb = ShownTimeOfSaving(b);
  if (ta != tb) return ta > tb;
  return ArchiveOrder(b, a);
}

bool LatestArchive(const HostContext& ctx, ArchiveRow& latest) {
  ArchiveList list;
  static_cast<void>(LoadArchiveList(ctx, list));  // an unreadable root lists nothing
  bool found = false;
  for (const ArchiveRow& row : list.Rows()) {
    if (!found || SavedAfter(row, latest)) latest = row;
    found = true;
  }
  return found;
}

long long NextSaveSequence(const ArchiveList& list) {
  long long highest = 0;
  for (const ArchiveRow& row : list.Rows()) highest = std::max(highest, row.sequence);
  return highest + 1;
}

std::vector<ArchiveRow> NewerArchivesHolding(const HostContext& ctx, const ArchiveRow& row) {
  ArchiveList list;
  static_cast<void>(LoadArchiveList(ctx, list));  // an unreadable root lists nothing
  std::vector<ArchiveRow> newer;
  for (const ArchiveRow& other : list.Rows()) {
    if (other.Dir == row.Dir || !SavedAfter(other, row)) continue;
    const bool shared = std::any_of(row.tables.begin(), row.tables.end(), [&](const std::string& t) {
      return std::find(other.tables.begin(), other.tables.end(), t) != other.tables.end();
    });
    if (shared) newer.push_back(other);
  }
  std::sort(newer.begin(), newer.end(), [](const ArchiveRow& a, const ArchiveRow& b) { return SavedAfter(a, b); });
  return newer;
}

SaveStartLock::SaveStartLock(const HostContext& ctx) : m_path(ctx.ArchiveRoot() + kSaveStartName) {
  // Every user of the agenda saves here: the folders are the group's as well as their maker's.
  if (!DirectoryExists(ctx.ArchiveRoot()) && CreateDir(ctx.ArchiveRoot())) ShareWithGroup(ctx.ArchiveRoot());
  if (!DirectoryExists(m_path) && CreateDir(m_path)) ShareWithGroup(m_path);
  m_lock = std::make_unique<DirectoryLock>(m_path, LockMode::Exclusive, kSaveStartWaitMs);
}

std::string SaveStartLock::FailureText() const {
  if (m_lock && m_lock->Busy()) {
    return "Jiný uživatel právě zakládá archiv zámků této agendy a jeho začátek trvá déle než obvykle. Zkuste to "
           "prosím znovu za chvíli.";
  }
  return "Chyba: nelze vytvořit adresář " + m_path;
}

std::vector<ArchiveRow> IncompleteArchives(const HostContext& ctx) {
  ArchiveList list;
  static_cast<void>(LoadArchiveList(ctx, list));  // an unreadable root lists nothing
  std::vector<ArchiveRow> rows;
  for (const ArchiveRow& row : list.Rows()) {
    if (!row.complete) rows.push_back(row);
  }
  return rows;
}

void RemoveAbandonedSaves(const HostContext& ctx) {
  const std::string root = ResolvePath(ctx.ArchiveRoot());
  if (!DirectoryExists(root)) return;
  for (const DirEntry& entry : FindEntries(root, "*")) {
    if (!entry.isDirectory || !IsArchiveNumber(entry.name)) continue;
    const std::string dir = root + entry.name;
    auto hasFileList = [&] { return DirectoryHandle(dir, false).HasPlainFile("info.tab"); };
    if (hasFileList() || TIniFile(dir + "/info").ReadBool("MAIN", "Correct", false)) continue;
    // A save holds its new directory from just after making it until it ends. One that made it a
    // moment ago and has not taken its lock yet finds the directory gone and makes another.
    const DirectoryLock lock(dir, LockMode::Exclusive, 0);
    if (!lock.Held() || !lock.StillAt(dir) || hasFileList()) continue;
    std::string putBack;
    if (HoldsOnlyAnUnusedStart(dir + "/", ctx.ProgramDir())) RemoveArchiveFolder(dir, putBack);
  }
  RemoveAbandonedDeletions(root);
}

Result ArchiveRootReadable(const HostContext& ctx) {
  const std::string root = ResolvePath(ctx.ArchiveRoot());
  if (!PathExists(root)) return Result::Ok();
  if (!DirectoryExists(root)) return Result::Failed("Adresář archivů zámků " + ctx.ArchiveRoot() + " není adresář.");
  const DirectoryHandle folder(root, false);
  if (!folder.IsOpen()) return Result::Failed(UnreadableRootText(ctx, folder.Error()));
  return Result::Ok();
}

std::string NotListedText(const HostContext& ctx, const std::string& dirName) {
  const std::string dir = ctx.ArchiveRoot() + dirName;
  const std::string name = "Archiv " + dirName;
  if (Result readable = ArchiveRootReadable(ctx); !readable.IsOk()) return readable.Message();
  if (!PathExists(dir)) return name + " neexistuje.";
  if (IsSymbolicLink(dir)) return name + " je symbolický odkaz; archivy se přes odkazy nečtou.";
  if (!DirectoryExists(dir)) return name + " není adresář, není to archiv zámků.";
  // Read as the list reads it: through the folder itself, never a link.
  const DirectoryHandle folder(dir);
  if (!folder.IsOpen()) return name + ": adresář " + dir + " nelze otevřít.";
  if (!PathExists(dir + "/info")) return name + " nemá popisný soubor info, není to archiv zámků.";
  std::string bytes;
  if (IsSymbolicLink(dir + "/info")) return name + ": popisný soubor info je symbolický odkaz; nečte se.";
  if (!folder.ReadFile("info", bytes)) return name + ": popisný soubor " + dir + "/info nelze přečíst.";
  TMemIniFile info(dir + "/info", bytes);
  const std::string agendaExt = info.ReadString("MAIN", "AgendaExt", "");
  if (agendaExt.empty()) return name + ": popisný soubor info neuvádí agendu, není to popis archivu zámků.";
  if (UpperCase(agendaExt) != UpperCase(ctx.AgendaExt)) return name + " patří k jiné agendě (" + agendaExt + ").";
  if (PathExists(dir + "/info.tab") && !folder.HasPlainFile("info.tab")) {
    return name + ": seznam souborů info.tab není obyčejný soubor; nečte se.";
  }
  return name + " nemá seznam souborů info.tab: jeho uložení skončilo dřív, než začalo měnit doklady.";
}

ArchiveHold::ArchiveHold(const HostContext& ctx, const ArchiveRow& row, LockMode mode)
    : m_ctx(ctx),
      m_row(row),
      m_path(ArchiveDirOf(ctx, row, false)),
      // A save holds its archive until it ends: nothing is gained by waiting for it.
      m_lock(m_path, mode, row.running ? 0 : kHoldWaitMs) {
  m_access = m_lock.Held() ? Check() : Refused();
}

ArchiveAccess ArchiveHold::Refused() const {
  if (IsPermissionError(m_lock.Error())) return ArchiveAccess::Unreadable;
  ArchiveRow now;
  if (!m_lock.Busy() || !FindListedArchive(m_ctx, m_row.Dir, now) || !SameArchive(now, m_row)) {
    return ArchiveAccess::Gone;
  }
  // Readers hold it shared, a deletion exclusively; an incomplete archive held exclusively is a
  // save that runs.
  return now.running ? ArchiveAccess::Saving : ArchiveAccess::InUse;
}

ArchiveAccess ArchiveHold::Check() const {
  ArchiveRow now;
  if (!m_lock.StillAt(m_path) ||
      !ReadArchiveRow(ResolvePath(m_ctx.ArchiveRoot()), m_row.Dir, m_ctx.AgendaExt, now, false) ||
      !SameArchive(now, m_row)) {
    return ArchiveAccess::Gone;
  }
  return ArchiveAccess::Held;
}

ArchiveAccess ArchiveHold::Upgrade() {
  if (m_access != ArchiveAccess::Held) return m_access;
  m_access = m_lock.Upgrade(kHoldWaitMs) ? Check() : (m_lock.Busy() ? ArchiveAccess::InUse : ArchiveAccess::Gone);
  return m_access;
}

std::string ArchiveHold::Dir() const {
  return IncludeTrailingPathDelimiter(m_path);
}

std::string ArchiveHold::GoneText() const {
  return "Archiv \"" + m_row.MapName + "\" mezitím smazal nebo změnil jiný uživatel; s archivem se nic neprovedlo.";
}

std::string ArchiveHold::RefusalText() const {
  const std::string name = "Archiv \"" + m_row.MapName + "\"";
  switch (m_access) {
    case ArchiveAccess::Held:
      return {};
    case ArchiveAccess::Gone:
      return GoneText();
    case ArchiveAccess::Saving:
      return name + " se právě ukládá: jeho uložení ještě neskončilo. Obnovit nebo smazat ho lze až po jeho konci.";
    case ArchiveAccess::Unreadable:
      return "Archiv " + m_row.Dir + ": adresář " + m_path + " nelze otevřít (" + SystemErrorText(m_lock.Error()) +
             ").";
    case ArchiveAccess::InUse:
      return "S archivem \"" + m_row.MapName +
             "\" právě pracuje jiný uživatel. Archiv zůstal beze změny; zkuste to prosím znovu později.";
  }
  return {};
}

bool ArchiveHold::HeldOrSay(Dialogs& dialogs) const {
  if (Held()) return true;
  dialogs.Message(m_access == ArchiveAccess::Gone ? MsgKind::Warning : MsgKind::Error, RefusalText());
  return false;
}

void ShowRecapitulation(const std::string& archiveDir, Recapitulation& recap) {
  std::string bytes;
  DirectoryHandle(archiveDir).ReadFile("info", bytes);
  TMemIniFile info(IncludeTrailingPathDelimiter(archiveDir) + "info", bytes);
  recap.complete = info.ReadBool("MAIN", "Correct", false);
  recap.Name = info.ReadString("MAIN", "Name", "");
  recap.AgendaName = info.ReadString("MAIN", "AgendaName", "");
  recap.Date = info.ReadString("MAIN", "Date", "");
  recap.Time = info.ReadString("MAIN", "Time", "");
  recap.yearFilter = info.ReadString("YEARS", "List", "");
  std::string filter;
  for (const ModuleInfo& m : kModules) {
    if (info.ReadBool("FILTER", m.code, false)) filter += m.recapText;
  }
  filter = Trim(filter);
  if (!filter.empty()) filter.pop_back();
  recap.documentFilter = filter;
}

Result DeleteArchiveDirectory(const std::string& path) {
  auto fail = [&](const std::string& why) { return Result::Failed("Nelze smazat adresář " + path + why); };
  if (!PathExists(path)) return fail("");
  // Nothing goes unless everything can: a deletion that stopped at a file it may not remove
  // would leave the archive with parts missing.
  std::string blocker, reason;
  if (!TreeRemovable(path, blocker, reason)) {
    const std::string resolved = ResolvePath(ExcludeTrailingPathDelimiter(path));
    const std::string inside = StartsWith(blocker, resolved + "/") ? blocker.substr(resolved.size() + 1) : "";
    return fail((inside.empty() ? std::string() : ": soubor " + inside) + " nelze smazat (" + reason +
                "). Archiv zůstal beze změny.");
  }
  // The archive leaves the catalogue in one step: its folder is first renamed to a hidden name
  // that is no archive, and only then emptied, so a deletion cut short never leaves a listed
  // archive with parts missing.
  std::string putBack;
  const bool removed = RemoveArchiveFolder(path, putBack);
  RemoveAbandonedDeletions(ExtractFilePath(ExcludeTrailingPathDelimiter(path)));
  if (removed) return Result::Ok();
  if (putBack.empty()) return fail(". Archiv zůstal beze změny.");
  return fail(": některé jeho soubory nešlo smazat. Archiv je znovu v seznamu pod číslem " + putBack + ".");
}

}  // namespace vorlend
