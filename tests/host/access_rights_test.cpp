#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "engine/table_files.h"
#include "host/bftable.h"
#include "host/password.h"
#include "host/rights_tables.h"
#include "host/s3access_rights.h"
#include "platform/cp1250.h"
#include "support/portable.h"
#include "support/temp_dir.h"

using namespace vorlend;
using vorlend::test::TempDir;
using vorlend::test::WriteBytes;

namespace {

const std::string kOpenError = "Nastala chyba při otevírání databáze ";
const std::string kIndexError = "Nastala chyba při nastavení indexu databáze ";

// Sets USERNAME for one scope and puts the old value back.
class ScopedUserName {
public:
  explicit ScopedUserName(const std::string& name) {
    if (const char* old = std::getenv("USERNAME")) m_old = old;
    test::SetEnv("USERNAME", name);
  }
  ~ScopedUserName() {
    if (m_old)
      test::SetEnv("USERNAME", *m_old);
    else
      test::UnsetEnv("USERNAME");
  }

private:
  std::optional<std::string> m_old;
};

RightsUser User(std::int32_t id, const std::string& name, const std::string& password) {
  RightsUser u;
  u.ID = id;
  u.Name = name;
  u.Password = password;
  u.osAccount = name;
  u.ConfigName = "Cfg" + std::to_string(id);
  return u;
}

}  // namespace

TEST(Password, ScrambleIsItsOwnInverseOnWindows1250Bytes) {
  EXPECT_EQ(ScramblePassword(""), "");
  // The key moves with the position; "Z[\]^" meets the keys of positions 0 to 4 and becomes NULs.
  const std::string ab = {char('a' ^ kPasswordScrambleStart), char('b' ^ (kPasswordScrambleStart + 1))};
  EXPECT_EQ(ScramblePassword("ab"), ab);
  EXPECT_EQ(ScramblePassword("Z[\\]^"), std::string(5, '\0'));
  // Czech letters are one byte each: "ž" is 0x9E in Windows-1250.
  EXPECT_EQ(Utf8ToCp1250(ScramblePassword("ž")), std::string(1, char(0x9E ^ kPasswordScrambleStart)));
  for (const std::string& text : {std::string("tajné heslo Ř"), std::string(600, 'x'), std::string("Z[\\]^")})
    EXPECT_EQ(ScramblePassword(ScramblePassword(text)), text);
}

TEST(AccessRights, RightsTablesWithoutAnyUserLetTheUnnamedUserIn) {
  for (const bool oldModel : {true, false}) {
    SCOPED_TRACE(oldModel ? "old model" : "new model");
    TempDir dir;
    ASSERT_FALSE(oldModel ? WriteOldModelRights(dir.Path(), {}) : WriteNewModelRights(dir.Path(), {}, true));
    TS3AccessRights r(dir.Path());
    EXPECT_EQ(r.OldModel(), oldModel);
    // Any password, and a second load on the same object.
    for (const char* password : {"", "kdokoli"}) {
      ASSERT_TRUE(r.LoadUserRights(password)) << r.LastError();
      EXPECT_EQ(r.UserName(), "uživatel bez jména");
      EXPECT_EQ(r.UserID(), 0);
      for (const AccessRightDef& def : AccessRightDefs())
        EXPECT_EQ(r.Right(def.right), def.kind == RightKind::Level ? 2 : 1) << def.name;
    }
  }
}

