// Documents changed block by block: what another user sees while a block is open, what a
// question finds committed, what a failure inside a block leaves, and that a component without
// transactions (a block of one) gives the same archive and the same documents.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>

#include "archive/restore.h"
#include "archive/save.h"
#include "archive_fixture.h"
#include "engine/table.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "support/agenda_builder.h"
#include "support/scripted_ports.h"

using namespace vorlend;
using namespace vorlend::test;

namespace {

// One year with three modules of 60 documents each, keys from 100.
struct BlockFixture : ArchiveFixture {
  void SetUp() override {
    agenda.AddYear("Rok.001", "2025");
    std::vector<Document> docs = MakeDocuments(60, 100, 3);
    docs[4].lock = Variant::Null();
    for (const char* table : {"POKLKNIH", "INTDOKL", "SKSEZDOK"}) AddSeeded("Rok.001", table, docs);
    ctx = agenda.Context();
    ASSERT_TRUE(FillYearList(ctx.AgendaPath, dialogs, years));
    years.Toggle(0);
  }
  void TearDown() override { TBFTable::SetTransactionsAvailable(true); }

  std::string Money(const std::string& table) const { return ArchiveFixture::Money("Rok.001", table); }
  static ModuleFilter Filter() {
    ModuleFilter f{};
    for (std::size_t m = 0; m < kModuleCount; ++m) {
      const std::string code = kModules[m].code;
      f[m] = code == "PD" || code == "ID" || code == "SD";
    }
    return f;
  }
  SaveJob Job(LockAction action, int blockSize) { return SaveJobFor(Filter(), action, "bloky", blockSize); }
  std::map<std::string, std::string> ArchiveDumps(const std::string& archiveDir) {
    std::map<std::string, std::string> dumps;
    for (const char* name : {"PD001", "ID001", "SD001"}) dumps[name] = DumpTable(archiveDir + name);
    return dumps;
  }
  void ExpectAll(const std::string& value) {
    for (const auto& [path, locks] : seed) {
      for (const auto& [key, v] : ReadLocks(path, KeyOf(path))) EXPECT_EQ(v, value) << path << " " << key;
    }
  }
};

}  // namespace

TEST_F(BlockFixture, EveryBlockSizeAndAComponentWithoutTransactionsGiveTheSameArchiveAndDocuments) {
  std::map<std::string, std::string> first;
  int run = 0;
  for (const int blockSize : {500, 7, 1, 500}) {
    // The last run goes through a component that offers single posts only.
    const bool transactions = run < 3;
    TBFTable::SetTransactionsAvailable(transactions);
    SaveJob job = Job(LockAction::Lock, blockSize);
    ASSERT_EQ(Presented(StartSave(job), dialogs), 0) << blockSize << (dialogs.Last() ? dialogs.LastEntry().text : "");
    EXPECT_EQ(job.counts.recorded, 180);
    EXPECT_EQ(job.counts.written, 180);
    EXPECT_EQ(job.counts.changed, 180 - 60);  // every third document was locked already
    ExpectAll("1");
    const auto dumps = ArchiveDumps(job.ArchiveDir);
    if (run == 0) first = dumps;
    EXPECT_EQ(dumps, first) << "block size " << blockSize << (transactions ? "" : " without transactions");

    RestoreJob restore{ctx, dialogs, progress, money, lock, files};
    restore.blockSize = blockSize;
    ASSERT_EQ(Presented(RestoreLocks(restore, job.ArchiveDir), dialogs), 0);
    EXPECT_EQ(restore.counts.written, 180);
    ExpectSeeded();
    ++run;
  }
}

TEST_F(BlockFixture, AQuestionFindsEveryEarlierDocumentCommittedAndFreeForOtherUsers) {
  // Another user edits the 11th document of the second table; the block is far from full there.
  auto holder = std::make_unique<HoldProcess>(Money("INTDOKL"), "Cislo", 110);
  ASSERT_TRUE(holder->Locked());
  bool checked = false;
  dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
    const Locks now = ReadLocks(Money("INTDOKL"), "Cislo");
    for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(now.at(i).second, "0") << "document " << now.at(i).first;
    EXPECT_EQ(now.at(10).second, seed[Money("INTDOKL")].at(10).second);
    // The earlier documents of the block are no longer held by the save.
    HoldProcess other(Money("INTDOKL"), "Cislo", 105);
    EXPECT_TRUE(other.Locked());
    checked = true;
    holder.reset();
  };
  dialogs.Answer(true);
  SaveJob job = Job(LockAction::Unlock, 500);
  ASSERT_EQ(Presented(StartSave(job), dialogs), 0);
  EXPECT_TRUE(checked);
  ExpectAll("0");
  const std::string archiveDir = job.ArchiveDir;

  // The restore asks with its earlier documents written as well.
  holder = std::make_unique<HoldProcess>(Money("SKSEZDOK"), "CDokladu", 130);
  ASSERT_TRUE(holder->Locked());
  checked = false;
  dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
    const Locks now = ReadLocks(Money("SKSEZDOK"), "CDokladu");
    EXPECT_EQ(Locks(now.begin(), now.begin() + 30),
              Locks(seed[Money("SKSEZDOK")].begin(), seed[Money("SKSEZDOK")].begin() + 30));
    EXPECT_EQ(now.at(30).second, "0");
    HoldProcess other(Money("SKSEZDOK"), "CDokladu", 129);
    EXPECT_TRUE(other.Locked());
    checked = true;
  };
  dialogs.Answer(false);
  EXPECT_EQ(Restore(archiveDir, 500), -1);
  EXPECT_TRUE(checked);
}

