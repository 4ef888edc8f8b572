#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/settings.h"
#include "app/startup.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "support/portable.h"
#include "support/scripted_ports.h"
#include "support/temp_dir.h"

using namespace vorlend;
using vorlend::test::ScriptedDialogs;
using vorlend::test::TempDir;
using vorlend::test::WriteBytes;

namespace {
std::string Params(const StartupParams& p) {
  std::string s;
  for (const auto& r : p) s += r.Name + "=" + r.Value + ";";
  return s;
}
}  // namespace

TEST(CommandLine, ParsingRules) {
  struct Case {
    std::vector<std::string> args;
    std::string want;
  };
  const Case cases[] = {
      {{}, ""},
      {{"?MAIN=1?MAIN", "?aktrok=C:\\Money\\Data\\Agenda.001\\Rok.002?AKTROK"},
       "MAIN=1;AKTROK=C:\\Money\\Data\\Agenda.001\\Rok.002;"},
      // Blanks inside a value survive as single blanks between arguments.
      {{"?AKTCFGNAME=My", "Config?AKTCFGNAME"}, "AKTCFGNAME=My Config;"},
      // A "=" before the first remaining "?" stops the parsing.
      {{"?A=1?A", "x=y", "?B=2?B"}, "A=1;"},
      // A group without its closing marker stops; the groups before it count.
      {{"?A=1?A", "?B=2", "?C=3?C"}, "A=1;"},
      {{"?A=1?A", "?B=2?b"}, "A=1;B=2;"},
      {{"no groups at all"}, ""},
      {{"?MVERZE=?MVERZE"}, "MVERZE=;"},
      // A path in Windows-1250 bytes is no valid UTF-8 ("\x8A" is "Š"); the value still ends
      // exactly at its closing marker.
      {{"?AKTROK=/data/\x8A\xEDpek/Agenda.001/Rok.002?AKTROK", "?MVERZE=13?MVERZE"},
       "AKTROK=/data/\x8A\xEDpek/Agenda.001/Rok.002;MVERZE=13;"},
      {{"?A=\x9A\x9A?a", "?B=\xC1\x81?B"}, "A=\x9A\x9A;B=\xC1\x81;"},
  };
  for (const auto& c : cases) EXPECT_EQ(Params(ParseCommandLine(c.args)), c.want);

  const auto cut = ParseCommandLine({"?V=" + std::string(300, 'x') + "?V"});
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].Value.size(), 255u);

  StartupParams twice = ParseCommandLine({"?MAIN=first?MAIN", "?main=second?main"});
  std::string v;
  ASSERT_TRUE(FindParam(twice, "Main", v));
  EXPECT_EQ(v, "first");
}

TEST(CommandLine, Derivations) {
  std::string agenda, data;
  ASSERT_TRUE(DeriveAgendaPaths("/Money/Data/Agenda.001/Rok.002/", agenda, data));
  EXPECT_EQ(agenda, "/Money/Data/Agenda.001/");
  EXPECT_EQ(data, "/Money/Data/");
  ASSERT_TRUE(DeriveAgendaPaths(" /m/agendaX/rokY ", agenda, data));
  EXPECT_EQ(agenda, "/m/agendaX/");
  EXPECT_FALSE(DeriveAgendaPaths("/m/Agenda.001/Year.002/", agenda, data));
  EXPECT_FALSE(DeriveAgendaPaths("/m/Data/Rok.002/", agenda, data));
  EXPECT_FALSE(DeriveAgendaPaths("Rok.002", agenda, data));

  EXPECT_EQ(SafeConfigName("A/B:C"), "A_B_C");
  EXPECT_EQ(SafeConfigName("\"*/:<>?\\|"), "_________");
  EXPECT_EQ(SafeConfigName(""), "Default");
  EXPECT_EQ(SafeConfigName("   "), "Default");
  EXPECT_EQ(SafeConfigName(" x "), " x ");

  SetFormatSettings(CzechLocaleFormats());
  EXPECT_TRUE(MoneyVersionConverts("12.1"));
  EXPECT_TRUE(MoneyVersionConverts("12,1"));
  EXPECT_FALSE(MoneyVersionConverts("Money 13.00"));     // only the text before the first blank counts
  EXPECT_TRUE(MoneyVersionConverts("v13.00a build 5"));  // letters skipped
  EXPECT_FALSE(MoneyVersionConverts("12.1.3"));
  EXPECT_FALSE(MoneyVersionConverts("verze"));
  EXPECT_FALSE(MoneyVersionConverts(""));
  EXPECT_TRUE(MoneyVersionConverts("13.00 (SP1.2.3)"));
  LocaleFormats dot = CzechLocaleFormats();
  dot.DecimalSeparator = '.';
  SetFormatSettings(dot);
  EXPECT_TRUE(MoneyVersionConverts("12.1"));
  EXPECT_FALSE(MoneyVersionConverts("12.1.3"));
  SetFormatSettings(CzechLocaleFormats());
}