TEST(AccessRights, NewModelLevelsFromPrispolBooleansFromPrisuziv) {
  RightsUser anna = User(7, "Anna Dvořáková", "tajné");
  anna.UzamceniDo = false;
  anna.levels = {{"VystaveneFaktury", "R"},
                 {"SzSkladDokladu", "A"},
                 {"PristupovaPrava", "a"},
                 {"JUPDTisk", ""},
                 {"KonfUdZas", " A"}};
  anna.missingItems = {"Vysledovka"};
  RightsUser other = User(8, "Ota", "jiné");
  other.level = "";
  other.missingItems = {"Vysledovka"};

  for (const bool withPrispol : {false, true}) {
    SCOPED_TRACE(withPrispol ? "with PRISPOL" : "without PRISPOL");
    TempDir dir;
    ASSERT_FALSE(WriteNewModelRights(dir.Path(), {anna, other}, withPrispol));
    TS3AccessRights r(dir.Path());
    EXPECT_FALSE(r.OldModel());
    ASSERT_TRUE(r.LoadUserRights("tajné")) << r.LastError();
    EXPECT_EQ(r.UserName(), "Anna Dvořáková");
    EXPECT_EQ(r.UserID(), 7);
    EXPECT_EQ(r.UserConfigName(), "Cfg7");
    EXPECT_EQ(r.UserPasswordText(), "tajné");
    EXPECT_EQ(r.Right("VisPorCenu"), 1);
    EXPECT_FALSE(r.Granted(AccessRight::UzamceniDo));
    if (!withPrispol) {
      for (const AccessRightDef& def : AccessRightDefs()) {
        if (def.kind == RightKind::Level) {
          EXPECT_EQ(r.Right(def.right), 2) << def.name;
        }
      }
      continue;
    }
    // Codes compare exactly; an item without a record is granted; the other user's items
    // (all "") do not leak in.
    EXPECT_EQ(r.Right("VystaveneFaktury"), 1);
    EXPECT_EQ(r.Right("SzSkladDokladu"), 2);
    EXPECT_EQ(r.Right("PristupovaPrava"), 0);
    EXPECT_EQ(r.Right("JUPDTisk"), 0);
    EXPECT_EQ(r.Right("KonfUdZas"), 0);
    EXPECT_EQ(r.Right("Vysledovka"), 2);
    EXPECT_EQ(r.Right("SeznamNabidek"), 2);

    ASSERT_TRUE(r.LoadUserRights("jiné")) << r.LastError();
    EXPECT_EQ(r.Right("SzSkladDokladu"), 0);
    EXPECT_EQ(r.Right("Vysledovka"), 2);
    EXPECT_TRUE(r.Granted(AccessRight::UzamceniDo));
  }
}

TEST(AccessRights, NewModelPasswordOrSystemAccount) {
  TempDir dir;
  ScopedUserName account("jnovak");
  RightsUser noLogin = User(2, "pvesely", "");
  noLogin.osLogin = false;
  ASSERT_FALSE(
      WriteNewModelRights(dir.Path(), {User(1, "jnovak", "heslo-jana"), noLogin, User(3, "eva", "tajné")}, true));
  TS3AccessRights r(dir.Path());
  ASSERT_TRUE(r.LoadUserRights("")) << r.LastError();
  EXPECT_EQ(r.UserID(), 1);

  // A password is sought as given, even when the account's user would match.
  ASSERT_TRUE(r.LoadUserRights("tajné")) << r.LastError();
  EXPECT_EQ(r.UserID(), 3);
  for (const std::string& wrong : {std::string("nikdo"), ScramblePassword("tajné")}) {
    EXPECT_FALSE(r.LoadUserRights(wrong));
    EXPECT_EQ(r.LastError(), kUserNotFoundText);
    EXPECT_FALSE(r.Granted(AccessRight::UzamceniDo));
  }
  // A record that does not allow logging in by the account; an account not there; keys are exact.
  for (const char* name : {"pvesely", "neznamy", "JNOVAK"}) {
    SCOPED_TRACE(name);
    ScopedUserName other(name);
    EXPECT_FALSE(r.LoadUserRights(""));
    EXPECT_EQ(r.LastError(), kUserNotFoundText);
  }
  ASSERT_TRUE(r.LoadUserRights(""));
  EXPECT_EQ(r.LastError(), "");
}

