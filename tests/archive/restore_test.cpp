#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

#include "archive/catalogue.h"
#include "archive/restore.h"
#include "archive/roads.h"
#include "archive/save.h"
#include "archive_fixture.h"
#include "engine/table_files.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "support/agenda_builder.h"
#include "support/scripted_ports.h"

using namespace vorlend;
using namespace vorlend::test;

namespace {

// An agenda saved once with "unlock all" over two years and every module.
struct RestoreFixture : ArchiveFixture {
  std::string archiveDir;

  void SetUp() override {
    agenda.AddYear("Rok.001", "2024");
    agenda.AddYear("Rok.002", "2025");
    std::vector<Document> withNull = MakeDocuments(45, 1000, 2);
    withNull[5].lock = Variant::Null();  // a document that never had the flag set
    for (const char* year : {"Rok.001", "Rok.002"}) {
      for (const ModuleInfo& m : kModules) {
        AddSeeded(year, m.moneyTable, std::string(m.code) == "PD" ? withNull : MakeDocuments(45, 1, 3));
      }
    }
    ctx = agenda.Context();
    MarkAll();
    ModuleFilter all;
    all.fill(true);
    SaveJob job = SaveJobFor(all, LockAction::Unlock, "test");
    ASSERT_EQ(Presented(StartSave(job), dialogs), 0);
    archiveDir = job.ArchiveDir;
    progress = ScriptedProgress{};
  }
  int Restore() { return ArchiveFixture::Restore(archiveDir); }
};

}  // namespace

TEST_F(RestoreFixture, RoundTripPutsBackEveryStateAndIsIdempotent) {
  for (const auto& [path, locks] : seed) {
    for (const auto& [key, value] :
         ReadLocks(path, path.find("SKSEZDOK") != std::string::npos ? "CDokladu" : "Cislo")) {
      EXPECT_EQ(value, "0") << path << " " << key;
    }
  }
  ASSERT_EQ(Restore(), 0) << (dialogs.Last() ? dialogs.LastEntry().text : "");
  EXPECT_TRUE(dialogs.Entries().empty());
  ExpectSeeded();
  EXPECT_EQ(ReadLocks(Money("Rok.002", "POKLKNIH"), "Cislo")[5].second, "Null");

  std::map<std::string, std::string> dumps;
  for (const auto& [path, locks] : seed) dumps[path] = DumpTable(path);
  ASSERT_EQ(Restore(), 0);
  for (const auto& [path, dump] : dumps) EXPECT_EQ(DumpTable(path), dump) << path;
  EXPECT_EQ(progress.texts.front(), "Nastavuji pokladní doklady 2025...");

  // An archive may hold a key twice (two documents with one number): its later record wins, as
  // record by record, though both fall into one block and the other state comes first there.
  const std::string table = Money("Rok.002", "KNIHZAV");
  const Locks locks = ReadLocks(table, "Cislo");
  const std::string first = locks.front().second;
  const auto other = std::find_if(locks.begin(), locks.end(), [&](const auto& l) { return l.second != first; });
  ASSERT_NE(other, locks.end());
  {
    TBFTable archive;
    ASSERT_EQ(archive.OpenTable(archiveDir + "OZ002"), 0);
    archive.AppendBlank();
    archive.SetValue("ID", Variant::FromInt(other->first));
    archive.SetValue("Lock", Variant::FromBool(first == "1"));
    ASSERT_EQ(archive.Post(), 0);
  }
  ASSERT_EQ(Restore(), 0);
  EXPECT_EQ(ReadLocks(table, "Cislo").at(static_cast<std::size_t>(other - locks.begin())).second, first);
}

