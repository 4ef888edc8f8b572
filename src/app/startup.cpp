#include "app/startup.h"

#include "app/access_gate.h"
#include "host/settings_store.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

std::string ReadAgendaName(const std::string& agendaDir) {
  return ReadSettingsString(agendaDir + "AGENDA.INI", "Údaje o firmě", "Název-obchodní", "---");
}

bool ReadHostContext(const StartupParams& params, Dialogs& dialogs, HostContext& ctx) {
  std::string value;
  auto required = [&](const char* name) {
    if (FindParam(params, name, value)) return true;
    dialogs.Message(MsgKind::Error, kIncompleteParametersText);
    return false;
  };

  if (!required("MAIN")) return false;

  if (!required("AKTROK")) return false;
  ctx.CurrentYearDir = IncludeTrailingPathDelimiter(NormaliseInputPath(value));
  std::string agendaPath, dataPath;
  // A year path outside an AGENDA*/ROK* pair would make the file-system root the agenda and the
  // data directory, and the add-on would create its folders there: refuse such a start.
  if (!DeriveAgendaPaths(ctx.CurrentYearDir, agendaPath, dataPath) || !DirectoryExists(ctx.CurrentYearDir)) {
    dialogs.Message(MsgKind::Error,
                    "Adresář účetního roku " + ctx.CurrentYearDir +
                        " neexistuje nebo neleží v adresáři agendy (očekává se cesta .../AGENDA.nnn/ROK.nnn).");
    return false;
  }
  // Files are opened through the directories as Money named them (links on the way resolved);
  // the upper-case forms are shown.
  ctx.SetPaths(agendaPath, dataPath);
  ctx.ResolveLinks();
  // Nothing below the archive root is followed through a link, and other users can write it: a
  // root that is itself a link would put every archive where the link points.
  if (IsSymbolicLink(ctx.ArchiveRoot())) {
    dialogs.Message(MsgKind::Error, "Adresář archivů zámků " + ctx.ArchiveRoot() +
                                        " je symbolický odkaz. Doplněk archivy přes odkaz nečte ani nezapisuje; "
                                        "nahraďte odkaz skutečným adresářem.");
    return false;
  }

  if (!required("MVERZE")) return false;
  ctx.MoneyVersionText = value;
  if (!MoneyVersionConverts(ctx.MoneyVersionText)) {
    dialogs.Message(MsgKind::Error, kMoneyVersionErrorText);
    return false;
  }

  if (!required("AKTHESLO")) return false;
  ctx.UserPassword = value;

  if (!required("AKTCFGNAME")) return false;
  ctx.ConfigName = SafeConfigName(value);

  const std::string agendaDirName = ExtractFileName(ExcludeTrailingPathDelimiter(ctx.AgendaDir));
  const std::size_t dot = agendaDirName.rfind('.');
  ctx.AgendaExt = dot == std::string::npos ? std::string() : agendaDirName.substr(dot + 1);

  ctx.AgendaName = ReadAgendaName(ctx.AgendaPath);
  return true;
}

bool EnsureDirectory(const std::string& path, Dialogs& dialogs) {
  if (DirectoryExists(path)) return true;
  ForceDirectories(path);
  if (DirectoryExists(path)) return true;
  dialogs.Message(MsgKind::Error, "Nelze vytvořit adresář " + path);
  return false;
}

bool EnsureAddonFolders(const HostContext& ctx, Dialogs& dialogs) {
  return EnsureDirectory(ctx.SettingsDir(), dialogs) && EnsureDirectory(ctx.TempWorkDir(), dialogs);
}

bool PrepareHostContext(const std::vector<std::string>& args, Dialogs& dialogs, HostContext& ctx) {
  return ReadHostContext(ParseCommandLine(args), dialogs, ctx) && EnsureAddonFolders(ctx, dialogs);
}

}  // namespace vorlend
