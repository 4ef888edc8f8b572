#include "app/batch.h"

#include <algorithm>
#include <chrono>

#include "app/batch_command_line.h"
#include "app/batch_report.h"
#include "app/console_ports.h"
#include "app/settings.h"
#include "app/startup.h"
#include "archive/catalogue.h"
#include "archive/inspect.h"
#include "archive/restore.h"
#include "archive/save.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

namespace {

using UsageError = BatchUsageError;
using Options = BatchOptions;

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

// Everything the command line alone can get wrong is found before the add-on starts.
void ValidateOptions(const Options& o) {
  ModuleFilter filter{};
  ChooseModules(o, filter);
  ChooseAction(o, LockAction::Unlock);
  ArchiveName(o);
  ParseConflict(o);
  if (o.command == "show" || o.command == "restore" || o.command == "delete") ArchiveNumberOption(o);
}

int Outcome(int result, const ConsoleDialogs& dialogs) {
  if (result == 0) return BatchSuccess;
  return dialogs.StoppedByUser() ? BatchStopped : BatchFailed;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

// What the save will do, worked out from the command line and the agenda before anything is
// created, so that a wrong year or an empty filter is a usage error with nothing written.
struct SavePlan {
  SaveChoices choices;
  YearList years;
};

int PlanSave(const Options& o, const HostContext& ctx, Dialogs& dialogs, SavePlan& plan) {
  const AddonSettings settings = LoadSettings(ctx.SettingsFileName());
  plan.choices.filter = settings.Modules;
  ChooseModules(o, plan.choices.filter);
  plan.choices.action = ChooseAction(o, settings.Action);
  plan.choices.archiveName = ArchiveName(o);
  if (!FillYearList(ctx.AgendaPath, dialogs, plan.years)) return BatchFailed;
  MarkYears(o, plan.years);
  if (std::none_of(plan.choices.filter.begin(), plan.choices.filter.end(), [](bool m) { return m; })) {
    throw UsageError{"Ve filtru dokladů musíte vybrat alespoň jeden modul."};
  }
  return BatchSuccess;
}

int RunSave(const Options& o, HostContext& ctx, SavePlan& plan, ConsoleDialogs& dialogs, std::ostream& out,
            std::ostream& err) {
  // A new save would record the states an interrupted one already changed: the earlier states
  // are only in the incomplete archive, which should be restored first.
  if (!o.Has("--ignore-incomplete")) {
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

  const bool quiet = o.Has("--quiet");
  ConsoleProgress progress(err, quiet);
  ConsoleObserver observer(dialogs, progress);
  TBFTable money, lock;
  FileList files;
  SaveJob job{ctx, dialogs, progress, money, lock, plan.years, plan.choices, files};
  job.Observer = &observer;
  const auto start = std::chrono::steady_clock::now();
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
  err << SaveSummary(job.Counts, job.choices.action, result == 0, SecondsSince(start)) << std::endl;
  return Outcome(result, dialogs);
}

// The archive --archive names, its recapitulation and its comparison with Money, read without
// locking or writing anything.
struct NamedArchive {
  ArchiveList list;
  const ArchiveRow* row = nullptr;
  Recapitulation recap;
  ArchiveInspection inspection;
};

// False after the message.
bool InspectNamedArchive(const Options& o, const HostContext& ctx, Dialogs& dialogs, bool documents, NamedArchive& a) {
  a.row = FindArchive(ctx, a.list, ArchiveNumberOption(o), dialogs);
  if (!a.row) return false;
  const std::string dir = ArchiveDirOf(ctx, *a.row, true);
  ShowRecapitulation(dir, a.recap);
  return InspectArchive(ctx, dir, dialogs, documents, a.inspection) == 0;
}

int RunShow(const Options& o, const HostContext& ctx, Dialogs& dialogs, std::ostream& out) {
  const bool documents = o.Has("--documents");
  NamedArchive a;
  if (!InspectNamedArchive(o, ctx, dialogs, documents, a)) return BatchFailed;
  PrintInspection(*a.row, a.recap, a.inspection, documents ? InspectionView::Documents : InspectionView::Counts, out);
  return BatchSuccess;
}

// The restore's preview: what `show --documents` prints about the documents the restore would
// change. Nothing is locked or written.
int RunDryRun(const Options& o, const HostContext& ctx, Dialogs& dialogs, std::ostream& out, std::ostream& err) {
  NamedArchive a;
  if (!InspectNamedArchive(o, ctx, dialogs, true, a)) return BatchFailed;
  PrintInspection(*a.row, a.recap, a.inspection, InspectionView::DryRun, out);
  int differing = 0, missing = 0;
  for (const TableInspection& t : a.inspection.tables) {
    differing += t.differing;
    missing += t.missing;
  }
  err << "Zkušební běh: obnovení by změnilo dokladů " << differing << ", zaznamenaných dokladů už v Money není "
      << missing << ". Nic nebylo změněno." << std::endl;
  return BatchSuccess;
}

int RunRestore(const Options& o, HostContext& ctx, ConsoleDialogs& dialogs, std::ostream& err) {
  ArchiveList list;
  const ArchiveRow* row = FindArchive(ctx, list, ArchiveNumberOption(o), dialogs);
  if (!row) return BatchFailed;
  ConsoleProgress progress(err, o.Has("--quiet"));
  ConsoleObserver observer(dialogs, progress);
  TBFTable money, lock;
  FileList files;
  RestoreJob job{ctx, dialogs, progress, money, lock, files};
  job.Observer = &observer;
  const auto start = std::chrono::steady_clock::now();
  const RestoreOutcome result = StartRestore(job, *row);
  if (result == RestoreOutcome::ArchiveGone) return BatchFailed;
  err << RestoreSummary(job.Counts, result == RestoreOutcome::Restored, SecondsSince(start)) << std::endl;
  if (result != RestoreOutcome::Restored) return Outcome(-1, dialogs);
  if (o.Has("--delete-after") && DeleteArchiveDirectory(ctx, ArchiveDirOf(ctx, *row, false), dialogs) != 0) {
    return BatchFailed;
  }
  return BatchSuccess;
}

int RunDelete(const Options& o, const HostContext& ctx, Dialogs& dialogs) {
  ArchiveList list;
  const ArchiveRow* row = FindArchive(ctx, list, ArchiveNumberOption(o), dialogs);
  if (!row) return BatchFailed;
  return DeleteArchiveDirectory(ctx, ArchiveDirOf(ctx, *row, false), dialogs) == 0 ? BatchSuccess : BatchFailed;
}

int Usage(const UsageError& e, std::ostream& err) {
  err << "vorlend-batch: " << e.text << " Nápovědu vypíše vorlend-batch --help." << std::endl;
  return BatchUsage;
}

// The start-up of the window without the window, with the batch's own checks placed before the
// first directory is created: a command line the add-on cannot act on writes nothing.
int StartAndRun(const Options& o, ConsoleDialogs& dialogs, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> missing = MissingGroups(o.groups);
  if (!missing.empty()) {
    std::string names;
    for (const std::string& m : missing) names += (names.empty() ? "" : ", ") + m;
    dialogs.Message(MsgKind::Error, std::string(missing.size() == 1 ? "Chybí skupina parametrů " : "Chybí skupiny parametrů ") +
                                        names + ". Vypisuje je agenda-seed, Money je předává doplňku při spuštění.");
    return BatchRefused;
  }
  HostContext ctx;
  SavePlan plan;
  try {
    if (!ReadHostContext(ParseCommandLine(o.groups), dialogs, ctx)) return BatchRefused;
    if (o.command == "save") {
      if (const int planned = PlanSave(o, ctx, dialogs, plan); planned != BatchSuccess) return planned;
    }
    if (!EnsureDirectory(ctx.SettingsDir(), ctx.Shown(ctx.SettingsDir()), dialogs) ||
        !EnsureDirectory(ctx.TempWorkDir(), ctx.TempWorkDir(), dialogs) || !CheckAccessRights(ctx, dialogs)) {
      return BatchRefused;
    }
  } catch (const std::exception& e) {
    dialogs.Message(MsgKind::Error, e.what());
    return BatchRefused;
  }
  try {
    if (o.command == "save") return RunSave(o, ctx, plan, dialogs, out, err);
    if (o.command == "restore") {
      return o.Has("--dry-run") ? RunDryRun(o, ctx, dialogs, out, err) : RunRestore(o, ctx, dialogs, err);
    }
    if (o.command == "show") return RunShow(o, ctx, dialogs, out);
    if (o.command == "list") {
      ArchiveList list;
      LoadArchiveList(ctx, list);
      PrintArchiveList(ctx, list, o.Has("--json"), out);
      return BatchSuccess;
    }
    return RunDelete(o, ctx, dialogs);
  } catch (const std::exception& e) {
    dialogs.Message(MsgKind::Error, e.what());
    return BatchFailed;
  }
}

}  // namespace

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    const Options o = ParseBatchOptions(args);
    if (o.help) {
      out << BatchHelpText << std::flush;
      return BatchSuccess;
    }
    ValidateOptions(o);
    ConsoleDialogs dialogs(err, ParseConflict(o), o.Has("--quiet"));
    const int status = StartAndRun(o, dialogs, out, err);
    if (status != BatchSuccess) dialogs.ReportHeldBack();
    return status;
  } catch (const UsageError& e) {
    return Usage(e, err);
  }
}

}  // namespace vorlend