TEST_F(RestoreFixture, DeletedDocumentsRemovedYearsAndNewDocumentsAreLeftAlone) {
  // A document deleted after the save, a year directory removed, a document added after the save.
  DeleteDocument(Money("Rok.002", "VFAKTURY"), "Cislo", 4);
  {
    TBFTable t;
    ASSERT_EQ(t.OpenTable(Money("Rok.002", "VFAKTURY")), 0);
    t.AppendBlank();
    t.SetValue("Cislo", Variant::FromInt(9999));
    t.SetValue("Uzamceni", Variant::FromBool(true));
    ASSERT_EQ(t.Post(), 0);
  }
  ASSERT_TRUE(RemoveDirectoryTree(agenda.AgendaDir() + "Rok.001"));
  observer.jobs.clear();
  ASSERT_EQ(Restore(), 0);
  EXPECT_TRUE(dialogs.Entries().empty());
  // The records each table will restore, told before the first: none where the year is gone.
  std::vector<int> documents(16, 0);
  std::fill(documents.begin(), documents.begin() + 8, 45);
  EXPECT_EQ(observer.jobs, (std::vector<std::vector<int>>{documents}));
  // A comparison goes through every record of the archive.
  ArchiveList list;
  ASSERT_TRUE(LoadArchiveList(ctx, list).IsOk());
  ArchiveInspection inspection;
  const InspectionProgress shown{progress, &observer};
  ASSERT_TRUE(RunComparisonRoad(ctx, dialogs, list.Row(0), false, inspection, nullptr, &shown).IsOk());
  EXPECT_EQ(observer.jobs.back(), std::vector<int>(16, 45));
  Locks expected = seed[Money("Rok.002", "VFAKTURY")];
  expected.erase(expected.begin() + 3);
  expected.emplace_back(9999, "1");
  EXPECT_EQ(ReadLocks(Money("Rok.002", "VFAKTURY"), "Cislo"), expected);
}

TEST_F(RestoreFixture, AMissingArchiveTableStopsBeforeAnyDocumentChanges) {
  std::map<std::string, std::string> dumps;
  for (const auto& [path, locks] : seed) dumps[path] = DumpTable(path);
  ASSERT_TRUE(engine::DeleteTableFiles(archiveDir + "VF001"));
  EXPECT_EQ(Restore(), -1);
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_EQ(dialogs.LastEntry().text, "Chyba: archivní soubor " + archiveDir + "VF001 neexistuje!");
  for (const auto& [path, dump] : dumps) EXPECT_EQ(DumpTable(path), dump) << path;
}

