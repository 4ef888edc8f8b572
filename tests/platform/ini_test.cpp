#include <gtest/gtest.h>

#include "platform/cp1250.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "support/portable.h"
#include "support/temp_dir.h"

using namespace vorlend;
using vorlend::test::ReadBytes;
using vorlend::test::TempDir;
using vorlend::test::WriteBytes;

TEST(IniFile, ReadsAsWindowsDoes) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  // Windows-1250 bytes: "Údaje o firmě" and "Název-obchodní" with a value in quotes; an LF-only line.
  WriteBytes(path,
             "; comment\r\n[ \xDA"
             "daje o firm\xEC ]\r\n  N\xE1zev-obchodn\xED =  \"Firma \xC8"
             "R s.r.o.\" \r\n"
             "dup=first\r\ndup=second\n[Other]\r\nx='q'\r\ny=\"mismatched'\r\n[\xDA"
             "DAJE O FIRM\xCC]\r\nlate=1\r\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Údaje o firmě", "Název-obchodní", "---"), "Firma ČR s.r.o.");
  EXPECT_EQ(ini.ReadString("ÚDAJE O FIRMĚ", "NÁZEV-OBCHODNÍ", "---"), "Firma ČR s.r.o.");
  EXPECT_EQ(ini.ReadString("údaje o firmě", "dup", ""), "first");
  EXPECT_EQ(ini.ReadString("Údaje o firmě", "late", "-"), "-");  // the first matching section wins
  EXPECT_EQ(ini.ReadString("other", "x", ""), "q");
  EXPECT_EQ(ini.ReadString("other", "y", ""), "\"mismatched'");
  EXPECT_EQ(ini.ReadString("missing", "x", "def"), "def");
  TIniFile none(dir / "none.ini");
  EXPECT_EQ(none.ReadString("a", "b", "def"), "def");
  EXPECT_EQ(none.ReadInteger("a", "b", 42), 42);
}

TEST(IniFile, TypedReadsAndWrites) {
  TempDir dir;
  const std::string path = dir / "t.ini";
  WriteBytes(path,
             "[S]\r\nhex=0x1F\r\nHEX2=0XfF\r\nneg=-12\r\nplus=+7\r\nbad=12a\r\nbig=99999999999\r\n"
             "b2=2\r\nb0=0\r\nbtext=yes\r\nd=7.12.2026\r\nt=8:05:09\r\nf=3,25\r\nfdot=3.25\r\n");
  SetFormatSettings(CzechLocaleFormats());
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("s", "hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("s", "hex2", 0), 255);
  EXPECT_EQ(ini.ReadInteger("s", "neg", 0), -12);
  EXPECT_EQ(ini.ReadInteger("s", "plus", 0), 7);
  EXPECT_EQ(ini.ReadInteger("s", "bad", 5), 5);
  EXPECT_EQ(ini.ReadInteger("s", "big", 5), 5);
  EXPECT_TRUE(ini.ReadBool("s", "b2", false));
  EXPECT_FALSE(ini.ReadBool("s", "b0", true));
  EXPECT_TRUE(ini.ReadBool("s", "btext", true));  // not a number: the default
  EXPECT_FALSE(ini.ReadBool("s", "btext", false));
  EXPECT_EQ(ini.ReadDate("s", "d", 0), EncodeDate(2026, 12, 7));
  EXPECT_EQ(ini.ReadTime("s", "t", 0), EncodeTime(8, 5, 9));
  EXPECT_DOUBLE_EQ(ini.ReadFloat("s", "f", 0), 3.25);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("s", "fdot", -1), -1);  // the locale's separator is the comma

  ini.WriteBool("s", "nb", true);
  ini.WriteDate("s", "nd", EncodeDate(2005, 3, 4));
  ini.WriteTime("s", "nt", EncodeTime(14, 7, 0));
  ini.WriteFloat("s", "nf", 0.5);
  ini.WriteInteger("s", "ni", -3);
  EXPECT_EQ(ini.ReadString("s", "nb", ""), "1");
  EXPECT_EQ(ini.ReadString("s", "nd", ""), "4.3.2005");
  EXPECT_EQ(ini.ReadString("s", "nt", ""), "14:07:00");
  EXPECT_EQ(ini.ReadString("s", "nf", ""), "0,5");
  EXPECT_EQ(ini.ReadInteger("s", "ni", 0), -3);
}

