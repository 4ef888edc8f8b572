#include "app/batch_command_line.h"

#include "app/command_line.h"
#include "platform/text.h"

namespace vorlend {

const char* const kBatchHelpText =
    "vorlend-batch: uložení a vrácení zámků dokladů Money bez okna doplňku.\n"
    "\n"
    "Použití: vorlend-batch PŘÍKAZ SKUPINY... [VOLBY]\n"
    "\n"
    "SKUPINY jsou parametry, jak je Money předává doplňku (vypisuje je agenda-seed):\n"
    "  ?MAIN=1?MAIN ?AKTROK=.../AGENDA.nnn/ROK.nnn?AKTROK ?MVERZE=...?MVERZE\n"
    "  ?AKTHESLO=...?AKTHESLO ?AKTCFGNAME=...?AKTCFGNAME\n"
    "Heslo (?AKTHESLO) na příkazovém řádku vidí každý uživatel počítače; lze ho\n"
    "zadat proměnnou VORLEND_AKTHESLO nebo volbou --password-file SOUBOR.\n"
    "\n"
    "Příkazy:\n"
    "  save    [--years NÁZEV,NÁZEV|all] [--modules PD,BD,OP,OZ,ID,PF,VF,SD|all]\n"
    "          [--action unlock|lock|none] [--name TEXT]\n"
    "          [--on-conflict stop|retry=SEKUNDY] [--ignore-incomplete] [--force]\n"
    "          [--quiet] [--json]\n"
    "          Uloží stav zámků do nového archivu (a odemkne nebo zamkne\n"
    "          doklady); číslo archivu vypíše na standardní výstup. Bez --years\n"
    "          ukládá všechny roky, bez --modules a --action platí zapamatované\n"
    "          volby konfigurace a agendy. Odmítne se vedle nedokončeného archivu\n"
    "          (spustí ho --ignore-incomplete) a vedle archivu stejných tabulek,\n"
    "          jehož obnovení by ještě měnilo zámky (spustí ho --force).\n"
    "  list    [--json]\n"
    "          Archivy agendy, jeden na řádek: číslo, stav (complete,\n"
    "          incomplete, running, damaged), název, datum, čas, roky, moduly,\n"
    "          oddělené tabulátorem (tabulátor, CR, LF a \\ v textu jako \\t, \\r,\n"
    "          \\n, \\\\). S --json jeden dokument JSON s polem archives.\n"
    "  show    --archive N|latest [--documents] [--json]\n"
    "          Rekapitulace archivu a po tabulkách: zaznamenané doklady, z nich\n"
    "          zamčené, kolik se nyní liší a kolik už v Money není. S --documents\n"
    "          každý takový doklad. Jen čte: nic nezamyká ani nezapisuje.\n"
    "  restore --archive N|latest [--delete-after] [--dry-run] [--force] [--quiet]\n"
    "          [--on-conflict stop|retry=SEKUNDY] [--json]\n"
    "          Vrátí dokladům stav zámků z archivu; --delete-after pak archiv\n"
    "          smaže. S --dry-run jen vypíše doklady, které by se změnily.\n"
    "          Archivy se obnovují od nejnovějšího: je-li novější archiv\n"
    "          stejných tabulek, obnovení se odmítne (spustí ho --force).\n"
    "  delete  --archive N|latest [--dry-run] [--force] [--json]\n"
    "          Smaže archiv a vypíše, co smazal (kolik stavů zámků v něm bylo).\n"
    "          Nedokončený archiv, jehož obnovení by ještě měnilo zámky, smaže\n"
    "          jen s --force. S --dry-run jen vypíše, co by smazal nebo proč ne.\n"
    "  check   --archive N|latest|all [--json]\n"
    "          Zkontroluje archiv (all: každý archiv agendy): seznam souborů proti\n"
    "          popisnému souboru, každou tabulku kontrolou integrity SQLite a\n"
    "          každý záznam (číslo dokladu a stav zámku). Jen čte. Návratový kód 0,\n"
    "          když je vše v pořádku, jinak 1.\n"
    "  --archive latest je archiv agendy uložený naposledy; nebyl-li dokončen,\n"
    "          příkaz ho jen ohlásí (jiný archiv se zadá číslem).\n"
    "\n"
    "Volby:\n"
    "  --on-conflict stop     doklad, který jiný uživatel drží déle než sekundu,\n"
    "                         operaci zastaví (výchozí)\n"
    "  --on-conflict retry=S  na uvolnění dokladu se čeká nejvýše S sekund\n"
    "  --quiet                vypíše jen chyby a souhrn na konci\n"
    "  -v, --verbose          vypíše navíc, s čím pracuje (agendu, adresář archivů,\n"
    "                         soubor nastavení, odkud je heslo) a konec každé\n"
    "                         tabulky s jejím časem\n"
    "  --json                 výsledek jako JSON na standardní výstup, se schématem\n"
    "                         a počty; také neúspěch a chybný příkazový řádek\n"
    "  --password-file SOUBOR heslo uživatele Money z prvního řádku souboru\n"
    "  -h, --help             nápověda (za příkazem jen k tomu příkazu; také\n"
    "                         vorlend-batch help PŘÍKAZ)\n"
    "  --version              verze doplňku\n"
    "  --                     dál už jen skupiny parametrů, žádné volby\n"
    "Volbu s hodnotou lze psát i jako --volba=hodnota.\n"
    "\n"
    "Zprávy, průběh a souhrn jdou na standardní chybový výstup. SIGINT a SIGTERM\n"
    "operaci zastaví jako tlačítko Přerušit.\n"
    "\n"
    "Návratový kód: 0 úspěch, 1 chyba ohlášená doplňkem, 2 chybný příkazový\n"
    "řádek, 3 spuštění odmítnuto (chybějící skupina, práva, adresáře),\n"
    "4 zastaveno uživatelem (přerušení, neuvolněný doklad), 5 výstup nelze\n"
    "zapsat (plný disk, zavřený výstup), 141 čtenář výstupu skončil dřív (jako\n"
    "u ostatních programů, které ukončí SIGPIPE).\n";

namespace {
std::map<std::string, bool> KnownOptions(const std::string& command);

// The lines of the help's options that `command` accepts: each option's line with the lines that
// continue it, and the lines on how options are written.
std::string AcceptedOptionLines(const std::string& options, const std::string& command) {
  const auto known = KnownOptions(command);
  std::string kept;
  bool keep = true;
  for (const std::string& line : Split(options, '\n')) {
    if (StartsWith(line, "  -")) {
      const std::string name = line.substr(2, line.find_first_of(" ,", 2) - 2);
      keep = name == "-h" || name == "--" || known.count(name == "-v" ? "--verbose" : name) != 0;
    } else if (!StartsWith(line, "    ")) {
      keep = true;
    }
    if (keep) kept += line + "\n";
  }
  return kept.substr(0, kept.size() - 1);
}
}  // namespace

const BatchCommand& FindBatchCommand(const std::string& name) {
  for (const BatchCommand& command : BatchCommands()) {
    if (name == command.name) return command;
  }
  throw BatchUsageError{"Neznámý příkaz \"" + name + "\"."};
}

std::string BatchCommandHelp(const std::string& command) {
  // The command's own lines of the whole help, with the options it accepts and the exit codes.
  std::string all = kBatchHelpText;
  const std::string start = "  " + command + " ";
  std::size_t at = all.find(start, all.find("Příkazy:"));
  if (at == std::string::npos) return all;
  std::size_t end = at;
  do {
    end = all.find('\n', end) + 1;
  } while (end < all.size() && all.compare(end, 10, "          ") == 0);
  const std::size_t options = all.find("Volby:");
  return "Použití: vorlend-batch " + command + " SKUPINY... [VOLBY]\n\n" + all.substr(at, end - at) + "\n" +
         AcceptedOptionLines(all.substr(options), command);
}

namespace {

// Option name -> whether it takes a value, for the command. Every command takes the password
// from a file instead of a group, and says more on request.
std::map<std::string, bool> KnownOptions(const std::string& command) {
  std::map<std::string, bool> options = FindBatchCommand(command).options;
  options["--password-file"] = true;
  options["--verbose"] = false;
  return options;
}

bool IsHelp(const std::string& word) {
  return word == "-h" || word == "--help";
}

// Byte position of `marker` in `text` at or after `from`, compared without regard to case. A path
// in an argument need not be UTF-8, so the search runs over the text's own bytes.
std::size_t FindMarker(const std::string& text, std::size_t from, const std::string& marker) {
  for (std::size_t i = from; i + marker.size() <= text.size(); ++i) {
    if (text[i] == marker[0] && SameText(std::string_view(text).substr(i, marker.size()), marker)) return i;
  }
  return std::string::npos;
}

// The name of the group that begins at `pos`, checked; `eq` is the position of its "=".
std::string GroupName(const std::string& text, std::size_t pos, std::size_t& eq,
                      const std::vector<std::string>& names) {
  if (text[pos] != '?') throw BatchUsageError{"Nečekaný text \"" + text.substr(pos) + "\" za skupinou parametrů."};
  eq = text.find('=', pos);
  std::string name = eq == std::string::npos ? std::string() : text.substr(pos + 1, eq - pos - 1);
  if (name.empty() || name.find_first_of("? ") != std::string::npos) {
    throw BatchUsageError{"Chybná skupina parametrů \"" + text.substr(pos) +
                          "\": skupina má tvar ?NÁZEV=hodnota?NÁZEV."};
  }
  // A second group of one name would leave the add-on to pick one of them unseen.
  for (const std::string& seen : names) {
    if (SameText(seen, name)) throw BatchUsageError{"Skupina parametrů ?" + name + " je uvedena dvakrát."};
  }
  return name;
}

std::string UnclosedGroupText(const std::string& name) {
  return "Skupina parametrů ?" + name + "= není uzavřena textem ?" + name + ".";
}

// Takes the groups that begin at args[i] and returns the position of the last argument they
// occupy. A group's value may hold blanks and so be split over several arguments; the groups are
// read as the add-on reads them, from the arguments joined by blanks.
std::size_t TakeGroups(const std::vector<std::string>& args, std::size_t i, std::vector<std::string>& groups,
                       std::vector<std::string>& names) {
  const std::size_t first = i;
  std::string text = args[i];
  std::size_t pos = 0;
  for (;;) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (pos == text.size()) break;
    std::size_t eq = 0;
    const std::string name = GroupName(text, pos, eq, names);
    names.push_back(name);
    const std::string closing = "?" + name;
    for (;;) {
      const std::size_t at = FindMarker(text, eq + 1, closing);
      if (at != std::string::npos) {
        pos = at + closing.size();
        break;
      }
      if (i + 1 >= args.size()) {
        throw BatchUsageError{UnclosedGroupText(name)};
      }
      text += ' ';
      text += args[++i];
    }
  }
  groups.insert(groups.end(), args.begin() + static_cast<std::ptrdiff_t>(first),
                args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
  return i;
}

// Takes the option at args[i] ("--name", "--name=value" or "--name value") and returns the
// position of the last argument it occupies.
std::size_t TakeOption(const std::vector<std::string>& args, std::size_t i, const std::map<std::string, bool>& known,
                       BatchOptions& o) {
  // -v is the one short option besides -h, as in other tools.
  const std::string& a = args[i] == "-v" ? std::string("--verbose") : args[i];
  if (!StartsWith(a, "--")) {
    throw BatchUsageError{"Nečekané slovo \"" + a + "\": kromě skupin ?NÁZEV=hodnota?NÁZEV přijímá příkaz " +
                          o.command + " jen své volby začínající --."};
  }
  std::string name = a, value;
  const std::size_t eq = a.find('=');
  if (eq != std::string::npos) {
    name = a.substr(0, eq);
    value = a.substr(eq + 1);
  }
  const auto k = known.find(name);
  if (k == known.end()) throw BatchUsageError{"Neznámá volba " + name + " příkazu " + o.command + "."};
  if (!k->second && eq != std::string::npos) throw BatchUsageError{"Volba " + name + " nemá hodnotu."};
  if (k->second && eq == std::string::npos) {
    if (i + 1 >= args.size()) throw BatchUsageError{"Volbě " + name + " chybí hodnota."};
    value = args[++i];
  }
  if (o.values.count(name)) throw BatchUsageError{"Volba " + name + " je uvedena dvakrát."};
  if ((name == "--quiet" && o.values.count("--verbose")) || (name == "--verbose" && o.values.count("--quiet"))) {
    throw BatchUsageError{"Volby --quiet a --verbose se vylučují."};
  }
  o.values[name] = value;
  o.options.push_back(name);
  if (k->second) o.options.push_back(value);
  return i;
}

}  // namespace

BatchOptions ParseBatchOptions(const std::vector<std::string>& args) {
  BatchOptions o;
  if (args.empty()) throw BatchUsageError{"Chybí příkaz."};
  if (IsHelp(args[0])) {
    o.help = true;
    return o;
  }
  if (args[0] == "--version") {
    o.version = true;
    return o;
  }
  // `help COMMAND` is `COMMAND --help`.
  if (args[0] == "help") {
    if (args.size() > 2) throw BatchUsageError{"Příkaz help přijímá nejvýše jméno příkazu."};
    o.help = true;
    if (args.size() == 2) {
      KnownOptions(args[1]);
      o.command = args[1];
    }
    return o;
  }
  o.command = args[0];
  const auto known = KnownOptions(o.command);
  std::vector<std::string> names;
  bool optionsEnded = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && IsHelp(a)) {
      o.help = true;
      continue;
    }
    if (StartsWith(a, "?")) {
      i = TakeGroups(args, i, o.groups, names);
      continue;
    }
    if (optionsEnded) throw BatchUsageError{"Za -- smějí být jen skupiny parametrů, ne \"" + a + "\"."};
    i = TakeOption(args, i, known, o);
  }
  return o;
}

std::vector<std::string> MissingGroups(const std::vector<std::string>& groups) {
  const StartupParams params = ParseCommandLine(groups);
  std::vector<std::string> missing;
  std::string value;
  for (const char* name : {"MAIN", "AKTROK", "MVERZE", "AKTHESLO", "AKTCFGNAME"}) {
    if (!FindParam(params, name, value)) missing.push_back(std::string("?") + name + "=…?" + name);
  }
  return missing;
}

}  // namespace vorlend
