#include "archive/catalogue.h"

#include <algorithm>
#include <random>

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

// The row of a listed archive of this agenda, read from its description file (one read, never
// through a link); false otherwise. `root` is the archive root as it is on the disk.
// `probeRunning`: an incomplete archive whose directory lock another process holds is a save that
// still runs. A job that holds the lock itself knows that no save runs.
bool ReadArchiveRow(const std::string& root, const std::string& dirName, const std::string& agendaExt, ArchiveRow& row,
                    bool probeRunning = true) {
  if (!IsArchiveNumber(dirName)) return false;
  const DirectoryHandle dir(root + dirName, false);
  std::string bytes;
  if (!dir.ReadFile("info", bytes)) return false;
  TMemIniFile info(root + dirName + "/info", bytes);
  // Only a save that finished sets Correct. One that stopped after writing its file list left an
  // incomplete archive that can still be restored; while its save runs, the save holds the
  // directory's lock.
  row.Complete = info.ReadBool("MAIN", "Correct", false);
  row.Running = !row.Complete && probeRunning && dir.LockedExclusively();
  if (!row.Complete && !row.Running && !dir.HasPlainFile("info.tab")) return false;
  if (UpperCase(info.ReadString("MAIN", "AgendaExt", "")) != UpperCase(agendaExt)) return false;
  row.MapName = CutToChars(info.ReadString("MAIN", "Name", ""), 50);
  row.MapDate = CutToChars(info.ReadString("MAIN", "Date", ""), 15);
  row.MapTime = CutToChars(info.ReadString("MAIN", "Time", ""), 10);
  row.AgendaName = CutToChars(info.ReadString("MAIN", "AgendaName", ""), 50);
  row.Dir = dirName;
  row.YearFilter = info.ReadString("YEARS", "List", "");
  row.ModuleCodes.clear();
  for (const ModuleInfo& m : kModules) {
    if (info.ReadBool("FILTER", m.Code, false)) row.ModuleCodes.push_back(m.Code);
  }
  return true;
}

// Archive directories by number, ascending.
bool ArchiveOrder(const ArchiveRow& a, const ArchiveRow& b) {
  return a.Dir.size() != b.Dir.size() ? a.Dir.size() < b.Dir.size() : a.Dir < b.Dir;
}

// The same archive as when the row was read: the save stamps each archive with its name, date and
// time, so another archive that took the number differs at least in its time.
// A save that ends makes its archive complete: a job meant for the running save's archive is not
// run on the archive it has become.
bool SameArchive(const ArchiveRow& a, const ArchiveRow& b) {
  return a.MapName == b.MapName && a.MapDate == b.MapDate && a.MapTime == b.MapTime && a.Complete == b.Complete;
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

// Renames the directory to a hidden name that is no archive and removes it. False when something
// could not be removed.
bool RemoveArchiveFolder(const std::string& path) {
  const std::string root = ExtractFilePath(ExcludeTrailingPathDelimiter(path));
  static std::mt19937 rng{std::random_device{}()};
  const std::string hidden = root + kDeletingPrefix + ExtractFileName(ExcludeTrailingPathDelimiter(path)) + "-" +
                             std::to_string(CurrentProcessId()) + "-" + std::to_string(rng() % 1000000u);
  const std::string target = RenamePath(path, hidden) ? hidden : path;
  // RemoveDirectoryTree never follows a symbolic link, so a link inside an archive cannot take
  // files outside it along.
  return RemoveDirectoryTree(target);
}

// Folders that a deletion cut short (the process killed) left behind under their hidden names.
// The deleting process holds the folder's lock until it is gone, so one that nobody holds is
// abandoned.
void RemoveAbandonedDeletions(const std::string& root) {
  for (const DirEntry& entry : FindEntries(root, std::string(kDeletingPrefix) + "*")) {
    if (!entry.isDirectory) continue;
    const std::string path = root + entry.name;
    const DirectoryLock lock(path, LockMode::Exclusive, 0);
    if (lock.Held() && lock.StillAt(path)) RemoveDirectoryTree(path);
  }
}
}  // namespace

int LoadArchiveList(const HostContext& ctx, ArchiveList& list) {
  list.Clear();
  const std::string root = ResolvePath(ctx.ArchiveRoot());
  if (DirectoryExists(root)) {
    std::vector<ArchiveRow> rows;
    for (const DirEntry& entry : FindEntries(root, "*.*")) {
      ArchiveRow row;
      if (entry.isDirectory && ReadArchiveRow(root, entry.name, ctx.AgendaExt, row)) rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), ArchiveOrder);
    for (auto& row : rows) list.Append(std::move(row));
  }
  return 0;
}

bool FindListedArchive(const HostContext& ctx, const std::string& dirName, ArchiveRow& row) {
  return ReadArchiveRow(ResolvePath(ctx.ArchiveRoot()), dirName, ctx.AgendaExt, row);
}

