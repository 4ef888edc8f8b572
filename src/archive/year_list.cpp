#include "archive/year_list.h"

#include "host/settings_store.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

namespace {
// Windows sorts punctuation and symbols before digits, and digits before letters.
int CharClass(char32_t c) {
  if (c >= '0' && c <= '9') return 1;
  if (UpperChar(c) != LowerChar(c)) return 2;
  return 0;
}
}  // namespace

int CompareYearNames(const std::string& a, const std::string& b) {
  const std::u32string x = Utf8ToCodePoints(a);
  const std::u32string y = Utf8ToCodePoints(b);
  const std::size_t n = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int cx = CharClass(x[i]), cy = CharClass(y[i]);
    if (cx != cy) return cx < cy ? -1 : 1;
    const char32_t ux = UpperChar(x[i]), uy = UpperChar(y[i]);
    if (ux != uy) return ux < uy ? -1 : 1;
  }
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  // Equal but for case: lower case first.
  for (std::size_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return LowerChar(x[i]) == x[i] ? -1 : 1;
  }
  return 0;
}

void YearList::Add(YearRow row) {
  auto it = m_rows.begin();
  while (it != m_rows.end() && CompareYearNames(it->YearName, row.YearName) >= 0) ++it;
  m_rows.insert(it, std::move(row));
}

bool YearList::AnyChecked() const {
  for (const auto& r : m_rows) {
    if (r.Checked) return true;
  }
  return false;
}

bool FillYearList(const std::string& agendaDir, Dialogs& dialogs, YearList& list) {
  list.Clear();
  for (const DirEntry& entry : FindEntries(agendaDir, "Rok.*")) {
    if (!DirectoryExists(agendaDir + entry.name)) continue;
    YearRow row;
    row.YearDir = CutToChars(UpperCase(entry.name), 10);
    row.entryName = entry.name;
    row.YearName =
        CutToChars(ReadSettingsString(agendaDir + entry.name + "/ROK.INI", "Global", "Účetní rok", "????"), 4);
    const std::size_t dot = entry.name.rfind('.');
    row.YearExt = dot == std::string::npos ? std::string() : CutToChars(entry.name.substr(dot + 1), 10);
    list.Add(std::move(row));
  }
  if (list.Count() > 0) {
    list.SetCurrent(0);
    return true;
  }
  dialogs.Message(MsgKind::Error, "Chyba: vybraná agenda neobsahuje žádný účetní rok.");
  return false;
}

}  // namespace vorlend
