#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include <sqlite3.h>

#include <filesystem>
#include <map>

#include "archive/catalogue.h"
#include "archive/save.h"
#include "archive_fixture.h"
#include "engine/table.h"
#include "engine/table_files.h"
#include "host/bftable_engine.h"
#include "platform/cp1250.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "support/agenda_builder.h"
#include "support/portable.h"
#include "support/scripted_ports.h"

using namespace vorlend;
using namespace vorlend::test;

namespace {

// An agenda with two years, every module filled in ROK.002 and a few modules in ROK.001.
struct SaveFixture : ArchiveFixture {
  std::string name;

  void SetUp() override {
    SetClockForTesting([] { return EncodeDate(2026, 12, 7) + EncodeTime(9, 5, 3); });
    agenda.AddYear("Rok.001", "2004");
    agenda.AddYear("Rok.002", "2005");
    for (const ModuleInfo& m : kModules) agenda.AddTable("Rok.002", m.moneyTable, MakeDocuments(45, 100));
    agenda.AddTable("Rok.001", "POKLKNIH", MakeDocuments(7, 1, 2));
    agenda.AddTable("Rok.001", "SKSEZDOK", {});  // empty; the other tables of 2004 are missing
    ctx = agenda.Context();
  }
  void TearDown() override { SetClockForTesting(nullptr); }

  SaveJob Job(ModuleFilter filter, LockAction action) { return SaveJobFor(filter, action, name); }
  int Save(SaveJob& job) { return Presented(StartSave(job), dialogs); }
};

ModuleFilter Only(std::initializer_list<const char*> codes) {
  ModuleFilter f{};
  for (std::size_t m = 0; m < kModuleCount; ++m) {
    for (const char* c : codes) f[m] = f[m] || std::string(c) == kModules[m].code;
  }
  return f;
}

ModuleFilter All() {
  ModuleFilter f;
  f.fill(true);
  return f;
}

}  // namespace

TEST_F(SaveFixture, DescriptionAndFileListAreWrittenByteForByte) {
  MarkAll();
  name = "Před přepočtem";
  SaveJob job = Job(Only({"PD", "SD"}), LockAction::NoAction);
  ASSERT_EQ(Save(job), 0) << (dialogs.Last() ? dialogs.LastEntry().text : "");
  EXPECT_EQ(job.ArchiveDir, ctx.ArchiveRoot() + "1/");
  EXPECT_EQ(ReadBytes(job.ArchiveDir + "info.tab"),
            "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n"
            "\"PD002\",\"ROK.002\\POKLKNIH\",\"pokladn\xED doklady 2005\",\r\n"
            "\"SD002\",\"ROK.002\\SKSEZDOK\",\"skladov\xE9 doklady 2005\",\r\n"
            "\"PD001\",\"ROK.001\\POKLKNIH\",\"pokladn\xED doklady 2004\",\r\n"
            "\"SD001\",\"ROK.001\\SKSEZDOK\",\"skladov\xE9 doklady 2004\",\r\n");
  EXPECT_EQ(ReadBytes(job.ArchiveDir + "info"),
            Utf8ToCp1250("[MAIN]\r\nAgendaExt=001\r\nCorrect=1\r\nName=Před přepočtem\r\nDate=7.12.2026\r\n"
                         "Time=9:05:03\r\nAgendaName=Pekárna Škvor s.r.o.\r\nSavedUtc=2026-12-07T09:05:03.000000Z\r\n"
                         "[YEARS]\r\nList=2005, 2004\r\n"
                         "[FILTER]\r\nPD=1\r\nBD=0\r\nOP=0\r\nOZ=0\r\nID=0\r\nPF=0\r\nVF=0\r\nSD=1\r\n"));
  // The SD table holds the values of "CDokladu", the PD table those of "Cislo", in walk order.
  const auto sd = ReadLocks(job.ArchiveDir + "SD002", "ID");
  ASSERT_EQ(sd.size(), 45u);
  EXPECT_EQ(sd.front().first, 100);
  EXPECT_EQ(ReadLocks(job.ArchiveDir + "PD001", "ID"), ReadLocks(Money("Rok.001", "POKLKNIH"), "Cislo"));
  EXPECT_TRUE(ReadLocks(job.ArchiveDir + "SD001", "ID").empty());
}