bool LatestCompleteArchive(const HostContext& ctx, ArchiveRow& latest) {
  ArchiveList list;
  LoadArchiveList(ctx, list);
  bool found = false;
  TDateTime best = 0;
  for (const ArchiveRow& row : list.Rows()) {
    if (!row.Complete) continue;
    // Numbers are taken again after a deletion: the newest is the one saved last, and among
    // archives saved in the same second (or with a date nobody can read) the higher number.
    TDateTime date = 0, time = 0;
    const TDateTime when = TryStrToDate(row.MapDate, date) ? date + (TryStrToTime(row.MapTime, time) ? time : 0) : 0;
    if (!found || when >= best) {
      latest = row;
      best = when;
      found = true;
    }
  }
  return found;
}

std::vector<ArchiveRow> IncompleteArchives(const HostContext& ctx) {
  ArchiveList list;
  LoadArchiveList(ctx, list);
  std::vector<ArchiveRow> rows;
  for (const ArchiveRow& row : list.Rows()) {
    if (!row.Complete) rows.push_back(row);
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
    if (HoldsOnlyAnUnusedStart(dir + "/", ctx.ProgramDir())) RemoveArchiveFolder(dir);
  }
  RemoveAbandonedDeletions(root);
}

std::string NotListedText(const HostContext& ctx, const std::string& dirName) {
  const std::string dir = ctx.ArchiveRoot() + dirName + "/";
  const std::string name = "Archiv " + dirName;
  if (!DirectoryExists(dir)) return name + " neexistuje.";
  TIniFile info(dir + "info");
  if (!FileExists(dir + "info")) return name + " nemá popisný soubor info, není to archiv zámků.";
  if (UpperCase(info.ReadString("MAIN", "AgendaExt", "")) != UpperCase(ctx.AgendaExt)) {
    return name + " patří k jiné agendě.";
  }
  return name + " nemá seznam souborů info.tab: jeho uložení skončilo dřív, než začalo měnit doklady.";
}

ArchiveHold::ArchiveHold(const HostContext& ctx, const ArchiveRow& row, LockMode mode)
    : m_ctx(ctx),
      m_row(row),
      m_path(ArchiveDirOf(ctx, row, false)),
      // A save holds its archive until it ends: nothing is gained by waiting for it.
      m_lock(m_path, mode, row.Running ? 0 : kHoldWaitMs) {
  m_access = m_lock.Held() ? Check() : Refused();
}

ArchiveAccess ArchiveHold::Refused() const {
  ArchiveRow now;
  if (!m_lock.Busy() || !FindListedArchive(m_ctx, m_row.Dir, now) || !SameArchive(now, m_row)) {
    return ArchiveAccess::Gone;
  }
  // Readers hold it shared, a deletion exclusively; an incomplete archive held exclusively is a
  // save that runs.
  return now.Running ? ArchiveAccess::Saving : ArchiveAccess::InUse;
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

std::string ArchiveHold::Dir() const { return IncludeTrailingPathDelimiter(m_path); }

std::string ArchiveHold::RefusalText() const {
  const std::string name = "Archiv \"" + m_row.MapName + "\"";
  switch (m_access) {
    case ArchiveAccess::Held: return {};
    case ArchiveAccess::Gone: return name + " mezitím smazal nebo změnil jiný uživatel; s archivem se nic neprovedlo.";
    case ArchiveAccess::Saving:
      return name + " se právě ukládá: jeho uložení ještě neskončilo. Obnovit nebo smazat ho lze až po jeho konci.";
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

int ShowRecapitulation(const std::string& archiveDir, Recapitulation& recap) {
  std::string bytes;
  DirectoryHandle(archiveDir).ReadFile("info", bytes);
  TMemIniFile info(IncludeTrailingPathDelimiter(archiveDir) + "info", bytes);
  recap.Complete = info.ReadBool("MAIN", "Correct", false);
  recap.Name = info.ReadString("MAIN", "Name", "");
  recap.AgendaName = info.ReadString("MAIN", "AgendaName", "");
  recap.Date = info.ReadString("MAIN", "Date", "");
  recap.Time = info.ReadString("MAIN", "Time", "");
  recap.YearFilter = info.ReadString("YEARS", "List", "");
  std::string filter;
  for (const ModuleInfo& m : kModules) {
    if (info.ReadBool("FILTER", m.Code, false)) filter += m.RecapText;
  }
  filter = Trim(filter);
  if (!filter.empty()) filter.pop_back();
  recap.DocumentFilter = filter;
  return 0;
}

int DeleteArchiveDirectory(const HostContext& ctx, const std::string& path, Dialogs& dialogs) {
  auto fail = [&] {
    dialogs.Message(MsgKind::Error, "Nelze smazat adresář " + ctx.Shown(path));
    return -1;
  };
  if (!PathExists(path)) return fail();
  // The archive leaves the catalogue in one step: its folder is first renamed to a hidden name
  // that is no archive, and only then emptied, so a deletion cut short never leaves a listed
  // archive with parts missing.
  const bool removed = RemoveArchiveFolder(path);
  RemoveAbandonedDeletions(ExtractFilePath(ExcludeTrailingPathDelimiter(path)));
  return removed ? 0 : fail();
}

}  // namespace vorlend
