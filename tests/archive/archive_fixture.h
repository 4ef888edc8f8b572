#pragma once
// What the save, restore and block tests share: an agenda in a temporary folder, the scripted
// ports, the two table proxies, and the jobs built over them. Each fixture fills the agenda its
// own way in its SetUp.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/restore.h"
#include "archive/save.h"
#include "platform/locale.h"
#include "support/agenda_builder.h"
#include "support/scripted_ports.h"

namespace vorlend::test {

using Locks = std::vector<std::pair<std::int32_t, std::string>>;

struct ArchiveFixture : ::testing::Test {
  TempDir dir;
  AgendaBuilder agenda{dir};
  HostContext ctx;
  ScriptedDialogs dialogs;
  ScriptedProgress progress;
  RecordingObserver observer;
  TBFTable money, lock;
  YearList years;
  FileList files;
  std::map<std::string, Locks> seed;  // Money table path -> locks as seeded

  ArchiveFixture() { SetFormatSettings(CzechLocaleFormats()); }
  // A test that went record by record leaves the component with its transactions again.
  ~ArchiveFixture() override { TBFTable::SetTransactionsAvailable(true); }

  static std::string KeyOf(const std::string& table) {
    return table.find("SKSEZDOK") != std::string::npos ? "CDokladu" : "Cislo";
  }
  std::string Money(const std::string& year, const std::string& table) const {
    return agenda.AgendaDir() + year + "/" + table;
  }
  // A table of the agenda, its locks remembered as seeded.
  void AddSeeded(const std::string& year, const std::string& table, const std::vector<Document>& documents) {
    agenda.AddTable(year, table, documents);
    seed[Money(year, table)] = ReadLocks(Money(year, table), KeyOf(table));
  }
  // Every year of the agenda marked.
  void MarkAll() {
    ASSERT_TRUE(FillYearList(ctx.AgendaPath, dialogs, years));
    for (std::size_t i = 0; i < years.Count(); ++i) years.Toggle(i);
  }
  SaveJob SaveJobFor(ModuleFilter filter, LockAction action, const std::string& name, int blockSize = kSaveBlockSize) {
    SaveJob job{ctx, dialogs, progress, money, lock, years, SaveChoices{filter, action, name}, files};
    job.blockSize = blockSize;
    job.observer = &observer;
    return job;
  }
  int Restore(const std::string& archiveDir, int blockSize = kRestoreBlockSize) {
    RestoreJob job{ctx, dialogs, progress, money, lock, files};
    job.blockSize = blockSize;
    job.observer = &observer;
    return Presented(RestoreLocks(job, archiveDir), dialogs);
  }
  void ExpectSeeded() {
    for (const auto& [path, locks] : seed) EXPECT_EQ(ReadLocks(path, KeyOf(path)), locks) << path;
  }
};

}  // namespace vorlend::test