TEST(IniFile, WritesKeepEveryOtherLineAndUpdateInPlace) {
  TempDir dir;
  const std::string path = dir / "w.ini";
  WriteBytes(path, "; keep me\r\n[MAIN]\r\nA=1\r\nB = 2\r\n\r\n[Next]\r\nC=3\r\n");
  TIniFile ini(path);
  ini.WriteString("main", "b", "20");         // in place, key as written now
  ini.WriteString("MAIN", "New", "x");        // appended at the end of its section, before the blank line
  ini.WriteString("Third", "Jméno", "Žluť");  // a new section at the end of the file
  EXPECT_EQ(ReadBytes(path),
            "; keep me\r\n[MAIN]\r\nA=1\r\nb=20\r\nNew=x\r\n\r\n[Next]\r\nC=3\r\n[Third]\r\nJm\xE9no=\x8E"
            "lu\x9D\r\n");

  // A value must never forge lines of its own.
  ini.WriteString("Next", "C", "evil\r\nCorrect=1\n\0x");
  EXPECT_EQ(ini.ReadString("Next", "Correct", "none"), "none");
  EXPECT_EQ(ini.ReadString("Next", "C", ""), "evil  Correct=1");
  ini.WriteString("Next", "C",
                  "x\xC0\x8A"
                  "Correct=1\xC0\x8A[MAIN]");  // line breaks in overlong UTF-8
  EXPECT_EQ(ini.ReadString("Next", "Correct", "none"), "none");
  EXPECT_EQ(ini.ReadString("Next", "C", ""), "x??Correct=1??[MAIN]");

  ini.DeleteKey("MAIN", "A");
  ini.EraseSection("third");
  TStrings sections, keys, values;
  ini.ReadSections(sections);
  ini.ReadSection("main", keys);
  ini.ReadSectionValues("main", values);
  EXPECT_EQ(sections, (TStrings{"MAIN", "Next"}));
  EXPECT_EQ(keys, (TStrings{"b", "New"}));
  EXPECT_EQ(values, (TStrings{"b=20", "New=x"}));

  TIniFile fresh(dir / "fresh.ini");
  fresh.WriteInteger("SETTINGS", "LockAction", 2);
  fresh.WriteBool("SETTINGS", "Banka", false);
  EXPECT_EQ(ReadBytes(dir / "fresh.ini"), "[SETTINGS]\r\nLockAction=2\r\nBanka=0\r\n");

  // The same writes in memory, then one replace, leave the same bytes.
  WriteBytes(dir / "mem.ini", "; keep me\r\n[MAIN]\r\nA=1\r\nB = 2\r\n\r\n[Next]\r\nC=3\r\n");
  TMemIniFile mem(dir / "mem.ini");
  mem.WriteString("main", "b", "20");
  mem.WriteString("MAIN", "New", "x");
  mem.WriteString("Third", "Jméno", "Žluť");
  EXPECT_EQ(mem.ReadString("MAIN", "B", ""), "20");
  EXPECT_EQ(ReadBytes(dir / "mem.ini"), "; keep me\r\n[MAIN]\r\nA=1\r\nB = 2\r\n\r\n[Next]\r\nC=3\r\n");
  mem.UpdateFile();
  EXPECT_EQ(ReadBytes(dir / "mem.ini"),
            "; keep me\r\n[MAIN]\r\nA=1\r\nb=20\r\nNew=x\r\n\r\n[Next]\r\nC=3\r\n[Third]\r\nJm\xE9no=\x8E"
            "lu\x9D\r\n");

  // A file a plain editor saved as UTF-8 with the byte-order mark is read, and kept, as UTF-8.
  WriteBytes(dir / "bom.ini", "\xEF\xBB\xBF[Údaje]\r\nNázev=Pekárna Křížová\r\n");
  TIniFile bom(dir / "bom.ini");
  EXPECT_EQ(bom.ReadString("Údaje", "Název", ""), "Pekárna Křížová");
  bom.WriteString("Údaje", "Město", "Brno");
  EXPECT_EQ(ReadBytes(dir / "bom.ini"), "\xEF\xBB\xBF[Údaje]\r\nNázev=Pekárna Křížová\r\nMěsto=Brno\r\n");

  // A Windows-1250 file that merely begins with those bytes stays what it read as, even after a
  // write replaces its only byte that is no UTF-8: the first line is still "ď»ż[A]", no section.
  WriteBytes(dir / "cp.ini", "\xEF\xBB\xBF[A]\r\nk=v\r\n[B]\r\nk=\x91\r\n");
  TIniFile cp(dir / "cp.ini");
  cp.WriteString("B", "K", "");
  cp.ReadSections(sections);
  EXPECT_EQ(sections, (TStrings{"B"}));
  EXPECT_EQ(cp.ReadString("B", "k", "none"), "");
}

