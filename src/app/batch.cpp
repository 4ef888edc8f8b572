#include "app/batch.h"

#include <algorithm>
#include <map>

#include "app/console_ports.h"
#include "app/settings.h"
#include "app/startup.h"
#include "archive/catalogue.h"
#include "archive/restore.h"
#include "archive/save.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

namespace {

constexpr const char* kUsage =
    "Použití: vorlend-batch PŘÍKAZ ?MAIN=...?MAIN ?AKTROK=...?AKTROK ?MVERZE=...?MVERZE ?AKTHESLO=...?AKTHESLO "
    "?AKTCFGNAME=...?AKTCFGNAME [VOLBY]\n"
    "  save [--years NÁZEV,NÁZEV|all] [--modules PD,BD,OP,OZ,ID,PF,VF,SD|all] [--action unlock|lock|none]\n"
    "       [--name TEXT] [--on-conflict stop|retry=SEKUNDY] [--ignore-incomplete]\n"
    "  list\n"
    "  restore --archive N [--delete-after] [--on-conflict stop|retry=SEKUNDY]\n"
    "  delete --archive N\n";

struct Options {
  std::string command;
  std::vector<std::string> groups;
  std::map<std::string, std::string> values;  // option -> value ("" for flags)
};

struct UsageError {
  std::string text;
};

const std::map<std::string, bool>& KnownOptions(const std::string& command) {
  // Option name -> whether it takes a value.
  static const std::map<std::string, std::map<std::string, bool>> known = {
      {"save",
       {{"--years", true},
        {"--modules", true},
        {"--action", true},
        {"--name", true},
        {"--on-conflict", true},
        {"--ignore-incomplete", false}}},
      {"list", {}},
      {"restore", {{"--archive", true}, {"--delete-after", false}, {"--on-conflict", true}}},
      {"delete", {{"--archive", true}}},
  };
  const auto it = known.find(command);
  if (it == known.end()) throw UsageError{"Neznámý příkaz \"" + command + "\"."};
  return it->second;
}

Options ParseOptions(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError{"Chybí příkaz."};
  Options o;
  o.command = args[0];
  const auto& known = KnownOptions(o.command);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!StartsWith(a, "--")) {
      o.groups.push_back(a);
      continue;
    }
    std::string name = a, value;
    const std::size_t eq = a.find('=');
    if (eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    const auto k = known.find(name);
    if (k == known.end()) throw UsageError{"Neznámá volba " + name + " příkazu " + o.command + "."};
    if (k->second && eq == std::string::npos) {
      if (i + 1 >= args.size()) throw UsageError{"Volbě " + name + " chybí hodnota."};
      value = args[++i];
    }
    if (o.values.count(name)) throw UsageError{"Volba " + name + " je uvedena dvakrát."};
    o.values[name] = value;
  }
  return o;
}

ConflictPolicy ParseConflict(const Options& o) {
  ConflictPolicy p;
  const auto it = o.values.find("--on-conflict");
  if (it == o.values.end() || it->second == "stop") return p;
  int seconds = 0;
  if (StartsWith(it->second, "retry=") && ParseInt32(it->second.substr(6), seconds) && seconds >= 0) {
    p.retry = true;
    p.seconds = seconds;
    return p;
  }
  throw UsageError{"Volba --on-conflict přijímá stop nebo retry=SEKUNDY."};
}

int ArchiveNumberOption(const Options& o) {
  const auto it = o.values.find("--archive");
  int n = 0;
  if (it == o.values.end()) throw UsageError{"Příkaz " + o.command + " potřebuje volbu --archive N."};
  if (!ParseInt32(it->second, n) || n < 1) throw UsageError{"Číslo archivu musí být kladné celé číslo."};
  return n;
}

void MarkYears(const Options& o, YearList& years) {
  const auto it = o.values.find("--years");
  if (it == o.values.end() || it->second == "all") {
    for (std::size_t i = 0; i < years.Count(); ++i) years.Toggle(i);
    return;
  }
  for (const std::string& wanted : Split(it->second, ',')) {
    const std::string name = Trim(wanted);
    std::vector<std::size_t> hits;
    for (std::size_t i = 0; i < years.Count(); ++i) {
      const YearRow& r = years.Row(i);
      if (r.YearName == name || SameText(r.YearDir, name) || r.EntryName == name) hits.push_back(i);
    }
    if (hits.empty()) throw UsageError{"Agenda nemá účetní rok \"" + name + "\"."};
    if (hits.size() > 1) throw UsageError{"Název \"" + name + "\" odpovídá více účetním rokům; zadejte adresář (ROK.nnn)."};
    if (!years.Row(hits[0]).Checked) years.Toggle(hits[0]);
  }
}

