#include "archive/catalogue.h"

#include "platform/files.h"

namespace vorlend {

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

// Until the catalogue is built, no archive is listed.
int LoadArchiveList(const HostContext&, ArchiveList& list) {
  list.Clear();
  return 0;
}

int ShowRecapitulation(const std::string&, Recapitulation& recap) {
  recap = Recapitulation{};
  return 0;
}

int DeleteArchiveDirectory(const std::string& path, Dialogs& dialogs) {
  dialogs.Message(MsgKind::Error, "Nelze smazat adresář " + path);
  return -1;
}

}  // namespace vorlend
