#include <gtest/gtest.h>

#include <algorithm>

#include "archive/catalogue.h"
#include "archive/roads.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "support/agenda_builder.h"
#include "support/portable.h"
#include "support/scripted_ports.h"

using namespace vorlend;
using namespace vorlend::test;

namespace {

struct CatalogueFixture : ::testing::Test {
  TempDir dir;
  AgendaBuilder agenda{dir};
  HostContext ctx = agenda.Context();
  ScriptedDialogs dialogs;

  // An archive directory with a description file; `correct` empty writes no Correct key.
  void Archive(const std::string& name, const std::string& correct, const std::string& agendaExt,
               const std::string& title = "Archiv") {
    const std::string d = ctx.ArchiveRoot() + name + "/";
    ForceDirectories(d);
    TIniFile info(d + "info");
    info.WriteString("MAIN", "AgendaExt", agendaExt);
    if (!correct.empty()) info.WriteString("MAIN", "Correct", correct);
    info.WriteString("MAIN", "Name", title);
    info.WriteString("MAIN", "Date", "7.12.2026");
    info.WriteString("MAIN", "Time", "9:05:03");
    info.WriteString("MAIN", "AgendaName", "Jiná firma");
  }
  std::vector<std::string> Listed() {
    ArchiveList list;
    EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
    std::vector<std::string> dirs;
    for (const auto& r : list.Rows()) dirs.push_back(r.Dir);
    return dirs;
  }
};

}  // namespace

TEST_F(CatalogueFixture, OnlyCompleteArchivesOfThisAgendaInNumberOrder) {
  EXPECT_TRUE(Listed().empty());  // no archive root yet
  Archive("10", "1", "001");
  Archive("9", "7", "001");  // any non-zero integer marks a complete archive
  Archive("2", "0x1", "001");
  Archive("3", "0", "001");    // unfinished
  Archive("4", "", "001");     // no Correct key
  Archive("5", "ano", "001");  // not a number
  Archive("6", "1", "002");    // another agenda
  Archive("7", "1", "001");
  TIniFile(ctx.ArchiveRoot() + "7/info").WriteString("MAIN", "AgendaExt", "001");
  Archive("11", "1", "001");
  TIniFile(ctx.ArchiveRoot() + "11/info").WriteString("MAIN", "AgendaExt", "");
  ForceDirectories(ctx.ArchiveRoot() + "12");  // no description file
  WriteBytes(ctx.ArchiveRoot() + "13", "a plain file");
  // Only a number as the save writes it is an archive: every listed one is reached by its number.
  for (const char* name : {"007", "+3", " 4", "-5", "2147483648", "99999999999", "1e3"}) Archive(name, "1", "001");
  Archive("2147483647", "1", "001");
  const std::uint64_t opened = FilesOpenedForReading();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"2", "7", "9", "10", "2147483647"}));
  // One read of each numbered directory's description, nothing more.
  EXPECT_EQ(FilesOpenedForReading() - opened, 10u);

  // Letter case of the agenda extension does not matter.
  HostContext other = ctx;
  other.AgendaExt = "002";
  ArchiveList list;
  EXPECT_TRUE(LoadArchiveList(other, list).IsOk());
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Row(0).Dir, "6");
  EXPECT_EQ(list.Current(), 0u);
}

TEST_F(CatalogueFixture, RowsAreCutToTheirWidthsButTheRecapitulationIsWhole) {
  const std::string longName(60, 'n');
  Archive("1", "1", "001", longName);
  TIniFile info(ctx.ArchiveRoot() + "1/info");
  info.WriteString("YEARS", "List", "2025, 2024");
  for (const char* code : {"PD", "BD", "OP", "OZ", "ID", "PF", "VF", "SD"}) info.WriteBool("FILTER", code, true);
  ArchiveList list;
  EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Row(0).MapName, std::string(50, 'n'));
  EXPECT_EQ(list.Row(0).MapTime, "9:05:03");

  Recapitulation recap;
  ShowRecapitulation(ArchiveDirOf(ctx, list.Row(0), false), recap);
  EXPECT_EQ(recap.Name, longName);
  EXPECT_EQ(recap.AgendaName, "Jiná firma");
  EXPECT_EQ(recap.yearFilter, "2025, 2024");
  EXPECT_EQ(recap.documentFilter,
            "pokladní doklady, bankovní doklady, ostatní pohledávky, ostatní závazky, interní doklady, "
            "přijaté faktury, vystavené faktury, skladové doklady");
  info.WriteString("FILTER", "PD", "0");
  info.WriteString("FILTER", "BD", "x");
  for (const char* code : {"OP", "OZ", "ID", "PF", "VF"}) info.WriteBool("FILTER", code, false);
  ShowRecapitulation(ArchiveDirOf(ctx, list.Row(0), true), recap);
  EXPECT_EQ(recap.documentFilter, "skladové doklady");
  info.WriteBool("FILTER", "SD", false);
  ShowRecapitulation(ArchiveDirOf(ctx, list.Row(0), true), recap);
  EXPECT_EQ(recap.documentFilter, "");

  // A description file that is gone by now leaves every label empty.
  DeleteFile(ctx.ArchiveRoot() + "1/info");
  ShowRecapitulation(ArchiveDirOf(ctx, list.Row(0), true), recap);
  EXPECT_EQ(recap.Name, "");
  EXPECT_EQ(recap.yearFilter, "");
}

