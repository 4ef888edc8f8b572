#pragma once
// The host context: what Money passed on the command line and every path that follows from it.
// One record, held by the main window (or the batch tool) for the life of the process.
//
// Paths come in two forms. The fields AgendaPath and DataPath keep the directories as Money named
// them (letter case kept), and every file is opened through them: a sibling folder whose name
// differs only in case ("Data" beside a copy "DATA") is never read or written. AgendaDir and
// DataDir are the same directories in upper case, the form the add-on shows in its messages and
// derives AgendaExt from; Shown() turns an opened path into that form.
#include <string>

namespace vorlend {

inline constexpr const char* ProgramVersion = "1.14";

struct HostContext {
  std::string CurrentYearDir;    // AKTROK with a trailing separator, case unchanged
  std::string AgendaPath;        // the agenda directory as Money named it, trailing separator
  std::string DataPath;          // Money's data directory as Money named it, trailing separator
  std::string AgendaDir;         // AgendaPath in upper case: shown, never opened
  std::string DataDir;           // DataPath in upper case: shown, never opened
  std::string MoneyVersionText;  // MVERZE unchanged
  std::string UserPassword;      // AKTHESLO unchanged
  std::string ConfigName;        // AKTCFGNAME made safe for a file name, or "Default"
  std::string AgendaExt;         // extension of the agenda directory, without the dot
  std::string AgendaName;        // the agenda's trade name, or "---"

  // Sets both forms of the agenda and data directories (each with a trailing separator).
  void SetPaths(const std::string& agendaPath, const std::string& dataPath);
  // AgendaPath and DataPath become the directories' own paths, without a symbolic link on the
  // way; AgendaDir and DataDir, the forms shown, stay as they were.
  void ResolveLinks();

  std::string AddOnDataDir() const;          // DataPath + "KPX/Vorlend/"
  std::string SettingsDir() const;           // AddOnDataDir + "Setting/"
  std::string SettingsFileName() const;      // SettingsDir + ConfigName + AgendaExt + ".ini"
  std::string VersionCheckFileName() const;  // SettingsDir + "setup.ini"
  std::string TempWorkDir() const;           // the temporary folder + "MnVorlend/"
  std::string ProgramDir() const;            // directory of the running executable
  std::string ArchiveRoot() const;           // AddOnDataDir + "Db/"

  // A path below the agenda or the data directory as messages show it: that directory's part in
  // upper case, the rest as built. Any other path is returned unchanged.
  std::string Shown(const std::string& path) const;
  // A message of a component that names opened paths (a table's error), as the add-on shows it.
  std::string ShownIn(const std::string& text) const;
};

}  // namespace vorlend
