// vorlend-batch as an administrator uses it: a strict command line, the archive list for people
// and scripts, an archive's contents beside Money, the restore's dry run, progress and summaries.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "app/console_ports.h"
#include "app/job_progress.h"
#include "batch_fixture.h"
#include "host/host_context.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "support/portable.h"
#include "support/table_support.h"

using namespace vorlend;
using namespace vorlend::test;

namespace {

// In the text as one line per message: the console breaks messages at 80 columns.
bool Has(const std::string& text, const std::string& part) {
  return Unwrapped(text).find(part) != std::string::npos;
}

// A word for a POSIX shell.
std::string ShellWord(const std::string& word) {
  return "'" + ReplaceAll(word, "'", "'\\''") + "'";
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// SQLite's shared-memory index beside a table changes whenever anyone reads the table: it is no
// data, so it is left out when "nothing was written" is checked while another process has a table
// open.
std::map<std::string, std::string> DataSnapshot(const std::string& directory) {
  auto entries = Snapshot(directory);
  std::erase_if(entries, [](const auto& entry) {
    const std::string& name = entry.first;
    return name.size() >= 4 && name.compare(name.size() - 4, 4, "-shm") == 0;
  });
  return entries;
}

int Tool(const std::string& name, std::vector<std::string> args, std::string& out, std::string& err) {
  args.insert(args.begin(), ToolPath(name));
  return RunProgram(args, &out, &err);
}

}  // namespace

TEST_F(BatchFixture, StrayWordsAndMalformedGroupsAreRefusedWithNothingWritten) {
  const auto before = Snapshot(agenda.DataDir());
  struct Case {
    std::vector<std::string> args;
    std::string named;
  };
  const std::vector<Case> cases = {
      {{"save", "-y", "2025"}, "\"-y\""},  // it used to save every year
      {{"save", "--years", "2025", "ROK.001"}, "\"ROK.001\""},
      {{"list", "extra"}, "\"extra\""},
      {{"restore", "--archive", "1", "now"}, "\"now\""},
      {{"save", "--quiet=yes"}, "--quiet"},
      {{"show", "--archive", "1", "--delete-after"}, "--delete-after"},
      {{"list", "--archive", "1"}, "--archive"},
      {{"save", "--quiet", "-v"}, "--quiet a --verbose"},
      {{"save", "--years", "1999"}, "\"1999\""},  // a year the agenda lacks: found before anything is created
      {{"save", "--modules", "XX"}, "\"XX\""},
      {{"show"}, "--archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1 % c.args.size()]);
    EXPECT_EQ(Batch(c.args), 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(Lines(Unwrapped(err)), 1u) << err;
    EXPECT_TRUE(Has(err, c.named)) << err;
  }
  // A group that never closes, and text after a group.
  groups.push_back("?EXTRA=1");
  EXPECT_EQ(Batch({"list"}), 2);
  EXPECT_TRUE(Has(err, "?EXTRA= není uzavřena textem ?EXTRA")) << err;
  groups.pop_back();
  groups[0] += "x";
  EXPECT_EQ(Batch({"list"}), 2);
  EXPECT_TRUE(Has(err, "Nečekaný text \"x\"")) << err;
  groups[0].pop_back();

  // Help on standard output, and nothing started: the whole help, or after a command its own.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--help"}, {"-h"}}) {
    EXPECT_EQ(Batch(args), 0);
    EXPECT_EQ(out.rfind("vorlend-batch: ", 0), 0u);
    EXPECT_TRUE(Has(out, "restore --archive N|latest [--delete-after]") && Has(out, "Návratový kód")) << out;
    EXPECT_EQ(err, "");
    for (const std::string& line : Split(out, '\n')) EXPECT_LE(CharCount(line), 80u) << line;  // a console's width
  }
  EXPECT_EQ(Batch({"restore", "--archive", "1", "--help"}), 0);
  EXPECT_EQ(out.rfind("Použití: vorlend-batch restore ", 0), 0u) << out;
  EXPECT_TRUE(Has(out, "--dry-run") && Has(out, "Návratový kód") && !Has(out, "list    [--json]")) << out;
  // `help COMMAND` is the same, and lists only the options the command accepts.
  const std::string restoreHelp = out;
  EXPECT_EQ(RunProgram({ToolPath("vorlend-batch"), "help", "restore"}, &out, &err), 0);
  EXPECT_EQ(out, restoreHelp);
  EXPECT_EQ(RunProgram({ToolPath("vorlend-batch"), "help", "delete"}, &out, &err), 0);
  EXPECT_TRUE(Has(out, "--json") && Has(out, "-v, --verbose") && !Has(out, "--on-conflict") && !Has(out, "--quiet"))
      << out;
  EXPECT_EQ(Batch({"--version"}), 0);
  EXPECT_EQ(out, std::string("vorlend-batch ") + ProgramVersion + "\n");

  // "--" ends the options; a group given twice would leave one of them unread; the password is
  // given once.
  EXPECT_EQ(Batch({"list", "--", "--json"}), 2);
  EXPECT_TRUE(Has(err, "\"--json\"")) << err;
  groups.push_back(groups[1]);
  EXPECT_EQ(Batch({"list"}), 2);
  EXPECT_TRUE(Has(err, "Skupina parametrů ?AKTROK je uvedena dvakrát.")) << err;
  groups.pop_back();
  WriteBytes(dir / "password", "tajné\n");
  const std::string empty = groups[3];
  groups[3] = "?AKTHESLO=jiné?AKTHESLO";
  EXPECT_EQ(Batch({"list", "--password-file", dir / "password"}), 2);  // the groups hold one already
  EXPECT_TRUE(Has(err, "--password-file")) << err;
  groups[3] = empty;

  // Missing groups are refused before any directory is created.
  const std::vector<std::string> all = groups;
  groups.erase(groups.begin() + 2);
  EXPECT_EQ(Batch({"save", "--years", "2025"}), 3);
  EXPECT_TRUE(Has(err, "Chybí skupina parametrů ?MVERZE=…?MVERZE.")) << err;
  groups = all;
  EXPECT_EQ(Snapshot(agenda.DataDir()), before);
}

// A group whose value holds a blank may reach the tool split in two, as Money's own parsing
// allows: it is read whole, not refused.
TEST(BatchGroups, AGroupSplitAtABlankIsReadWhole) {
  TempDir dir;
  AgendaBuilder agenda(dir, "Agenda.001");
  agenda.AddRightsWithoutUsers();
  agenda.AddYear("Rok.001", "2025");
  agenda.AddTable("Rok.001", "POKLKNIH", MakeDocuments(3));
  std::vector<std::string> argv = {ToolPath("vorlend-batch"), "list"};
  for (const std::string& g : agenda.Groups("Rok.001")) argv.push_back(g);
  argv.back() = "?AKTCFGNAME=Moje";
  argv.push_back("konfigurace?AKTCFGNAME");
  std::string out, err;
  EXPECT_EQ(RunProgram(argv, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
}

TEST(ToolCommandLines, AgendaSeedAndTablectlRefuseStrayWordsAndAnswerHelp) {
  TempDir dir;
  std::string out, err;
  // agenda-seed: -h used to create and fill a data directory named "-h".
  EXPECT_EQ(Tool("agenda-seed", {"-h"}, out, err), 0);
  EXPECT_EQ(out.rfind("usage: agenda-seed DATADIR", 0), 0u);
  EXPECT_EQ(Tool("agenda-seed", {dir / "C", "--help"}, out, err), 0);
  EXPECT_EQ(Tool("agenda-seed", {"-x"}, out, err), 2);
  EXPECT_TRUE(Has(err, "-x") && Lines(err) == 1) << err;
  EXPECT_EQ(Tool("agenda-seed", {dir / "A", "extra"}, out, err), 2);
  EXPECT_TRUE(Has(err, "\"extra\"")) << err;
  EXPECT_EQ(Tool("agenda-seed", {dir / "B", "--docs", "5", "--bogus"}, out, err), 2);
  EXPECT_TRUE(Has(err, "--bogus")) << err;
  for (const char* never : {"A", "B", "C"}) EXPECT_FALSE(PathExists(dir / never)) << never;
  EXPECT_FALSE(PathExists("-h"));

  // tablectl: the words are read before the table is opened.
  const std::string table = MakeDocTable(dir, "T", {1, 2, 3});
  const std::string dump = DumpTable(table);
  EXPECT_EQ(Tool("tablectl", {"--help"}, out, err), 0);
  EXPECT_EQ(out.rfind("usage: tablectl create", 0), 0u);
  EXPECT_EQ(Tool("tablectl", {"hold", table, "--index", "Cislo", "--key", "1", "-h"}, out, err), 0);  // no hold
  EXPECT_EQ(Tool("tablectl", {"set", table, "--index", "Cislo", "--key", "2", "Uzamceni=1", "stray"}, out, err), 2);
  EXPECT_TRUE(Has(err, "unexpected argument stray") && Lines(err) == 1) << err;
  EXPECT_EQ(Tool("tablectl", {"dump", table, "--order"}, out, err), 2);
  EXPECT_EQ(Tool("tablectl", {"check", table, "extra"}, out, err), 2);
  EXPECT_EQ(Tool("tablectl", {"dump", "--order", "Cislo", table}, out, err), 2);
  EXPECT_EQ(Tool("tablectl", {"frob", table}, out, err), 2);
  EXPECT_EQ(DumpTable(table), dump);
}

TEST_F(BatchFixture, ListHasEveryColumnEscapedAndReadsBackAsJson) {
  ASSERT_EQ(Batch({"list", "--json"}), 0);
  EXPECT_EQ(nlohmann::json::parse(out)["archives"], nlohmann::json::array());
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF,SD", "--action", "none", "--name", "První"}), 0) << err;
  ASSERT_EQ(Batch({"save", "--years", "2024,2025", "--modules", "PD", "--action", "none"}), 0) << err;
  // A name written into the description by hand: a tab, a backslash, control characters.
  const std::string name =
      "a\tb\\c\x01"
      "d\x1b[31me";
  TIniFile(agenda.Context().ArchiveRoot() + "2/info").WriteString("MAIN", "Name", name);

  ASSERT_EQ(Batch({"list"}), 0) << err;
  const std::vector<std::string> lines = Split(out.substr(0, out.size() - 1), '\n');
  ASSERT_EQ(lines.size(), 2u) << out;
  for (const std::string& line : lines) EXPECT_EQ(Split(line, '\t').size(), 7u) << line;
  const std::vector<std::string> first = Split(lines[0], '\t'), second = Split(lines[1], '\t');
  EXPECT_EQ(first[0] + " " + first[1] + " " + first[2], "1 complete První");
  EXPECT_EQ(first[5] + " " + first[6], "2025 PF,SD");
  EXPECT_EQ(second[2], "a\\tb\\\\c\\x01d\\x1B[31me");
  EXPECT_EQ(second[5] + " " + second[6], "2025, 2024 PD");
  EXPECT_NE(first[3], "");
  EXPECT_NE(first[4], "");

  ASSERT_EQ(Batch({"list", "--json"}), 0) << err;
  const nlohmann::json listed = nlohmann::json::parse(out);
  EXPECT_EQ(listed["schema"], 2);
  const nlohmann::json& list = listed["archives"];
  ASSERT_TRUE(list.is_array());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["number"], 1);
  EXPECT_EQ(list[0]["status"], "complete");
  EXPECT_EQ(list[0]["name"], "První");
  EXPECT_EQ(list[0]["date"], first[3]);
  EXPECT_EQ(list[0]["time"], first[4]);
  EXPECT_EQ(list[0]["agenda"], "Pekárna Škvor s.r.o.");
  EXPECT_EQ(list[0]["years"], nlohmann::json::array({"2025"}));
  EXPECT_EQ(list[0]["modules"], nlohmann::json::array({"PF", "SD"}));
  EXPECT_EQ(list[1]["name"], name);
  EXPECT_EQ(list[1]["years"], nlohmann::json::array({"2025", "2024"}));
  EXPECT_EQ(list[1]["modules"], nlohmann::json::array({"PD"}));
}

TEST_F(BatchFixture, ShowCountsAfterTheSaveAfterAnotherUserAndAfterTheRestore) {
  const std::string pf = Table("Rok.002", "PFAKTURY"), sd = Table("Rok.002", "SKSEZDOK");
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF,SD", "--action", "unlock"}), 0) << err;
  EXPECT_TRUE(Has(Unwrapped(err),
                  "Souhrn uložení: tabulky 2 z 2, doklady 60, zaznamenáno 60, změněno 20, beze změny 40 "
                  "(stav už odpovídal 40), "))
      << err;

  ASSERT_EQ(Batch({"show", "--archive", "1"}), 0) << err;
  for (const char* line :
       {"Archiv: 1 (úplný)\n", "Název archivu: [bez názvu]\n", "Název agendy: Pekárna Škvor s.r.o.\n",
        "Filtr roků: 2025\n", "Filtr dokladů: přijaté faktury, skladové doklady\n",
        "přijaté faktury 2025\tROK.002/PFAKTURY\t30\t10\t10\t0\n",
        "skladové doklady 2025\tROK.002/SKSEZDOK\t30\t10\t10\t0\n", "celkem\t\t60\t20\t20\t0\n"}) {
    EXPECT_TRUE(Has(out, line)) << line << "\n" << out;
  }
  EXPECT_FALSE(Has(out, "\tčíslo\t"));  // no documents without --documents

  // Another Money user, in processes of its own: document 1 locked again as the archive has it,
  // document 2 locked though the archive has it unlocked, document 3 deleted.
  std::string o, e;
  ASSERT_EQ(Tool("tablectl", {"set", pf, "--index", "Cislo", "--key", "1", "Uzamceni=1"}, o, e), 0) << e;
  ASSERT_EQ(Tool("tablectl", {"set", pf, "--index", "Cislo", "--key", "2", "Uzamceni=1"}, o, e), 0) << e;
  DeleteDocument(pf, "Cislo", 3);

  {
    // show only reads: it goes on while another user edits a document, and writes nothing.
    HoldProcess holder(sd, "CDokladu", 4);
    ASSERT_TRUE(holder.Locked());
    const auto before = DataSnapshot(agenda.DataDir());
    ASSERT_EQ(Batch({"show", "--archive", "1", "--documents"}), 0) << err;
    EXPECT_TRUE(Has(out, "přijaté faktury 2025\tROK.002/PFAKTURY\t30\t10\t10\t1\n")) << out;
    EXPECT_TRUE(Has(out, "\ntabulka\tčíslo\tv archivu\tnyní\n")) << out;
    for (const char* line :
         {"přijaté faktury 2025\t2\tunlocked\tlocked\n", "přijaté faktury 2025\t3\tunlocked\tmissing\n",
          "přijaté faktury 2025\t4\tlocked\tunlocked\n", "skladové doklady 2025\t4\tlocked\tunlocked\n"}) {
      EXPECT_TRUE(Has(out, line)) << line;
    }
    EXPECT_FALSE(Has(out, "přijaté faktury 2025\t1\t"));
    EXPECT_EQ(Lines(out.substr(out.find("\ntabulka\tčíslo"))), 1u + 1u + 21u) << out;  // 20 differing, 1 missing

    // The dry run shows what the restore would change and changes nothing.
    ASSERT_EQ(Batch({"restore", "--archive", "1", "--dry-run", "--delete-after"}), 0) << err;
    EXPECT_TRUE(Has(out, "přijaté faktury 2025\t2\tunlocked\tlocked\n")) << out;
    EXPECT_FALSE(Has(out, "\tmissing"));
    EXPECT_TRUE(Has(Unwrapped(err),
                    "obnovení by změnilo dokladů 20, zaznamenaných dokladů už v Money není 1. Nic nebylo změněno."))
        << err;
    EXPECT_EQ(DataSnapshot(agenda.DataDir()), before);
  }

  ASSERT_EQ(Batch({"restore", "--archive", "1"}), 0) << err;
  EXPECT_TRUE(Has(Unwrapped(err),
                  "Souhrn obnovení: tabulky 2 z 2, záznamy archivu 60, změněno 20, beze změny 40 "
                  "(stav už odpovídal 39, v Money už nejsou 1), "))
      << err;
  ASSERT_EQ(Batch({"show", "--archive", "1", "--documents"}), 0) << err;
  EXPECT_TRUE(Has(out, "přijaté faktury 2025\tROK.002/PFAKTURY\t30\t10\t0\t1\n")) << out;
  EXPECT_TRUE(Has(out, "skladové doklady 2025\tROK.002/SKSEZDOK\t30\t10\t0\t0\n")) << out;
  EXPECT_TRUE(Has(out, "\ntabulka\tčíslo\tv archivu\tnyní\npřijaté faktury 2025\t3\tunlocked\tmissing\n")) << out;
  EXPECT_EQ(out.substr(out.size() - 9), "\tmissing\n");

  EXPECT_EQ(Batch({"show", "--archive", "2"}), 1);
  EXPECT_TRUE(Has(err, "Archiv 2 neexistuje")) << err;
}

TEST_F(BatchFixture, ProgressNamesEachTableAndQuietKeepsTheSummary) {
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF,SD", "--action", "unlock"}), 0) << err;
  EXPECT_TRUE(Has(err, "Procházím přijaté faktury 2025... (tabulka 1 z 2)\n")) << err;
  EXPECT_TRUE(Has(err, "Procházím skladové doklady 2025... (tabulka 2 z 2)\n")) << err;

  // A document whose key cannot be recorded is counted among those left as they were.
  std::string o, e;
  ASSERT_EQ(
      Tool("tablectl", {"set", Table("Rok.002", "POKLKNIH"), "--index", "Cislo", "--key", "5", "Cislo=\\N"}, o, e), 0)
      << e;
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PD", "--action", "lock", "--quiet", "--ignore-incomplete"}),
            0);
  EXPECT_EQ(out, "2\n");
  EXPECT_EQ(Lines(Unwrapped(err)), 1u) << err;
  for (const std::string& line : Split(err, '\n')) EXPECT_LE(CharCount(line), 80u) << line;
  EXPECT_EQ(Unwrapped(err).rfind("Souhrn uložení: tabulky 1 z 1, doklady 30, zaznamenáno 29, změněno 19, beze změny 11 "
                                 "(stav už odpovídal 10, číslo dokladu nelze zaznamenat 1), ",
                                 0),
            0u)
      << err;

  ASSERT_EQ(Batch({"restore", "--archive", "2", "--quiet"}), 0);
  EXPECT_EQ(Lines(Unwrapped(err)), 1u) << err;
  EXPECT_EQ(Unwrapped(err).rfind("Souhrn obnovení: tabulky 1 z 1, záznamy archivu 29, změněno 19, ", 0), 0u) << err;
}

// Position lines at most once a second, each with its table and percentage; a table whose position
// was shown ends at 100 %, a short one shows only its text.
TEST(ConsoleProgressCadence, PositionLinesComeAtMostOnceASecondAndReachTheTotal) {
  auto now = std::chrono::steady_clock::time_point{};
  std::ostringstream lines;
  ConsoleProgress progress(lines, false, [&] { return now; });
  progress.SetText("Vytvářím databáze...");
  progress.TableBegins(1, 2);
  progress.SetPosition(0);
  progress.SetText("Procházím A...");
  progress.SetMaximum(5000);
  for (int counter = 0; counter < 5000; counter += 20) {
    progress.SetPosition(counter);
    now += std::chrono::milliseconds(20);  // 1 ms a document
  }
  progress.SetPosition(0);
  progress.TableEnds();
  progress.TableBegins(2, 2);
  progress.SetText("Procházím B...");
  progress.SetMaximum(30);
  progress.SetPosition(0);
  progress.SetPosition(20);
  progress.TableEnds();

  const std::vector<std::string> printed = Split(lines.str(), '\n');
  ASSERT_GE(printed.size(), 8u) << lines.str();
  EXPECT_EQ(printed[0], "Vytvářím databáze...");
  EXPECT_EQ(printed[1], "Procházím A... (tabulka 1 z 2)");
  // 5 seconds of work: four lines within it, a second apart, then the total.
  EXPECT_EQ(printed[2], "  tabulka 1 z 2: 1000 / 5000 (20 %)");
  EXPECT_EQ(printed[3], "  tabulka 1 z 2: 2000 / 5000 (40 %)");
  EXPECT_EQ(printed[5], "  tabulka 1 z 2: 4000 / 5000 (80 %)");
  EXPECT_EQ(printed[6], "  tabulka 1 z 2: 5000 / 5000 (100 %)");
  EXPECT_EQ(printed[7], "Procházím B... (tabulka 2 z 2)");
  EXPECT_EQ(printed.size(), 9u);  // the last is the empty rest after the final newline

  std::ostringstream silent;
  ConsoleProgress quiet(silent, true, [&] { return now; });
  quiet.TableBegins(1, 1);
  quiet.SetText("Procházím A...");
  quiet.SetMaximum(10);
  now += std::chrono::seconds(5);
  quiet.SetPosition(5);
  quiet.TableEnds();
  EXPECT_EQ(silent.str(), "");

  // On a terminal one line is redrawn in place, with the whole job's share, and cleared before the
  // next text.
  std::ostringstream screen;
  ConsoleProgress terminal(
      screen, false, [&] { return now; }, true);
  terminal.JobBegins({100, 100, 100, 100});
  terminal.TableBegins(2, 4);
  terminal.SetText("Procházím B...");
  terminal.SetMaximum(100);
  now += std::chrono::seconds(1);
  terminal.SetPosition(50);
  now += std::chrono::seconds(1);
  terminal.SetPosition(100);
  terminal.TableEnds();
  terminal.SetText("Hotovo.");
  EXPECT_EQ(screen.str(),
            "Procházím B... (tabulka 2 z 4)\n"
            "\r\x1b[K  tabulka 2 z 4: 50 / 100 (50 %), celkem 37 %"
            "\r\x1b[K  tabulka 2 z 4: 100 / 100 (100 %), celkem 50 %"
            "\r\x1b[KHotovo.\n");
}

// The line on the whole job, the window's and the console's: its share counts documents (a table of
// 597,000 among tables of 200 is most of the job), and the time left is told once the job has run
// a few seconds and done a few percent, never at its end.
TEST(JobProgressLine, CountsDocumentsAndTellsTheTimeLeftOnceItCanBeTold) {
  auto now = std::chrono::steady_clock::time_point{};
  JobProgress job([&] { return now; });
  std::vector<int> documents(16, 200);
  documents[5] = 597000;
  job.JobBegins(documents);
  auto table = [&](int number, int done) {
    job.TableBegins(number, 16);
    job.SetMaximum(documents[std::size_t(number - 1)]);
    job.SetPosition(done);
  };
  for (int t = 1; t <= 5; ++t) {
    table(t, 200);
    job.SetPosition(0);  // as the save resets its bar at the end of a table
    job.TableEnds();
  }
  table(6, 1000);
  EXPECT_EQ(job.Text(), "Tabulka 6 z 16, celkem 0 %");
  now += std::chrono::seconds(2);
  job.SetPosition(59000);
  EXPECT_EQ(job.Text(), "Tabulka 6 z 16, celkem 10 %");
  now += std::chrono::seconds(58);
  job.SetPosition(149000);
  EXPECT_EQ(job.Text(), "Tabulka 6 z 16, celkem 25 %, zbývá asi 3 min");
  now += std::chrono::seconds(54);
  job.SetPosition(569000);
  EXPECT_EQ(job.Text(), "Tabulka 6 z 16, celkem 95 %, zbývá asi 10 s");
  job.TableEnds();
  for (int t = 7; t <= 16; ++t) {
    table(t, 200);
    job.TableEnds();
  }
  EXPECT_EQ(job.Text(), "Tabulka 16 z 16, celkem 100 %");

  // A slow start tells no time left until a few percent are done.
  JobProgress slow([&] { return now; });
  slow.JobBegins({1000});
  slow.TableBegins(1, 1);
  slow.SetMaximum(1000);
  now += std::chrono::seconds(10);
  slow.SetPosition(20);
  EXPECT_EQ(slow.OverallText(), "celkem 2 %");
  slow.SetPosition(30);
  EXPECT_EQ(slow.OverallText(), "celkem 3 %, zbývá asi 5 min");

  EXPECT_EQ(TimeLeftText(std::chrono::seconds(38)), "zbývá asi 40 s");
  EXPECT_EQ(TimeLeftText(std::chrono::seconds(58)), "zbývá asi 1 min");
  EXPECT_EQ(TimeLeftText(std::chrono::minutes(80)), "zbývá asi 1 h 20 min");
  EXPECT_EQ(TimeLeftText(std::chrono::minutes(119)), "zbývá asi 2 h");
}

// --quiet holds back warnings, but not one that is the reason the run ends without success.
TEST(BatchQuiet, AWarningThatRefusesTheStartIsStillShown) {
  TempDir dir;
  std::string out, err;
  ASSERT_EQ(Tool("agenda-seed", {dir / "Data", "--years", "1", "--docs", "3", "--no-lock-right"}, out, err), 0) << err;
  std::vector<std::string> argv = {ToolPath("vorlend-batch"), "save"};
  for (const std::string& group : Split(out.substr(0, out.size() - 1), '\n')) argv.push_back(group);
  argv.push_back("--quiet");
  EXPECT_EQ(RunProgram(argv, &out, &err), 3);
  EXPECT_TRUE(Has(err, "Varování: Litujeme, ale pro spuštění tohoto doplňku nemáte potřebná přístupová práva")) << err;
}

// The password never shows in what the tool prints, and it can come from the environment or a
// file instead of a command line that every user of the machine can read. An output that cannot
// be written fails the command; the archive number of a save is never lost without a word.
TEST_F(BatchFixture, SecretsStayOutOfSightAndEveryFailedWriteFails) {
  VORLEND_LINUX_ONLY("a POSIX shell runs the tool, with /dev/full as a failing output");
  const std::string withPassword = groups[3];
  ASSERT_EQ(withPassword.rfind("?AKTHESLO=", 0), 0u);
  groups.erase(groups.begin() + 3);
  auto batchWith = [&](const std::vector<std::string>& env, std::vector<std::string> args,
                       const std::string& shell = "") {
    std::string line;
    for (const std::string& a : env) line += ShellWord(a) + " ";
    line += ShellWord(std::string(VORLEND_BIN_DIR) + "/vorlend-batch") + " " + args[0];
    for (const std::string& g : groups) line += " " + ShellWord(g);
    for (std::size_t i = 1; i < args.size(); ++i) line += " " + ShellWord(args[i]);
    return RunProgram({"/bin/sh", "-c", "exec " + shell + " /usr/bin/env " + line}, &out, &err);
  };
  {
    HoldProcess holder(Table("Rok.002", "PFAKTURY"), "Cislo", 5);
    ASSERT_TRUE(holder.Locked());
    EXPECT_EQ(batchWith({"VORLEND_AKTHESLO=tajné heslo"}, {"save", "--years", "2025", "--modules", "PF"}), 4) << err;
  }
  EXPECT_FALSE(Has(err, "tajné")) << err;
  EXPECT_TRUE(Has(err, "vorlend-batch restore ")) << err;
  EXPECT_TRUE(Has(err, "VORLEND_AKTHESLO")) << err;
  WriteBytes(dir / "password", "tajné heslo\n");
  EXPECT_EQ(batchWith({}, {"restore", "--archive", "latest", "--password-file", dir / "password"}), 1);
  // Archive 1, saved last, is incomplete: latest names it and takes no other.
  EXPECT_TRUE(Has(err, "Archiv uložený naposledy, 1 (\"[bez názvu]\"")) << err;
  EXPECT_TRUE(Has(err, "nebyl dokončen")) << err;
  EXPECT_EQ(batchWith({}, {"restore", "--archive", "1", "--password-file", dir / "password"}), 0) << err;

  // The newest complete archive; a full disk and a closed standard output fail the command.
  ASSERT_EQ(batchWith({},
                      {"save", "--password-file", dir / "password", "--years", "2025", "--modules", "PF",
                       "--ignore-incomplete"},
                      ">/dev/full"),
            5);
  EXPECT_TRUE(Has(err, "Číslo nového archivu: 2") && Has(err, "standardní výstup nelze zapsat")) << err;
  EXPECT_EQ(batchWith({}, {"list", "--password-file", dir / "password"}, ">&-"), 5);
  // A reader that went away (`| head`) had what it wanted: the tool ends quietly as SIGPIPE ends
  // other tools, and a save's number still reaches standard error. The tool starts only once the
  // reader has ended (bash waits for it).
  for (const char* command : {"list", "save"}) {
    std::string line = ShellWord(std::string(VORLEND_BIN_DIR) + "/vorlend-batch") + " " + command;
    for (const std::string& g : groups) line += " " + ShellWord(g);
    line += " --password-file " + ShellWord(dir / "password") + " --json";
    if (std::string(command) == "save") line += " --years 2025 --modules PF --force --ignore-incomplete";
    ASSERT_EQ(
        RunProgram({"/bin/bash", "-c", "exec 1> >(exit 0); wait $!; " + line + "; echo \"status $?\" >&2"}, &out, &err),
        0);
    EXPECT_TRUE(Has(err, "status 141")) << command << err;
    EXPECT_FALSE(Has(err, "nelze zapsat (plný disk")) << err;
  }
  EXPECT_TRUE(Has(err, "Číslo nového archivu: 3")) << err;
  EXPECT_EQ(batchWith({}, {"show", "--archive", "latest", "--password-file", dir / "password"}), 0) << err;
  EXPECT_EQ(out.rfind("Archiv: 3 (úplný)", 0), 0u) << out;
}

// The results for scripts: one JSON document per command, with the schema version, ISO 8601
// date-times, the action and the counts, as the README documents them.
TEST_F(BatchFixture, EveryJobReportsItsResultAsJson) {
  using nlohmann::json;
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF", "--action", "unlock", "--json"}), 0) << err;
  const json saved = json::parse(out);
  EXPECT_EQ(saved["schema"], 2);
  EXPECT_EQ(saved["command"], "save");
  EXPECT_EQ(saved["status"], "saved");
  EXPECT_EQ(saved["action"], "unlock");
  EXPECT_EQ(saved["archive"]["number"], 1);
  EXPECT_EQ(saved["archive"]["status"], "complete");
  const std::string iso = saved["archive"]["saved"];
  EXPECT_TRUE(iso.size() == 25 && iso[4] == '-' && iso[10] == 'T' && iso[13] == ':' && iso[22] == ':') << iso;
  EXPECT_EQ(saved["counts"]["documents"], 30);
  EXPECT_EQ(saved["counts"]["changed"], 10);
  for (const char* key : {"tables", "tablesDone", "recorded", "written", "unusableKey", "gone"})
    EXPECT_TRUE(saved["counts"].contains(key)) << key;

  ASSERT_EQ(Batch({"show", "--archive", "1", "--documents", "--json"}), 0) << err;
  const json shown = json::parse(out);
  EXPECT_EQ(shown["command"], "show");
  ASSERT_EQ(shown["tables"].size(), 1u);
  EXPECT_EQ(shown["tables"][0]["differing"], 10);
  EXPECT_EQ(shown["tables"][0]["module"], "PF");
  EXPECT_EQ(shown["tables"][0]["year"], "2025");
  EXPECT_EQ(shown["documents"].size(), 10u);
  ASSERT_EQ(Batch({"restore", "--archive", "1", "--dry-run", "--json"}), 0) << err;
  EXPECT_EQ(json::parse(out)["command"], "restore");
  EXPECT_EQ(json::parse(out)["status"], "dry-run");
  EXPECT_EQ(json::parse(out)["counts"]["changed"], 10);
  // A run that ends without its result still gives one document: a failure, a usage error.
  for (const auto& [args, status] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"show", "--archive", "99", "--json"}, 1}, {{"show", "--archive", "x", "--json"}, 2}}) {
    ASSERT_EQ(Batch(args), status);
    const json failed = json::parse(out);
    EXPECT_EQ(failed["schema"], 2);
    EXPECT_EQ(failed["status"], status == 1 ? "failed" : "usage");
    EXPECT_EQ(failed["exitStatus"], status);
    ASSERT_EQ(failed["messages"].size(), 1u);
  }

  ASSERT_EQ(Batch({"restore", "--archive", "latest", "--json"}), 0) << err;
  EXPECT_EQ(json::parse(out)["status"], "restored");
  EXPECT_EQ(json::parse(out)["counts"]["changed"], 10);
  EXPECT_EQ(json::parse(out)["deleted"], false);
  ASSERT_EQ(Batch({"delete", "--archive", "1", "--dry-run", "--json"}), 0) << err;
  EXPECT_EQ(json::parse(out)["status"], "dry-run");
  EXPECT_EQ(json::parse(out)["states"], 30);
  ASSERT_EQ(Batch({"list", "--json"}), 0);
  EXPECT_EQ(json::parse(out)["archives"][0]["saved"], iso);
  EXPECT_EQ(json::parse(out)["archives"][0]["name"], nullptr);  // left blank, not the placeholder text
}