TEST_F(CatalogueFixture, DeletionRemovesEverythingInsideButNothingALinkPointsTo) {
  VORLEND_LINUX_ONLY("read-only folders and symbolic links anyone may make");
  Archive("1", "1", "001");
  const std::string d = ResolvePath(ctx.ArchiveRoot() + "1/");
  WriteBytes(d + "PD001.dat", "x");
  WriteBytes(d + "PD001.dat-wal", "x");
  WriteBytes(d + "sub/deeper/file", "x");
  std::filesystem::permissions(d + "PD001.dat", std::filesystem::perms(0444));
  std::filesystem::permissions(d + "sub/deeper", std::filesystem::perms(0555));
  // Files outside the archive reached through links must survive.
  WriteBytes(dir / "outside/keep.txt", "keep");
  ASSERT_TRUE(MakeSymlink(dir / "outside", d + "linkdir"));
  ASSERT_TRUE(MakeSymlink(dir / "outside/keep.txt", d + "linkfile"));

  EXPECT_EQ(Presented(DeleteArchiveDirectory(ctx.ArchiveRoot() + "1"), dialogs), 0);
  EXPECT_TRUE(dialogs.Entries().empty());
  EXPECT_FALSE(PathExists(d));
  EXPECT_EQ(ReadBytes(dir / "outside/keep.txt"), "keep");

  EXPECT_EQ(Presented(DeleteArchiveDirectory(ctx.ArchiveRoot() + "1"), dialogs), -1);
  EXPECT_EQ(dialogs.LastEntry().text, "Nelze smazat adresář " + ctx.ArchiveRoot() + "1");
}

TEST(ArchiveList, DeletingMovesTheSelection) {
  ArchiveList list;
  for (const char* d : {"1", "2", "3"}) list.Append({"n", "d", "t", "a", d});
  EXPECT_EQ(list.Current(), 2u);
  list.SetCurrent(1);
  list.DeleteCurrent();
  EXPECT_EQ(list.Row(list.Current()).Dir, "3");
  list.DeleteCurrent();
  EXPECT_EQ(list.Row(list.Current()).Dir, "1");
  list.DeleteCurrent();
  EXPECT_TRUE(list.Empty());
}

// A save that stopped half-way after writing its file list: its archive holds the earlier states
// of the documents it reached, so it is listed, marked, and restorable. Without a file list, or
// while its save still runs, it is not offered.
TEST_F(CatalogueFixture, IncompleteArchivesAreListedWithAFileListAndRunningSavesAsRunning) {
  Archive("1", "0", "001", "Přerušený");
  Archive("2", "1", "001");
  Archive("3", "", "001");  // no Correct key at all, no file list
  Archive("4", "0", "001", "Běží");
  WriteBytes(ResolvePath(ctx.ArchiveRoot()) + "1/info.tab", "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n");
  WriteBytes(ResolvePath(ctx.ArchiveRoot()) + "4/info.tab", "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n");
  ArchiveList list;
  {
    const DirectoryLock running(ctx.ArchiveRoot() + "4");
    ASSERT_TRUE(running.Held());
    EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_TRUE(list.Row(2).running);
    // Neither a restore nor a deletion takes an archive whose save runs.
    for (const LockMode mode : {LockMode::Shared, LockMode::Exclusive}) {
      const ArchiveHold hold(ctx, list.Row(2), mode);
      EXPECT_EQ(hold.Access(), ArchiveAccess::Saving);
      EXPECT_NE(hold.RefusalText().find("Archiv \"Běží\" se právě ukládá"), std::string::npos);
    }
  }
  EXPECT_EQ(Listed(), (std::vector<std::string>{"1", "2", "4"}));

  EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
  EXPECT_FALSE(list.Row(2).running);
  EXPECT_FALSE(list.Row(0).complete);
  EXPECT_TRUE(list.Row(1).complete);
  const auto incomplete = IncompleteArchives(ctx);
  ASSERT_EQ(incomplete.size(), 2u);
  EXPECT_EQ(incomplete[0].Dir, "1");
  EXPECT_NE(UnfinishedArchiveQuestion({incomplete[0], UnfinishedKind::Incomplete})
                .find("(\"Přerušený\") uložený 7.12.2026 9:05:03 nebyl dokončen"),
            std::string::npos);

  Recapitulation recap;
  ShowRecapitulation(ArchiveDirOf(ctx, list.Row(0), true), recap);
  EXPECT_FALSE(recap.complete);
  EXPECT_EQ(recap.Name, "Přerušený");
  ShowRecapitulation(ArchiveDirOf(ctx, list.Row(1), true), recap);
  EXPECT_TRUE(recap.complete);

  // The row still names its archive: a restore or a deletion may act on it. Readers share it; a
  // deletion waits for none of them.
  ArchiveHold reader(ctx, list.Row(0), LockMode::Shared);
  EXPECT_TRUE(reader.Held());
  EXPECT_TRUE(ArchiveHold(ctx, list.Row(0), LockMode::Shared).Held());
  const ArchiveHold deleter(ctx, list.Row(0), LockMode::Exclusive);
  EXPECT_EQ(deleter.Access(), ArchiveAccess::InUse);
  EXPECT_NE(deleter.RefusalText().find("právě pracuje jiný uživatel"), std::string::npos);
}

