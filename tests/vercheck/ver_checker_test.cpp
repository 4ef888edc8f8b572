#include "vercheck/kpx_ver_checker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/http_server.h"
#include "support/portable.h"
#include "support/scripted_ports.h"
#include "support/temp_dir.h"

namespace vorlend {
namespace {

namespace fs = std::filesystem;
using test::HttpServer;
using test::RecordingShell;
using test::ScriptedDialogs;

const std::string kMoneyVer = "10.5.1";
const std::string kOutdated =
    "Aktuálně nainstalovaná verze Money není kompatibilní s tímto doplňkem, což může mít za následek "
    "nepředvídatelné chování celého programu (v krajním případě i poškození databáze).\r\r"
    "Doporučujeme vám co nejdříve provést upgrade na vyšší verzi doplňku, která je kompatibilní i s "
    "novějšími verzemi Money.\r\r";

class EnvVar {
public:
  EnvVar(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    test::SetEnv(name, value);
  }
  ~EnvVar() {
    if (m_old)
      test::SetEnv(m_name, *m_old);
    else
      test::UnsetEnv(m_name);
  }

private:
  const char* m_name;
  std::optional<std::string> m_old;
};

class VerCheckerTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_dir = NativePath(m_temp.Path());
    fs::create_directory(m_dir / "tmp");
    fs::create_directory(m_dir / "settings");
    m_tmpdir.emplace(m_temp / "tmp");
    m_vendor.emplace("VORLEND_VENDOR_URL", m_server.BaseUrl());
    SetClockForTesting([] { return EncodeDate(2025, 3, 10) + 0.75; });
  }
  void TearDown() override {
    SetClockForTesting({});
    m_vendor.reset();
    m_tmpdir.reset();
  }

  std::string StateFile() const { return (m_dir / "settings" / "setup.ini").string(); }

  void WriteState(const std::string& body) {
    std::ofstream(StateFile(), std::ios::binary) << "[KPXVERCHECKER]\r\n" << body;
  }
  std::string StateKey(const char* key) {
    TIniFile ini(StateFile());
    return ini.ReadString("KPXVERCHECKER", key, "<none>");
  }
  void Publish(const std::string& keys) { m_server.ServeBody("[OTHER]\r\nVER=9.9\r\n[VORLEND]\r\n" + keys); }

  bool Check(const std::string& money = kMoneyVer, bool alwaysOffer = true, TDateTime buildDate = 0) {
    TKPXVerChecker checker("VORLEND", "1.14", buildDate, StateFile(), money, alwaysOffer, m_dialogs, m_shell);
    checker.SetDownloadLimits({std::chrono::milliseconds(500), std::chrono::milliseconds(1500)});
    return checker.CheckVersion();
  }

  bool TempFolderEmpty() const { return fs::is_empty(m_dir / "tmp"); }

  HttpServer m_server;
  ScriptedDialogs m_dialogs;
  RecordingShell m_shell;
  test::TempDir m_temp;
  fs::path m_dir;

private:
  std::optional<test::TempFolderOverride> m_tmpdir;
  std::optional<EnvVar> m_vendor;
};

TEST(CheckDate, ReadsOnlyTenCharacterCalendarDates) {
  EXPECT_EQ(ParseCheckDate("2024-02-29"), EncodeDate(2024, 2, 29));
  EXPECT_EQ(ParseCheckDate("2024/02.29"), EncodeDate(2024, 2, 29));  // separators not examined
  EXPECT_EQ(ParseCheckDate("2024č02ž29"), EncodeDate(2024, 2, 29));  // ten characters, more bytes
  for (const char* bad : {"", "2023-02-29", "2024-13-01", "2024-00-10", "2024-01-32", "2024-1-5", "2024-01-05 ",
                          " 2024-01-05", "+024-01-05", "2024-0x-05", "20240105", "2024-01-5x"})
    EXPECT_EQ(ParseCheckDate(bad), 0) << bad;
  EXPECT_EQ(FormatCheckDate(EncodeDate(2025, 3, 9)), "2025-03-09");
  EXPECT_EQ(FormatCheckDate(EncodeDate(2025, 3, 9) + 0.5), "2025-03-09");
}

TEST_F(VerCheckerTest, SwitchInStateFileSuppressesTheCheck) {
  Publish("VER=1.13\r\n");
  WriteState("NOCHECKFORMONEYVER=*\r\n");
  EXPECT_TRUE(Check());
  EXPECT_TRUE(Check("11.0"));
  EXPECT_EQ(m_server.RequestCount(), 0);

  WriteState("NOCHECKFORMONEYVER=" + kMoneyVer + "\r\n");
  EXPECT_TRUE(Check());
  EXPECT_EQ(m_server.RequestCount(), 0);

  // Money upgraded: the switch no longer applies.
  m_dialogs.Answer(false);
  EXPECT_TRUE(Check("11.0"));
  EXPECT_EQ(m_server.RequestCount(), 1);
}

