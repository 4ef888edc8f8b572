#pragma once
// The agenda's accounting years: one row per year directory, kept in descending order of the
// year's name (the most recent first), with the user's mark.
#include <string>
#include <vector>

#include "platform/ports.h"

namespace vorlend {

struct YearRow {
  std::string YearDir;   // directory name in upper case, at most 10 characters
  std::string YearName;  // at most 4 characters, "????" when the year has no name
  bool Checked = false;
  std::string YearExt;    // extension of the directory name, at most 10 characters
  std::string entryName;  // the directory's name as it stands on disk
};

class YearList {
public:
  const std::vector<YearRow>& Rows() const { return m_rows; }
  std::size_t Count() const { return m_rows.size(); }
  const YearRow& Row(std::size_t i) const { return m_rows.at(i); }
  void Clear() {
    m_rows.clear();
    m_current = 0;
  }
  // Inserts in descending order of YearName (equal names keep their order of insertion).
  void Add(YearRow row);
  void Toggle(std::size_t i) { m_rows.at(i).Checked = !m_rows.at(i).Checked; }
  bool AnyChecked() const;
  std::size_t Current() const { return m_current; }
  void SetCurrent(std::size_t i) { m_current = i; }

private:
  std::vector<YearRow> m_rows;
  std::size_t m_current = 0;
};

// Compares year names as Windows sorts text: punctuation before digits before letters.
int CompareYearNames(const std::string& a, const std::string& b);

// Rebuilds the list from the "Rok.*" directories of the agenda; false after the no-year message.
bool FillYearList(const std::string& agendaDir, Dialogs& dialogs, YearList& list);

}  // namespace vorlend