TEST(AccessRights, OldModelScrambledPasswordsAndTheSecondTable) {
  TempDir dir;
  RightsUser jan = User(1, "Jan", "tajné heslo");
  jan.levels = {{"VystaveneFaktury", "R"}, {"SeznamVPop", "R"}, {"JUInterniDoklady", ""}};
  jan.VisPorCenu = false;
  RightsUser lost = User(5, "Ztracený", "pryč");
  lost.WithPristup2 = false;
  // "Z" is stored as a NUL byte.
  ASSERT_FALSE(WriteOldModelRights(dir.Path(), {jan, User(2, "Bez hesla", ""), User(4, "Zed", "Z"), lost}));
  {
    TBFTable t;
    ASSERT_EQ(t.OpenTable(dir.Path() + "PRISTUP"), 0);
    ASSERT_EQ(t.GoTop(), 0);
    EXPECT_EQ(t.Value("Password").ToString(), ScramblePassword("tajné heslo"));
  }

  TS3AccessRights r(dir.Path());
  EXPECT_TRUE(r.OldModel());
  ASSERT_TRUE(r.LoadUserRights("tajné heslo")) << r.LastError();
  EXPECT_EQ(r.UserName(), "Jan");
  EXPECT_EQ(r.UserPasswordText(), "tajné heslo");
  // Level rights from both tables, booleans from PRISTUP.
  EXPECT_EQ(r.Right("VystaveneFaktury"), 1);
  EXPECT_EQ(r.Right("SeznamVPop"), 1);
  EXPECT_EQ(r.Right("JUInterniDoklady"), 0);
  EXPECT_EQ(r.Right("SeznamPNab"), 2);
  EXPECT_EQ(r.Right("VisPorCenu"), 0);
  EXPECT_EQ(r.Right("UzamceniDo"), 1);

  ASSERT_TRUE(r.LoadUserRights("")) << r.LastError();
  EXPECT_EQ(r.UserID(), 2);
  ASSERT_TRUE(r.LoadUserRights("Z")) << r.LastError();
  EXPECT_EQ(r.UserID(), 4);
  // The typed text matches, not the stored one.
  EXPECT_FALSE(r.LoadUserRights(ScramblePassword("tajné heslo")));
  EXPECT_EQ(r.LastError(), kUserNotFoundText);
  EXPECT_FALSE(r.LoadUserRights("pryč"));
  EXPECT_EQ(r.LastError(), "Interní chyba - uživatel ID 5 nebyl nalezen v databázi PRISTUP2.");
}

TEST(AccessRights, TablesThatDoNotOpenOrLackAnIndex) {
  {
    SCOPED_TRACE("no rights tables at all, then PRISTUP2 empty, then missing");
    TempDir dir;
    TS3AccessRights r(dir.Path());
    EXPECT_FALSE(r.LoadUserRights(""));
    EXPECT_EQ(r.LastError(), kOpenError + dir.Path() + "PRISTUP.DAT");
    RightsUser jan = User(1, "Jan", "");
    jan.WithPristup2 = false;
    ASSERT_FALSE(WriteOldModelRights(dir.Path(), {jan}));
    EXPECT_FALSE(r.LoadUserRights(""));
    EXPECT_EQ(r.LastError(), "Interní chyba - uživatel ID 1 nebyl nalezen v databázi PRISTUP2.");
    ASSERT_TRUE(engine::DeleteTableFiles(dir.Path() + "PRISTUP2"));
    EXPECT_FALSE(r.LoadUserRights(""));
    EXPECT_EQ(r.LastError(), kOpenError + dir.Path() + "PRISTUP2.DAT");
  }
  {
    SCOPED_TRACE("a marker in another letter case that is no table");
    TempDir dir;
    WriteBytes(dir / "prisuziv.DAT", "not a table");
    TS3AccessRights r(dir.Path());
    EXPECT_FALSE(r.OldModel());
    EXPECT_FALSE(r.LoadUserRights("x"));
    EXPECT_EQ(r.LastError(), kOpenError + dir.Path() + "prisuziv.DAT");  // as the disk spells it
  }
  {
    SCOPED_TRACE("PRISPOL without its index, PRISUZIV without UzivOS");
    TempDir dir;
    ScopedUserName account("jan");
    ASSERT_FALSE(engine::CreateTable(dir.Path() + "PRISUZIV",
                                     {{"Jmeno", engine::FieldType::Text}, {"Password", engine::FieldType::Text}},
                                     {"Jmeno", "Password"}));
    TBFTable t;
    ASSERT_EQ(t.OpenTable(dir.Path() + "PRISUZIV"), 0);
    t.AppendBlank();
    ASSERT_EQ(t.Post(), 0);
    t.CloseTable();
    TS3AccessRights r(dir.Path());
    EXPECT_FALSE(r.LoadUserRights(""));
    EXPECT_EQ(r.LastError(), kIndexError + dir.Path() + "PRISUZIV.dat");
    ASSERT_FALSE(engine::CreateTable(dir.Path() + "PRISPOL", {{"Hodnota", engine::FieldType::Text}}, {}));
    EXPECT_FALSE(r.LoadUserRights(""));
    EXPECT_EQ(r.LastError(), kIndexError + dir.Path() + "PRISPOL.dat");
  }
}