TEST_F(SaveFixture, EachLockActionKeepsTheEarlierStatesInTheArchive) {
  MarkAll();
  const auto before = ReadLocks(Money("Rok.002", "PFAKTURY"), "Cislo");
  const std::string dumpBefore = DumpTable(Money("Rok.002", "VFAKTURY"));

  SaveJob none = Job(All(), LockAction::NoAction);
  ASSERT_EQ(Save(none), 0);
  EXPECT_EQ(DumpTable(Money("Rok.002", "VFAKTURY")), dumpBefore);  // nothing locked, edited or posted

  SaveJob unlock = Job(All(), LockAction::Unlock);
  ASSERT_EQ(Save(unlock), 0);
  EXPECT_EQ(unlock.ArchiveDir, ctx.ArchiveRoot() + "2/");
  EXPECT_EQ(ReadLocks(unlock.ArchiveDir + "PF002", "ID"), before);
  // Its key index, made once when the table's last block was written, is in the table's file.
  for (const char* table : {"PF002", "BD001"}) {
    TBFTable archive;
    ASSERT_EQ(archive.OpenTable(unlock.ArchiveDir + table), 0);
    EXPECT_EQ(EngineTableOf(archive).IndexNames(), std::vector<std::string>{"ID"}) << table;
  }
  for (const auto& [key, value] : ReadLocks(Money("Rok.002", "PFAKTURY"), "Cislo")) EXPECT_EQ(value, "0") << key;
  // A year without the module's table still gets its row, an empty archive table and its line.
  EXPECT_TRUE(FileExists(unlock.ArchiveDir + "BD001.dat"));
  EXPECT_EQ(files.size(), 16u);

  SaveJob lockAll = Job(Only({"PF"}), LockAction::Lock);
  ASSERT_EQ(Save(lockAll), 0);
  for (const auto& [key, value] : ReadLocks(lockAll.ArchiveDir + "PF002", "ID")) EXPECT_EQ(value, "0") << key;
  for (const auto& [key, value] : ReadLocks(Money("Rok.002", "PFAKTURY"), "Cislo")) EXPECT_EQ(value, "1") << key;
  EXPECT_TRUE(dialogs.Entries().empty());

  ArchiveList list;
  EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
  EXPECT_EQ(list.Count(), 3u);
}

TEST_F(SaveFixture, ProgressEveryTwentyDocumentsAndResetPerTable) {
  MarkAll();
  SaveJob job = Job(Only({"BD"}), LockAction::Unlock);
  ASSERT_EQ(Save(job), 0);
  EXPECT_EQ(progress.texts, (std::vector<std::string>{"Vytvářím databáze...", "Procházím bankovní doklady 2005...",
                                                      "Procházím bankovní doklady 2004..."}));
  EXPECT_EQ(progress.positions, (std::vector<int>{0, 0, 20, 40, 0, 0}));
  EXPECT_EQ(progress.maximums, (std::vector<int>{45}));
  // The whole job's documents before its first table: 2004 has no table of bank documents.
  EXPECT_EQ(observer.jobs, (std::vector<std::vector<int>>{{45, 0}}));
}