TEST_F(RestoreFixture, DamagedArchivesNeverWriteOutsideTheAgenda) {
  const FileList original = DecodeFileList(ReadBytes(ResolvePath(archiveDir + "info.tab")));
  struct Case {
    std::string fileName, moneyFile;
  };
  const Case cases[] = {{"PD002", "..\\..\\AGENDA.002\\ROK.001\\POKLKNIH"},
                        {"PD002", "/etc/passwd"},
                        {"PD002", "ROK.002\\..\\..\\x"},
                        {"../PD002", "ROK.002\\POKLKNIH"},
                        {"PD\\002", "ROK.002\\POKLKNIH"}};
  for (const Case& c : cases) {
    FileList damaged = original;
    damaged[0].FileName = c.fileName;
    damaged[0].MoneyFile = c.moneyFile;
    ASSERT_TRUE(WriteFileListFile(archiveDir + "info.tab", damaged));
    dialogs.Clear();
    EXPECT_EQ(Restore(), -1) << c.moneyFile;
    ASSERT_EQ(dialogs.Entries().size(), 1u);
    EXPECT_NE(dialogs.LastEntry().text.find("archiv je poškozen"), std::string::npos);
  }
  for (const auto& [key, value] : ReadLocks(Money("Rok.002", "POKLKNIH"), "Cislo")) EXPECT_EQ(value, "0") << key;

  // A file list that is not the one the save wrote beside its description: cut at a row boundary
  // (the second year gone), or a row pairing an archive table with another module's Money table.
  // Refused before any document changes, listed as damaged, and the archive stays.
  FileList crossed = original;
  std::swap(crossed[0].MoneyFile, crossed[1].MoneyFile);
  for (const FileList& damaged : {FileList(original.begin(), original.begin() + 8), crossed}) {
    ASSERT_TRUE(WriteFileListFile(archiveDir + "info.tab", damaged));
    dialogs.Clear();
    EXPECT_EQ(Restore(), -1);
    ASSERT_EQ(dialogs.Entries().size(), 1u);
    EXPECT_NE(dialogs.LastEntry().text.find("je poškozen"), std::string::npos) << dialogs.LastEntry().text;
    ArchiveList list;
    EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_FALSE(list.Row(0).damage.empty());
  }
  for (const auto& [path, locks] : seed) {
    for (const auto& [key, value] : ReadLocks(path, KeyOf(path))) EXPECT_EQ(value, "0") << path << " " << key;
  }
  // A lock value the save never writes (text where the flag was) is a damaged record as well.
  ASSERT_TRUE(WriteFileListFile(archiveDir + "info.tab", original));
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(ResolvePath(archiveDir + "PF001.dat").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE records SET Lock = 'ano' WHERE rowid = 3", nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  dialogs.Clear();
  EXPECT_EQ(Restore(), -1);
  EXPECT_EQ(dialogs.LastEntry().text,
            "Chyba: archiv je poškozen, databáze " + archiveDir + "PF001.dat obsahuje záznam, který nelze načíst.");
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(ResolvePath(archiveDir + "PF001.dat").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE records SET Lock = 1 WHERE rowid = 3", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

  // An archived key that is no integer ends the restore with a message naming the archive table.
  ASSERT_TRUE(WriteFileListFile(archiveDir + "info.tab", original));
  {
    TBFTable t;
    ASSERT_EQ(t.OpenTable(archiveDir + "BD002"), 0);
    ASSERT_EQ(t.GoTop(), 0);
    t.Skip();
    ASSERT_EQ(t.LockRecord(), 0);
    t.SetValue("ID", Variant::Null());
    ASSERT_EQ(t.Post(), 0);
  }
  dialogs.Clear();
  EXPECT_EQ(Restore(), -1);
  EXPECT_EQ(dialogs.LastEntry().text,
            "Chyba: archiv je poškozen, databáze " + archiveDir + "BD002.dat obsahuje záznam, který nelze načíst.");
  // The whole archive is read before the first document is written: every document, those of
  // the tables before the damaged one too, is still as the save left it.
  for (const auto& [path, locks] : seed) {
    for (const auto& [key, value] :
         ReadLocks(path, path.find("SKSEZDOK") != std::string::npos ? "CDokladu" : "Cislo")) {
      EXPECT_EQ(value, "0") << path << " " << key;
    }
  }
}

TEST_F(RestoreFixture, MissingOrEmptyFileList) {
  DeleteFile(archiveDir + "info.tab");
  EXPECT_EQ(Restore(), -1);
  EXPECT_EQ(dialogs.LastEntry().text, "Chyba: soubor " + archiveDir + "info.tab neexistuje!");
  WriteBytes(archiveDir + "info.tab", "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n");
  EXPECT_EQ(Restore(), -1);
  EXPECT_EQ(dialogs.LastEntry().text, "Chyba: seznam archivních souborů je prázdný!");
}

TEST_F(RestoreFixture, ConflictRetriesTheSameRecordAndAbortAsks) {
  auto holder = std::make_unique<HoldProcess>(Money("Rok.002", "KNIHZAV"), "Cislo", 30);
  ASSERT_TRUE(holder->Locked());
  dialogs.onQuestion = [&](const ScriptedDialogs::Entry& e) {
    if (e.text.rfind("Zámek v modulu", 0) == 0) holder.reset();
  };
  // One conflict (Ano), then "Přerušit" pressed at a later window pass: Ne, and the restore goes on.
  dialogs.Answers({true, false});
  progress.onProcessMessages = [&](int n) {
    if (n == 40) progress.RequestAbort();
  };
  ASSERT_EQ(Restore(), 0);
  ASSERT_EQ(dialogs.QuestionCount(), 2u);
  EXPECT_EQ(dialogs.Entries()[0].text.rfind("Zámek v modulu ostatní závazky 2025: ", 0), 0u);
  EXPECT_EQ(dialogs.Entries()[1].text, "Opravdu chcete přerušit právě probíhající operaci ?");
  ExpectSeeded();
}

TEST_F(RestoreFixture, RefusedConflictEndsWithTheEarlierDocumentsRestored) {
  HoldProcess holder(Money("Rok.002", "POKLKNIH"), "Cislo", 1010);
  ASSERT_TRUE(holder.Locked());
  dialogs.Answer(false);
  EXPECT_EQ(Restore(), -1);
  EXPECT_EQ(dialogs.Entries().size(), 1u);
  const auto now = ReadLocks(Money("Rok.002", "POKLKNIH"), "Cislo");
  const auto& want = seed[Money("Rok.002", "POKLKNIH")];
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(now[i], want[i]) << i;
  EXPECT_EQ(now[10].second, "0");  // the held document and those after it keep their unlocked state
}

// In blocks the document is missing from the block's read; record by record (a component without
// transactions) the lock's own read of it finds it gone, and nothing is asked about it again.
TEST_F(RestoreFixture, ADocumentDeletedWhileItsHolderEditedItIsSkipped) {
  const std::string table = Money("Rok.002", "PFAKTURY");
  Locks expected = seed[table];
  for (const int key : {7, 8}) {
    const bool transactions = key == 7;
    SCOPED_TRACE(transactions ? "in blocks" : "record by record");
    TBFTable::SetTransactionsAvailable(transactions);
    auto holder = std::make_unique<HoldProcess>(table, "Cislo", key);
    ASSERT_TRUE(holder->Locked());
    dialogs.Clear();
    dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
      holder.reset();
      DeleteDocument(table, "Cislo", key);
    };
    dialogs.Answer(true);
    ASSERT_EQ(Restore(), 0) << dialogs.LastEntry().text;
    EXPECT_EQ(dialogs.QuestionCount(), 1u);
    expected.erase(std::find_if(expected.begin(), expected.end(), [&](const auto& l) { return l.first == key; }));
    EXPECT_EQ(ReadLocks(table, "Cislo"), expected);
  }
}

// Every Money table the restore will change opens with its index before the first document is
// written: a table of the last row that lost its index stops the restore with nothing changed.
TEST_F(RestoreFixture, AMoneyTableWithoutItsIndexStopsBeforeAnyDocumentChanges) {
  const std::string table = Money("Rok.001", "SKSEZDOK");
  ASSERT_TRUE(engine::DeleteTableFiles(table));
  ASSERT_FALSE(engine::CreateTable(
      table, {{"CDokladu", engine::FieldType::Integer}, {"Uzamceni", engine::FieldType::Boolean}}, {}));
  {
    TBFTable t;
    ASSERT_EQ(t.OpenTable(table), 0);
    t.AppendBlank();
    t.SetValue("CDokladu", Variant::FromInt(1));
    t.SetValue("Uzamceni", Variant::FromBool(false));
    ASSERT_EQ(t.Post(), 0);
  }
  EXPECT_EQ(Restore(), -1);
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_EQ(dialogs.LastEntry().text,
            "Nastala chyba při nastavení indexu v databázi " + ctx.AgendaPath + "Rok.001/SKSEZDOK.dat");
  for (const auto& [path, locks] : seed) {
    if (path == table) continue;
    for (const auto& [key, value] :
         ReadLocks(path, path.find("SKSEZDOK") != std::string::npos ? "CDokladu" : "Cislo")) {
      EXPECT_EQ(value, "0") << path << " " << key;
    }
  }
}

// A save stopped half-way leaves an incomplete archive; restoring it puts back every document the
// save reached, and leaves the others as they are.
TEST_F(RestoreFixture, AnIncompleteArchivePutsBackWhatItsSaveReached) {
  ASSERT_EQ(Restore(), 0);
  ModuleFilter all;
  all.fill(true);
  // "Přerušit" at the fifth window pass of the lock-all save (after 40 documents), answered Ano.
  progress = ScriptedProgress{};
  progress.onProcessMessages = [&](int n) {
    if (n == 5) progress.RequestAbort();
  };
  dialogs.Answer(true);
  SaveJob job = SaveJobFor(all, LockAction::Lock, "přerušený");
  ASSERT_EQ(Presented(StartSave(job), dialogs), -1);
  ASSERT_TRUE(job.documentsChanged);
  const auto incomplete = IncompleteArchives(ctx);
  ASSERT_EQ(incomplete.size(), 1u);

  // A new save first looks into the incomplete archive on the progress, the bar over all its
  // records; "Přerušit" there stops the save with nothing created or changed.
  std::map<std::string, Locks> locks;
  for (const auto& [path, seeded] : seed) locks[path] = ReadLocks(path, KeyOf(path));
  const SaveChoices again{all, LockAction::Unlock, "druhý"};
  const std::size_t said = dialogs.Entries().size();
  progress = ScriptedProgress{};
  progress.onProcessMessages = [&](int) { progress.RequestAbort(); };
  const SaveOutcome stopped =
      RunSaveRoad(ctx, RoadPorts{dialogs, progress}, RoadTables{money, lock, files}, years, again);
  EXPECT_EQ(stopped.status, SaveStatus::Failed);
  EXPECT_EQ(stopped.result.Kind(), ResultKind::Stopped);
  EXPECT_EQ(progress.texts, (std::vector<std::string>{"Kontroluji nedokončený archiv 2 (\"přerušený\")..."}));
  EXPECT_EQ(progress.maximums, (std::vector<int>{RunCountStatesRoad(ctx, incomplete[0])}));
  EXPECT_EQ(dialogs.Entries().size(), said);
  for (const auto& [path, before] : locks) EXPECT_EQ(ReadLocks(path, KeyOf(path)), before) << path;
  EXPECT_EQ(IncompleteArchives(ctx).size(), 1u);
  EXPECT_FALSE(DirectoryExists(ctx.ArchiveRoot() + "3"));

  progress = ScriptedProgress{};
  dialogs.Answer(false);  // the archive is kept
  EXPECT_EQ(RunRestoreRoad(ctx, RoadPorts{dialogs, progress}, RoadTables{money, lock, files}, incomplete[0]).status,
            RestoreStatus::Restored)
      << dialogs.LastEntry().text;
  ExpectSeeded();

  // Its states back, the look reads the whole incomplete archive, then the complete one of the
  // same tables, moving the bar every few records, before it asks about saving beside them.
  progress = ScriptedProgress{};
  dialogs.Answer(false);
  EXPECT_EQ(RunSaveRoad(ctx, RoadPorts{dialogs, progress}, RoadTables{money, lock, files}, years, again).status,
            SaveStatus::Declined);
  EXPECT_EQ(progress.texts, (std::vector<std::string>{"Kontroluji nedokončený archiv 2 (\"přerušený\")...",
                                                      "Kontroluji archiv 1 (\"test\") se stejnými tabulkami..."}));
  // One bar over each archive's records: the complete one's 16 tables of 45 records reach 720.
  ASSERT_EQ(progress.maximums.size(), 2u);
  EXPECT_EQ(progress.maximums[1], 720);
  EXPECT_EQ(*std::max_element(progress.positions.begin(), progress.positions.end()), 720);
  EXPECT_GE(progress.processCount, 720 / kProgressStep);
}

// Archive numbers are taken again: while the question after a restore is open, another user may
// delete the archive (in the moment the hold turns exclusive, or with a tool that ignores it) and a
// new save of the same name may take its number. "Ano" then deletes nothing: only the archive that
// was restored may go, never the new one of that number.
TEST_F(RestoreFixture, TheDeletionAfterARestoreTakesOnlyTheArchiveItRestored) {
  ArchiveList list;
  EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
  ASSERT_EQ(list.Count(), 1u);
  const ArchiveRow restored = list.Row(0);
  std::string renumbered;
  dialogs.onQuestion = [&](const ScriptedDialogs::Entry& e) {
    ASSERT_EQ(e.text, kDeleteAfterRestoreQuestion);
    // The other user's deletion renames the folder away, then removes it.
    const std::string away = ExcludeTrailingPathDelimiter(archiveDir) + "-smazany";
    ASSERT_TRUE(RenamePath(ExcludeTrailingPathDelimiter(archiveDir), away));
    RemoveDirectoryTree(away);
    struct SystemClockAgain {
      ~SystemClockAgain() { SetClockForTesting(nullptr); }
    } systemClockAgain;
    SetClockForTesting([] { return EncodeDate(2030, 1, 2) + EncodeTime(10, 0, 0); });
    ScriptedDialogs otherDialogs;
    ScriptedProgress otherProgress;
    TBFTable otherMoney, otherLock;
    FileList otherFiles;
    ModuleFilter pd{};
    pd[0] = true;
    const SaveOutcome other =
        RunSaveRoad(ctx, RoadPorts{otherDialogs, otherProgress}, RoadTables{otherMoney, otherLock, otherFiles}, years,
                    SaveChoices{pd, LockAction::NoAction, restored.MapName});
    ASSERT_EQ(other.status, SaveStatus::Saved);
    renumbered = other.archiveNumber;
  };
  dialogs.Answer(true);
  const RestoreRoadOutcome outcome =
      RunRestoreRoad(ctx, RoadPorts{dialogs, progress}, RoadTables{money, lock, files}, restored);
  EXPECT_EQ(outcome.status, RestoreStatus::Restored);
  ExpectSeeded();
  ASSERT_EQ(renumbered, restored.Dir) << "the new save was to take the restored archive's number";
  EXPECT_EQ(outcome.deletion, DeletionStatus::Gone);
  EXPECT_EQ(dialogs.LastEntry().text,
            "Archiv \"test\" mezitím smazal nebo změnil jiný uživatel; s archivem se nic neprovedlo.");
  EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Row(0).Dir, restored.Dir);
  EXPECT_EQ(list.Row(0).MapDate, "2.1.2030");
  EXPECT_EQ(list.Row(0).tables.size(), 2u);  // the new save's, of one module in two years
}

// An archive on storage that takes no new files (its folder read-only, a copy on a read-only
// share): its tables are read as they stand, and the restore puts every state back.
TEST_F(RestoreFixture, AnArchiveInAFolderThatTakesNoNewFilesIsRestored) {
  const std::string folder = ResolvePath(archiveDir);
  if (!SetImmutable(folder, true)) GTEST_SKIP() << "this file system cannot make " << folder << " read-only to root";
  const int result = Restore();
  SetImmutable(folder, false);
  ASSERT_EQ(result, 0) << (dialogs.Last() ? dialogs.LastEntry().text : "");
  ExpectSeeded();
}
