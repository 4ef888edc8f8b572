// agenda-seed DATADIR [--agendas N] [--years N] [--docs N] [--locked PERCENT] [--form ini|table]
//                     [--rights none|old|new] [--seed S]
//                     [--rights-user NAME] [--password TEXT] [--no-lock-right] [--no-prispol]
// Writes a Money-like data directory: agendas AGENDA.001, ... with their settings store, years
// ROK.001, ... named 2024, 2025, ... with theirs, the eight document tables of every year, and the
// access-rights tables. Prints the ?NAME=value?NAME groups that start the add-on on the most
// recent year of the first agenda, one group a line. -h or --help prints the usage. Exit status:
// 0 success, 1 failure, 2 usage (a word that is no documented option, or a data directory that
// begins with "-", is refused before anything is written).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "seed/documents.h"
#include "seed/random.h"
#include "seed/rights.h"
#include "seed/settings_store.h"

using namespace vorlend;
using namespace vorlend::seed;

namespace {

constexpr int kFirstYearName = 2024;

struct Options {
  std::string dataDir;
  int agendas = 1;
  int years = 3;
  int docs = 200;
  int lockedPercent = 30;
  SettingsForm form = SettingsForm::Ini;
  RightsOptions rights;
  std::uint32_t seed = 1;
};

constexpr const char* kUsage =
    "usage: agenda-seed DATADIR [--agendas N] [--years N] [--docs N] [--locked PERCENT]\n"
    "                   [--form ini|table] [--rights none|old|new] [--seed S]\n"
    "                   [--rights-user NAME] [--password TEXT] [--no-lock-right] [--no-prispol]\n"
    "Writes a Money-like data directory into DATADIR (new, or without AGENDA.nnn folders) and prints\n"
    "the ?NAME=value?NAME groups that start the add-on on the most recent year of the first agenda.\n"
    "Defaults: 1 agenda, 3 years, 200 documents per table, 30 % locked, ini form, new-model rights\n"
    "letting the current account in with an empty password.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

// One line that names what is wrong; nothing has been written.
int Usage(const std::string& problem) {
  std::fprintf(stderr, "agenda-seed: %s (agenda-seed --help shows the usage)\n", problem.c_str());
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "agenda-seed: %s\n", message.c_str());
  return 1;
}

bool ParseNumber(const std::string& text, int low, int high, int& out) {
  int value = 0;
  if (!ParseInt32(text, value) || value < low || value > high) return false;
  out = value;
  return true;
}

// Returns an empty text, or what is wrong with the command line.
std::string ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("-", 0) != 0) {
      if (!o.dataDir.empty()) return "unexpected argument \"" + arg + "\": the data directory is " + o.dataDir;
      o.dataDir = arg;
      continue;
    }
    // A word with one dash is a mistyped option, never a data directory to create.
    if (arg.rfind("--", 0) != 0)
      return "unknown option " + arg + "; a data directory that begins with \"-\" is written ./" + arg;
    if (arg == "--no-lock-right") {
      o.rights.lockRight = false;
      continue;
    }
    if (arg == "--no-prispol") {
      o.rights.prispol = false;
      continue;
    }
    static const char* const kValued[] = {"--agendas", "--years",       "--docs",     "--locked", "--form",
                                          "--rights",  "--rights-user", "--password", "--seed"};
    if (std::find(std::begin(kValued), std::end(kValued), arg) == std::end(kValued)) return "unknown option " + arg;
    if (i + 1 == argc) return arg + " needs a value";
    const std::string value = argv[++i];
    int seed = 0;
    if (arg == "--agendas") {
      if (!ParseNumber(value, 1, 999, o.agendas)) return "--agendas takes 1 to 999";
    } else if (arg == "--years") {
      if (!ParseNumber(value, 1, 999, o.years)) return "--years takes 1 to 999";
    } else if (arg == "--docs") {
      if (!ParseNumber(value, 0, 10000000, o.docs)) return "--docs takes 0 to 10000000";
    } else if (arg == "--locked") {
      if (!ParseNumber(value, 0, 100, o.lockedPercent)) return "--locked takes 0 to 100";
    } else if (arg == "--form") {
      if (value == "ini")
        o.form = SettingsForm::Ini;
      else if (value == "table")
        o.form = SettingsForm::Table;
      else
        return "--form takes ini or table";
    } else if (arg == "--rights") {
      if (value == "none")
        o.rights.model = RightsModel::None;
      else if (value == "old")
        o.rights.model = RightsModel::Old;
      else if (value == "new")
        o.rights.model = RightsModel::New;
      else
        return "--rights takes none, old or new";
    } else if (arg == "--rights-user") {
      o.rights.user = value;
    } else if (arg == "--password") {
      o.rights.password = value;
    } else if (arg == "--seed") {
      if (!ParseInt32(value, seed)) return "--seed takes a number";
      o.seed = static_cast<std::uint32_t>(seed);
    } else {
      return "unknown option " + arg;
    }
  }
  if (o.dataDir.empty()) return "no data directory given";
  return {};
}

