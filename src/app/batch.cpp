#include "app/batch.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>
#include <streambuf>

#include <nlohmann/json.hpp>

#include "app/batch_command_line.h"
#include "app/batch_report.h"
#include "app/console_ports.h"
#include "app/settings.h"
#include "app/startup.h"
#include "archive/catalogue.h"
#include "archive/inspect.h"
#include "archive/roads.h"
#include "host/s3access_rights.h"
#include "platform/console.h"
#include "platform/environment.h"
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

// The archive --archive names: its number as the directory's name, or "latest".
std::string ArchiveNumberOption(const Options& o) {
  const auto it = o.values.find("--archive");
  int n = 0;
  if (it == o.values.end()) throw UsageError{"Příkaz " + o.command + " potřebuje volbu --archive N."};
  if (it->second == "latest" || (it->second == "all" && o.command == "check")) return it->second;
  if (!ParseInt32(it->second, n) || n < 1) {
    throw UsageError{"Číslo archivu musí být kladné celé číslo, nebo latest (archiv uložený naposledy)."};
  }
  return std::to_string(n);
}

// The year folders that cannot be read, each with the system's reason: a year asked for by name
// may be one of them, since its name is read from inside.
std::string UnreadableYearFolders(const std::string& agendaPath, const YearList& years) {
  std::string found;
  for (const YearRow& r : years.Rows()) {
    int error = 0;
    static_cast<void>(FindEntries(agendaPath + r.entryName, "ROK.INI", &error));
    if (error == 0) continue;
    if (!found.empty()) found += ", ";
    found.append(agendaPath).append(r.entryName).append(" (").append(SystemErrorText(error)).append(")");
  }
  return found;
}