TEST_F(SaveFixture, AbortAsksAfterEveryDocument) {
  MarkAll();
  // "Přerušit" pressed at the first window pass of the second table: No, then Yes.
  progress.onProcessMessages = [&](int n) {
    if (n == 3 || n == 6) progress.RequestAbort();
  };
  dialogs.Answers({false, true});
  SaveJob job = Job(Only({"PD", "BD"}), LockAction::Unlock);
  EXPECT_EQ(Save(job), -1);
  EXPECT_EQ(dialogs.QuestionCount(), 2u);
  EXPECT_EQ(dialogs.LastEntry().kind, MsgKind::Confirmation);
  EXPECT_NE(dialogs.LastEntry().text.find("bude možné později obnovit do původního stavu z nedokončeného archivu"),
            std::string::npos);
  TIniFile info(job.ArchiveDir + "info");
  EXPECT_EQ(info.ReadInteger("MAIN", "Correct", -1), 0);
  // Documents were unlocked before the stop: the archive that holds their earlier states stays,
  // listed as incomplete.
  EXPECT_TRUE(FileExists(job.ArchiveDir + "info.tab"));
  ArchiveList list;
  EXPECT_TRUE(LoadArchiveList(ctx, list).IsOk());
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_FALSE(list.Row(0).complete);
}

// "Přerušit" pressed before the first document changes: answered Ano, the save ends with every
// document as it was and leaves no archive behind.
TEST_F(SaveFixture, AStopBeforeTheFirstChangeLeavesEverythingAsItWas) {
  MarkAll();
  progress.onProcessMessages = [&](int n) {
    if (n == 2) progress.RequestAbort();  // as the first table begins
  };
  dialogs.Answer(true);
  const std::string dump = DumpTable(Money("Rok.002", "POKLKNIH"));
  SaveJob job = Job(Only({"PD"}), LockAction::Unlock);
  EXPECT_EQ(Save(job), -1);
  EXPECT_EQ(dialogs.QuestionCount(), 1u);
  EXPECT_FALSE(job.documentsChanged);
  EXPECT_EQ(DumpTable(Money("Rok.002", "POKLKNIH")), dump);
  EXPECT_FALSE(PathExists(job.ArchiveDir));
}

TEST_F(SaveFixture, ALockedDocumentIsRetriedUntilItsHolderLetsGo) {
  MarkAll();
  const auto before = ReadLocks(Money("Rok.002", "INTDOKL"), "Cislo");
  auto holder = std::make_unique<HoldProcess>(Money("Rok.002", "INTDOKL"), "Cislo", 110);
  ASSERT_TRUE(holder->Locked());
  // The user answers Ano twice while the other user still edits, then the other user lets go.
  dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
    if (dialogs.QuestionCount() == 2) holder.reset();
  };
  dialogs.Answers({true, true});
  SaveJob job = Job(Only({"ID"}), LockAction::Unlock);
  ASSERT_EQ(Save(job), 0);
  EXPECT_EQ(dialogs.QuestionCount(), 2u);
  EXPECT_EQ(dialogs.Entries()[0].kind, MsgKind::Warning);
  EXPECT_EQ(dialogs.Entries()[0].text.rfind("Zámek v modulu interní doklady 2005: některý doklad", 0), 0u);
  EXPECT_EQ(ReadLocks(job.ArchiveDir + "ID002", "ID"), before);
  for (const auto& [key, value] : ReadLocks(Money("Rok.002", "INTDOKL"), "Cislo")) EXPECT_EQ(value, "0") << key;
}

TEST_F(SaveFixture, RefusingTheConflictLeavesAnIncompleteArchiveAndTheEarlierDocumentsChanged) {
  MarkAll();
  HoldProcess holder(Money("Rok.002", "INTDOKL"), "Cislo", 110);
  ASSERT_TRUE(holder.Locked());
  dialogs.Answer(false);
  SaveJob job = Job(Only({"ID"}), LockAction::Lock);
  EXPECT_EQ(Save(job), -1);
  EXPECT_EQ(dialogs.Entries().size(), 1u);  // the question, and no further message
  const auto now = ReadLocks(Money("Rok.002", "INTDOKL"), "Cislo");
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(now.at(i).second, "1") << i;  // documents before the held one are changed
  }
  EXPECT_EQ(ReadLocks(job.ArchiveDir + "ID002", "ID").size(), 11u);  // the held one was recorded first
  TIniFile info(job.ArchiveDir + "info");
  EXPECT_EQ(info.ReadInteger("MAIN", "Correct", -1), 0);
  EXPECT_TRUE(job.documentsChanged);
  EXPECT_EQ(IncompleteArchives(ctx).size(), 1u);
}