std::string Numbered(const char* prefix, int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s.%03d", prefix, n);
  return buf;
}

const std::vector<std::string>& FirmNames() {
  static const std::vector<std::string> kNames = {"Pekárna Křížová s.r.o.", "Stavby Dvořák a.s.",
                                                  "Účetní kancelář Šťastná", "Železářství U Žáků"};
  return kNames;
}

std::string WriteAgenda(const Options& o, int agenda, Random& random) {
  const std::string agendaDir = o.dataDir + Numbered("AGENDA", agenda) + kPathDelim;
  if (!ForceDirectories(agendaDir)) return "cannot create " + agendaDir;
  const std::string firm = FirmNames()[static_cast<std::size_t>(agenda - 1) % FirmNames().size()];
  std::string error = WriteSettingsStore(agendaDir + "AGENDA.INI", o.form,
                                         {{"Údaje o firmě", "Název-obchodní", firm},
                                          {"Údaje o firmě", "Město", "Brno"},
                                          {"Údaje o firmě", "IČO", std::to_string(25000000 + agenda)}});
  if (!error.empty()) return error;
  for (int year = 1; year <= o.years; ++year) {
    const int yearName = kFirstYearName + year - 1;
    const std::string yearDir = agendaDir + Numbered("ROK", year) + kPathDelim;
    if (!ForceDirectories(yearDir)) return "cannot create " + yearDir;
    const std::string y = std::to_string(yearName);
    error = WriteSettingsStore(
        yearDir + "ROK.INI", o.form,
        {{"Global", "Účetní rok", y}, {"Global", "Začátek", "1.1." + y}, {"Global", "Konec", "31.12." + y}});
    if (!error.empty()) return error;
    const DocumentOptions docs{yearName, o.docs, o.lockedPercent};
    for (const DocumentTable& table : DocumentTables()) {
      error = WriteDocumentTable(yearDir, table, docs, random);
      if (!error.empty()) return error;
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  vorlend::ConsoleArguments arguments(argc, argv);
  argc = arguments.Count();
  argv = arguments.Argv();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    // Every option but two takes the word after it as its value.
    if (arg.rfind("--", 0) == 0 && arg != "--no-lock-right" && arg != "--no-prispol") ++i;
  }
  Options o;
  if (const std::string problem = ParseOptions(argc, argv, o); !problem.empty()) return Usage(problem);
  o.dataDir = IncludeTrailingPathDelimiter(NormaliseInputPath(o.dataDir));
  if (PathExists(ExcludeTrailingPathDelimiter(o.dataDir)) && !DirectoryExists(o.dataDir))
    return Fail(o.dataDir + " is not a directory");
  for (int agenda = 1; agenda <= o.agendas; ++agenda) {
    const std::string agendaDir = ResolvePath(o.dataDir + Numbered("AGENDA", agenda));
    if (PathExists(agendaDir)) return Fail(agendaDir + " already exists; seed an empty directory");
  }
  if (!ForceDirectories(o.dataDir)) return Fail("cannot create " + o.dataDir);

  if (const std::string error = WriteRights(o.dataDir, o.rights); !error.empty()) return Fail(error);
  Random random(o.seed);
  for (int agenda = 1; agenda <= o.agendas; ++agenda)
    if (const std::string error = WriteAgenda(o, agenda, random); !error.empty()) return Fail(error);

  const std::string currentYear = o.dataDir + Numbered("AGENDA", 1) + kPathDelim + Numbered("ROK", o.years);
  // Money always passes its version; the add-on refuses to start without one that reads as a
  // number. The first page's "Další >>" then asks the vendor's server (VORLEND_VENDOR_URL).
  std::printf("?MAIN=1?MAIN\n?AKTROK=%s?AKTROK\n?MVERZE=13.00?MVERZE\n?AKTHESLO=%s?AKTHESLO\n?AKTCFGNAME=?AKTCFGNAME\n",
              currentYear.c_str(), o.rights.password.c_str());
  return 0;
}
