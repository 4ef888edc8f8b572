#pragma once
// Money's command line: the ?NAME=value?NAME groups, and the directories and names the start-up
// derives from them.
#include <string>
#include <vector>

#include "host/host_context.h"

namespace vorlend {

struct StartupParam {
  std::string Name;   // upper case, without the leading "?", at most 255 characters
  std::string Value;  // at most 255 characters
};
using StartupParams = std::vector<StartupParam>;

// Parses Money's ?NAME=value?NAME groups; `args` are the program's arguments without argv[0].
StartupParams ParseCommandLine(const std::vector<std::string>& args);
// The first row of that name (compared without regard to case).
bool FindParam(const StartupParams& params, const std::string& name, std::string& value);

// The same directories as Money named them (letter case kept), each with a trailing separator;
// false when the path does not end in a ROK* directory inside an AGENDA* directory.
bool DeriveAgendaPaths(const std::string& currentYearDir, std::string& agendaPath, std::string& dataPath);
// ConfigName with the nine characters unsafe in file names replaced, or "Default".
std::string SafeConfigName(const std::string& value);
// The version-number test of MVERZE.
bool MoneyVersionConverts(const std::string& versionText);

}  // namespace vorlend