TEST_F(SaveFixture, ArchiveNumbersAndTheirFailures) {
  MarkAll();
  ForceDirectories(ctx.ArchiveRoot() + "1");
  ForceDirectories(ctx.ArchiveRoot() + "3");
  SaveJob job = Job(Only({"PD"}), LockAction::NoAction);
  ASSERT_EQ(Presented(CreateArchiveDirectory(job), dialogs), 0);
  EXPECT_EQ(job.ArchiveDir, ctx.ArchiveRoot() + "2/");
  // A plain file where the archive root should be stops the save before anything else happens.
  RemoveDirectoryTree(ctx.ArchiveRoot());
  WriteBytes(ExcludeTrailingPathDelimiter(ResolvePath(ctx.ArchiveRoot())), "x");
  ASSERT_EQ(Presented(CreateArchiveDirectory(job), dialogs), -1);
  EXPECT_EQ(dialogs.LastEntry().text, "Chyba: nelze vytvořit adresář " + ctx.ArchiveRoot());
}

TEST_F(SaveFixture, YearsThatWouldShareArchiveTablesAreRefusedBeforeAnythingIsCreated) {
  VORLEND_LINUX_ONLY("names that differ only in letter case cannot stand side by side on Windows");
  // "ROK.002" beside "Rok.002": only letter case differs.
  std::filesystem::create_directory(ResolvePath(agenda.AgendaDir()) + "ROK.002");
  TIniFile(agenda.AgendaDir() + "ROK.002/ROK.INI").WriteString("Global", "Účetní rok", "2006");
  MarkAll();
  SaveJob job = Job(Only({"PD"}), LockAction::Unlock);
  EXPECT_EQ(Presented(CreateArchiveDirectory(job), dialogs), -1);
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_NE(dialogs.LastEntry().text.find("ROK.002 a Rok.002"), std::string::npos);
  EXPECT_FALSE(DirectoryExists(ctx.ArchiveRoot()));

  // "Rok.002" alone cannot be told apart from "ROK.002" by its Money path "ROK.002\...": refused.
  years.Toggle(0);
  dialogs.Clear();
  EXPECT_EQ(Presented(CreateArchiveDirectory(job), dialogs), -1);
  EXPECT_EQ(dialogs.LastEntry().text.rfind("Chyba: adresář účetního roku Rok.002 nelze v archivu", 0), 0u);

  // "ROK.002" is reached by its own path: with only that one marked, the save goes on.
  years.Toggle(0);
  years.Toggle(1);
  dialogs.Clear();
  EXPECT_EQ(Save(job), 0);
  EXPECT_EQ(ReadLocks(job.ArchiveDir + "PD002", "ID").size(), 0u);  // ROK.002 has no documents
  EXPECT_EQ(ReadLocks(job.ArchiveDir + "PD001", "ID").size(), 7u);
}

TEST_F(SaveFixture, MissingTemplateAndBlankName) {
  MarkAll();
  name = "   ";
  SaveJob job = Job(Only({"PD"}), LockAction::Unlock);
  ASSERT_EQ(Presented(CreateArchiveDirectory(job), dialogs), 0);
  // CreateLockTable names the template it misses, and Money stays untouched.
  TempDir emptyProgramDir;
  EXPECT_EQ(Presented(CreateLockTable(job.ArchiveDir + "PD002", emptyProgramDir.Path()), dialogs), -1);
  EXPECT_EQ(dialogs.LastEntry().text, "Chyba: soubor " + emptyProgramDir.Path() +
                                          "Pattern/DB1.DAT neexistuje. Proveďte reinstalaci tohoto programu.");
  ASSERT_EQ(Presented(SaveLocks(job), dialogs), 0);
  EXPECT_EQ(job.choices.archiveName, "[bez názvu]");
  TIniFile info(job.ArchiveDir + "info");
  EXPECT_EQ(info.ReadString("MAIN", "Name", ""), "[bez názvu]");
}

