#include "archive/catalogue.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "archive/modules.h"
#include "platform/files.h"
#include "platform/ini.h"
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
// The row of a listed archive of this agenda, read from its description file; false otherwise.
bool ReadArchiveRow(const std::string& root, const std::string& dirName, const std::string& agendaExt, ArchiveRow& row) {
  const std::string dir = root + dirName + "/";
  if (CharCount(dirName) > 12 || StartsWith(dirName, kDeletingPrefix) || !DirectoryExists(dir) ||
      !FileExists(dir + "info")) {
    return false;
  }
  TIniFile info(dir + "info");
  // Only a save that finished sets Correct. One that stopped after writing its file list left an
  // incomplete archive that can still be restored; while its save runs, the save holds the
  // directory's lock, and the archive is not offered yet.
  row.Complete = info.ReadBool("MAIN", "Correct", false);
  if (!row.Complete && (!FileExists(dir + "info.tab") || DirectoryLocked(dir))) return false;
  if (UpperCase(info.ReadString("MAIN", "AgendaExt", "")) != UpperCase(agendaExt)) return false;
  row.MapName = CutToChars(info.ReadString("MAIN", "Name", ""), 50);
  row.MapDate = CutToChars(info.ReadString("MAIN", "Date", ""), 15);
  row.MapTime = CutToChars(info.ReadString("MAIN", "Time", ""), 10);
  row.AgendaName = CutToChars(info.ReadString("MAIN", "AgendaName", ""), 50);
  row.Dir = dirName;
  return true;
}

// Archive directories by number, ascending; names that are no number after them, by name.
bool ArchiveOrder(const ArchiveRow& a, const ArchiveRow& b) {
  int na = 0, nb = 0;
  const bool numA = ParseInt32(a.Dir, na) && na >= 0;
  const bool numB = ParseInt32(b.Dir, nb) && nb >= 0;
  if (numA != numB) return numA;
  if (numA && na != nb) return na < nb;
  return a.Dir < b.Dir;
}
}  // namespace

int LoadArchiveList(const HostContext& ctx, ArchiveList& list) {
  list.Clear();
  const std::string root = ctx.ArchiveRoot();
  if (DirectoryExists(root)) {
    std::vector<ArchiveRow> rows;
    for (const DirEntry& entry : FindEntries(root, "*.*")) {
      // A name longer than the list's field could not lead back to its directory.
      ArchiveRow row;
      if (ReadArchiveRow(root, entry.name, ctx.AgendaExt, row)) rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), ArchiveOrder);
    for (auto& row : rows) list.Append(std::move(row));
  }
  return 0;
}

bool ArchiveStillListed(const HostContext& ctx, const ArchiveRow& row, Dialogs& dialogs) {
  ArchiveRow now;
  if (ReadArchiveRow(ctx.ArchiveRoot(), row.Dir, ctx.AgendaExt, now) && now.MapName == row.MapName &&
      now.MapDate == row.MapDate && now.MapTime == row.MapTime) {
    return true;
  }
  dialogs.Message(MsgKind::Warning, "Archiv \"" + row.MapName +
                                        "\" mezitím smazal nebo změnil jiný uživatel. Seznam archivů bude načten znovu.");
  return false;
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

std::string IncompleteArchiveQuestion(const ArchiveRow& row) {
  return "Archiv \"" + row.MapName + "\" uložený " + row.MapDate + " " + row.MapTime +
         " nebyl dokončen: jeho uložení se přerušilo a doklady, které stihlo zpracovat, mohou mít změněný "
         "zámek. Jejich původní stav je jen v tomto archivu.\r\rDoporučujeme nejprve vrátit zámky z tohoto "
         "archivu. Chcete přesto pokračovat v novém uložení ?";
}

int ShowRecapitulation(const std::string& archiveDir, Recapitulation& recap) {
  TIniFile info(IncludeTrailingPathDelimiter(archiveDir) + "info");
  recap.Complete = info.ReadBool("MAIN", "Correct", false);
  recap.Name = info.ReadString("MAIN", "Name", "");
  recap.AgendaName = info.ReadString("MAIN", "AgendaName", "");
  recap.Date = info.ReadString("MAIN", "Date", "");
  recap.Time = info.ReadString("MAIN", "Time", "");
  recap.YearFilter = info.ReadString("YEARS", "List", "");
  std::string filter;
  for (const ModuleInfo& m : Modules) {
    if (info.ReadBool("FILTER", m.Code, false)) filter += m.RecapText;
  }
  filter = Trim(filter);
  if (!filter.empty()) filter.pop_back();
  recap.DocumentFilter = filter;
  return 0;
}

namespace {

// Folders that a deletion cut short (the process killed) left behind under their hidden names;
// one whose deleting process still runs is left to it.
void RemoveAbandonedDeletions(const std::string& root) {
  for (const DirEntry& entry : FindEntries(root, std::string(kDeletingPrefix) + "*")) {
    const std::vector<std::string> parts = Split(entry.name.substr(std::strlen(kDeletingPrefix)), '-');
    int pid = 0;
    if (parts.size() < 2 || !ParseInt32(parts[1], pid) || pid <= 0) continue;
    if (::kill(pid, 0) != 0 && errno == ESRCH) RemoveDirectoryTree(root + entry.name);
  }
}
}  // namespace

int DeleteArchiveDirectory(const HostContext& ctx, const std::string& path, Dialogs& dialogs) {
  auto fail = [&] {
    dialogs.Message(MsgKind::Error, "Nelze smazat adresář " + ctx.Shown(path));
    return -1;
  };
  if (!PathExists(path)) return fail();
  // The archive leaves the catalogue in one step: its folder is first renamed to a hidden name
  // that is no archive, and only then emptied, so a deletion cut short never leaves a listed
  // archive with parts missing.
  const std::string root = ExtractFilePath(ExcludeTrailingPathDelimiter(path));
  static std::mt19937 rng{std::random_device{}()};
  const std::string hidden = root + kDeletingPrefix + ExtractFileName(ExcludeTrailingPathDelimiter(path)) + "-" +
                             std::to_string(::getpid()) + "-" + std::to_string(rng() % 1000000u);
  const std::string target = RenamePath(path, hidden) ? hidden : path;
  // RemoveDirectoryTree never follows a symbolic link, so a link inside an archive cannot take
  // files outside it along.
  const bool removed = RemoveDirectoryTree(target);
  RemoveAbandonedDeletions(root);
  return removed ? 0 : fail();
}

}  // namespace vorlend
