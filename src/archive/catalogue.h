#pragma once
// The catalogue of the current agenda's archives, their recapitulation, and deletion. Besides the
// complete archives it lists the incomplete ones: a save that stopped half-way after writing its
// file list, whose archive holds the earlier state of every document it reached, and the archives
// whose save is still running. A directory without a file list whose save has ended is no archive.
//
// Other users work on the same archives: every job holds its archive's directory lock while it
// runs (ArchiveHold), shared while it reads, exclusively while it deletes; the save holds its
// new archive exclusively from start to end.
#include <memory>
#include <string>
#include <vector>

#include "archive/file_list.h"
#include "host/host_context.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/ports.h"
#include "platform/result.h"

namespace vorlend {

struct ArchiveRow {
  std::string MapName;     // at most 50 characters
  std::string MapDate;     // at most 15
  std::string MapTime;     // at most 10
  std::string AgendaName;  // at most 50
  std::string Dir;         // at most 12: the archive directory's name
  bool complete = true;    // false: the save did not finish (MAIN/Correct is not set)
  bool running = false;    // its save is still writing it (Complete is false)
  // What the list tells beyond the window's grid, read with the rest of the description.
  std::string yearFilter{};                // YEARS/List
  std::vector<std::string> moduleCodes{};  // FILTER, in the module table's order
  // When its save began: MAIN/SavedUtc, in UTC to the microsecond, and MAIN/Sequence, the saves of
  // the agenda counted in the order they began. Archives saved before these keys have neither.
  std::string savedUtc{};
  long long sequence = 0;
  // Why its file list cannot be the one its save wrote (empty when it can): a restore refuses it.
  std::string damage{};
  // The archive tables its file list names (upper case), read with the rest; empty before the save
  // wrote its file list.
  std::vector<std::string> tables{};
};

// The marker the window shows after an incomplete archive's name.
inline constexpr const char* kIncompleteMarker = "(nedokončený)";
// The marker the window shows after the name of an archive whose save still runs.
inline constexpr const char* kRunningMarker = "(ukládá se)";
// The marker the window shows after the name of an archive whose file list is damaged.
inline constexpr const char* kDamagedMarker = "(poškozený)";

class ArchiveList {
public:
  const std::vector<ArchiveRow>& Rows() const { return m_rows; }
  std::size_t Count() const { return m_rows.size(); }
  bool Empty() const { return m_rows.empty(); }
  const ArchiveRow& Row(std::size_t i) const { return m_rows.at(i); }
  void Clear() {
    m_rows.clear();
    m_current = 0;
  }
  void Append(ArchiveRow row);  // becomes the current row
  // Deletes the current row; the following row becomes current, or the preceding one at the end.
  void DeleteCurrent();
  std::size_t Current() const { return m_current; }
  void SetCurrent(std::size_t i) { m_current = i; }

private:
  std::vector<ArchiveRow> m_rows;
  std::size_t m_current = 0;
};

struct Recapitulation {
  std::string Name;
  std::string AgendaName;
  std::string Date;
  std::string Time;
  std::string yearFilter;
  std::string documentFilter;
  bool complete = true;
};

// The recapitulation's line about an incomplete archive.
inline constexpr const char* kIncompleteRecapText =
    "Uložení archivu nebylo dokončeno: obnoví se jen zaznamenané doklady.";

// Lists the complete and incomplete archives of ctx.AgendaExt, by archive number. A failure says
// that the archive root is there but cannot be read, and why: an empty list is then no answer. An
// archive folder the user may not open is listed as damaged, with the system's reason.
Result LoadArchiveList(const HostContext& ctx, ArchiveList& list);
// Reads the description file of the archive directory (labels empty when it is gone).
void ShowRecapitulation(const std::string& archiveDir, Recapitulation& recap);
// Ok when the directory and all its content are gone; else "Nelze smazat adresář ", the path and
// why. Nothing is removed unless everything can be: an archive whose deletion fails stays listed
// under its number, whole.
Result DeleteArchiveDirectory(const std::string& path);

// Ok when the archive root is readable, or not there yet; else the message that says what is wrong.
Result ArchiveRootReadable(const HostContext& ctx);

// The listed archive of this agenda in the directory `dirName` of the archive root, read alone.
bool FindListedArchive(const HostContext& ctx, const std::string& dirName, ArchiveRow& row);

// Why the file list cannot be the one the save wrote beside the description `info` (its YEARS and
// FILTER); empty when it can be.
std::string FileListDamage(const FileList& files, TCustomIniFile& info);

// True when archive `a` was saved after archive `b`: by the save sequence, else by the UTC time of
// saving; an archive that has them is newer than one saved before they were written, and between
// two such older archives their date and time decide (read in the Czech formats the add-on writes
// as well as in the reader's own), then the higher number.
bool SavedAfter(const ArchiveRow& a, const ArchiveRow& b);

// The archive of this agenda saved last, whatever its state; false when the agenda has none.
bool LatestArchive(const HostContext& ctx, ArchiveRow& latest);

// The sequence number the next save of the listed agenda takes: one above every archive's.
long long NextSaveSequence(const ArchiveList& list);

// The archives of this agenda saved after `row` that hold any of its tables, newest first. Their
// restore puts back the states that `row`'s restore would overwrite, so they are restored first.
std::vector<ArchiveRow> NewerArchivesHolding(const HostContext& ctx, const ArchiveRow& row);

// Held while a save looks for running and unfinished archives and makes its own archive directory:
// of two saves started at once, one makes its archive first and the other finds it running.
class SaveStartLock {
public:
  // Waits for another save's start (a few moments at most).
  explicit SaveStartLock(const HostContext& ctx);
  bool Held() const { return m_lock && m_lock->Held(); }
  // The message when it is not held.
  std::string FailureText() const;

private:
  std::string m_path;
  std::unique_ptr<DirectoryLock> m_lock;
};

// The archives of this agenda whose save did not finish or still runs, by archive number.
std::vector<ArchiveRow> IncompleteArchives(const HostContext& ctx);

// Removes what saves killed before they wrote their file list left behind: numbered directories
// without info.tab that no live process holds and that hold nothing but the description file and
// untouched copies of the template tables (no document was recorded there, none changed). Also
// removes deletions that were cut short.
void RemoveAbandonedSaves(const HostContext& ctx);

// Why the batch tool's --archive `dirName` names no listed archive of this agenda.
std::string NotListedText(const HostContext& ctx, const std::string& dirName);

// How a job may work with an archive.
enum class ArchiveAccess {
  Held,        // the job holds the archive; the row still names the archive it was read from
  Gone,        // deleted, or replaced by another archive of that number, since the row was read
  Saving,      // its save still runs
  InUse,       // another user's job holds it in a way that excludes this one
  Unreadable,  // this user may not open its folder
};

// Archive numbers are taken again after a deletion, and other users work on the same agenda: a
// row read a while ago may by now name another user's archive, or one still being written. A job
// takes the row's archive with a hold before it starts and keeps it to its end: shared for a
// restore or a look into it, exclusive for a deletion. A refusal is shown as one message.
class ArchiveHold {
public:
  // Waits up to a second for another user's momentary hold (a look into the archive, a deletion),
  // not for a save that runs.
  ArchiveHold(const HostContext& ctx, const ArchiveRow& row, LockMode mode);
  ArchiveAccess Access() const { return m_access; }
  bool Held() const { return m_access == ArchiveAccess::Held; }
  // The message for an access other than Held (empty for Held).
  std::string RefusalText() const;
  // Shows RefusalText and returns false unless held.
  bool HeldOrSay(Dialogs& dialogs) const;
  // For the deletion after a restore: from shared to exclusive, and then the same checks again,
  // since another user may have come in between. Held when the archive may be deleted.
  ArchiveAccess Upgrade();
  // The archive directory, with a trailing separator.
  std::string Dir() const;
  // The archive's path still names the directory held: nobody renamed, removed or replaced it.
  bool StillHeld() const { return m_lock.StillAt(m_path); }
  // The message for an archive removed or replaced while a job held it.
  std::string GoneText() const;

private:
  ArchiveAccess Refused() const;
  ArchiveAccess Check() const;
  const HostContext& m_ctx;
  ArchiveRow m_row;
  std::string m_path;  // without a trailing separator
  DirectoryLock m_lock;
  ArchiveAccess m_access = ArchiveAccess::Gone;
};

// The archive directory of a row, with or without a trailing separator.
std::string ArchiveDirOf(const HostContext& ctx, const ArchiveRow& row, bool trailingSeparator);

}  // namespace vorlend