namespace {
struct Agenda {
  TempDir dir;
  std::string year;
  Agenda() {
    year = dir / "Money/Data/Agenda.001/Rok.002";
    WriteBytes(dir / "Money/Data/Agenda.001/AGENDA.INI",
               "[\xDA"
               "daje o firm\xEC]\r\nN\xE1zev-obchodn\xED=Pek\xE1rna \x8Akvor\r\n");
    WriteBytes(year + "/ROK.INI",
               "[Global]\r\n\xDA\xE8"
               "etn\xED rok=2006\r\n");
  }
  std::vector<std::string> Args(const std::string& cfg = "") const {
    return {"?MAIN=x?MAIN", "?AKTROK=" + year + "?AKTROK", "?MVERZE=13.0?MVERZE", "?AKTHESLO=?AKTHESLO",
            "?AKTCFGNAME=" + cfg + "?AKTCFGNAME"};
  }
};
}  // namespace

TEST(Startup, ReadsTheHostContextAndCreatesTheDirectories) {
  Agenda a;
  ScriptedDialogs dialogs;
  HostContext ctx;
  test::TempFolderOverride temp(a.dir.Path());
  ASSERT_TRUE(PrepareHostContext(a.Args(), dialogs, ctx));
  temp.Restore();
  EXPECT_EQ(dialogs.Entries().size(), 0u);
  EXPECT_EQ(ctx.CurrentYearDir, a.year + "/");
  const std::string upper = UpperCase(a.dir.Path());
  EXPECT_EQ(ctx.AgendaDir, upper + "MONEY/DATA/AGENDA.001/");
  EXPECT_EQ(ctx.DataDir, upper + "MONEY/DATA/");
  // Files are opened through the directories as Money named them.
  EXPECT_EQ(ctx.AgendaPath, a.dir / "Money/Data/Agenda.001/");
  EXPECT_EQ(ctx.DataPath, a.dir / "Money/Data/");
  EXPECT_EQ(ctx.SettingsDir(), a.dir / "Money/Data/KPX/Vorlend/Setting/");
  EXPECT_EQ(ctx.AgendaExt, "001");
  EXPECT_EQ(ctx.ConfigName, "Default");
  EXPECT_EQ(ctx.AgendaName, "Pekárna Škvor");
  EXPECT_EQ(ctx.SettingsFileName(), a.dir / "Money/Data/KPX/Vorlend/Setting/Default001.ini");
  EXPECT_TRUE(DirectoryExists(a.dir / "Money/Data/KPX/Vorlend/Setting"));
  EXPECT_TRUE(DirectoryExists(a.dir / "MnVorlend"));
}