TEST_F(SaveFixture, DocumentsDeletedMeanwhileOrWithoutAKeyAreLeftAsTheyAre) {
  MarkAll();
  const std::string table = Money("Rok.002", "PFAKTURY");
  {
    // A document without a key: the restore could never find it again.
    TBFTable t;
    ASSERT_EQ(t.OpenTable(table), 0);
    t.AppendBlank();
    t.SetValue("Cislo", Variant::Null());
    t.SetValue("Uzamceni", Variant::FromBool(true));
    ASSERT_EQ(t.Post(), 0);
  }
  // Another user holds document 120 and deletes it before letting go.
  auto holder = std::make_unique<HoldProcess>(table, "Cislo", 120);
  ASSERT_TRUE(holder->Locked());
  dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
    holder.reset();
    DeleteDocument(table, "Cislo", 120);
  };
  dialogs.Answer(true);  // "wait and go on" once: the document is gone, nothing more is asked
  SaveJob job = Job(Only({"PF"}), LockAction::Unlock);
  ASSERT_EQ(Save(job), 0) << dialogs.LastEntry().text;
  EXPECT_EQ(dialogs.QuestionCount(), 1u);
  const auto archived = ReadLocks(job.ArchiveDir + "PF002", "ID");
  EXPECT_EQ(archived.size(), 45u);  // 45 documents with keys, the deleted one among them
  const auto now = ReadLocks(table, "Cislo");
  ASSERT_EQ(now.size(), 45u);
  EXPECT_EQ(now.back(), (std::pair<std::int32_t, std::string>{0, "1"}));  // the keyless one, untouched
  // The archive is complete, and the user learns that one document was left as it was.
  EXPECT_EQ(dialogs.LastEntry().kind, MsgKind::Warning);
  EXPECT_EQ(dialogs.LastEntry().text.rfind("Zámky byly uloženy, ale některé doklady nemají celé číslo", 0), 0u);
  EXPECT_NE(dialogs.LastEntry().text.find("\rpřijaté faktury 2005: 1"), std::string::npos);
  EXPECT_EQ(job.skipped.size(), 1u);
}