TEST_F(BlockFixture, TheAbortQuestionFindsEveryEarlierDocumentCommitted) {
  // "Přerušit" at document 20 of the first table, in the middle of its first block.
  progress.onProcessMessages = [&](int count) {
    if (count == 4) progress.RequestAbort();
  };
  bool checked = false;
  dialogs.onQuestion = [&](const ScriptedDialogs::Entry&) {
    const Locks now = ReadLocks(Money("POKLKNIH"), "Cislo");
    for (std::size_t i = 0; i <= 20; ++i) EXPECT_EQ(now.at(i).second, "0") << "document " << now.at(i).first;
    EXPECT_EQ(Locks(now.begin() + 21, now.end()),
              Locks(seed[Money("POKLKNIH")].begin() + 21, seed[Money("POKLKNIH")].end()));
    checked = true;
  };
  dialogs.Answer(false);  // go on
  SaveJob job = Job(LockAction::Unlock, 500);
  ASSERT_EQ(Presented(StartSave(job), dialogs), 0);
  EXPECT_TRUE(checked);
  ExpectAll("0");
}

TEST_F(BlockFixture, WhileABlockIsOpenOtherUsersSeeNothingOfItAndCannotTakeItsDocuments) {
  // The third ProcessMessages of the save falls inside the first table's first block (document
  // 20): the documents before it are changed in the open transaction only.
  bool checked = false;
  progress.onProcessMessages = [&](int count) {
    if (count != 4 || checked) return;
    checked = true;
    EXPECT_EQ(ReadLocks(Money("POKLKNIH"), "Cislo"), seed[Money("POKLKNIH")]);
    HoldProcess other(Money("POKLKNIH"), "Cislo", 105);
    EXPECT_FALSE(other.Locked());
  };
  SaveJob job = Job(LockAction::Unlock, 500);
  ASSERT_EQ(Presented(StartSave(job), dialogs), 0);
  EXPECT_TRUE(checked);
  ExpectAll("0");
}

TEST_F(BlockFixture, AFailureInsideABlockLeavesNoneOfItsDocumentsChanged) {
  // Something throws while the first block holds 21 changed documents (the fourth ProcessMessages).
  progress.onProcessMessages = [&](int count) {
    if (count == 4) throw std::runtime_error("Chyba okna.");
  };
  SaveJob job = Job(LockAction::Unlock, 500);
  EXPECT_EQ(Presented(StartSave(job), dialogs), -1);
  EXPECT_EQ(dialogs.LastEntry().text, "Chyba okna.");
  ExpectSeeded();
  // Nothing changed, so the archive went too; and no document is left held.
  EXPECT_FALSE(job.documentsChanged);
  EXPECT_FALSE(PathExists(job.ArchiveDir));
  HoldProcess other(Money("POKLKNIH"), "Cislo", 105);
  EXPECT_TRUE(other.Locked());
}

TEST_F(BlockFixture, ATableBlockRollsBackOnEveryWayOut) {
  const Locks before = ReadLocks(Money("POKLKNIH"), "Cislo");
  ASSERT_EQ(money.OpenTable(Money("POKLKNIH")), 0);
  ASSERT_EQ(money.GoTop(), 0);
  try {
    TableBlock block(money, Money("POKLKNIH"), false, dialogs, "pokladní doklady 2025", [] { return Result::Ok(); });
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(money.LockRecord(), 0);
      money.SetValue("Uzamceni", Variant::FromBool(false));
      ASSERT_TRUE(block.Post().IsOk());
      money.Skip();
    }
    EXPECT_EQ(block.Pending(), 3);
    throw std::runtime_error("stop");
  } catch (const std::runtime_error&) {
  }
  // Nothing of the block was written, and its documents are free again.
  EXPECT_EQ(ReadLocks(Money("POKLKNIH"), "Cislo"), before);
  HoldProcess other(Money("POKLKNIH"), "Cislo", 100);
  EXPECT_TRUE(other.Locked());
  money.CloseTable();
}