// A name is stored with its line breaks and NUL as blanks, and found again in that form: a second
// write updates the line the first one made instead of adding another section or key.
TEST(IniFile, NamesWithLineBreaksFindTheirOwnLines) {
  TempDir dir;
  const std::string path = dir / "n.ini";
  const std::string section("A\0B\r\nC", 6);
  const std::string key("k\ney\0", 5);
  TIniFile ini(path);
  ini.WriteString(section, key, "1");
  ini.WriteString(section, key, "2");
  EXPECT_EQ(ReadBytes(path), "[A B  C]\r\nk ey=2\r\n");
  EXPECT_EQ(ini.ReadString(section, key, "none"), "2");
  EXPECT_EQ(ini.ReadString("a b  c", "K EY", "none"), "2");

  // A NUL inside a name in the file itself compares as that blank as well.
  WriteBytes(path, std::string("[X\0Y]\r\nk\0ey=1\r\n", 15));
  EXPECT_EQ(ini.ReadString(std::string("X\0Y", 3), std::string("k\0ey", 4), "none"), "1");
  EXPECT_EQ(ini.ReadString("x y", "K EY", "none"), "1");
  ini.WriteString("X Y", "k ey", "2");
  EXPECT_EQ(ReadBytes(path), std::string("[X\0Y]\r\nk ey=2\r\n", 15));
}

TEST(IniFile, CrOnlyFilesAndAFileWhereADirectoryMustBe) {
  TempDir dir;
  WriteBytes(dir / "cr.ini", "[A]\rk=v\r");
  TIniFile cr(dir / "cr.ini");
  EXPECT_EQ(cr.ReadString("A", "k", ""), "v");

  WriteBytes(dir / "file", "x");
  TIniFile blocked(dir / "file/sub.ini");
  EXPECT_EQ(blocked.ReadString("A", "k", "d"), "d");
  EXPECT_THROW(blocked.WriteString("A", "k", "v"), IniWriteError);
}

// Whatever stands where an ini file should be and cannot be read (a directory, a FIFO nobody
// writes to, a device) reads as a missing file: defaults, never a library error, never a hang.
TEST(IniFile, UnreadableFilesReadAsMissing) {
  TempDir dir;
  ASSERT_TRUE(ForceDirectories(dir / "a directory.ini"));
  // A file far larger than any ini file could be: a damaged one, never read into memory whole.
  WriteBytes(dir / "huge.ini", "[MAIN]\r\nCorrect=1\r\n" + std::string(kMaxSmallFileBytes, ';'));
  std::vector<std::string> names = {"a directory.ini", "huge.ini"};
  // Where the system has FIFOs and devices (not Windows).
  if (test::MakeFifo(dir / "fifo.ini")) names.push_back("fifo.ini");
  if (test::MakeSymlink("/dev/zero", dir / "zero.ini")) names.push_back("zero.ini");
  for (const std::string& name : names) {
    std::string bytes = "old";
    EXPECT_FALSE(ReadWholeFile(dir / name, bytes, kMaxSmallFileBytes)) << name;
    EXPECT_TRUE(bytes.empty()) << name;
    TIniFile ini(dir / name);
    EXPECT_EQ(ini.ReadString("MAIN", "Correct", "default"), "default") << name;
    EXPECT_FALSE(ini.ReadBool("MAIN", "Correct", false)) << name;
    TStrings sections;
    ini.ReadSections(sections);
    EXPECT_TRUE(sections.empty()) << name;
    // Never replaced by the few lines a write would make of it.
    EXPECT_THROW(ini.WriteString("MAIN", "Correct", "0"), IniWriteError) << name;
    TMemIniFile mem(dir / name);
    mem.WriteString("MAIN", "Correct", "0");
    EXPECT_THROW(mem.UpdateFile(), IniWriteError) << name;
  }
  EXPECT_EQ(ReadBytes(dir / "huge.ini").size(), kMaxSmallFileBytes + 19);
}
