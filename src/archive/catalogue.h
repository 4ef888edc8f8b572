#pragma once
// The catalogue of the current agenda's archives, their recapitulation, and deletion. Besides the
// complete archives it lists the incomplete ones: a save that stopped half-way after writing its
// file list, whose archive holds the earlier state of every document it reached. An archive whose
// save is still running, and one without a file list, is not listed.
#include <string>
#include <vector>

#include "host/host_context.h"
#include "platform/ports.h"

namespace vorlend {

struct ArchiveRow {
  std::string MapName;     // at most 50 characters
  std::string MapDate;     // at most 15
  std::string MapTime;     // at most 10
  std::string AgendaName;  // at most 50
  std::string Dir;         // at most 12: the archive directory's name
  bool Complete = true;    // false: the save did not finish (MAIN/Correct is not set)
};

// The marker the window shows after an incomplete archive's name.
inline constexpr const char* IncompleteMarker = "(nedokončený)";

class ArchiveList {
public:
  const std::vector<ArchiveRow>& Rows() const { return m_rows; }
  std::size_t Count() const { return m_rows.size(); }
  bool Empty() const { return m_rows.empty(); }
  const ArchiveRow& Row(std::size_t i) const { return m_rows.at(i); }
  void Clear() { m_rows.clear(); m_current = 0; }
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
  std::string YearFilter;
  std::string DocumentFilter;
  bool Complete = true;
};

// The recapitulation's line about an incomplete archive.
inline constexpr const char* IncompleteRecapText =
    "Uložení archivu nebylo dokončeno: obnoví se jen zaznamenané doklady.";

// Always 0. Lists the complete and incomplete archives of ctx.AgendaExt, by archive number.
int LoadArchiveList(const HostContext& ctx, ArchiveList& list);
// Always 0. Reads the description file of the archive directory (labels empty when it is gone).
int ShowRecapitulation(const std::string& archiveDir, Recapitulation& recap);
// 0 when the directory and all its content are gone; -1 after "Nelze smazat adresář " and the path
// as the context shows it.
int DeleteArchiveDirectory(const HostContext& ctx, const std::string& path, Dialogs& dialogs);

// Archive numbers are taken again after a deletion, and other users work on the same agenda: a
// row read a while ago may by now name another user's archive, or one still being written. True
// when the row's directory still holds the archive of this agenda the row was read from;
// otherwise false after a message that the list must be read again.
bool ArchiveStillListed(const HostContext& ctx, const ArchiveRow& row, Dialogs& dialogs);

// The incomplete archives of this agenda, by archive number.
std::vector<ArchiveRow> IncompleteArchives(const HostContext& ctx);
// The warning question the save asks before it starts while an incomplete archive exists.
std::string IncompleteArchiveQuestion(const ArchiveRow& row);

// The archive directory of a row, with or without a trailing separator.
std::string ArchiveDirOf(const HostContext& ctx, const ArchiveRow& row, bool trailingSeparator);

}  // namespace vorlend
