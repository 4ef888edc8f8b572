// The start-up's access-rights gate on real rights tables, from Money's command line on.
#include <gtest/gtest.h>

#include <sstream>

#include "app/startup.h"
#include "engine/table_files.h"
#include "host/bftable.h"
#include "host/rights_tables.h"
#include "host/s3access_rights.h"
#include "platform/environment.h"
#include "support/agenda_builder.h"
#include "support/scripted_ports.h"
#include "support/temp_dir.h"

using namespace vorlend;
using namespace vorlend::test;

namespace {

struct Outcome {
  bool started = false;
  std::vector<ScriptedDialogs::Entry> messages;
};

Outcome Start(const std::vector<std::string>& groups) {
  ScriptedDialogs dialogs;
  HostContext ctx;
  Outcome o;
  EXPECT_TRUE(PrepareHostContext(groups, dialogs, ctx)) << (dialogs.Last() ? dialogs.LastEntry().text : "");
  o.started = CheckAccessRights(ctx, dialogs);
  o.messages = dialogs.Entries();
  return o;
}

// Removes whatever rights tables the data directory holds.
void ClearRights(const std::string& dataDir) {
  for (const char* table : {"PRISTUP", "PRISTUP2", "PRISUZIV", "PRISPOL"})
    ASSERT_TRUE(engine::DeleteTableFiles(dataDir + table)) << table;
}

// The groups agenda-seed prints, with a fixed Money version.
std::vector<std::string> Seed(const TempDir& dir, std::vector<std::string> options) {
  std::vector<std::string> argv = {
      std::string(VORLEND_BIN_DIR) + "/agenda-seed", dir / "Data", "--years", "1", "--docs", "0"};
  argv.insert(argv.end(), options.begin(), options.end());
  std::string out, err;
  EXPECT_EQ(RunProgram(argv, &out, &err), 0) << err;
  std::vector<std::string> groups;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    groups.push_back(line.rfind("?MVERZE=", 0) == 0 ? "?MVERZE=13.0?MVERZE" : line);
  return groups;
}

}  // namespace

TEST(AccessGate, UserWithoutTheLockRightIsTurnedAwayWithTheWarning) {
  TempDir dir;
  AgendaBuilder agenda(dir);
  agenda.AddYear("Rok.001", "2025");
  RightsUser user;
  user.Name = "Účetní";
  user.osAccount = CurrentUserName();
  user.UzamceniDo = false;
  ClearRights(agenda.DataDir());
  ASSERT_FALSE(WriteNewModelRights(agenda.DataDir(), {user}, true));

  const Outcome o = Start(agenda.Groups("Rok.001"));
  EXPECT_FALSE(o.started);
  ASSERT_EQ(o.messages.size(), 1u);
  EXPECT_EQ(o.messages[0].kind, MsgKind::Warning);
  EXPECT_EQ(o.messages[0].text, kNoRightsText);
}

TEST(AccessGate, TablesWrittenByAgendaSeed) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    bool started;
    MsgKind kind;
    std::string text;
  };
  const Case cases[] = {
      {"tables without any user", {"--rights", "none"}, true, MsgKind::Error, ""},
      {"old model, password passed on", {"--rights", "old", "--password", "Žluťoučký kůň"}, true, MsgKind::Error, ""},
      {"new model, no lock right, no PRISPOL",
       {"--no-prispol", "--no-lock-right"},
       false,
       MsgKind::Warning,
       kNoRightsText},
      {"new model, another account", {"--rights-user", "nekdo-jiny"}, false, MsgKind::Error, kUserNotFoundText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const Outcome o = Start(Seed(dir, c.options));
    EXPECT_EQ(o.started, c.started);
    if (c.started) {
      EXPECT_TRUE(o.messages.empty()) << o.messages[0].text;
      continue;
    }
    ASSERT_EQ(o.messages.size(), 1u);
    EXPECT_EQ(o.messages[0].kind, c.kind);
    EXPECT_EQ(o.messages[0].text, c.text);
  }
}

TEST(AccessGate, ReaderFailuresAndTableErrorsAreShownAsErrors) {
  TempDir dir;
  AgendaBuilder agenda(dir);
  agenda.AddYear("Rok.001", "2025");
  HostContext ctx;
  ScriptedDialogs dialogs;
  ASSERT_TRUE(PrepareHostContext(agenda.Groups("Rok.001"), dialogs, ctx));

  // No rights tables: the old model's users table does not open.
  ClearRights(agenda.DataDir());
  EXPECT_FALSE(CheckAccessRights(ctx, dialogs));
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_EQ(dialogs.Entries()[0].text, "Nastala chyba při otevírání databáze " + ctx.DataPath + "PRISTUP.DAT");

  // A users table without the rights' fields: the table component's error, shown once.
  dialogs.Clear();
  ASSERT_FALSE(engine::CreateTable(agenda.DataDir() + "PRISUZIV",
                                   {{"Jmeno", engine::FieldType::Text}, {"Password", engine::FieldType::Text}},
                                   {"Jmeno", "Password"}));
  TBFTable t;
  ASSERT_EQ(t.OpenTable(agenda.DataDir() + "PRISUZIV"), 0);
  t.AppendBlank();
  t.SetValue("Password", Variant::FromString("x"));
  ASSERT_EQ(t.Post(), 0);
  t.CloseTable();
  ctx.UserPassword = "x";
  EXPECT_FALSE(CheckAccessRights(ctx, dialogs));
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_EQ(dialogs.Entries()[0].kind, MsgKind::Error);
  EXPECT_FALSE(dialogs.Entries()[0].text.empty());
  EXPECT_NE(dialogs.Entries()[0].text, kUserNotFoundText);
}