// A deletion first renames the archive out of the catalogue's sight: a deletion cut short leaves a
// hidden folder, never a listed archive with parts missing, and the next deletion clears it.
TEST_F(CatalogueFixture, ADeletionCutShortLeavesNothingListedAndIsClearedLater) {
  Archive("1", "1", "001");
  Archive("2", "1", "001");
  const std::string root = ctx.ArchiveRoot();
  // What a killed deletion of archive 3 left: its folder under the hidden name, info and all.
  Archive(".mazany-3-999999999-1", "1", "001");
  Archive(".mazany-4-1-2", "1", "001");
  const DirectoryLock deleting(root + ".mazany-4-1-2");  // a deletion still at work holds its folder
  EXPECT_EQ(Listed(), (std::vector<std::string>{"1", "2"}));

  EXPECT_EQ(Presented(DeleteArchiveDirectory(root + "1"), dialogs), 0);
  EXPECT_TRUE(dialogs.Entries().empty());
  EXPECT_EQ(Listed(), (std::vector<std::string>{"2"}));
  std::vector<std::string> left;
  for (const DirEntry& e : FindEntries(root, "*")) left.push_back(e.name);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".mazany-4-1-2", "2"}));
}

// The archive saved last is the one with the highest save sequence, whatever its number (numbers
// are taken again), its time zone or its reader's locale; archives saved before the sequence was
// kept come after those with it, ordered by their UTC time, else by their date and time.
TEST_F(CatalogueFixture, LatestIsTheArchiveSavedLast) {
  auto stamp = [&](const std::string& number, const std::string& utc, const std::string& sequence) {
    TIniFile info(ctx.ArchiveRoot() + number + "/info");
    if (!utc.empty()) info.WriteString("MAIN", "SavedUtc", utc);
    if (!sequence.empty()) info.WriteString("MAIN", "Sequence", sequence);
  };
  Archive("5", "1", "001", "old, later date");
  TIniFile(ctx.ArchiveRoot() + "5/info").WriteString("MAIN", "Date", "8.12.2026");
  Archive("6", "1", "001", "old");
  ArchiveRow latest;
  ASSERT_TRUE(LatestArchive(ctx, latest));
  EXPECT_EQ(latest.MapName, "old, later date");
  // Saved in another time zone an hour "earlier" by the clock, but later in UTC.
  Archive("3", "1", "001", "utc");
  stamp("3", "2026-12-07T09:00:00.000001Z", "");
  Archive("4", "1", "001", "utc, earlier");
  stamp("4", "2026-12-07T08:59:59.999999Z", "");
  ASSERT_TRUE(LatestArchive(ctx, latest));
  EXPECT_EQ(latest.MapName, "utc");
  // A re-used number 1 saved last, and a newer incomplete archive is the latest, not skipped.
  Archive("2", "1", "001", "second");
  stamp("2", "2026-12-07T10:00:00.000000Z", "7");
  Archive("1", "1", "001", "re-used");
  stamp("1", "2026-12-07T07:00:00.000000Z", "8");
  ASSERT_TRUE(LatestArchive(ctx, latest));
  EXPECT_EQ(latest.Dir, "1");
  ArchiveList listed;
  EXPECT_TRUE(LoadArchiveList(ctx, listed).IsOk());
  EXPECT_EQ(NextSaveSequence(listed), 9);
  Archive("9", "0", "001", "unfinished");
  stamp("9", "", "9");
  WriteBytes(ResolvePath(ctx.ArchiveRoot()) + "9/info.tab", "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n");
  ASSERT_TRUE(LatestArchive(ctx, latest));
  EXPECT_EQ(latest.Dir, "9");
  EXPECT_FALSE(latest.complete);
}