TEST(SaveKeys, OnlyWholeNumbersOf32BitsAreRecorded) {
  std::int32_t n = 0;
  EXPECT_TRUE(RecordableKey(Variant::FromInt(-7), n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(RecordableKey(Variant::FromDouble(100.0), n));
  EXPECT_TRUE(RecordableKey(Variant::FromString(" 12 "), n));
  // A fraction would be rounded onto another document's key.
  EXPECT_FALSE(RecordableKey(Variant::FromDouble(100.4), n));
  EXPECT_FALSE(RecordableKey(Variant::FromString("12.5"), n));
  EXPECT_FALSE(RecordableKey(Variant::FromDouble(3e9), n));
  EXPECT_FALSE(RecordableKey(Variant::Null(), n));
  EXPECT_FALSE(RecordableKey(Variant::FromString("A-12"), n));
}

// Another user posts a new lock value on the document the save is waiting for: the archive must
// hold the value the document had when the save changed it, not the one read before the wait, and
// the change counts from that value. In blocks, and record by record (a component without
// transactions), where the save records the document as its own lock read it again.
TEST_F(SaveFixture, TheArchiveHoldsTheStateTheDocumentHadWhenItWasChanged) {
  MarkAll();
  const std::string table = Money("Rok.002", "KNIHZAV");
  for (const bool transactions : {true, false}) {
    SCOPED_TRACE(transactions ? "in blocks" : "record by record");
    TBFTable::SetTransactionsAvailable(transactions);
    const auto before = ReadLocks(table, "Cislo");
    const std::string earlier = before.at(10).second;  // document 110
    const std::string posted = earlier == "1" ? "0" : "1";
    auto holder = std::make_unique<HoldProcess>(table, "Cislo", 110, std::vector<std::string>{"Uzamceni=" + posted});
    ASSERT_TRUE(holder->Locked());
    dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
      EXPECT_EQ(holder->Release(), 0);  // posts the other user's value as it lets go
    };
    dialogs.Answer(true);
    SaveJob job = Job(Only({"OZ"}), LockAction::Lock);
    ASSERT_EQ(Save(job), 0);
    EXPECT_EQ(dialogs.QuestionCount(), 1u);
    auto expected = before;
    expected.at(10).second = posted;
    EXPECT_EQ(ReadLocks(job.ArchiveDir + "OZ002", "ID"), expected);
    for (const auto& [key, value] : ReadLocks(table, "Cislo")) EXPECT_EQ(value, "1") << key;
    EXPECT_EQ(job.counts.changed,
              std::count_if(expected.begin(), expected.end(), [](const auto& l) { return l.second != "1"; }));
    // The next round starts from the states the archive holds.
    ASSERT_EQ(Restore(job.ArchiveDir), 0);
    dialogs.Clear();
  }
}

// Every table opens before the first document changes: a damaged table of the last row stops the
// save while every document is as it was, and the archive that would hold nothing is removed.
TEST_F(SaveFixture, ADamagedTableOfALaterYearStopsTheSaveBeforeAnyDocumentChanges) {
  MarkAll();
  const std::string damaged = Money("Rok.001", "SKSEZDOK");
  ASSERT_TRUE(engine::DeleteTableFiles(damaged));
  WriteBytes(damaged + ".dat", "not a table at all");
  std::map<std::string, std::string> dumps;
  for (const ModuleInfo& m : kModules) dumps[m.moneyTable] = DumpTable(Money("Rok.002", m.moneyTable));

  SaveJob job = Job(All(), LockAction::Unlock);
  EXPECT_EQ(Save(job), -1);
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_EQ(dialogs.LastEntry().text,
            "Nastala chyba při otevírání databáze " + ctx.AgendaPath + "Rok.001/SKSEZDOK.dat");
  for (const auto& [table, dump] : dumps) EXPECT_EQ(DumpTable(Money("Rok.002", table)), dump) << table;
  EXPECT_FALSE(job.documentsChanged);
  EXPECT_FALSE(PathExists(job.ArchiveDir));
  EXPECT_TRUE(IncompleteArchives(ctx).empty());
}

TEST_F(SaveFixture, AYearWhoseNameTheArchiveCannotHoldIsRefused) {
  agenda.AddYear("Rok.Ω1", "2007");
  MarkAll();
  SaveJob job = Job(Only({"PD"}), LockAction::Unlock);
  EXPECT_EQ(Presented(CreateArchiveDirectory(job), dialogs), -1);
  EXPECT_EQ(dialogs.LastEntry().text.rfind("Chyba: adresář účetního roku Rok.Ω1 nelze", 0), 0u);
  EXPECT_FALSE(DirectoryExists(ctx.ArchiveRoot()));
}

// Another program keeps the Money table's write access past the wait: that is another user at
// work, asked about like a held document (within two seconds, however long the other program's
// transaction lasts), never a failure with the documents half done.
TEST_F(SaveFixture, ATableAnotherProgramKeepsBusyIsAskedAboutLikeAHeldDocument) {
  MarkAll();
  const std::string table = Money("Rok.002", "INTDOKL");
  const auto before = ReadLocks(table, "Cislo");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(ResolvePath(table + ".dat").c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const auto started = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration untilAsked{};
  dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
    untilAsked = std::chrono::steady_clock::now() - started;
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  };
  dialogs.Answer(true);
  SaveJob job = Job(Only({"ID"}), LockAction::Unlock);
  const int result = Save(job);
  sqlite3_close(other);
  // The wait is a second; the rest is the save's own start, slower on a loaded machine.
  EXPECT_LT(untilAsked, std::chrono::seconds(3));
  ASSERT_EQ(result, 0) << dialogs.LastEntry().text;
  ASSERT_EQ(dialogs.QuestionCount(), 1u);
  EXPECT_EQ(dialogs.Entries()[0].text.rfind("Zámek v modulu interní doklady 2005: ", 0), 0u);
  EXPECT_EQ(ReadLocks(job.ArchiveDir + "ID002", "ID"), before);
  for (const auto& [key, value] : ReadLocks(table, "Cislo")) EXPECT_EQ(value, "0") << key;
}

// A Money table without the index the restore finds documents by: their earlier states could
// never be put back, so the save refuses before it changes anything. Recording alone is harmless.
TEST_F(SaveFixture, ATableWithoutTheRestoresIndexIsRefusedBeforeAnyChange) {
  MarkAll();
  const std::string table = Money("Rok.001", "POKLKNIH");
  const auto docs = ReadLocks(table, "Cislo");
  ASSERT_TRUE(engine::DeleteTableFiles(table));
  ASSERT_FALSE(engine::CreateTable(
      table, {{"Cislo", engine::FieldType::Integer}, {"Uzamceni", engine::FieldType::Boolean}}, {}));
  {
    TBFTable t;
    ASSERT_EQ(t.OpenTable(table), 0);
    for (const auto& [key, value] : docs) {
      t.AppendBlank();
      t.SetValue("Cislo", Variant::FromInt(key));
      t.SetValue("Uzamceni", Variant::FromBool(value == "1"));
      ASSERT_EQ(t.Post(), 0);
    }
  }
  const std::string dump = DumpTable(Money("Rok.002", "POKLKNIH"));
  SaveJob job = Job(Only({"PD"}), LockAction::Unlock);
  EXPECT_EQ(Save(job), -1);
  EXPECT_EQ(dialogs.LastEntry().text,
            "Nastala chyba při nastavení indexu v databázi " + ctx.AgendaPath + "Rok.001/POKLKNIH.dat");
  EXPECT_EQ(DumpTable(Money("Rok.002", "POKLKNIH")), dump);
  EXPECT_FALSE(PathExists(job.ArchiveDir));

  SaveJob record = Job(Only({"PD"}), LockAction::NoAction);
  EXPECT_EQ(Save(record), 0);
}

// A lock file nobody can write is no user at work: one clear error naming it, not a question to
// wait for a document that can never be locked.
TEST_F(SaveFixture, ALockFileThatCannotBeWrittenIsOneClearError) {
  MarkAll();
  const std::string dia = ResolvePath(Money("Rok.002", "VFAKTURY") + ".dia");
  if (!SetImmutable(dia, true)) GTEST_SKIP() << "this file system cannot make " << dia << " immutable";
  const std::string dump = DumpTable(Money("Rok.002", "VFAKTURY"));
  SaveJob job = Job(Only({"VF"}), LockAction::Lock);
  const int result = Save(job);
  SetImmutable(dia, false);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(dialogs.QuestionCount(), 0u);
  ASSERT_EQ(dialogs.Entries().size(), 1u);
  EXPECT_EQ(dialogs.LastEntry().text.rfind(
                "Soubor zámků " + ctx.AgendaPath + "Rok.002/VFAKTURY.dia nelze otevřít pro zápis", 0),
            0u)
      << dialogs.LastEntry().text;
  EXPECT_EQ(DumpTable(Money("Rok.002", "VFAKTURY")), dump);
  EXPECT_FALSE(PathExists(job.ArchiveDir));
}
