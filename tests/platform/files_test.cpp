#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/environment.h"
#include "platform/files.h"
#include "support/portable.h"
#include "support/temp_dir.h"

using namespace vorlend;
using vorlend::test::TempDir;
using vorlend::test::WriteBytes;

TEST(Files, PathsResolveWithoutRegardToCase) {
  TempDir dir;
  WriteBytes(dir / "Agenda.001/Rok.002/PoklKnih.dat", "x");
  WriteBytes(dir / "Agenda.001/Účty/žluť.ini", "y");
  const std::string base = dir.Path();
  EXPECT_EQ(ResolvePath(base + "AGENDA.001/ROK.002/POKLKNIH.DAT"), base + "Agenda.001/Rok.002/PoklKnih.dat");
  EXPECT_EQ(ResolvePath(base + "agenda.001\\rok.002\\poklknih.dat"), base + "Agenda.001/Rok.002/PoklKnih.dat");
  EXPECT_EQ(ResolvePath(base + "AGENDA.001/ÚČTY/ŽLUŤ.INI"), base + "Agenda.001/Účty/žluť.ini");
  EXPECT_EQ(ResolvePath(base + "AGENDA.001/"), base + "Agenda.001/");
  // A missing component keeps the rest as given.
  EXPECT_EQ(ResolvePath(base + "AGENDA.001/NEW/X.dat"), base + "Agenda.001/NEW/X.dat");
  EXPECT_TRUE(FileExists(base + "AGENDA.001/ROK.002/POKLKNIH.dat"));
  EXPECT_FALSE(FileExists(base + "AGENDA.001/ROK.002"));
  EXPECT_TRUE(DirectoryExists(base + "AGENDA.001/ROK.002/"));

  // Where two spellings exist, the exact one wins, else the first in sort order.
  VORLEND_LINUX_ONLY("names that differ only in letter case cannot stand side by side on Windows");
  ForceDirectories(dir / "case");
  for (const char* name : {"abc", "ABC", "Abc"}) std::ofstream(dir / "case/" + name) << name;  // three spellings
  EXPECT_EQ(ResolvePath(base + "case/abc"), base + "case/abc");
  EXPECT_EQ(ResolvePath(base + "case/aBC"), base + "case/ABC");
}

TEST(Files, DirectoriesAreReusedAcrossCaseAndCreatedWithParents) {
  TempDir dir;
  ASSERT_TRUE(ForceDirectories(dir / "Data/KPX/Vorlend/Setting/"));
  EXPECT_TRUE(CreateDir(dir / "DATA/kpx/VORLEND/Db"));
  EXPECT_TRUE(DirectoryExists(dir / "Data/KPX/Vorlend/Db"));
  EXPECT_TRUE(ForceDirectories(dir / "DATA/KPX/VORLEND/SETTING"));
  int count = 0;
  for (const auto& e : FindEntries(dir / "Data/KPX/Vorlend", "*.*")) count += e.isDirectory ? 1 : 0;
  EXPECT_EQ(count, 2);
  // A file where a directory must be.
  WriteBytes(dir / "blocker", "x");
  EXPECT_FALSE(ForceDirectories(dir / "blocker/sub"));
  EXPECT_FALSE(CreateDir(dir / "blocker"));
}

TEST(Files, MasksAndNames) {
  EXPECT_TRUE(MatchesMask("ROK.001", "Rok.*"));
  EXPECT_TRUE(MatchesMask("rok.abc.def", "Rok.*"));
  EXPECT_TRUE(MatchesMask("Rok", "Rok.*"));
  EXPECT_FALSE(MatchesMask("Roky", "Rok.*"));
  EXPECT_TRUE(MatchesMask("noext", "*.*"));
  EXPECT_TRUE(MatchesMask("ROČNÍK", "roč*"));
  EXPECT_TRUE(MatchesMask("a1b", "a?b"));
  EXPECT_EQ(ExtractFileExt("/x/AGENDA.001/ROK.INI"), ".INI");
  EXPECT_EQ(ChangeFileExt("/x.y/AGENDA", ".DAT"), "/x.y/AGENDA.DAT");
  EXPECT_EQ(ChangeFileExt("/x/AGENDA.INI", ".DAT"), "/x/AGENDA.DAT");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a//"), "/a");
  EXPECT_EQ(NormaliseInputPath("C\\Data"), NormaliseInputPath("C/Data"));
  EXPECT_EQ(NormaliseInputPath("/abs\\x"), "/abs/x");
#ifdef _WIN32
  // Windows takes a path beyond MAX_PATH only in its "\\?\" form, which it reads as it stands.
  const std::string name(250, 'x');
  EXPECT_EQ(SystemPath("C:/Data/Agenda.001"), "C:\\Data\\Agenda.001");
  EXPECT_EQ(SystemPath("C:/Data/./old/../" + name + "/ROK.INI"), "\\\\?\\C:\\Data\\" + name + "\\ROK.INI");
  EXPECT_EQ(SystemPath("//server/share/" + name), "\\\\?\\UNC\\server\\share\\" + name);
#endif
}

TEST(Files, CopyAndAtomicWrite) {
  TempDir dir;
  WriteBytes(dir / "src.bin", std::string("a\0b\r\n", 5));
  WriteBytes(dir / "dst.bin", "old and longer");
  ASSERT_TRUE(CopyFile(dir / "SRC.BIN", dir / "dst.bin"));
  EXPECT_EQ(test::ReadBytes(dir / "dst.bin"), std::string("a\0b\r\n", 5));
  EXPECT_FALSE(CopyFile(dir / "missing", dir / "x"));
  ASSERT_TRUE(WriteFileAtomic(dir / "DST.BIN", "new"));
  EXPECT_EQ(test::ReadBytes(dir / "dst.bin"), "new");
  // No temporary file is left behind.
  EXPECT_EQ(FindEntries(dir.Path(), "*.*").size(), 2u);

  // One left by a process that died mid-write goes with the next write; one of a live process
  // (this one, writing at the same moment) stays.
  WriteBytes(dir / "dst.bin.~999999999.1f", "half");
  const std::string live = "dst.bin.~" + std::to_string(CurrentProcessId()) + ".2e";
  WriteBytes(dir / live, "busy");
  ASSERT_TRUE(WriteFileAtomic(dir / "dst.bin", "newer"));
  EXPECT_FALSE(PathExists(dir / "dst.bin.~999999999.1f"));
  EXPECT_TRUE(PathExists(dir / live));

#ifndef _WIN32
  // A write the kernel refuses for want of space is noted with its folder, for the message that
  // says so (/dev/full refuses every write with ENOSPC).
  if (FileExists("/dev/full")) {
    TakeNoSpaceFolder();
    EXPECT_FALSE(CopyFile(dir / "src.bin", "/dev/full", false));
    EXPECT_EQ(TakeNoSpaceFolder(), "/dev/");
  }
#endif
}