void ChooseModules(const Options& o, ModuleFilter& filter) {
  const auto it = o.values.find("--modules");
  if (it == o.values.end()) return;
  if (it->second == "all") {
    filter.fill(true);
    return;
  }
  filter.fill(false);
  for (const std::string& code : Split(it->second, ',')) {
    bool found = false;
    for (std::size_t m = 0; m < ModuleCount; ++m) {
      if (SameText(Trim(code), Modules[m].Code)) filter[m] = found = true;
    }
    if (!found) throw UsageError{"Neznámý modul \"" + code + "\"."};
  }
}

LockAction ChooseAction(const Options& o, LockAction preset) {
  const auto it = o.values.find("--action");
  if (it == o.values.end()) return preset;
  if (it->second == "unlock") return LockAction::Unlock;
  if (it->second == "lock") return LockAction::Lock;
  if (it->second == "none") return LockAction::NoAction;
  throw UsageError{"Volba --action přijímá unlock, lock nebo none."};
}

std::string ArchiveName(const Options& o) {
  const auto it = o.values.find("--name");
  if (it == o.values.end()) return {};
  if (CharCount(it->second) > 50) throw UsageError{"Název archivu může mít nejvýše 50 znaků."};
  if (it->second.find_first_of("\r\n\t") != std::string::npos) {
    throw UsageError{"Název archivu nesmí obsahovat konec řádku ani tabulátor."};
  }
  return it->second;
}

// Everything the command line can get wrong is found before the add-on starts.
void ValidateOptions(const Options& o) {
  ModuleFilter filter{};
  ChooseModules(o, filter);
  ChooseAction(o, LockAction::Unlock);
  ArchiveName(o);
  if (o.command == "restore" || o.command == "delete") ArchiveNumberOption(o);
}

int Outcome(int result, const ConsoleDialogs& dialogs) {
  if (result == 0) return BatchSuccess;
  return dialogs.StoppedByUser() ? BatchStopped : BatchFailed;
}

// The listed archive of this agenda with that number, or null after the refusal message.
const ArchiveRow* FindArchive(const HostContext& ctx, ArchiveList& list, int number, Dialogs& dialogs) {
  LoadArchiveList(ctx, list);
  for (std::size_t i = 0; i < list.Count(); ++i) {
    // Only the exact decimal spelling: "01" is not archive 1.
    if (list.Row(i).Dir == std::to_string(number)) {
      list.SetCurrent(i);
      return &list.Row(i);
    }
  }
  dialogs.Message(MsgKind::Error, "Archiv " + std::to_string(number) +
                                      " neexistuje, nepatří k této agendě, nemá seznam souborů, nebo se právě "
                                      "ukládá.");
  return nullptr;
}

// A word for a POSIX shell: single quotes, each quote inside written as '\''.
std::string ShellWord(const std::string& word) { return "'" + ReplaceAll(word, "'", "'\\''") + "'"; }

std::string RestoreCommand(const Options& o, const std::string& number) {
  std::string command = "vorlend-batch restore";
  for (const std::string& g : o.groups) command += " " + ShellWord(g);
  return command + " --archive " + number;
}