// False after the message when a year asked for cannot be found because a year folder cannot be
// read; a year the agenda plainly lacks is a usage error.
bool MarkYears(const Options& o, const std::string& agendaPath, YearList& years, Dialogs& dialogs) {
  const auto it = o.values.find("--years");
  if (it == o.values.end() || it->second == "all") {
    for (std::size_t i = 0; i < years.Count(); ++i) years.Toggle(i);
    return true;
  }
  for (const std::string& wanted : Split(it->second, ',')) {
    const std::string name = Trim(wanted);
    std::vector<std::size_t> hits;
    for (std::size_t i = 0; i < years.Count(); ++i) {
      const YearRow& r = years.Row(i);
      if (r.YearName == name || SameText(r.YearDir, name) || r.entryName == name) hits.push_back(i);
    }
    if (hits.empty()) {
      const std::string unreadable = UnreadableYearFolders(agendaPath, years);
      if (unreadable.empty()) throw UsageError{"Agenda nemá účetní rok \"" + name + "\"."};
      std::string text = "Účetní rok \"" + name + "\" nelze najít: adresář účetního roku ";
      dialogs.Message(MsgKind::Error, text.append(unreadable).append(" nelze přečíst."));
      return false;
    }
    if (hits.size() > 1)
      throw UsageError{"Název \"" + name + "\" odpovídá více účetním rokům; zadejte adresář (ROK.nnn)."};
    if (!years.Row(hits[0]).Checked) years.Toggle(hits[0]);
  }
  return true;
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
    for (std::size_t m = 0; m < kModuleCount; ++m) {
      if (SameText(Trim(code), kModules[m].code)) filter[m] = found = true;
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
  if (FindBatchCommand(o.command).options.count("--archive") != 0) ArchiveNumberOption(o);
}

// The exit status of a job that ended with `result`.
int ExitStatus(const Result& result) {
  if (result.IsOk()) return BatchSuccess;
  return result.ByUser() ? BatchStopped : BatchFailed;
}

// The job's status in a JSON report: `done` when it succeeded.
const char* JobStatusWord(const Result& result, const char* done) {
  return result.IsOk() ? done : result.ByUser() ? "stopped" : "failed";
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The listed archive of this agenda with that number, or null after the message that says why
// there is none. Only that archive is read, however many others there are.
std::optional<ArchiveRow> FindArchive(const HostContext& ctx, const std::string& number, Dialogs& dialogs) {
  ArchiveRow row;
  if (Result found = RunFindArchiveRoad(ctx, number, row); !found.IsOk()) {
    SayFailure(found, dialogs);
    return std::nullopt;
  }
  if (number != "latest" || row.complete) return row;
  // An older complete archive in its place would leave the newest states where they are.
  dialogs.Message(MsgKind::Error, "Archiv uložený naposledy, " + row.Dir + " (\"" + row.MapName + "\", " + row.MapDate +
                                      " " + row.MapTime + "), " + (row.running ? "se právě ukládá" : "nebyl dokončen") +
                                      ", a --archive latest jiný archiv nevybere. Zadejte archiv číslem "
                                      "(vypíše je vorlend-batch list).");
  return std::nullopt;
}

// The command that runs `command` on the same agenda with `extra` words after the groups, for the
// shell of the platform, in lines of at most 80 columns. A password never appears in it: its group
// is left out, with a line on where the command takes it from.
std::string AgendaCommand(const Options& o, const char* command, const std::vector<std::string>& extra) {
  const StartupParams params = ParseCommandLine(o.groups);
  std::vector<std::string> words = {"vorlend-batch", command};
  std::string value;
  bool secret = false;
  for (const char* name : {"MAIN", "AKTROK", "MVERZE", "AKTHESLO", "AKTCFGNAME"}) {
    if (!FindParam(params, name, value)) continue;
    if (std::string(name) == "AKTHESLO" && !value.empty()) {
      secret = true;
      continue;
    }
    words.push_back("?" + std::string(name) + "=" + value + "?" + name);
  }
  words.insert(words.end(), extra.begin(), extra.end());
  std::string text = ShellCommand(words);
  if (secret) {
    text +=
        "\n(heslo se ve výpisu neuvádí: zadejte ho proměnnou VORLEND_AKTHESLO nebo volbou\n"
        "--password-file SOUBOR)";
  }
  return text;
}

std::string ArchiveCommand(const Options& o, const char* command, const std::string& number) {
  return AgendaCommand(o, command, {"--archive", number});
}

std::string RestoreCommand(const Options& o, const std::string& number) {
  return ArchiveCommand(o, "restore", number);
}

// Why a save did not start beside an unfinished archive, and what the user can do.
std::string UnfinishedRefusal(const Options& o, const UnfinishedArchive& a) {
  const std::string despite = "\rNové uložení přesto spustí volba --ignore-incomplete.";
  std::string advice;
  switch (a.kind) {
    case UnfinishedKind::Running:
      advice = " Počkejte, až skončí." + despite;
      break;
    case UnfinishedKind::Incomplete:
      advice = " Nejprve ho obnovte:\r" + RestoreCommand(o, a.row.Dir) + despite;
      break;
    case UnfinishedKind::Pending:
      advice = " Nejprve ho obnovte:\r" + RestoreCommand(o, a.row.Dir) + "\rNové uložení přesto spustí volba --force.";
      break;
    case UnfinishedKind::NothingToRestore:
      advice = " Pokud ho už nepotřebujete, smažte ho:\r" + ArchiveCommand(o, "delete", a.row.Dir) + despite;
      break;
  }
  return UnfinishedArchiveText(a) + advice;
}

// What the save will do, worked out from the command line and the agenda before anything is
// created, so that a wrong year or an empty filter is a usage error with nothing written.
struct SavePlan {
  SaveChoices choices;
  YearList years;
};

int PlanSave(const Options& o, const HostContext& ctx, Dialogs& dialogs, SavePlan& plan) {
  const AddonSettings settings = LoadSettings(ctx.SettingsFileName());
  // Defaults in place of choices the user remembered would unlock what the user meant to lock.
  if (settings.unreadable && (!o.Has("--modules") || !o.Has("--action"))) {
    dialogs.Message(MsgKind::Error, "Uložené nastavení doplňku nelze načíst ze souboru " + ctx.SettingsFileName() +
                                        ", a proto nelze použít zapamatované moduly a akci. Zadejte je volbami "
                                        "--modules a --action.");
    return BatchFailed;
  }
  plan.choices.filter = settings.modules;
  ChooseModules(o, plan.choices.filter);
  plan.choices.action = ChooseAction(o, settings.action);
  plan.choices.archiveName = ArchiveName(o);
  if (!FillYearList(ctx.AgendaPath, dialogs, plan.years)) return BatchFailed;
  if (!MarkYears(o, ctx.AgendaPath, plan.years, dialogs)) return BatchFailed;
  if (!AnyModuleChosen(plan.choices.filter)) {
    throw UsageError{kNoModuleText};
  }
  return BatchSuccess;
}

// While a job runs, whatever the dialogs write first clears the progress line redrawn in place;
// the hook goes with the progress.
struct ProgressLineGuard {
  ConsoleDialogs& dialogs;
  ConsoleProgress& progress;
  ProgressLineGuard(ConsoleDialogs& d, ConsoleProgress& p) : dialogs(d), progress(p) {
    dialogs.BeforeOutput([this] { progress.CloseLine(); });
  }
  ~ProgressLineGuard() {
    progress.CloseLine();
    dialogs.BeforeOutput({});
  }
};

const char* ActionWord(LockAction action) {
  return action == LockAction::Unlock ? "unlock" : action == LockAction::Lock ? "lock" : "none";
}

// The archive a job left, as the list would show it (null when there is none).
const ArchiveRow* LeftArchive(const HostContext& ctx, const std::string& number, ArchiveRow& row) {
  return !number.empty() && RunFindArchiveRoad(ctx, number, row).IsOk() ? &row : nullptr;
}

}  // namespace

// What a command works with, once the add-on has started.
struct BatchJob {
  HostContext& ctx;
  SavePlan& plan;  // save: what it will do, worked out before anything was created
  ConsoleDialogs& dialogs;
  std::ostream& out;
  std::ostream& err;
};

namespace {

int RunSave(const Options& o, BatchJob& job) {
  HostContext& ctx = job.ctx;
  SavePlan& plan = job.plan;
  ConsoleDialogs& dialogs = job.dialogs;
  std::ostream& out = job.out;
  std::ostream& err = job.err;
  dialogs.Preanswer(QuestionId::GoOnDespiteUnfinished, o.Has("--ignore-incomplete"));
  dialogs.Preanswer(QuestionId::ArchiveOrder, o.Has("--force"));
  ConsoleProgress progress(err, o.Has("--quiet"), {}, StandardErrorIsTerminal());
  progress.SetVerbose(o.Has("--verbose"));
  ConsoleObserver observer(dialogs, progress);
  const ProgressLineGuard line(dialogs, progress);
  TBFTable money, lock;
  FileList files;
  const auto start = std::chrono::steady_clock::now();
  const SaveOutcome saved = RunSaveRoad(ctx, RoadPorts{dialogs, progress, &observer}, RoadTables{money, lock, files},
                                        plan.years, plan.choices);
  if (saved.status == SaveStatus::Declined) {
    dialogs.Message(MsgKind::Error, UnfinishedRefusal(o, saved.unfinished));
    return BatchFailed;
  }
  if (saved.status == SaveStatus::Refused) return BatchFailed;
  const double seconds = SecondsSince(start);
  progress.CloseLine();
  if (o.Has("--json")) {
    ArchiveRow row;
    PrintJobJson("save", JobStatusWord(saved.result, "saved"), LeftArchive(ctx, saved.archiveNumber, row),
                 ActionWord(plan.choices.action), &saved.counts, seconds, nlohmann::ordered_json::object(), out);
  } else if (saved.status == SaveStatus::Saved) {
    out << saved.archiveNumber << std::endl;
  } else if (saved.incompleteLeft) {
    // The one way back: every state the save changed restored, its archive deleted, and the save
    // run again from the start.
    err << WrapForConsole(
               "Uložení nebylo dokončeno. Původní stav zámků všech dokladů, které stihlo zpracovat, je "
               "v nedokončeném archivu " +
               saved.archiveNumber + ". Vše vrátíte a uložení zopakujete těmito třemi příkazy:")
        << "\n1. vrácení zámků z archivu " << saved.archiveNumber << ":\n"
        << RestoreCommand(o, saved.archiveNumber) << "\n2. smazání archivu " << saved.archiveNumber << ":\n"
        << ArchiveCommand(o, "delete", saved.archiveNumber) << "\n3. nové uložení:\n"
        << AgendaCommand(o, "save", o.options) << std::endl;
  }
  // The archive number is the save's one result for a script: never lost without a word.
  if (!out && !saved.archiveNumber.empty()) {
    err << WrapForConsole("Číslo nového archivu: " + saved.archiveNumber + " (standardní výstup nelze zapsat).")
        << std::endl;
  }
  err << WrapForConsole(SaveSummary(saved.counts, plan.choices.action, saved.status == SaveStatus::Saved, seconds))
      << std::endl;
  return ExitStatus(saved.result);
}

// The archive --archive names, its recapitulation and its comparison with Money, read without
// locking or writing anything.
struct NamedArchive {
  std::optional<ArchiveRow> row;
  Recapitulation recap;
  ArchiveInspection inspection;
};

// False after the message. The archive is held shared while it is read, so no other user deletes
// it meanwhile.
bool InspectNamedArchive(const Options& o, const HostContext& ctx, Dialogs& dialogs, bool documents, NamedArchive& a) {
  a.row = FindArchive(ctx, ArchiveNumberOption(o), dialogs);
  return a.row && RunComparisonRoad(ctx, dialogs, *a.row, documents, a.inspection, &a.recap).IsOk();
}

int RunShow(const Options& o, BatchJob& job) {
  const HostContext& ctx = job.ctx;
  Dialogs& dialogs = job.dialogs;
  std::ostream& out = job.out;
  const bool documents = o.Has("--documents");
  NamedArchive a;
  if (!InspectNamedArchive(o, ctx, dialogs, documents, a)) return BatchFailed;
  if (o.Has("--json")) {
    PrintInspectionJson(*a.row, a.inspection, documents, out);
  } else {
    PrintInspection(*a.row, a.recap, a.inspection, documents ? InspectionView::Documents : InspectionView::Counts, out);
  }
  return BatchSuccess;
}

// The restore's preview: what `show --documents` prints about the documents the restore would
// change. Nothing is locked or written.
int RunDryRun(const Options& o, const HostContext& ctx, Dialogs& dialogs, std::ostream& out, std::ostream& err) {
  NamedArchive a;
  if (!InspectNamedArchive(o, ctx, dialogs, true, a)) return BatchFailed;
  if (o.Has("--json")) {
    PrintInspectionJson(*a.row, a.inspection, true, out, true);
  } else {
    PrintInspection(*a.row, a.recap, a.inspection, InspectionView::DryRun, out);
  }
  const TableInspection total = InspectionTotals(a.inspection);
  err << WrapForConsole("Zkušební běh: obnovení by změnilo dokladů " + std::to_string(total.differing) +
                        ", zaznamenaných dokladů už v Money není " + std::to_string(total.missing) +
                        ". Nic nebylo změněno.")
      << std::endl;
  return BatchSuccess;
}

int RunRestore(const Options& o, BatchJob& job) {
  if (o.Has("--dry-run")) return RunDryRun(o, job.ctx, job.dialogs, job.out, job.err);
  HostContext& ctx = job.ctx;
  ConsoleDialogs& dialogs = job.dialogs;
  std::ostream& out = job.out;
  std::ostream& err = job.err;
  const std::optional<ArchiveRow> row = FindArchive(ctx, ArchiveNumberOption(o), dialogs);
  if (!row) return BatchFailed;
  dialogs.Preanswer(QuestionId::DeleteAfterRestore, o.Has("--delete-after"));
  dialogs.Preanswer(QuestionId::ArchiveOrder, o.Has("--force"));
  ConsoleProgress progress(err, o.Has("--quiet"), {}, StandardErrorIsTerminal());
  progress.SetVerbose(o.Has("--verbose"));
  ConsoleObserver observer(dialogs, progress);
  const ProgressLineGuard line(dialogs, progress);
  TBFTable money, lock;
  FileList files;
  const auto start = std::chrono::steady_clock::now();
  const RestoreRoadOutcome restored =
      RunRestoreRoad(ctx, RoadPorts{dialogs, progress, &observer}, RoadTables{money, lock, files}, *row);
  if (restored.status == RestoreStatus::Refused) return BatchFailed;
  if (restored.status == RestoreStatus::Declined) {
    dialogs.Message(MsgKind::Error, NewerArchiveText(*row, restored.newer) + "\r" +
                                        RestoreCommand(o, restored.newer.Dir) + "\rObnovení archivu " + row->Dir +
                                        " přesto spustí volba --force.");
    return BatchFailed;
  }
  const double seconds = SecondsSince(start);
  progress.CloseLine();
  if (o.Has("--json")) {
    PrintJobJson("restore", JobStatusWord(restored.result, "restored"), &*row, nullptr, &restored.counts, seconds,
                 nlohmann::ordered_json{{"deleted", restored.deletion == DeletionStatus::Deleted}}, out);
  }
  err << WrapForConsole(RestoreSummary(restored.counts, restored.status == RestoreStatus::Restored, seconds))
      << std::endl;
  if (restored.status != RestoreStatus::Restored) {
    // A restore only writes archived states: run again, it finishes what this one began.
    if (restored.counts.tablesBegun > 0) {
      std::vector<std::string> again = {"--archive", row->Dir};
      if (o.Has("--delete-after")) again.push_back("--delete-after");
      err << WrapForConsole(
                 "Obnovení nebylo dokončeno. Doklady, kterým stihlo vrátit zámek, ho už mají; ostatní "
                 "vrátí tentýž příkaz spuštěný znovu:")
          << "\n"
          << AgendaCommand(o, "restore", again) << std::endl;
    }
    return ExitStatus(restored.result);
  }
  const DeletionStatus d = restored.deletion;
  return d == DeletionStatus::Kept || d == DeletionStatus::Deleted ? BatchSuccess : BatchFailed;
}

int RunDelete(const Options& o, BatchJob& job) {
  const HostContext& ctx = job.ctx;
  ConsoleDialogs& dialogs = job.dialogs;
  std::ostream& out = job.out;
  std::ostream& err = job.err;
  const std::optional<ArchiveRow> row = FindArchive(ctx, ArchiveNumberOption(o), dialogs);
  if (!row) return BatchFailed;
  // What goes is said: a deleted archive may have been the only copy of those states.
  const int states = RunCountStatesRoad(ctx, *row);
  const std::string what = "archiv " + row->Dir + " (\"" + row->MapName + "\", " + row->MapDate + " " + row->MapTime +
                           (row->complete ? "" : ", nedokončený") + ")" +
                           (states >= 0 ? ", uložené stavy zámků: " + std::to_string(states) : std::string());
  const nlohmann::ordered_json extra = {{"states", states}};
  // An unfinished archive may hold the only earlier states of documents its save changed.
  auto pendingRefusal = [&](int pending) {
    dialogs.Message(MsgKind::Error, "Archiv " + row->Dir + " (\"" + row->MapName +
                                        "\") nebyl dokončen a jeho obnovení by ještě změnilo zámky dokladů: " +
                                        std::to_string(pending) +
                                        ". Jejich původní stav je jen v tomto archivu. Nejprve ho obnovte:\r" +
                                        RestoreCommand(o, row->Dir) + "\rSmazání přesto provede volba --force.");
  };
  dialogs.Preanswer(QuestionId::DeleteArchive, true);
  dialogs.Preanswer(QuestionId::DeletePendingWork, o.Has("--force"));
  int pending = 0;
  // A dry run goes the same road, refusals included, and stops short of the deletion.
  const bool dryRun = o.Has("--dry-run");
  const DeletionStatus status = RunDeleteRoad(ctx, dialogs, *row, &pending, dryRun);
  if (status == DeletionStatus::Kept) pendingRefusal(pending);
  if (dryRun) {
    if (status != DeletionStatus::WouldDelete) return BatchFailed;
    err << WrapForConsole("Zkušební běh: smazal by se " + what + ". Nic nebylo smazáno.") << std::endl;
    if (o.Has("--json")) PrintJobJson("delete", "dry-run", &*row, nullptr, nullptr, 0, extra, out);
    return BatchSuccess;
  }
  const bool deleted = status == DeletionStatus::Deleted;
  if (o.Has("--json")) PrintJobJson("delete", deleted ? "deleted" : "failed", &*row, nullptr, nullptr, 0, extra, out);
  if (!deleted) return BatchFailed;
  err << WrapForConsole("Smazán " + what + ".") << std::endl;
  return BatchSuccess;
}

// `check`: every archive named (all: every archive of the agenda) read whole, nothing written.
// One line per archive, and one per problem; 0 when every archive is sound.
int RunCheck(const Options& o, BatchJob& job) {
  const HostContext& ctx = job.ctx;
  Dialogs& dialogs = job.dialogs;
  std::ostream& out = job.out;
  std::vector<ArchiveRow> rows;
  if (ArchiveNumberOption(o) == "all") {
    // An archive folder that cannot be read is a failure, not an agenda whose archives are sound.
    // The check only reads: what killed saves left behind stays for the list to remove.
    ArchiveList list;
    if (!RunListRoad(ctx, dialogs, list, false)) return BatchFailed;
    rows = list.Rows();
  } else if (const std::optional<ArchiveRow> row = FindArchive(ctx, ArchiveNumberOption(o), dialogs)) {
    rows.push_back(*row);
  } else {
    return BatchFailed;
  }
  std::vector<CheckedArchive> checked;
  for (const ArchiveRow& row : rows) {
    CheckedArchive c{row, {}, 0};
    c.problems = RunCheckRoad(ctx, row, c.records);
    checked.push_back(std::move(c));
  }
  PrintCheck(checked, o.Has("--json"), out);
  const bool sound =
      std::all_of(checked.begin(), checked.end(), [](const CheckedArchive& c) { return c.problems.empty(); });
  return sound ? BatchSuccess : BatchFailed;
}

// The groups with the password taken from the environment or a file when no group gives it, so it
// need not stand on a command line that every user of the machine can read.
// Money and agenda-seed always pass the group, empty when the operating-system account identifies
// the user: an empty group gives way to the file or the environment. `source` says where the
// password came from, for the message when it is refused.
std::vector<std::string> GroupsWithPassword(const Options& o, std::string& source) {
  std::vector<std::string> groups;
  std::string value;
  const bool inGroup = FindParam(ParseCommandLine(o.groups), "AKTHESLO", value) && !value.empty();
  for (const std::string& g : o.groups) {
    const bool empty = !inGroup && g.find("?AKTHESLO=?AKTHESLO") != std::string::npos;
    const std::string rest = empty ? Trim(ReplaceAll(g, "?AKTHESLO=?AKTHESLO", "")) : g;
    if (!rest.empty()) groups.push_back(rest);
  }
  source = inGroup ? "ze skupiny ?AKTHESLO" : "";
  const auto file = o.values.find("--password-file");
  // Read as UTF-8 on every system: a password with Czech letters must reach the rights as typed.
  const std::string env = EnvironmentVariable("VORLEND_AKTHESLO");
  if (file != o.values.end()) {
    if (inGroup) throw UsageError{"Heslo je zadáno skupinou ?AKTHESLO i volbou --password-file; zadejte ho jednou."};
    std::string bytes;
    if (!ReadWholeFile(file->second, bytes, kMaxSmallFileBytes)) {
      throw UsageError{"Soubor s heslem " + file->second + " nelze přečíst."};
    }
    value = bytes.substr(0, bytes.find_first_of("\r\n"));
    source = "ze souboru " + file->second + " (volba --password-file)";
  } else if (!env.empty() && !inGroup) {
    value = env;
    source = "z proměnné VORLEND_AKTHESLO";
  } else if (!inGroup) {
    value.clear();
  }
  if (!inGroup) groups.push_back("?AKTHESLO=" + value + "?AKTHESLO");
  return groups;
}

int Usage(const UsageError& e, std::ostream& err) {
  err << WrapForConsole("vorlend-batch: " + e.text + " Nápovědu vypíše vorlend-batch --help.") << std::endl;
  return BatchUsage;
}

int RunList(const Options& o, BatchJob& job) {
  ArchiveList list;
  if (!RunListRoad(job.ctx, job.dialogs, list)) return BatchFailed;
  PrintArchiveList(list, o.Has("--json"), job.out);
  return BatchSuccess;
}

}  // namespace

const std::vector<BatchCommand>& BatchCommands() {
  static const std::vector<BatchCommand> kCommands = {
      {"save",
       {{"--years", true},
        {"--modules", true},
        {"--action", true},
        {"--name", true},
        {"--on-conflict", true},
        {"--ignore-incomplete", false},
        {"--force", false},
        {"--quiet", false},
        {"--json", false}},
       RunSave},
      {"list", {{"--json", false}}, RunList},
      {"show", {{"--archive", true}, {"--documents", false}, {"--json", false}}, RunShow},
      {"restore",
       {{"--archive", true},
        {"--delete-after", false},
        {"--on-conflict", true},
        {"--dry-run", false},
        {"--force", false},
        {"--quiet", false},
        {"--json", false}},
       RunRestore},
      {"delete", {{"--archive", true}, {"--dry-run", false}, {"--force", false}, {"--json", false}}, RunDelete},
      {"check", {{"--archive", true}, {"--json", false}}, RunCheck},
  };
  return kCommands;
}

namespace {

// With --verbose, what the command works with, once the start-up has found it.
void PrintWorkingContext(const Options& o, const HostContext& ctx, const std::string& passwordSource,
                         std::ostream& err) {
  err << WrapForConsole("Agenda: " + ctx.AgendaPath + " (" + ctx.AgendaName + ")") << "\n"
      << WrapForConsole("Adresář archivů zámků: " + ctx.ArchiveRoot()) << "\n";
  if (o.command == "save") err << WrapForConsole("Nastavení: " + ctx.SettingsFileName()) << "\n";
  err << WrapForConsole("Heslo uživatele Money: " +
                        (passwordSource.empty()
                             ? "žádné, uživatele určil účet operačního systému \"" + CurrentUserName() + "\""
                             : "převzato " + passwordSource))
      << std::endl;
}

// The start-up of the window without the window, with the batch's own checks placed before the
// first directory is created: a command line the add-on cannot act on writes nothing.
int StartAndRun(const Options& o, const std::string& passwordSource, ConsoleDialogs& dialogs, std::ostream& out,
                std::ostream& err) {
  const std::vector<std::string> missing = MissingGroups(o.groups);
  if (!missing.empty()) {
    std::string names;
    for (const std::string& m : missing) names += (names.empty() ? "" : ", ") + m;
    dialogs.Message(MsgKind::Error,
                    std::string(missing.size() == 1 ? "Chybí skupina parametrů " : "Chybí skupiny parametrů ") + names +
                        ". Vypisuje je agenda-seed, Money je předává doplňku při spuštění.");
    return BatchRefused;
  }
  HostContext ctx;
  SavePlan plan;
  try {
    if (!ReadHostContext(ParseCommandLine(o.groups), dialogs, ctx)) return BatchRefused;
    if (o.command == "save") {
      if (const int planned = PlanSave(o, ctx, dialogs, plan); planned != BatchSuccess) return planned;
    }
    if (!EnsureAddonFolders(ctx, dialogs) || !CheckAccessRights(ctx, dialogs)) {
      return BatchRefused;
    }
  } catch (const std::exception& e) {
    dialogs.Message(MsgKind::Error, e.what());
    return BatchRefused;
  }
  if (o.Has("--verbose")) PrintWorkingContext(o, ctx, passwordSource, err);
  try {
    BatchJob job{ctx, plan, dialogs, out, err};
    return FindBatchCommand(o.command).run(o, job);
  } catch (const std::exception& e) {
    dialogs.Message(MsgKind::Error, e.what());
    return BatchFailed;
  }
}

}  // namespace

namespace {
// Counts what passes to standard output, so a run that printed nothing can still give a script
// its JSON document.
class CountingBuffer : public std::streambuf {
public:
  explicit CountingBuffer(std::streambuf* inner) : m_inner(inner) {}
  std::size_t Count() const { return m_count; }

protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    ++m_count;
    return m_inner->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    m_count += static_cast<std::size_t>(n);
    return m_inner->sputn(s, n);
  }
  int sync() override { return m_inner->pubsync(); }

private:
  std::streambuf* m_inner;
  std::size_t m_count = 0;
};

const char* StatusWord(int status) {
  switch (status) {
    case BatchUsage:
      return "usage";
    case BatchRefused:
      return "refused";
    case BatchStopped:
      return "stopped";
    default:
      return "failed";
  }
}

bool AsksForJson(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--json") != args.end();
}

// The command with its start-up; with --json, one document also for a run that ended without its
// result; a refused password says where it came from.
int RunCommand(Options& o, std::ostream& out, std::ostream& err) {
  std::string passwordSource;
  o.groups = GroupsWithPassword(o, passwordSource);
  ValidateOptions(o);
  ConsoleDialogs dialogs(err, ParseConflict(o), o.Has("--quiet"));
  CountingBuffer counted(out.rdbuf());
  std::ostream jobOut(&counted);
  const int status = StartAndRun(o, passwordSource, dialogs, o.Has("--json") ? jobOut : out, err);
  out.setstate(jobOut.rdstate());
  if (o.Has("--json") && status != BatchSuccess && counted.Count() == 0) {
    PrintErrorJson(o.command.c_str(), StatusWord(status), status, dialogs.Reported(), out);
  }
  if (status == BatchRefused && dialogs.LastMessage().find(kUserNotFoundText) != std::string::npos) {
    err << WrapForConsole(passwordSource.empty()
                              ? "Heslo nebylo zadáno: uživatele Money určil účet operačního systému \"" +
                                    CurrentUserName() + "\"."
                              : "Heslo uživatele Money bylo převzato " + passwordSource + ".")
        << std::endl;
  }
  if (status != BatchSuccess) dialogs.ReportHeldBack();
  return status;
}

// What the command printed is its result: a write that failed (a full disk, a closed output) fails
// the command, after the job itself has ended. A reader that went away (`| head`) had what it
// wanted: the tool ends quietly, as others do.
int Finish(int status, std::ostream& out, std::ostream& err) {
  out.flush();
  err.flush();
  if (!out && &out == &std::cout && StandardOutputReaderGone()) return BatchReaderGone;
  if (!out) {
    err.clear();
    err << WrapForConsole("vorlend-batch: standardní výstup nelze zapsat (plný disk nebo zavřený výstup).")
        << std::endl;
  }
  if (status == BatchSuccess && (!out || !err)) return BatchOutput;
  return status;
}
}  // namespace

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    Options o = ParseBatchOptions(args);
    if (o.help) {
      out << (o.command.empty() ? std::string(kBatchHelpText) : BatchCommandHelp(o.command)) << std::flush;
      return out ? BatchSuccess : BatchOutput;
    }
    if (o.version) {
      out << "vorlend-batch " << ProgramVersion << std::endl;
      return out ? BatchSuccess : BatchOutput;
    }
    return Finish(RunCommand(o, out, err), out, err);
  } catch (const UsageError& e) {
    if (AsksForJson(args)) {
      PrintErrorJson(args.empty() ? "" : args[0].c_str(), "usage", BatchUsage, {e.text}, out);
    }
    return Usage(e, err);
  }
}

}  // namespace vorlend
