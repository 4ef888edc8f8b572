#include "host/host_context.h"

#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

void HostContext::SetPaths(const std::string& agendaPath, const std::string& dataPath) {
  AgendaPath = IncludeTrailingPathDelimiter(agendaPath);
  DataPath = IncludeTrailingPathDelimiter(dataPath);
  AgendaDir = UpperCase(AgendaPath);
  DataDir = UpperCase(DataPath);
}

void HostContext::ResolveLinks() {
  // Resolved once, before anything is opened: the tables of the archive folder are opened without
  // following any link on their way, so a data directory behind a mount point or a moved home
  // folder must be reached by its own path. The paths shown stay as Money gave them.
  AgendaPath = RealDirectoryPath(AgendaPath);
  DataPath = RealDirectoryPath(DataPath);
}

std::string HostContext::AddOnDataDir() const {
  return DataPath + "KPX/Vorlend/";
}
std::string HostContext::SettingsDir() const {
  return AddOnDataDir() + "Setting/";
}
std::string HostContext::SettingsFileName() const {
  return SettingsDir() + ConfigName + AgendaExt + ".ini";
}
std::string HostContext::VersionCheckFileName() const {
  return SettingsDir() + "setup.ini";
}
std::string HostContext::TempWorkDir() const {
  return IncludeTrailingPathDelimiter(ExcludeTrailingPathDelimiter(TempDirectory())) + "MnVorlend/";
}
std::string HostContext::ProgramDir() const {
  return ProgramDirectory();
}
std::string HostContext::ArchiveRoot() const {
  return AddOnDataDir() + "Db/";
}

}  // namespace vorlend