int RunSave(const Options& o, HostContext& ctx, ConsoleDialogs& dialogs, std::ostream& out, std::ostream& err) {
  const AddonSettings settings = LoadSettings(ctx.SettingsFileName());
  SaveChoices choices;
  choices.filter = settings.Modules;
  ChooseModules(o, choices.filter);
  choices.action = ChooseAction(o, settings.Action);
  choices.archiveName = ArchiveName(o);
  YearList years;
  if (!FillYearList(ctx.AgendaPath, dialogs, years)) return BatchFailed;
  MarkYears(o, years);
  if (std::none_of(choices.filter.begin(), choices.filter.end(), [](bool m) { return m; })) {
    throw UsageError{"Ve filtru dokladů musíte vybrat alespoň jeden modul."};
  }
  // A new save would record the states an interrupted one already changed: the earlier states
  // are only in the incomplete archive, which should be restored first.
  if (!o.values.count("--ignore-incomplete")) {
    const std::vector<ArchiveRow> incomplete = IncompleteArchives(ctx);
    if (!incomplete.empty()) {
      const ArchiveRow& row = incomplete.front();
      dialogs.Message(MsgKind::Error, "Archiv " + row.Dir + " (\"" + row.MapName +
                                          "\") nebyl dokončen a jen v něm je původní stav zámků dokladů, které "
                                          "jeho uložení stihlo změnit. Nejprve ho obnovte:\r" +
                                          RestoreCommand(o, row.Dir) +
                                          "\rNové uložení přesto spustí volba --ignore-incomplete.");
      return BatchFailed;
    }
  }

  ConsoleProgress progress(err);
  TBFTable money, lock;
  FileList files;
  SaveJob job{ctx, dialogs, progress, money, lock, years, choices, files};
  const int result = StartSave(job);
  const std::string number = ExtractFileName(ExcludeTrailingPathDelimiter(job.ArchiveDir));
  if (result == 0) {
    out << number << std::endl;
  } else if (job.DocumentsChanged) {
    err << "Uložení nebylo dokončeno. Původní stav zámků všech dokladů, které stihlo zpracovat, je v "
           "nedokončeném archivu "
        << number << ". Vrátíte ho příkazem:\n"
        << RestoreCommand(o, number) << std::endl;
  }
  return Outcome(result, dialogs);
}

int RunRestore(const Options& o, HostContext& ctx, ConsoleDialogs& dialogs, std::ostream& err) {
  const int number = ArchiveNumberOption(o);
  ArchiveList list;
  const ArchiveRow* row = FindArchive(ctx, list, number, dialogs);
  if (!row) return BatchFailed;
  ConsoleProgress progress(err);
  TBFTable money, lock;
  FileList files;
  RestoreJob job{ctx, dialogs, progress, money, lock, files};
  const RestoreOutcome result = StartRestore(job, *row);
  if (result == RestoreOutcome::ArchiveGone) return BatchFailed;
  if (result != RestoreOutcome::Restored) return Outcome(-1, dialogs);
  if (o.values.count("--delete-after") && DeleteArchiveDirectory(ctx, ArchiveDirOf(ctx, *row, false), dialogs) != 0) {
    return BatchFailed;
  }
  return BatchSuccess;
}

}  // namespace

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  ConflictPolicy policy;
  try {
    o = ParseOptions(args);
    ValidateOptions(o);
    policy = ParseConflict(o);
  } catch (const UsageError& e) {
    err << e.text << "\n" << kUsage;
    return BatchUsage;
  }
  ConsoleDialogs dialogs(err, policy);
  HostContext ctx;
  try {
    if (!PrepareHostContext(o.groups, dialogs, ctx) || !CheckAccessRights(ctx, dialogs)) return BatchRefused;
  } catch (const std::exception& e) {
    dialogs.Message(MsgKind::Error, e.what());
    return BatchRefused;
  }
  try {
    if (o.command == "save") return RunSave(o, ctx, dialogs, out, err);
    if (o.command == "restore") return RunRestore(o, ctx, dialogs, err);
    if (o.command == "list") {
      ArchiveList list;
      LoadArchiveList(ctx, list);
      for (const ArchiveRow& r : list.Rows()) {
        out << r.Dir << '\t' << (r.Complete ? "complete" : "incomplete") << '\t' << r.MapName << '\t' << r.MapDate
            << '\t' << r.MapTime << '\n';
      }
      return BatchSuccess;
    }
    // delete
    const int number = ArchiveNumberOption(o);
    ArchiveList list;
    const ArchiveRow* row = FindArchive(ctx, list, number, dialogs);
    if (!row) return BatchFailed;
    return DeleteArchiveDirectory(ctx, ArchiveDirOf(ctx, *row, false), dialogs) == 0 ? BatchSuccess : BatchFailed;
  } catch (const UsageError& e) {
    err << e.text << "\n" << kUsage;
    return BatchUsage;
  } catch (const std::exception& e) {
    dialogs.Message(MsgKind::Error, e.what());
    return BatchFailed;
  }
}

}  // namespace vorlend
