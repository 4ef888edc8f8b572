#pragma once
// The host context: what Money passed on the command line and every path that follows from it.
// One record, held by the main window (or the batch tool) for the life of the process.
#include <string>
#include <vector>

namespace vorlend {

inline constexpr const char* ProgramVersion = "1.14";

struct HostContext {
  std::string CurrentYearDir;    // AKTROK with a trailing separator, case unchanged
  std::string AgendaDir;         // upper case, trailing separator
  std::string DataDir;           // upper case, trailing separator
  std::string MoneyVersionText;  // MVERZE unchanged
  std::string UserPassword;      // AKTHESLO unchanged
  std::string ConfigName;        // AKTCFGNAME made safe for a file name, or "Default"
  std::string AgendaExt;         // extension of the agenda directory, without the dot
  std::string AgendaName;        // the agenda's trade name, or "---"
  bool AbortRequested = false;

  std::string AddOnDataDir() const;          // DataDir + "KPX/Vorlend/"
  std::string SettingsDir() const;           // AddOnDataDir + "Setting/"
  std::string SettingsFileName() const;      // SettingsDir + ConfigName + AgendaExt + ".ini"
  std::string VersionCheckFileName() const;  // SettingsDir + "setup.ini"
  std::string TempWorkDir() const;           // the temporary folder + "MnVorlend/"
  std::string ProgramDir() const;            // directory of the running executable
  std::string ArchiveRoot() const;           // AddOnDataDir + "Db/"
};

struct StartupParam {
  std::string Name;   // upper case, without the leading "?", at most 255 characters
  std::string Value;  // at most 255 characters
};
using StartupParams = std::vector<StartupParam>;

// Parses Money's ?NAME=value?NAME groups; `args` are the program's arguments without argv[0].
StartupParams ParseCommandLine(const std::vector<std::string>& args);
// The first row of that name (compared without regard to case).
bool FindParam(const StartupParams& params, const std::string& name, std::string& value);

// Agenda-level and data-level derivation of the current-year directory; empty when the path does
// not end in a ROK* directory inside an AGENDA* directory.
std::string AgendaLevelDir(const std::string& currentYearDir);
std::string DataLevelDir(const std::string& currentYearDir);
// ConfigName with the nine characters unsafe in file names replaced, or "Default".
std::string SafeConfigName(const std::string& value);
// The version-number test of MVERZE.
bool MoneyVersionConverts(const std::string& versionText);

}  // namespace vorlend
