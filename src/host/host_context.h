#pragma once
// The host context: what Money passed on the command line and every path that follows from it.
// One record, held by the main window (or the batch tool) for the life of the process.
//
// Paths come in two forms. The fields AgendaPath and DataPath keep the directories as Money named
// them (letter case kept): every file is opened through them, and messages name them so, as the
// disk spells them, since a path in upper case does not exist where letter case counts. A sibling
// folder whose name differs only in case ("Data" beside a copy "DATA") is never read or written.
// AgendaDir and DataDir are the same directories in upper case, the form AgendaExt is derived from.
#include <string>

namespace vorlend {

inline constexpr const char* ProgramVersion = "1.14";

struct HostContext {
  std::string CurrentYearDir;    // AKTROK with a trailing separator, case unchanged
  std::string AgendaPath;        // the agenda directory as Money named it, trailing separator
  std::string DataPath;          // Money's data directory as Money named it, trailing separator
  std::string AgendaDir;         // AgendaPath in upper case: never opened
  std::string DataDir;           // DataPath in upper case: never opened
  std::string MoneyVersionText;  // MVERZE unchanged
  std::string UserPassword;      // AKTHESLO unchanged
  std::string ConfigName;        // AKTCFGNAME made safe for a file name, or "Default"
  std::string AgendaExt;         // extension of the agenda directory, without the dot
  std::string AgendaName;        // the agenda's trade name, or "---"

  // Sets both forms of the agenda and data directories (each with a trailing separator).
  void SetPaths(const std::string& agendaPath, const std::string& dataPath);
  // AgendaPath and DataPath become the directories' own paths, without a symbolic link on the
  // way; AgendaDir and DataDir stay as they were.
  void ResolveLinks();

  std::string AddOnDataDir() const;          // DataPath + "KPX/Vorlend/"
  std::string SettingsDir() const;           // AddOnDataDir + "Setting/"
  std::string SettingsFileName() const;      // SettingsDir + ConfigName + AgendaExt + ".ini"
  std::string VersionCheckFileName() const;  // SettingsDir + "setup.ini"
  std::string TempWorkDir() const;           // the temporary folder + "MnVorlend/"
  std::string ProgramDir() const;            // directory of the running executable
  std::string ArchiveRoot() const;           // AddOnDataDir + "Db/"
};

}  // namespace vorlend