// Money and agenda-seed always pass a ?AKTHESLO group, empty when the system account names the
// user: VORLEND_AKTHESLO and --password-file take its place, and a refused password says where it
// came from.
TEST(BatchPassword, AnEmptyGroupGivesWayAndARefusalNamesTheSource) {
  TempDir dir;
  std::string out, err;
  ASSERT_EQ(Tool("agenda-seed",
                 {dir / "Data", "--years", "1", "--docs", "3", "--rights-user", "někdo jiný", "--password", "tajné"},
                 out, err),
            0)
      << err;
  std::vector<std::string> argv = {ToolPath("vorlend-batch"), "list"};
  for (const std::string& group : Split(out.substr(0, out.size() - 1), '\n')) {
    argv.push_back(group.rfind("?AKTHESLO=", 0) == 0 ? "?AKTHESLO=?AKTHESLO" : group);
  }
  EXPECT_EQ(RunProgram(argv, &out, &err), 3);
  EXPECT_TRUE(Has(err, "Heslo nebylo zadáno")) << err;
  SetEnv("VORLEND_AKTHESLO", "tajné");
  EXPECT_EQ(RunProgram(argv, &out, &err), 0) << err;
  SetEnv("VORLEND_AKTHESLO", "jiné");
  EXPECT_EQ(RunProgram(argv, &out, &err), 3);
  EXPECT_TRUE(Has(Unwrapped(err), "Heslo uživatele Money bylo převzato z proměnné VORLEND_AKTHESLO.")) << err;
  UnsetEnv("VORLEND_AKTHESLO");
  WriteBytes(dir / "heslo", "jiné\n");
  argv.push_back("--password-file");
  argv.push_back(dir / "heslo");
  EXPECT_EQ(RunProgram(argv, &out, &err), 3);
  EXPECT_TRUE(Has(Unwrapped(err), "převzato ze souboru " + std::string(dir / "heslo"))) << err;
}