TEST_F(VerCheckerTest, CheckIsDuePerMoneyVersionAndAfterSixtyDays) {
  Publish("VER=1.14\r\n");
  EXPECT_TRUE(Check());  // no state file
  EXPECT_EQ(m_server.RequestCount(), 1);
  EXPECT_EQ(m_server.LastPath(), "/download/kpxver.dat");

  WriteState("LastCheckMoneyVersion=" + kMoneyVer + "\r\nLastCheckDate=2025-01-09\r\n");  // 60 days ago
  EXPECT_TRUE(Check());
  EXPECT_EQ(m_server.RequestCount(), 1);

  WriteState("LastCheckMoneyVersion=" + kMoneyVer + "\r\nLastCheckDate=2025-01-08\r\n");  // 61 days ago
  EXPECT_TRUE(Check());
  EXPECT_EQ(m_server.RequestCount(), 2);
  EXPECT_EQ(StateKey("LastCheckDate"), "2025-03-10");

  EXPECT_TRUE(Check("10.6"));  // checked today, but for another Money version
  EXPECT_EQ(m_server.RequestCount(), 3);
  EXPECT_EQ(StateKey("LastCheckMoneyVersion"), "10.6");

  WriteState("LastCheckMoneyVersion=" + kMoneyVer + "\r\nLastCheckDate=2025-02-30\r\n");  // no date
  EXPECT_TRUE(Check());
  EXPECT_EQ(m_server.RequestCount(), 4);
  EXPECT_EQ(m_dialogs.Entries().size(), 0u);
}

