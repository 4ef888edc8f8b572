// agenda-seed writes a data directory the add-on starts on, in both settings forms.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "host/bftable.h"
#include "host/s3inifile.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/agenda_builder.h"
#include "support/table_support.h"
#include "support/temp_dir.h"

namespace vorlend {
namespace {

std::vector<std::vector<std::string>> Rows(const std::string& table) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(test::DumpTable(table));
  std::string line;
  while (std::getline(in, line)) rows.push_back(Split(line, '\t'));
  return rows;
}

TEST(AgendaSeed, WritesAgendasYearsAndDocumentsInTheTableForm) {
  test::TempDir dir;
  const std::string data = dir / "Data";
  std::string out;
  ASSERT_EQ(test::RunProgram({test::ToolPath("agenda-seed"), data, "--agendas", "2", "--years", "2", "--docs", "40",
                              "--locked", "25", "--form", "table", "--seed", "5"},
                             &out),
            0);
  EXPECT_EQ(out, "?MAIN=1?MAIN\n?AKTROK=" + data +
                     "/AGENDA.001/ROK.002?AKTROK\n?MVERZE=13.00?MVERZE\n"
                     "?AKTHESLO=?AKTHESLO\n?AKTCFGNAME=?AKTCFGNAME\n");

  EXPECT_EQ(TS3IniFile(data + "/AGENDA.002/AGENDA.INI").ReadString("Údaje o firmě", "Název-obchodní", "---"),
            "Stavby Dvořák a.s.");
  TS3IniFile year(data + "/AGENDA.001/ROK.002/ROK.INI");
  EXPECT_EQ(year.StorageForm, TS3IniFile::TableForm);
  EXPECT_EQ(year.ReadString("Global", "Účetní rok", "????"), "2025");

  for (const char* table :
       {"POKLKNIH", "BANKKNIH", "KNIHPOHL", "KNIHZAV", "INTDOKL", "PFAKTURY", "VFAKTURY", "SKSEZDOK"}) {
    SCOPED_TRACE(table);
    const auto rows = Rows(data + "/AGENDA.002/ROK.001/" + table);
    ASSERT_EQ(rows.size(), 41u);
    EXPECT_EQ(rows[0][0], std::string(table) == "SKSEZDOK" ? "CDokladu" : "Cislo");
    EXPECT_EQ(rows[0][1], "Uzamceni");
    std::set<std::string> keys;
    int locked = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      keys.insert(rows[i][0]);
      locked += rows[i][1] == "1";
    }
    EXPECT_EQ(keys.size(), 40u);
    EXPECT_EQ(locked, 10);
  }

  // New-model rights that let the current user in by the operating-system account.
  ASSERT_TRUE(FileExists(ResolvePath(data + "/PrisUziv.dat")));
  TBFTable users;
  ASSERT_EQ(users.OpenTable(data + "/PRISUZIV"), 0);
  ASSERT_EQ(users.SetOrder("UzivOS"), 0);
  ASSERT_EQ(users.Seek1(Variant::FromString(CurrentUserName())), kSeekFound);
  EXPECT_EQ(users.Value("PrihlZp"), Variant::FromInt(1));
  EXPECT_EQ(users.Value("UzamceniDo"), Variant::FromBool(true));
  EXPECT_EQ(users.SetOrder("Password"), 0);
  EXPECT_EQ(users.SetOrder("Jmeno"), 0);
}

TEST(AgendaSeed, IniFormSameSeedSameDataAndRefusals) {
  test::TempDir dir;
  for (const char* name : {"A", "B"})
    ASSERT_EQ(test::RunProgram({test::ToolPath("agenda-seed"), dir / name, "--years", "1", "--docs", "15", "--rights",
                                "none", "--seed", "9"}),
              0);
  const std::string agenda = dir / "A/AGENDA.001/";
  TS3IniFile firm(agenda + "AGENDA.INI");
  EXPECT_EQ(firm.StorageForm, TS3IniFile::IniForm);
  EXPECT_EQ(firm.ReadString("Údaje o firmě", "Název-obchodní", "---"), "Pekárna Křížová s.r.o.");
  EXPECT_EQ(TS3IniFile(agenda + "ROK.001/ROK.INI").ReadString("Global", "Účetní rok", "????"), "2024");
  EXPECT_FALSE(FileExists(dir / "A/PRISUZIV.DAT"));
  EXPECT_EQ(test::DumpTable(agenda + "ROK.001/PFAKTURY"), test::DumpTable(dir / "B/AGENDA.001/ROK.001/PFAKTURY"));

  EXPECT_EQ(test::RunProgram({test::ToolPath("agenda-seed"), dir / "A"}), 1);  // would overwrite an agenda
  EXPECT_EQ(test::RunProgram({test::ToolPath("agenda-seed"), dir / "C", "--locked", "101"}), 2);
  EXPECT_EQ(test::RunProgram({test::ToolPath("agenda-seed")}), 2);
}

}  // namespace
}  // namespace vorlend
