// Money's settings store over both forms: the constructor's choice of form, and the table form's
// typed reads and writes.
#include <gtest/gtest.h>

#include "engine/table_files.h"
#include "host/s3inifile.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "support/agenda_builder.h"
#include "support/temp_dir.h"

namespace vorlend {
namespace {

using test::TempDir;

class DecimalSeparator {
public:
  explicit DecimalSeparator(char separator) : m_saved(FormatSettings()) {
    LocaleFormats fs = m_saved;
    fs.DecimalSeparator = separator;
    SetFormatSettings(fs);
  }
  ~DecimalSeparator() { SetFormatSettings(m_saved); }

private:
  LocaleFormats m_saved;
};

void MakeSettingsTable(const std::string& iniPath, const std::string& section, const std::string& key,
                       const std::string& value) {
  using engine::FieldType;
  ASSERT_FALSE(engine::CreateTable(ChangeFileExt(iniPath, ".DAT"),
                                   {{"Section1", FieldType::Text},
                                    {"Variable", FieldType::Text},
                                    {"TypeVar", FieldType::Text},
                                    {"Value", FieldType::Untyped}},
                                   {"Section1+Variable"}));
  TS3IniFile store(iniPath, "13");
  store.WriteString(section, key, value);
}

int RecordCount(const std::string& tablePath) {
  const std::string dump = test::DumpTable(tablePath);
  return static_cast<int>(std::count(dump.begin(), dump.end(), '\n')) - 1;
}

TEST(S3IniFile, WithoutAVersionTheFilesDecideTheForm) {
  TempDir dir;
  for (const char* sub : {"both", "lower", "ini"}) ASSERT_TRUE(ForceDirectories(dir / sub));
  const std::string both = dir / "both/AGENDA.INI";
  TIniFile(both).WriteString("Údaje o firmě", "Název-obchodní", "Z ini");
  MakeSettingsTable(both, "Údaje o firmě", "Název-obchodní", "Z tabulky");
  {
    TS3IniFile store(both);
    EXPECT_EQ(store.VersionText, "00.000");
    EXPECT_EQ(store.StorageForm, TS3IniFile::TableForm);
    EXPECT_EQ(store.TableFileName, dir / "both/AGENDA.DAT");
    EXPECT_EQ(store.FileName(), "");
    EXPECT_EQ(store.ReadString("Údaje o firmě", "Název-obchodní", "---"), "Z tabulky");
    EXPECT_EQ(store.ReadString("Údaje o firmě", "Jiný klíč", "---"), "---");
  }
  // A name without extension gets ".DAT" for the test; the file may differ in letter case.
  MakeSettingsTable(dir / "lower/rok.ini", "Global", "Účetní rok", "2025");
  TS3IniFile noExt(dir / "lower/ROK");
  EXPECT_EQ(noExt.StorageForm, TS3IniFile::TableForm);
  EXPECT_EQ(noExt.ReadString("Global", "Účetní rok", "????"), "2025");

  const std::string iniOnly = dir / "ini/ROK.INI";
  TIniFile(iniOnly).WriteString("Global", "Účetní rok", "2006");
  TS3IniFile ini(iniOnly);
  EXPECT_EQ(ini.StorageForm, TS3IniFile::IniForm);
  EXPECT_EQ(ini.FileName(), iniOnly);
  EXPECT_EQ(ini.TableFileName, "");
  EXPECT_FALSE(ini.Table);
  EXPECT_EQ(ini.ReadString("Global", "Účetní rok", "????"), "2006");
  // Saved by a plain editor as UTF-8 with the byte-order mark: read as UTF-8.
  test::WriteBytes(dir / "ini/AGENDA.INI", "\xEF\xBB\xBF[Údaje o firmě]\r\nNázev-obchodní=Pekárna Křížová\r\n");
  EXPECT_EQ(TS3IniFile(dir / "ini/AGENDA.INI").ReadString("Údaje o firmě", "Název-obchodní", "---"), "Pekárna Křížová");

  TS3IniFile missing(dir / "none/ROK.INI");
  EXPECT_EQ(missing.StorageForm, TS3IniFile::IniForm);
  EXPECT_EQ(missing.ReadString("Global", "Účetní rok", "????"), "????");
}

TEST(S3IniFile, AVersionDecidesTheFormWithoutLookingAtFiles) {
  TempDir dir;
  const std::string name = dir / "AGENDA.INI";
  TIniFile(name).WriteString("Údaje o firmě", "Název-obchodní", "Z ini");
  struct Case {
    char separator;
    const char* version;
    std::uint8_t form;
    double number;
  };
  for (const Case c : {Case{'.', "11.5", TS3IniFile::IniForm, 11.5}, Case{'.', "12.1", TS3IniFile::TableForm, 12.1},
                       Case{'.', "13", TS3IniFile::TableForm, 13.0}, Case{'.', "Money S3", TS3IniFile::TableForm, 12.1},
                       Case{',', "11.5", TS3IniFile::TableForm, 12.1}, Case{',', "11,5", TS3IniFile::IniForm, 11.5},
                       Case{',', "12,09", TS3IniFile::IniForm, 12.09}}) {
    SCOPED_TRACE(std::string(c.version) + " with " + c.separator);
    DecimalSeparator separator(c.separator);
    TS3IniFile store(name, c.version);
    EXPECT_EQ(store.StorageForm, c.form);
    EXPECT_DOUBLE_EQ(store.VersionNumber, c.number);
    // The table form finds no AGENDA.DAT: every read gives its default, writes do nothing.
    const std::string expected = c.form == TS3IniFile::IniForm ? "Z ini" : "---";
    EXPECT_EQ(store.ReadString("Údaje o firmě", "Název-obchodní", "---"), expected);
    if (c.form == TS3IniFile::TableForm) {
      store.WriteString("Údaje o firmě", "Název-obchodní", "x");
      store.DeleteKey("Údaje o firmě", "Název-obchodní");
      EXPECT_EQ(store.ReadInteger("a", "b", 5), 5);
    }
  }
  EXPECT_FALSE(FileExists(dir / "AGENDA.DAT"));
}

TEST(S3IniFile, TableFormReadsAndWritesEveryType) {
  TempDir dir;
  const std::string name = dir / "ROK.INI";
  MakeSettingsTable(name, "Global", "Účetní rok", "2024");
  TS3IniFile store(name);
  ASSERT_EQ(store.StorageForm, TS3IniFile::TableForm);

  store.WriteString("Global", "Nový", "první");
  EXPECT_EQ(RecordCount(store.TableFileName), 2);  // appended
  store.WriteString("Global", "Nový", "druhý");
  EXPECT_EQ(RecordCount(store.TableFileName), 2);  // found and updated
  EXPECT_EQ(store.ReadString("Global", "Nový", ""), "druhý");
  EXPECT_EQ(store.ReadString("global", "Nový", "?"), "?");  // the index compares exactly

  store.WriteInteger("Typy", "Int", -17);
  store.WriteBool("Typy", "Bool", true);
  store.WriteFloat("Typy", "Float", 2.75);
  store.WriteDate("Typy", "Date", 45292.0);
  store.WriteDateTime("Typy", "DateTime", 45292.5);
  store.WriteTime("Typy", "Time", 0.25);
  EXPECT_EQ(store.ReadInteger("Typy", "Int", 0), -17);
  EXPECT_TRUE(store.ReadBool("Typy", "Bool", false));
  EXPECT_DOUBLE_EQ(store.ReadFloat("Typy", "Float", 0), 2.75);
  EXPECT_DOUBLE_EQ(store.ReadDate("Typy", "Date", 0), 45292.0);
  EXPECT_DOUBLE_EQ(store.ReadDateTime("Typy", "DateTime", 0), 45292.5);
  EXPECT_DOUBLE_EQ(store.ReadTime("Typy", "Time", 0), 0.25);
  EXPECT_EQ(store.ReadString("Typy", "Int", ""), "-17");
  // A stored value that does not convert gives the default.
  EXPECT_EQ(store.ReadInteger("Global", "Nový", 99), 99);
  EXPECT_FALSE(store.ReadBool("Global", "Nový", false));

  store.DeleteKey("Typy", "Int");
  EXPECT_EQ(store.ReadInteger("Typy", "Int", 3), 3);
  store.DeleteKey("Typy", "Nic");  // a missing key is no error

  TStrings list = {"beze změny"};
  store.ReadSection("Global", list);
  store.ReadSections(list);
  store.ReadSectionValues("Global", list);
  store.EraseSection("Global");
  store.UpdateFile();
  EXPECT_EQ(list, TStrings{"beze změny"});
  std::string bytes = "x";
  EXPECT_EQ(store.ReadBinaryStream("Global", "Účetní rok", bytes), 0u);
  EXPECT_EQ(store.ReadString("Global", "Účetní rok", "????"), "2024");
}

}  // namespace
}  // namespace vorlend
