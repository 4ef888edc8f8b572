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

std::string HostContext::AddOnDataDir() const { return DataPath + "KPX/Vorlend/"; }
std::string HostContext::SettingsDir() const { return AddOnDataDir() + "Setting/"; }
std::string HostContext::SettingsFileName() const { return SettingsDir() + ConfigName + AgendaExt + ".ini"; }
std::string HostContext::VersionCheckFileName() const { return SettingsDir() + "setup.ini"; }
std::string HostContext::TempWorkDir() const {
  return IncludeTrailingPathDelimiter(ExcludeTrailingPathDelimiter(TempDirectory())) + "MnVorlend/";
}
std::string HostContext::ProgramDir() const { return ProgramDirectory(); }
std::string HostContext::ArchiveRoot() const { return AddOnDataDir() + "Db/"; }

std::string HostContext::Shown(const std::string& path) const {
  if (!AgendaPath.empty() && StartsWith(path, AgendaPath)) return AgendaDir + path.substr(AgendaPath.size());
  if (!DataPath.empty() && StartsWith(path, DataPath)) return DataDir + path.substr(DataPath.size());
  return path;
}

std::string HostContext::ShownIn(const std::string& text) const {
  std::string shown = text;
  if (!AgendaPath.empty()) shown = ReplaceAll(std::move(shown), AgendaPath, AgendaDir);
  if (!DataPath.empty()) shown = ReplaceAll(std::move(shown), DataPath, DataDir);
  return shown;
}

}  // namespace vorlend
