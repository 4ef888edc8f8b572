#include <gtest/gtest.h>

#include <thread>

#include "archive/modules.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/agenda_builder.h"

using namespace vorlend;
using namespace vorlend::test;

namespace {

// vorlend-batch on a small agenda, run as Money's administrators would run it.
struct BatchFixture : ::testing::Test {
  TempDir dir;
  AgendaBuilder agenda{dir};
  std::vector<std::string> groups;
  std::string out, err;

  void SetUp() override {
    agenda.AddRightsWithoutUsers();
    agenda.AddYear("Rok.001", "2024");
    agenda.AddYear("Rok.002", "2025");
    for (const char* year : {"Rok.001", "Rok.002"}) {
      for (const ModuleInfo& m : Modules) agenda.AddTable(year, m.MoneyTable, MakeDocuments(30, 1, 3));
    }
    groups = agenda.Groups("Rok.002");
  }
  int Batch(std::vector<std::string> args) {
    std::vector<std::string> argv = {std::string(VORLEND_BIN_DIR) + "/vorlend-batch", args[0]};
    argv.insert(argv.end(), groups.begin(), groups.end());
    argv.insert(argv.end(), args.begin() + 1, args.end());
    return RunProgram(argv, &out, &err);
  }
  std::string Table(const std::string& year, const std::string& table) { return agenda.AgendaDir() + year + "/" + table; }
};

}  // namespace

TEST_F(BatchFixture, SaveListRestoreDelete) {
  const auto before = ReadLocks(Table("Rok.002", "PFAKTURY"), "Cislo");
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF,SD", "--action", "unlock", "--name", "Před přepočtem"}), 0) << err;
  EXPECT_EQ(out, "1\n");
  EXPECT_NE(err.find("Procházím přijaté faktury 2025..."), std::string::npos);
  EXPECT_EQ(err.find("2024"), std::string::npos);  // only the chosen year
  for (const auto& [key, value] : ReadLocks(Table("Rok.002", "PFAKTURY"), "Cislo")) EXPECT_EQ(value, "0");
  EXPECT_EQ(ReadLocks(Table("Rok.001", "PFAKTURY"), "Cislo"), before);  // the other year untouched

  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out.rfind("1\tPřed přepočtem\t", 0), 0u);

  ASSERT_EQ(Batch({"restore", "--archive", "1", "--delete-after"}), 0) << err;
  EXPECT_EQ(ReadLocks(Table("Rok.002", "PFAKTURY"), "Cislo"), before);
  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out, "");

  // The remembered settings give the defaults and are never written.
  ASSERT_EQ(Batch({"save", "--years", "ROK.001"}), 0) << err;
  EXPECT_NE(err.find("Procházím přijaté faktury 2024..."), std::string::npos);
  EXPECT_EQ(err.find("pokladní"), std::string::npos);
  EXPECT_FALSE(FileExists(agenda.Context().SettingsFileName()));
}

TEST_F(BatchFixture, BadCommandLinesAndRefusedStarts) {
  EXPECT_EQ(Batch({"save", "--bogus"}), 2);
  EXPECT_EQ(Batch({"save", "--name", "a\tb"}), 2);
  EXPECT_EQ(Batch({"save", "--name", std::string(51, 'x')}), 2);
  EXPECT_EQ(Batch({"save", "--years", "1999"}), 2);
  EXPECT_EQ(Batch({"save", "--modules", "XX"}), 2);
  EXPECT_EQ(Batch({"save", "--action", "maybe"}), 2);
  EXPECT_EQ(Batch({"save", "--on-conflict", "retry=x"}), 2);
  EXPECT_EQ(Batch({"restore"}), 2);
  EXPECT_EQ(Batch({"frobnicate"}), 2);
  EXPECT_FALSE(DirectoryExists(agenda.Context().ArchiveRoot()));

  groups.pop_back();
  EXPECT_EQ(Batch({"list"}), 3);
  EXPECT_NE(err.find("Chyba: Doplněk byl spuštěn s neúplným parametrem"), std::string::npos);
}

TEST_F(BatchFixture, IncompleteArchivesAndOtherAgendasAreRefused) {
  const HostContext ctx = agenda.Context();
  ForceDirectories(ctx.ArchiveRoot() + "1");
  TIniFile info(ctx.ArchiveRoot() + "1/info");
  info.WriteString("MAIN", "AgendaExt", "001");
  info.WriteInteger("MAIN", "Correct", 0);
  ForceDirectories(ctx.ArchiveRoot() + "2");
  TIniFile other(ctx.ArchiveRoot() + "2/info");
  other.WriteString("MAIN", "AgendaExt", "002");
  other.WriteInteger("MAIN", "Correct", 1);
  EXPECT_EQ(Batch({"restore", "--archive", "1"}), 1);
  EXPECT_NE(err.find("není úplný nebo nepatří k této agendě"), std::string::npos);
  EXPECT_EQ(Batch({"delete", "--archive", "2"}), 1);
  EXPECT_TRUE(DirectoryExists(ctx.ArchiveRoot() + "2"));
}

TEST_F(BatchFixture, LockConflictStopsOrWaits) {
  {
    HoldProcess holder(Table("Rok.002", "VFAKTURY"), "Cislo", 5);
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(Batch({"save", "--modules", "VF", "--action", "lock"}), 4);
    EXPECT_NE(err.find("Zámek v modulu vystavené faktury 2025: "), std::string::npos);
    EXPECT_EQ(out, "");
  }
  auto holder = std::make_unique<HoldProcess>(Table("Rok.002", "VFAKTURY"), "Cislo", 5);
  ASSERT_TRUE(holder->locked());
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    holder->release();
  });
  const int rc = Batch({"save", "--modules", "VF", "--action", "lock", "--on-conflict", "retry=30"});
  release.join();
  EXPECT_EQ(rc, 0) << err;
  EXPECT_EQ(out, "2\n");  // archive 1 stays behind incomplete and keeps its number
  for (const auto& [key, value] : ReadLocks(Table("Rok.002", "VFAKTURY"), "Cislo")) EXPECT_EQ(value, "1");
}