TEST_F(VerCheckerTest, CurrentVersionRemembersMoneyVersionAndToday) {
  WriteState("NOCHECKFORMONEYVER=\r\nLastCheckMoneyVersion=9.0\r\nLastCheckDate=2020-01-01\r\n");
  Publish("VER=1.14\r\nHOMEPAGE=http://www.vendor.example/\r\n");
  EXPECT_TRUE(Check());
  EXPECT_EQ(StateKey("LastCheckMoneyVersion"), kMoneyVer);
  EXPECT_EQ(StateKey("LastCheckDate"), "2025-03-10");
  EXPECT_EQ(StateKey("NOCHECKFORMONEYVER"), "");
  EXPECT_TRUE(m_dialogs.Entries().empty());
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(VerCheckerTest, DifferentVersionAsksUntilAnsweredYes) {
  Publish("VER=1.13\r\nHOMEPAGE=https://www.vendor.example/vorlend\r\n");  // lower counts as well
  m_dialogs.Answers({false, false, true});

  EXPECT_TRUE(Check());
  ASSERT_EQ(m_dialogs.QuestionCount(), 1u);
  EXPECT_EQ(m_dialogs.LastEntry().kind, MsgKind::Warning);
  EXPECT_EQ(m_dialogs.LastEntry().text,
            kOutdated + "Přejete si nyní přesměrovat na internetové stránky, kde je možné novou verzi stáhnout?");
  EXPECT_TRUE(m_shell.Urls().empty());
  EXPECT_FALSE(fs::exists(StateFile()));  // nothing remembered: the next press asks again

  EXPECT_TRUE(Check());
  EXPECT_EQ(m_server.RequestCount(), 2);
  EXPECT_EQ(m_dialogs.QuestionCount(), 2u);

  EXPECT_FALSE(Check());
  EXPECT_EQ(m_shell.Urls(), std::vector<std::string>{"https://www.vendor.example/vorlend"});
  EXPECT_FALSE(fs::exists(StateFile()));
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(VerCheckerTest, NothingToSayGoesOnSilently) {
  WriteState("LastCheckMoneyVersion=" + kMoneyVer + "\r\nLastCheckDate=2024-01-01\r\n");
  const std::string before =
      "[KPXVERCHECKER]\r\nLastCheckMoneyVersion=" + kMoneyVer + "\r\nLastCheckDate=2024-01-01\r\n";
  auto stateUnchanged = [&] {
    std::ifstream in(StateFile(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {}) == before;
  };

  Publish("VER=2.0\r\nWAIT=1\r\n");  // the vendor holds the warning back
  EXPECT_TRUE(Check());
  EXPECT_TRUE(Check());
  EXPECT_EQ(m_server.RequestCount(), 2);

  m_server.ServeBody("[OTHER]\r\nVER=1.13\r\n");  // no section of ours
  EXPECT_TRUE(Check());
  Publish("HOMEPAGE=http://x.example/\r\n");  // no VER
  EXPECT_TRUE(Check());
  m_server.ServeNotFound();
  EXPECT_TRUE(Check());
  Publish("VER=1.13\r\n" + std::string(2 << 20, ';'));  // far too large to be a version file
  EXPECT_TRUE(Check());
  EXPECT_EQ(m_server.RequestCount(), 6);

  EXPECT_TRUE(m_dialogs.Entries().empty());
  EXPECT_TRUE(stateUnchanged());
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(VerCheckerTest, UnreachableServerGoesOnWithinTheLimit) {
  int closedPort = 0;
  {
    HttpServer gone;
    closedPort = gone.Port();
  }
  {
    EnvVar down("VORLEND_VENDOR_URL", "http://127.0.0.1:" + std::to_string(closedPort));
    EXPECT_TRUE(Check());
  }

  m_server.ServeNothing();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Check());
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(m_server.RequestCount(), 1);
  EXPECT_LT(elapsed, std::chrono::seconds(5));

  EXPECT_TRUE(m_dialogs.Entries().empty());
  EXPECT_FALSE(fs::exists(StateFile()));
  EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(VerCheckerTest, WithoutAlwaysOfferDownloadBuildDateChoosesTheForm) {
  Publish("VER=1.15\r\nBUILDDATE=2025-01-15\r\nHOMEPAGE=http://www.vendor.example/vorlend\r\n");

  // Built before the date: no free upgrade, the user is sent to the contact address.
  m_dialogs.Answer(true);
  EXPECT_FALSE(Check(kMoneyVer, false, EncodeDate(2025, 1, 14)));
  EXPECT_EQ(m_dialogs.LastEntry().text,
            kOutdated +
                "Informujte se, prosím, na naší e-mailové adrese, za jakých podmínek můžete "
                "vyšší verzi získat.  Kontaktní e-mail: " +
                kVendorContactEmail + "\r\rPřejete si nyní tento doplněk ukončit?");
  EXPECT_TRUE(m_shell.Urls().empty());

  const std::string freeForm = kOutdated +
                               "Novou verzi tohoto doplňku si můžete bezplatně stáhnout z internetových stránek, "
                               "přejete si nyní na tyto stránky přesměrovat?";
  m_dialogs.Answer(false);
  EXPECT_TRUE(Check(kMoneyVer, false, EncodeDate(2025, 1, 15)));
  EXPECT_EQ(m_dialogs.LastEntry().text, freeForm);
  EXPECT_TRUE(m_shell.Urls().empty());

  m_dialogs.Answer(true);
  EXPECT_FALSE(Check(kMoneyVer, false, EncodeDate(2025, 2, 1)));
  EXPECT_EQ(m_dialogs.LastEntry().text, freeForm);
  EXPECT_EQ(m_shell.Urls().size(), 1u);

  // No BUILDDATE published: an add-on without a build date is not older than no date.
  Publish("VER=1.15\r\n");
  m_dialogs.Answer(false);
  EXPECT_TRUE(Check(kMoneyVer, false, 0));
  EXPECT_EQ(m_dialogs.LastEntry().text, freeForm);
}

TEST_F(VerCheckerTest, OnlyWebAddressesAreOpened) {
  for (const char* page : {"file:///etc/passwd", "/usr/bin/xterm", "javascript:alert(1)", ""}) {
    Publish(std::string("VER=1.15\r\nHOMEPAGE=") + page + "\r\n");
    m_dialogs.Answer(true);
    EXPECT_FALSE(Check()) << page;  // the user still chose to end the add-on
  }
  EXPECT_TRUE(m_shell.Urls().empty());

  Publish("VER=1.15\r\nHOMEPAGE=HTTP://www.vendor.example/\r\n");
  m_dialogs.Answer(true);
  EXPECT_FALSE(Check());
  EXPECT_EQ(m_shell.Urls().size(), 1u);
}

TEST_F(VerCheckerTest, StateThatCannotBeWrittenDoesNotStopTheWizard) {
  Publish("VER=1.14\r\n");
  fs::remove(m_dir / "settings");
  std::ofstream(m_dir / "settings") << "a file where the settings directory belongs";
  EXPECT_TRUE(Check());
  EXPECT_TRUE(m_dialogs.Entries().empty());

  // A directory where the state file belongs reads as no state: the check runs and goes on.
  fs::remove(m_dir / "settings");
  fs::create_directories(StateFile());
  EXPECT_TRUE(Check());
  EXPECT_TRUE(m_dialogs.Entries().empty());
}

}  // namespace
}  // namespace vorlend