TEST(Startup, EveryMissingParameterAndABadVersionEndTheStart) {
  Agenda a;
  const auto full = a.Args();
  for (std::size_t missing = 0; missing < full.size(); ++missing) {
    auto args = full;
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(missing));
    ScriptedDialogs dialogs;
    HostContext ctx;
    EXPECT_FALSE(PrepareHostContext(args, dialogs, ctx));
    ASSERT_EQ(dialogs.Entries().size(), 1u);
    EXPECT_EQ(dialogs.Entries()[0].kind, MsgKind::Error);
    EXPECT_EQ(dialogs.Entries()[0].text, kIncompleteParametersText);
  }
  // Nothing was created by a start that failed on its parameters.
  EXPECT_FALSE(DirectoryExists(a.dir / "Money/Data/KPX"));

  auto args = full;
  args[2] = "?MVERZE=1.2.3?MVERZE";
  ScriptedDialogs dialogs;
  HostContext ctx;
  EXPECT_FALSE(PrepareHostContext(args, dialogs, ctx));
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_EQ(dialogs.Entries()[0].text, kMoneyVersionErrorText);
}

TEST(Startup, AYearPathOutsideAnAgendaIsRefusedBeforeAnythingIsCreated) {
  Agenda a;
  WriteBytes(a.dir / "Elsewhere/Rok.001/x", "");
  for (const std::string& bad :
       {a.dir / "Elsewhere/Rok.001", a.dir / "Money/Data/Agenda.001/Rok.999", std::string("Rok.002")}) {
    auto args = a.Args();
    args[1] = "?AKTROK=" + bad + "?AKTROK";
    ScriptedDialogs dialogs;
    HostContext ctx;
    EXPECT_FALSE(PrepareHostContext(args, dialogs, ctx)) << bad;
    ASSERT_EQ(dialogs.Entries().size(), 1u);
    EXPECT_NE(dialogs.Entries()[0].text.find("Adresář účetního roku"), std::string::npos);
  }
  EXPECT_FALSE(DirectoryExists(a.dir / "KPX"));
  EXPECT_FALSE(DirectoryExists(a.dir / "Elsewhere/KPX"));
}

TEST(Startup, MissingTradeNameAndUnwritableSettingsDirectory) {
  Agenda a;
  WriteBytes(a.dir / "Money/Data/Agenda.001/AGENDA.INI", "[Other]\r\nx=1\r\n");
  WriteBytes(a.dir / "Money/Data/KPX", "a file where a directory must be");
  ScriptedDialogs dialogs;
  HostContext ctx;
  EXPECT_FALSE(PrepareHostContext(a.Args("A/B:C"), dialogs, ctx));
  EXPECT_EQ(ctx.AgendaName, "---");
  EXPECT_EQ(ctx.ConfigName, "A_B_C");
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_EQ(dialogs.Entries()[0].text, "Nelze vytvořit adresář " + a.dir / "Money/Data/KPX/Vorlend/Setting/");
}

// An agenda name or a settings file that cannot be read reads as missing: the start goes on with
// the defaults and no library text reaches a message.
TEST(Startup, UnreadableAgendaNameAndSettingsGiveDefaults) {
  Agenda a;
  DeleteFile(a.dir / "Money/Data/Agenda.001/AGENDA.INI");
  ASSERT_TRUE(ForceDirectories(a.dir / "Money/Data/Agenda.001/AGENDA.INI"));
  ScriptedDialogs dialogs;
  HostContext ctx;
  test::TempFolderOverride temp(a.dir.Path());
  ASSERT_TRUE(PrepareHostContext(a.Args(), dialogs, ctx));
  temp.Restore();
  EXPECT_TRUE(dialogs.Entries().empty());
  EXPECT_EQ(ctx.AgendaName, "---");

  ASSERT_TRUE(ForceDirectories(ctx.SettingsFileName()));
  const AddonSettings settings = LoadSettings(ctx.SettingsFileName());
  EXPECT_EQ(settings.action, LockAction::Unlock);
  EXPECT_EQ(settings.modules, (ModuleFilter{false, false, false, false, false, true, true, true}));
}
