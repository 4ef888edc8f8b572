#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "app/batch.h"
#include "archive/catalogue.h"
#include "archive/modules.h"
#include "batch_fixture.h"
#include "platform/file_door.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "support/agenda_builder.h"
#include "support/fault_door.h"
#include "support/portable.h"
#include "support/sqlite_faults.h"
#include "support/table_support.h"

using namespace vorlend;
using namespace vorlend::test;

TEST_F(BatchFixture, SaveListRestoreDelete) {
  const auto before = ReadLocks(Table("Rok.002", "PFAKTURY"), "Cislo");
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF,SD", "--action", "unlock", "--name", "Před přepočtem"}),
            0)
      << err;
  EXPECT_EQ(out, "1\n");
  EXPECT_NE(err.find("Procházím přijaté faktury 2025..."), std::string::npos);
  EXPECT_EQ(err.find("2024"), std::string::npos);  // only the chosen year
  for (const auto& [key, value] : ReadLocks(Table("Rok.002", "PFAKTURY"), "Cislo")) EXPECT_EQ(value, "0");
  EXPECT_EQ(ReadLocks(Table("Rok.001", "PFAKTURY"), "Cislo"), before);  // the other year untouched

  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out.rfind("1\tcomplete\tPřed přepočtem\t", 0), 0u);

  // --verbose also says what the job works with, and when each table is done.
  ASSERT_EQ(Batch({"restore", "--archive", "1", "--delete-after", "-v"}), 0) << err;
  EXPECT_EQ(ReadLocks(Table("Rok.002", "PFAKTURY"), "Cislo"), before);
  EXPECT_NE(Unwrapped(err).find("Adresář archivů zámků: " + agenda.Context().ArchiveRoot() + "\n"), std::string::npos)
      << err;
  EXPECT_NE(err.find("  tabulka 2 z 2: hotovo, 30 záznamů, "), std::string::npos) << err;
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

  // The missing groups are named; the window's text about a stand-alone start does not fit a
  // tool whose purpose is to run stand-alone.
  groups.pop_back();
  groups.erase(groups.begin() + 1);
  EXPECT_EQ(Batch({"list"}), 3);
  EXPECT_NE(err.find("Chybí skupiny parametrů ?AKTROK=…?AKTROK, ?AKTCFGNAME=…?AKTCFGNAME."), std::string::npos) << err;
  EXPECT_EQ(err.find("samostatný program"), std::string::npos);
}

TEST_F(BatchFixture, ArchivesWithoutAFileListAndOtherAgendasAreRefused) {
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
  EXPECT_NE(err.find("Archiv 1 nemá seznam souborů info.tab"), std::string::npos) << err;
  EXPECT_EQ(Batch({"delete", "--archive", "2"}), 1);
  EXPECT_NE(err.find("Archiv 2 patří k jiné agendě (002)."), std::string::npos) << err;
  // Each other way of being no archive of this agenda says which.
  ForceDirectories(ctx.ArchiveRoot() + "8");
  WriteBytes(ResolvePath(ctx.ArchiveRoot()) + "8/info", std::string("\x00\xFF\x10"
                                                                    "binary",
                                                                    9));
  EXPECT_EQ(Batch({"show", "--archive", "8"}), 1);
  EXPECT_NE(err.find("Archiv 8: popisný soubor info neuvádí agendu"), std::string::npos) << err;
  if (MakeSymlink(ResolvePath(ctx.ArchiveRoot()) + "1", ResolvePath(ctx.ArchiveRoot()) + "9")) {
    EXPECT_EQ(Batch({"show", "--archive", "9"}), 1);
    EXPECT_NE(err.find("Archiv 9 je symbolický odkaz"), std::string::npos) << err;
  }
  RemoveDirectoryTree(ctx.ArchiveRoot() + "8");
  DeleteFile(ResolvePath(ctx.ArchiveRoot()) + "9");
  EXPECT_EQ(Batch({"show", "--archive", "7"}), 1);
  EXPECT_NE(err.find("Archiv 7 neexistuje."), std::string::npos) << err;
  EXPECT_TRUE(DirectoryExists(ctx.ArchiveRoot() + "2"));
  // Neither is an incomplete archive of this agenda: a save goes ahead. Directory 1 is what a save
  // killed before its file list left: nobody holds it, so the save removes it and takes its number.
  // A file and a dangling link named like the next numbers are skipped.
  WriteBytes(ResolvePath(ctx.ArchiveRoot()) + "3", "x");
  if (!MakeSymlink("/nonexistent", ResolvePath(ctx.ArchiveRoot()) + "4"))
    WriteBytes(ResolvePath(ctx.ArchiveRoot()) + "4", "x");
  EXPECT_EQ(Batch({"save", "--modules", "PD", "--action", "none"}), 0) << err;
  EXPECT_EQ(out, "1\n");
  EXPECT_EQ(Batch({"save", "--modules", "PD", "--action", "none"}), 0) << err;
  EXPECT_EQ(out, "5\n");
}

TEST_F(BatchFixture, AnInterruptedSaveLeavesAnIncompleteArchiveThatPutsEveryStateBack) {
  VORLEND_LINUX_ONLY("a POSIX shell runs the tool and signals stop it");
  const std::string table = Table("Rok.002", "VFAKTURY");
  const auto before = ReadLocks(table, "Cislo");
  {
    HoldProcess holder(table, "Cislo", 5);
    ASSERT_TRUE(holder.Locked());
    EXPECT_EQ(Batch({"save", "--modules", "VF", "--action", "lock"}), 4);
    EXPECT_NE(err.find("Zámek v modulu vystavené faktury 2025: "), std::string::npos);
    // Said plainly: which document of which table, and how to wait for it.
    EXPECT_NE(Unwrapped(err).find("Doklad číslo 5 v tabulce " + agenda.Context().AgendaPath +
                                  "Rok.002/VFAKTURY.dat drží jiný uživatel"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("--on-conflict retry=SEKUNDY"), std::string::npos);
    EXPECT_NE(Unwrapped(err).find("Souhrn uložení (nedokončeno): tabulky 0 z 2, doklady 5, zaznamenáno 5, změněno 2"),
              std::string::npos)
        << err;
    EXPECT_EQ(out, "");
  }
  EXPECT_NE(ReadLocks(table, "Cislo"), before);  // the documents before the held one are locked
  // Standard error names the archive and the commands that put the states back and save again,
  // each in lines of at most 80 columns.
  const std::size_t at = err.find("vorlend-batch restore ");
  ASSERT_NE(at, std::string::npos) << err;
  EXPECT_NE(Unwrapped(err).find("nedokončeném archivu 1"), std::string::npos);
  std::size_t end = at;
  while ((end = err.find('\n', end + 1)) != std::string::npos && err[end - 1] == '\\') {
  }
  const std::string command = err.substr(at, end - at);
  EXPECT_NE(command.find(" --archive 1"), std::string::npos);
  for (const std::string& line : Split(err.substr(err.find("Uložení nebylo dokončeno")), '\n')) {
    EXPECT_LE(CharCount(line), 80u) << line;
  }
  EXPECT_EQ(err.find('\r'), std::string::npos);
  EXPECT_NE(err.find("vorlend-batch delete "), std::string::npos);
  EXPECT_NE(err.find("--modules VF --action lock"), std::string::npos) << err;

  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out.rfind("1\tincomplete\t[bez názvu]\t", 0), 0u) << out;

  // A new save would record the changed states: refused until the archive is restored, and
  // nothing is created meanwhile.
  EXPECT_EQ(Batch({"save", "--modules", "VF", "--action", "unlock"}), 1);
  EXPECT_NE(Unwrapped(err).find("Archiv 1 (\"[bez názvu]\") uložený "), std::string::npos) << err;
  EXPECT_NE(Unwrapped(err).find(" nebyl dokončen: "), std::string::npos) << err;
  EXPECT_NE(err.find("--ignore-incomplete"), std::string::npos);
  EXPECT_FALSE(DirectoryExists(agenda.Context().ArchiveRoot() + "2"));

  // The printed command, run as a shell runs it, restores every document.
  const std::string path = std::string(VORLEND_BIN_DIR) + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "");
  ASSERT_EQ(RunProgram({"/usr/bin/env", "PATH=" + path, "/bin/sh", "-c", command}, &out, &err), 0) << err;
  EXPECT_EQ(ReadLocks(table, "Cislo"), before);

  // Restored, the archive would change nothing more: the refusal says to delete it.
  EXPECT_EQ(Batch({"save", "--modules", "VF", "--action", "unlock"}), 1);
  EXPECT_NE(Unwrapped(err).find("jeho obnovení by už nic nezměnilo"), std::string::npos) << err;
  EXPECT_NE(err.find("vorlend-batch delete "), std::string::npos) << err;
  EXPECT_EQ(Batch({"save", "--modules", "VF", "--action", "unlock", "--ignore-incomplete"}), 0) << err;
  EXPECT_EQ(out, "2\n");
  // Archive 2 unlocked the documents again, so archive 1's restore would change them once more:
  // its deletion is refused without --force, in a dry run as in the real one.
  for (const char* dry : {"--dry-run", "--json"}) {
    EXPECT_EQ(Batch({"delete", "--archive", "1", dry}), 1) << dry;
    EXPECT_NE(Unwrapped(err).find("nebyl dokončen a jeho obnovení by ještě změnilo zámky dokladů: 2."),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("--force"), std::string::npos) << err;
  }
  EXPECT_TRUE(DirectoryExists(agenda.Context().ArchiveRoot() + "1"));
  // What a deletion takes is said, first in a dry run that takes nothing.
  ASSERT_EQ(Batch({"delete", "--archive", "1", "--dry-run", "--force"}), 0) << err;
  EXPECT_NE(err.find("Zkušební běh: smazal by se archiv 1 (\"[bez názvu]\""), std::string::npos) << err;
  EXPECT_NE(Unwrapped(err).find("nedokončený), uložené stavy zámků: 5."), std::string::npos) << err;
  EXPECT_TRUE(DirectoryExists(agenda.Context().ArchiveRoot() + "1"));
  ASSERT_EQ(Batch({"delete", "--archive", "1", "--force"}), 0) << err;
  EXPECT_EQ(err.rfind("Smazán archiv 1 (", 0), 0u) << err;
  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out.rfind("2\tcomplete\t", 0), 0u) << out;
}

TEST_F(BatchFixture, ASaveStoppedBeforeItChangedAnythingLeavesNoArchive) {
  const HostContext ctx = agenda.Context();
  // The first document is held: nothing has changed when the save stops. Then the third: the two
  // before it were already unlocked, so the save wrote them but changed nothing either.
  const std::string table = Table("Rok.002", "POKLKNIH");
  ASSERT_EQ(RunProgram({ToolPath("tablectl"), "set", table, "--index", "Cislo", "--key", "1", "Uzamceni=0"}), 0);
  for (const int held : {1, 3}) {
    HoldProcess holder(table, "Cislo", held);
    ASSERT_TRUE(holder.Locked());
    EXPECT_EQ(Batch({"save", "--modules", "PD", "--years", "2025", "--action", "unlock"}), 4);
    EXPECT_EQ(err.find("vorlend-batch restore"), std::string::npos) << err;
    EXPECT_FALSE(DirectoryExists(ctx.ArchiveRoot() + "1")) << held;
    ASSERT_EQ(Batch({"list"}), 0);
    EXPECT_EQ(out, "");
  }
}

TEST_F(BatchFixture, LockConflictWaitsWithRetry) {
  auto holder = std::make_unique<HoldProcess>(Table("Rok.002", "VFAKTURY"), "Cislo", 5);
  ASSERT_TRUE(holder->Locked());
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    holder->Release();
  });
  const int rc = Batch({"save", "--modules", "VF", "--action", "lock", "--on-conflict", "retry=30"});
  release.join();
  EXPECT_EQ(rc, 0) << err;
  EXPECT_EQ(out, "1\n");
  for (const auto& [key, value] : ReadLocks(Table("Rok.002", "VFAKTURY"), "Cislo")) EXPECT_EQ(value, "1");
}

// Money named the agenda below "Data"; a copy of the whole data directory sits beside it as "DATA".
// Only the folder Money named is read and written.
TEST(BatchCase, ASiblingFolderThatDiffersOnlyInCaseIsNeverTouched) {
  VORLEND_LINUX_ONLY("names that differ only in letter case cannot stand side by side on Windows");
  TempDir dir;
  AgendaBuilder agenda(dir, "Agenda.001", "Živá firma");
  agenda.AddRightsWithoutUsers();
  agenda.AddYear("Rok.001", "2025");
  for (const ModuleInfo& m : kModules) agenda.AddTable("Rok.001", m.moneyTable, MakeDocuments(20, 1, 2));
  const std::string live = ExcludeTrailingPathDelimiter(agenda.DataDir());
  const std::string copy = ExtractFilePath(live) + UpperCase(ExtractFileName(live));
  ASSERT_NE(copy, live);
  std::filesystem::copy(live, copy, std::filesystem::copy_options::recursive);
  TIniFile(copy + "/Agenda.001/AGENDA.INI").WriteString("Údaje o firmě", "Název-obchodní", "Kopie");
  const std::string copyTable = copy + "/Agenda.001/Rok.001/POKLKNIH";
  const std::string copyDump = DumpTable(copyTable);

  std::vector<std::string> argv = {std::string(VORLEND_BIN_DIR) + "/vorlend-batch", "save"};
  for (const std::string& g : agenda.Groups("Rok.001")) argv.push_back(g);
  for (const char* a : {"--modules", "PD", "--action", "unlock"}) argv.push_back(a);
  std::string out, err;
  ASSERT_EQ(RunProgram(argv, &out, &err), 0) << err;
  EXPECT_EQ(out, "1\n");
  for (const auto& [key, value] : ReadLocks(agenda.AgendaDir() + "Rok.001/POKLKNIH", "Cislo")) EXPECT_EQ(value, "0");
  EXPECT_EQ(DumpTable(copyTable), copyDump);
  EXPECT_TRUE(FileExists(live + "/KPX/Vorlend/Db/1/info"));
  EXPECT_FALSE(PathExists(copy + "/KPX"));
  EXPECT_EQ(TIniFile(live + "/KPX/Vorlend/Db/1/info").ReadString("MAIN", "AgendaName", ""), "Živá firma");
}

// No second user's action takes lock states a job still needs: a save that runs is seen and
// refuses the other jobs on its archive; a restore holds its archive, so a deletion is refused
// until it ends and its own deletion afterwards takes the archive it restored; a restore beside a
// deletion in progress changes nothing.
TEST_F(BatchFixture, AnArchiveInUseIsNeitherDeletedNorTakenByAnotherJob) {
  const std::string table = Table("Rok.002", "PFAKTURY");
  const std::string archive = agenda.Context().ArchiveRoot() + "1";
  const auto before = ReadLocks(table, "Cislo");
  // Runs the batch beside the test; the test waits until the job holds archive 1.
  auto beside = [&](std::vector<std::string> args, int& rc, std::string& berr) {
    std::vector<std::string> argv = {std::string(VORLEND_BIN_DIR) + "/vorlend-batch", args[0]};
    argv.insert(argv.end(), groups.begin(), groups.end());
    argv.insert(argv.end(), args.begin() + 1, args.end());
    return std::thread([argv, &rc, &berr] { rc = RunProgram(argv, nullptr, &berr); });
  };
  auto waitUntilHeld = [&] {
    for (int i = 0; i < 200; ++i) {
      if (FileExists(archive + "/info.tab") && DirectoryLock(archive, LockMode::Exclusive, 0).Busy()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  };

  // A save waits on a held document: it is listed as running, and nothing else takes its archive.
  auto holder = std::make_unique<HoldProcess>(table, "Cislo", 5);
  ASSERT_TRUE(holder->Locked());
  int rc = -1;
  std::string berr;
  std::thread job = beside(
      {"save", "--modules", "PF", "--years", "2025", "--action", "unlock", "--on-conflict", "retry=60"}, rc, berr);
  ASSERT_TRUE(waitUntilHeld());
  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out.rfind("1\trunning\t", 0), 0u) << out;
  EXPECT_EQ(Batch({"save", "--modules", "PF", "--action", "unlock"}), 1);
  EXPECT_NE(err.find("Archiv 1 (\"[bez názvu]\") se právě ukládá"), std::string::npos) << err;
  for (const char* command : {"restore", "delete", "show"}) {
    EXPECT_EQ(Batch({command, "--archive", "1"}), 1) << command;
    EXPECT_NE(err.find("Archiv \"[bez názvu]\" se právě ukládá"), std::string::npos) << command << err;
  }
  holder->Release();
  job.join();
  ASSERT_EQ(rc, 0) << berr;

  // A restore waits on a held document: the deletion is refused, the restore completes and then
  // deletes the archive it restored.
  holder = std::make_unique<HoldProcess>(table, "Cislo", 5);
  ASSERT_TRUE(holder->Locked());
  job = beside({"restore", "--archive", "1", "--delete-after", "--on-conflict", "retry=60"}, rc, berr);
  ASSERT_TRUE(waitUntilHeld());
  EXPECT_EQ(Batch({"delete", "--archive", "1"}), 1);
  EXPECT_NE(err.find("S archivem \"[bez názvu]\" právě pracuje jiný uživatel"), std::string::npos) << err;
  EXPECT_TRUE(DirectoryExists(archive));
  holder->Release();
  job.join();
  ASSERT_EQ(rc, 0) << berr;
  EXPECT_EQ(ReadLocks(table, "Cislo"), before);
  EXPECT_FALSE(PathExists(archive));

  // A restore beside a deletion in progress changes nothing.
  ASSERT_EQ(Batch({"save", "--modules", "PF", "--years", "2025", "--action", "unlock"}), 0) << err;
  const auto unlocked = ReadLocks(table, "Cislo");
  {
    const DirectoryLock deleting(archive);
    EXPECT_EQ(Batch({"restore", "--archive", "1"}), 1);
    EXPECT_NE(err.find("právě pracuje jiný uživatel"), std::string::npos) << err;
  }
  EXPECT_EQ(ReadLocks(table, "Cislo"), unlocked);
}

// A table that another program keeps in a write transaction is a conflict after a second, under
// every choice of the batch tool; the wait never grows with the other program's transaction.
TEST_F(BatchFixture, ABusyTableIsAConflictAtOnce) {
  const std::string table = Table("Rok.002", "INTDOKL");
  const auto before = ReadLocks(table, "Cislo");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(ResolvePath(table + ".dat").c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  // The other program never commits: a save that ends at all has not waited for it.
  EXPECT_EQ(Batch({"save", "--modules", "ID", "--years", "2025", "--action", "unlock"}), 4) << err;
  // Said as it is: another program's write, not a document another user holds.
  EXPECT_NE(Unwrapped(err).find("Tabulku modulu interní doklady 2025 drží jiný program"), std::string::npos) << err;
  EXPECT_EQ(Batch({"save", "--modules", "ID", "--years", "2025", "--action", "unlock", "--on-conflict", "retry=3"}), 4)
      << err;
  EXPECT_EQ(ReadLocks(table, "Cislo"), before);  // read by another process: the open transaction hides nothing
  // The other program commits while the save retries: the save goes on.
  std::thread commit([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  EXPECT_EQ(Batch({"save", "--modules", "ID", "--years", "2025", "--action", "unlock", "--on-conflict", "retry=30"}), 0)
      << err;
  commit.join();
  sqlite3_close(other);
  for (const auto& [key, value] : ReadLocks(table, "Cislo")) EXPECT_EQ(value, "0") << key;

  // A program that keeps the table to itself (SQLite's exclusive locking mode) is the same busy
  // table, not a table that cannot be opened, and the choice of waiting applies to it too.
  ASSERT_EQ(sqlite3_open_v2(ResolvePath(table + ".dat").c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT", nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(Batch({"restore", "--archive", "latest"}), 4) << err;
  EXPECT_NE(Unwrapped(err).find("Tabulku modulu interní doklady 2025 drží jiný program"), std::string::npos) << err;
  std::thread close([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sqlite3_close(other);
  });
  EXPECT_EQ(Batch({"restore", "--archive", "latest", "--on-conflict", "retry=30"}), 0) << err;
  close.join();
  EXPECT_EQ(ReadLocks(table, "Cislo"), before);
}

// A settings file that exists but cannot be read whole: the batch save never puts defaults in
// place of the remembered modules and action, and the file stays as it is.
TEST_F(BatchFixture, AnUnreadableSettingsFileIsNeverReplacedByDefaults) {
  const std::string settings = agenda.Context().SettingsFileName();
  ForceDirectories(ExtractFilePath(settings));
  const std::string bytes = "[SETTINGS]\r\nLockAction=1\r\n" + std::string(kMaxSmallFileBytes, ';');
  WriteBytes(ResolvePath(settings), bytes);
  EXPECT_EQ(Batch({"save", "--modules", "PD"}), 1);
  EXPECT_NE(err.find(settings), std::string::npos) << err;
  EXPECT_NE(Unwrapped(err).find("--modules a --action"), std::string::npos) << err;
  EXPECT_FALSE(DirectoryExists(agenda.Context().ArchiveRoot() + "1"));
  EXPECT_EQ(Batch({"save", "--modules", "PD", "--action", "lock"}), 0) << err;
  EXPECT_EQ(ReadBytes(ResolvePath(settings)), bytes);

  // A file that reads but yields no lock action: saved as UTF-16 by a plain editor, or cut short
  // before its last line. The remembered choice was to lock PD only.
  const std::string cut =
      "[SETTINGS]\r\nPokladna=1\r\nBanka=0\r\nPohledavky=0\r\nZavazky=0\r\nInterni=0\r\n"
      "Pfaktury=0\r\nVfaktury=0\r\nSkDoklady=0\r\n";
  std::string utf16 = "\xFF\xFE";
  for (const char c : cut + "LockAction=1\r\n") utf16 += std::string{c, '\0'};
  for (const std::string& unusable : {cut, utf16}) {
    WriteBytes(ResolvePath(settings), unusable);
    EXPECT_EQ(Batch({"save", "--modules", "PD"}), 1);
    EXPECT_NE(Unwrapped(err).find("--modules a --action"), std::string::npos) << err;
    EXPECT_EQ(ReadBytes(ResolvePath(settings)), unusable);
  }
}

// The archive folder is writable by every user of the agenda: nothing in it is followed through a
// symbolic link, read, written or created elsewhere. A link of any kind makes a damaged archive.
TEST_F(BatchFixture, LinksInTheArchiveFolderAreNeverFollowed) {
  VORLEND_LINUX_ONLY("symbolic links anyone may make, and FIFOs");
  namespace fs = std::filesystem;
  const std::string table = Table("Rok.002", "PFAKTURY");
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF", "--action", "unlock"}), 0) << err;
  const auto unlocked = ReadLocks(table, "Cislo");
  const std::string root = ResolvePath(agenda.Context().ArchiveRoot());
  const std::string outside = dir / "outside";
  fs::create_directories(outside);
  fs::copy(root + "1", outside + "/1", fs::copy_options::recursive);
  auto swap = [&](const std::string& name, const std::string& target) {
    fs::rename(root + "1/" + name, outside + "/kept");
    fs::create_symlink(target, root + "1/" + name);
  };
  auto unswap = [&](const std::string& name) {
    fs::remove(root + "1/" + name);
    fs::rename(outside + "/kept", root + "1/" + name);
  };

  // A directory or a description file that is a link is no archive.
  fs::create_directory_symlink(outside + "/1", root + "2");
  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out.rfind("1\tcomplete\t", 0), 0u) << out;
  EXPECT_EQ(out.find("\n2\t"), std::string::npos) << out;
  EXPECT_EQ(Batch({"restore", "--archive", "2"}), 1);
  swap("info", outside + "/1/info");
  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out, "");
  unswap("info");

  // A file list, an archive table or its lock file that is a link (to a file, dangling, or a FIFO)
  // stops the restore before any document changes, and `show` makes nothing where a link points.
  ASSERT_TRUE(MakeFifo(outside + "/fifo"));
  const std::pair<std::string, std::string> links[] = {{"info.tab", outside + "/1/info.tab"},
                                                       {"info.tab", outside + "/fifo"},
                                                       {"PF002.dat", outside + "/1/PF002.dat"},
                                                       {"PF002.dia", outside + "/made.dia"}};
  for (const auto& [name, target] : links) {
    swap(name, target);
    EXPECT_EQ(Batch({"restore", "--archive", "1"}), 1) << name << " -> " << target;
    EXPECT_EQ(ReadLocks(table, "Cislo"), unlocked) << name;
    EXPECT_EQ(Batch({"show", "--archive", "1"}), 1) << name << " -> " << target;
    EXPECT_FALSE(fs::exists(outside + "/made.dia"));
    unswap(name);
  }
  const auto files = Snapshot(root + "1");
  EXPECT_EQ(Batch({"show", "--archive", "1", "--documents"}), 0) << err;
  EXPECT_EQ(Snapshot(root + "1"), files);  // nothing made beside the tables either
  EXPECT_EQ(Batch({"restore", "--archive", "1"}), 0) << err;
  EXPECT_NE(ReadLocks(table, "Cislo"), unlocked);

  // A data directory reached through a link above it (a mount point, a moved home folder) works
  // as the directory itself; messages name the directory's own path.
  const std::string data = ExcludeTrailingPathDelimiter(agenda.DataDir());
  fs::create_directory_symlink(data, dir / "linked");
  const std::vector<std::string> direct = groups;
  for (std::string& g : groups) g = ReplaceAll(g, data, dir / "linked");
  ASSERT_NE(groups, direct);
  const auto before = ReadLocks(table, "Cislo");
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF", "--action", "unlock", "--force"}), 0) << err;
  const std::string number = out.substr(0, out.find('\n'));
  EXPECT_NE(ReadLocks(table, "Cislo"), before);
  ASSERT_EQ(Batch({"restore", "--archive", number, "--delete-after"}), 0) << err;
  EXPECT_EQ(ReadLocks(table, "Cislo"), before);

  // The archive root itself a link: every job is refused at its start.
  fs::rename(root, outside + "/Db");
  fs::create_directory_symlink(outside + "/Db", ExcludeTrailingPathDelimiter(root));
  for (const char* command : {"list", "save"}) {
    EXPECT_EQ(Batch({command}), 3) << command;
    EXPECT_NE(err.find("je symbolický odkaz"), std::string::npos) << err;
    EXPECT_NE(err.find(data + "/KPX/Vorlend/Db/"), std::string::npos) << err;
  }
}

// The agenda in memory where the machine has /dev/shm: the sweep's runs make many syncs, which
// would cost milliseconds each on a disk, and what a failed write leaves is decided by the door.
namespace {
std::string InMemoryFolder() {
#ifdef _WIN32
  return TempDirectory();
#else
  return DirectoryExists("/dev/shm") && FolderTakesNewFiles("/dev/shm/") ? "/dev/shm" : TempDirectory();
#endif
}
struct InMemoryTemp {
  TempFolderOverride temp{InMemoryFolder()};
};
struct FullDiskBatch : InMemoryTemp, BatchFixture {
  void SetUp() override {
    temp.Restore();  // the tools that tests start find the usual folder
    BatchFixture::SetUp();
  }
};
}  // namespace

// Each write of a save in turn meets a full disk, SQLite's writes and those through the file door
// alike: once as a disk that stays full (every later write that needs room fails too, removals
// still go), once as a disk that had room again at once. A save that fails then says that the disk
// is full and names the folder of a write that failed (of that very write when it was the only
// one), and no lock state is lost: whatever changed has its earlier state in the one archive the
// list offers, the archive is whole (its restore takes it and brings every document back), and
// without it every document is as it was. The tool runs in this process, where the file door and
// SQLite's file layer can be made to fail.
TEST_F(FullDiskBatch, AFullDiskAtEveryWriteOfASaveIsNamedAndLosesNothing) {
  namespace fs = std::filesystem;
  const HostContext ctx = agenda.Context();
  const std::vector<std::string> tables = {Table("Rok.002", "PFAKTURY"), Table("Rok.002", "VFAKTURY")};
  std::map<std::string, std::vector<std::pair<std::int32_t, std::string>>> seeded;
  for (const std::string& t : tables) seeded[t] = ReadLocks(t, "Cislo");
  const std::string data = ExcludeTrailingPathDelimiter(agenda.DataDir());
  const std::string pristine = dir / "pristine";
  fs::copy(NativePath(data), NativePath(pristine), fs::copy_options::recursive);
  auto inProcess = [&](const std::vector<std::string>& args) {
    std::vector<std::string> argv = {args[0]};
    argv.insert(argv.end(), groups.begin(), groups.end());
    argv.insert(argv.end(), args.begin() + 1, args.end());
    std::ostringstream o, e;
    const int status = RunBatch(argv, o, e);
    out = o.str();
    err = e.str();
    return status;
  };
  auto saveThrough = [&](FaultDoor& door) {
    fs::remove_all(NativePath(data));
    fs::copy(NativePath(pristine), NativePath(data), fs::copy_options::recursive);
    const ScopedFileDoor through(door);
    const ScopedSqliteFaults sqlite(door);
    return inProcess({"save", "--years", "2025", "--modules", "PF,VF", "--action", "unlock"});
  };
  // After a save that failed: its archive is left when, and only when, the save says so.
  auto checkNothingLost = [&](const std::string& at, bool failed) {
    if (failed) {
      const bool left = Unwrapped(err).find("je v nedokončeném archivu 1.") != std::string::npos;
      EXPECT_EQ(PathExists(ctx.ArchiveRoot() + "1"), left) << at << "\n" << err;
    }
    ArchiveList list;
    ASSERT_TRUE(LoadArchiveList(ctx, list).IsOk()) << at;
    ASSERT_LE(list.Count(), 1u) << at;
    if (list.Count() == 1) {
      EXPECT_EQ(list.Row(0).damage, "") << at;
      EXPECT_EQ(inProcess({"restore", "--archive", list.Row(0).Dir}), 0) << at << "\n" << err;
    }
    for (const std::string& t : tables) EXPECT_EQ(ReadLocks(t, "Cislo"), seeded[t]) << at << ": " << t;
  };

  FaultDoor counting;
  ASSERT_EQ(saveThrough(counting), 0) << err;
  const std::vector<DoorOperation> operations = counting.Operations();
  int writes = 0;
  int absorbed = 0;  // single failed writes that SQLite made good on its own
  for (std::size_t i = 0; i < operations.size(); ++i) {
    if (!operations[i].needsRoom) continue;
    ++writes;
    const long n = static_cast<long>(i + 1);
    const std::string what = std::to_string(n) + " (" + operations[i].what + " " + operations[i].path + ")";

    FaultDoor full;
    full.FullFrom(n);
    EXPECT_EQ(saveThrough(full), 1) << "full from operation " << what << "\n" << err;
    bool named = false;
    for (const DoorOperation& op : full.Operations()) {
      const std::string folder = ExtractFilePath(ResolvePath(op.path));
      named = named || (op.fault != Fault::None &&
                        Unwrapped(err).find("Na disku není dost místa pro " + folder + ".") != std::string::npos);
    }
    EXPECT_TRUE(named) << "full from operation " << what << "\n" << err;
    checkNothingLost("full from operation " + what, true);

#ifdef _WIN32
    // Under wine a save takes half a second: the disk that stays full is enough there to prove the
    // Windows side (the door's ERROR_DISK_FULL and SQLite's full disk noted); the rest is the
    // same code.
    continue;
#endif
    FaultDoor once;
    once.FailNth(n, Fault::NoSpace);
    const int status = saveThrough(once);
    const std::string folder = ExtractFilePath(ResolvePath(operations[i].path));
    absorbed += status == 0 ? 1 : 0;
    if (status != 0 || operations[i].what != "sqlite write") {
      EXPECT_EQ(status, 1) << "full at operation " << what << " only\n" << err;
      EXPECT_NE(Unwrapped(err).find("Na disku není dost místa pro " + folder + "."), std::string::npos)
          << "full at operation " << what << " only\n"
          << err;
    }
    checkNothingLost("full at operation " + what + " only", status != 0);
  }
  std::printf("a full disk met at each of %d writes of a save; %d single failed writes made good by SQLite\n", writes,
              absorbed);

  // A write that fails for another reason is not called a full disk.
  FaultDoor failing;
  failing.FailOnPath("*/info.tab", Fault::IoError);
  EXPECT_EQ(saveThrough(failing), 1) << err;
  EXPECT_NE(err.find("Nastala chyba při ukládání tabulky souborů"), std::string::npos) << err;
  EXPECT_EQ(err.find("Na disku"), std::string::npos) << err;
  checkNothingLost("an I/O error on info.tab", true);
}

// Two users of one agenda: saves started in the same instant never both run, and archives of the
// same tables are restored newest first, or the older one's states would be undone.
TEST_F(BatchFixture, TwoUsersArchivesNeverUndoEachOther) {
  const std::string table = Table("Rok.002", "PFAKTURY");
  const auto before = ReadLocks(table, "Cislo");
  const std::vector<std::string> save = {"save", "--years", "2025", "--modules", "PF,VF", "--action", "unlock"};
  auto beside = [&](std::vector<std::string> args, int& rc, std::string& o) {
    std::vector<std::string> argv = {std::string(VORLEND_BIN_DIR) + "/vorlend-batch", args[0]};
    argv.insert(argv.end(), groups.begin(), groups.end());
    argv.insert(argv.end(), args.begin() + 1, args.end());
    return std::thread([argv, &rc, &o] { rc = RunProgram(argv, &o, nullptr); });
  };
  for (int round = 0; round < 3; ++round) {
    int rc1 = -1, rc2 = -1;
    std::string out1, out2;
    std::thread first = beside(save, rc1, out1), second = beside(save, rc2, out2);
    first.join();
    second.join();
    ASSERT_EQ(std::min(rc1, rc2), 0) << round;
    ASSERT_EQ(std::max(rc1, rc2), 1) << round << ": both saves ran";
    const std::string number = (rc1 == 0 ? out1 : out2).substr(0, (rc1 == 0 ? out1 : out2).find('\n'));
    ASSERT_EQ(Batch({"restore", "--archive", number, "--delete-after"}), 0) << err;
    EXPECT_EQ(ReadLocks(table, "Cislo"), before) << round;
  }

  // A saves and unlocks; B's save of the same tables would record A's unlocked states as the
  // earlier ones: refused until forced.
  ASSERT_EQ(Batch(save), 0) << err;
  const std::string a = out.substr(0, out.find('\n'));
  EXPECT_EQ(Batch(save), 1);
  EXPECT_NE(Unwrapped(err).find("obsahuje stejné tabulky a jeho obnovení by ještě změnilo zámky"), std::string::npos)
      << err;
  std::vector<std::string> forced = save;
  forced.push_back("--force");
  ASSERT_EQ(Batch(forced), 0) << err;
  const std::string b = out.substr(0, out.find('\n'));
  // A's restore first would be undone by B's later: refused, nothing changed, until forced.
  const auto unlocked = ReadLocks(table, "Cislo");
  EXPECT_EQ(Batch({"restore", "--archive", a, "--delete-after"}), 1);
  EXPECT_NE(Unwrapped(err).find("je novější než archiv"), std::string::npos) << err;
  EXPECT_NE(err.find("--force"), std::string::npos) << err;
  EXPECT_EQ(ReadLocks(table, "Cislo"), unlocked);
  EXPECT_TRUE(DirectoryExists(agenda.Context().ArchiveRoot() + a));
  // Newest first puts every state back.
  ASSERT_EQ(Batch({"restore", "--archive", b, "--delete-after"}), 0) << err;
  ASSERT_EQ(Batch({"restore", "--archive", a, "--delete-after"}), 0) << err;
  EXPECT_EQ(ReadLocks(table, "Cislo"), before);
  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out, "");
}

// Storage that fails or changes under a job: an archive whose deletion cannot finish stays listed
// and restorable, and a restore whose archive folder is replaced meanwhile stops.
TEST_F(BatchFixture, AFailingOrReplacedArchiveFolderLosesNothing) {
  VORLEND_LINUX_ONLY("the immutable flag, and a folder renamed while a job holds it");
  const std::string pf = Table("Rok.002", "PFAKTURY"), vf = Table("Rok.002", "VFAKTURY");
  const auto before = ReadLocks(pf, "Cislo");
  const auto beforeVf = ReadLocks(vf, "Cislo");
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF,VF", "--action", "unlock"}), 0) << err;
  const std::string root = ResolvePath(agenda.Context().ArchiveRoot());
  // Shared storage: another user of the group may add and remove archives, whatever the umask.
  for (const std::string& folder : {root, root + "1"}) {
    const auto perms = std::filesystem::status(folder).permissions();
    EXPECT_NE(perms & std::filesystem::perms::group_write, std::filesystem::perms::none) << folder;
    EXPECT_NE(perms & std::filesystem::perms::set_gid, std::filesystem::perms::none) << folder;
  }
  if (!SetImmutable(root + "1/VF002.dat", true)) GTEST_SKIP() << "no immutable flag on this file system";
  EXPECT_EQ(Batch({"delete", "--archive", "1"}), 1);
  SetImmutable(root + "1/VF002.dat", false);
  EXPECT_NE(err.find("VF002.dat"), std::string::npos) << err;
  EXPECT_NE(err.find("Operation not permitted"), std::string::npos) << err;
  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out.rfind("1\tcomplete\t", 0), 0u) << out;
  EXPECT_EQ(Batch({"show", "--archive", "1"}), 0) << err;

  // The restore waits on a PF document another user holds; meanwhile the archive's folder is
  // replaced by a copy. The restore reads nothing from the copy: it stops before the VF table.
  auto holder = std::make_unique<HoldProcess>(pf, "Cislo", 20);
  ASSERT_TRUE(holder->Locked());
  int rc = -1;
  std::string rerr;
  std::vector<std::string> argv = {std::string(VORLEND_BIN_DIR) + "/vorlend-batch", "restore"};
  argv.insert(argv.end(), groups.begin(), groups.end());
  for (const char* o : {"--archive", "1", "--delete-after", "--on-conflict", "retry=60"}) argv.push_back(o);
  std::thread job([&] { rc = RunProgram(argv, nullptr, &rerr); });
  // The documents before the held one are written before the question: the restore is at work.
  for (int i = 0; i < 400 && ReadLocks(pf, "Cislo")[0] != before[0]; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_EQ(ReadLocks(pf, "Cislo")[0], before[0]);
  std::filesystem::rename(root + "1", root + "moved");
  std::filesystem::copy(root + "moved", root + "1", std::filesystem::copy_options::recursive);
  holder->Release();
  job.join();
  EXPECT_EQ(rc, 1) << rerr;
  EXPECT_NE(rerr.find("mezitím smazal nebo změnil jiný uživatel"), std::string::npos) << rerr;
  // Stopped half-way, it says that running it again finishes it.
  EXPECT_NE(Unwrapped(rerr).find("ostatní vrátí tentýž příkaz spuštěný znovu:\nvorlend-batch restore "),
            std::string::npos)
      << rerr;
  const auto unlockedVf = ReadLocks(vf, "Cislo");
  for (const auto& [key, value] : unlockedVf) EXPECT_EQ(value, "0") << key;
  EXPECT_TRUE(DirectoryExists(root + "1"));

  // `check` reads every archive whole: sound, then a table with a page overwritten.
  ASSERT_EQ(Batch({"check", "--archive", "all"}), 0) << err;
  EXPECT_EQ(out.rfind("Archiv 1 (\"[bez názvu]\"): v pořádku, záznamů 60", 0), 0u) << out;
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PD", "--action", "none"}), 0) << err;
  std::string page = ReadBytes(root + "2/PD002.dat");
  ASSERT_GT(page.size(), 8192u);
  for (std::size_t i = 4096; i < 8192; i += 3) page[i] = 'Z';
  WriteBytes(root + "2/PD002.dat", page);
  EXPECT_EQ(Batch({"check", "--archive", "all"}), 1);
  EXPECT_NE(out.find("Archiv 2 (\"[bez názvu]\"): poškozený\n  "), std::string::npos) << out;
  EXPECT_EQ(out.rfind("Archiv 1 ", 0), 0u) << out;

  EXPECT_EQ(Batch({"restore", "--archive", "1", "--delete-after"}), 0) << err;
  EXPECT_EQ(ReadLocks(pf, "Cislo"), before);
  EXPECT_EQ(ReadLocks(vf, "Cislo"), beforeVf);
}

// What another user who may not read the archive folder sees: a failure that says so and why,
// never an empty list or "no archive"; an archive folder of its own that it may not open is listed
// as damaged, not hidden.
TEST_F(BatchFixture, AnUnreadableArchiveFolderIsAFailureThatSaysWhy) {
  VORLEND_LINUX_ONLY("a second user and POSIX permissions");
  if (!std::filesystem::exists("/usr/bin/setpriv") ||
      RunProgram({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", "/bin/true"}) != 0) {
    GTEST_SKIP() << "no other user to run the tool as (needs root and setpriv)";
  }
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF", "--action", "none"}), 0) << err;
  const std::string root = ExcludeTrailingPathDelimiter(ResolvePath(agenda.Context().ArchiveRoot()));
  auto asOtherUser = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = {"/usr/bin/setpriv",
                                     "--reuid=65534",
                                     "--regid=65534",
                                     "--clear-groups",
                                     "--",
                                     std::string(VORLEND_BIN_DIR) + "/vorlend-batch",
                                     args[0]};
    argv.insert(argv.end(), groups.begin(), groups.end());
    argv.insert(argv.end(), args.begin() + 1, args.end());
    return RunProgram(argv, &out, &err);
  };
  ASSERT_EQ(asOtherUser({"list"}), 0) << err;
  ASSERT_EQ(out.rfind("1\tcomplete\t", 0), 0u) << out;
  namespace fs = std::filesystem;
  fs::permissions(root + "/1", fs::perms::owner_all);
  EXPECT_EQ(asOtherUser({"list"}), 0) << err;
  EXPECT_EQ(out.rfind("1\tdamaged\t", 0), 0u) << out;
  EXPECT_EQ(asOtherUser({"check", "--archive", "1"}), 1);
  EXPECT_NE(out.find("Permission denied"), std::string::npos) << out;
  fs::permissions(root, fs::perms::owner_all);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"list"}, {"show", "--archive", "latest"}, {"restore", "--archive", "1"}, {"check", "--archive", "all"}}) {
    EXPECT_EQ(asOtherUser(args), 1) << args[0];
    EXPECT_NE(Unwrapped(err).find("nelze přečíst (Permission denied)"), std::string::npos) << args[0] << err;
  }
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_all | fs::perms::others_read | fs::perms::others_exec |
                            fs::perms::set_gid);
  fs::permissions(root + "/1", fs::perms::owner_all | fs::perms::group_all | fs::perms::others_read |
                                   fs::perms::others_exec | fs::perms::set_gid);
  // A year whose folder cannot be read is no year the agenda lacks.
  const std::string year = ResolvePath(agenda.Context().AgendaPath + "Rok.002");
  fs::permissions(year, fs::perms::owner_all);
  EXPECT_EQ(asOtherUser({"save", "--years", "2025", "--modules", "PF", "--action", "none"}), 1);
  EXPECT_NE(Unwrapped(err).find("adresář účetního roku " + year + " (Permission denied) nelze přečíst"),
            std::string::npos)
      << err;
  fs::permissions(year, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
}

// The way back printed after a stopped save is quoted for the platform's shell: on Windows it runs
// in cmd.exe exactly as printed, continuation lines and all, and puts every state back.
TEST_F(BatchFixture, TheRecoveryCommandsRunAsPrintedInTheWindowsShell) {
#ifndef _WIN32
  GTEST_SKIP() << "Windows only: the commands are run by cmd.exe";
#else
  const std::string table = Table("Rok.002", "VFAKTURY");
  const auto before = ReadLocks(table, "Cislo");
  {
    HoldProcess holder(table, "Cislo", 5);
    ASSERT_TRUE(holder.Locked());
    ASSERT_EQ(Batch({"save", "--modules", "VF", "--action", "lock"}), 4) << err;
  }
  ASSERT_NE(ReadLocks(table, "Cislo"), before);
  const std::size_t at = err.find("vorlend-batch restore ");
  const std::size_t end = err.find("\n3. ", at);
  ASSERT_TRUE(at != std::string::npos && end != std::string::npos) << err;
  // The restore and the deletion, as printed, in a batch file of the Windows shell.
  std::string commands = ReplaceAll(err.substr(at, end - at), "2. ", "rem ");
  commands = ReplaceAll(commands, "\n", "\r\n");
  const std::string bin = "Z:" + ReplaceAll(std::string(VORLEND_BIN_DIR), "/", "\\");
  WriteBytes(dir / "zpet.bat", "@echo off\r\nset PATH=" + bin + ";%PATH%\r\n" + commands + "\r\n");
  std::string shellOut, shellErr;
  EXPECT_EQ(RunProgram({"cmd.exe", "/c", std::string(dir / "zpet.bat")}, &shellOut, &shellErr), 0) << shellErr;
  EXPECT_EQ(ReadLocks(table, "Cislo"), before) << shellErr;
  ASSERT_EQ(Batch({"list"}), 0);
  EXPECT_EQ(out, "");
#endif
}

// Money's data on a network share and Money's data nested deep: every job runs on an agenda that
// Money names by a UNC path (\\server\share\...), and a save and its restore on one whose tables
// lie beyond MAX_PATH.
TEST_F(BatchFixture, EveryJobRunsOnANetworkPathAndBeyondMaxPath) {
#ifndef _WIN32
  GTEST_SKIP() << "Windows only: UNC paths and MAX_PATH";
#else
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix || !*prefix) GTEST_SKIP() << "wine only: the share is a folder of wine's prefix";
  namespace fs = std::filesystem;
  const std::string money = dir / "Money";
  {
    // wine reads \\SERVER\SHARE\x as $WINEPREFIX/dosdevices/unc/SERVER/SHARE/x: a new folder there
    // is a share, holding a copy of the agenda.
    const std::string server = "Z:" + std::string(prefix) + "/dosdevices/unc/vorlend-test/";
    ASSERT_TRUE(ForceDirectories(server));
    TempFolderOverride temp(server);
    TempDir share;
    temp.Restore();
    fs::copy(NativePath(money), NativePath(share / "Money"), fs::copy_options::recursive);
    const std::string unc = "\\\\vorlend-test\\" + ExtractFileName(ExcludeTrailingPathDelimiter(share.Path())) +
                            "\\Money\\Data\\Agenda.001\\";
    groups[1] = "?AKTROK=" + unc + "Rok.002?AKTROK";
    const std::string table = ReplaceAll(unc, "\\", "/") + "Rok.002/PFAKTURY";
    const auto before = ReadLocks(table, "Cislo");
    ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF", "--action", "unlock"}), 0) << err;
    EXPECT_EQ(out, "1\n");
    for (const auto& [key, value] : ReadLocks(table, "Cislo")) EXPECT_EQ(value, "0");
    EXPECT_TRUE(FileExists(share / "Money/Data/KPX/Vorlend/Db/1/info"));
    ASSERT_EQ(Batch({"list"}), 0) << err;
    EXPECT_EQ(out.rfind("1\tcomplete\t", 0), 0u) << out;
    ASSERT_EQ(Batch({"show", "--archive", "1"}), 0) << err;
    EXPECT_NE(out.find("přijaté faktury 2025\tROK.002/PFAKTURY\t30\t10\t10\t0"), std::string::npos) << out;
    ASSERT_EQ(Batch({"check", "--archive", "all"}), 0) << err << out;
    ASSERT_EQ(Batch({"restore", "--archive", "1"}), 0) << err;
    EXPECT_EQ(ReadLocks(table, "Cislo"), before);
    ASSERT_EQ(Batch({"delete", "--archive", "1"}), 0) << err;
    EXPECT_FALSE(PathExists(share / "Money/Data/KPX/Vorlend/Db/1"));
    ASSERT_EQ(Batch({"list"}), 0) << err;
    EXPECT_EQ(out, "");
  }
  RemoveDir("Z:" + std::string(prefix) + "/dosdevices/unc/vorlend-test");  // unless another test's share is there

  // Money passes at most 255 characters for the year's folder; its tables' names go on beyond 260.
  const std::string tail = "Money/Data/Agenda.001/Rok.002";
  std::string deep = dir.Path();
  for (int level = 1; CharCount(deep) + CharCount(tail) + 20 < 250; ++level)
    deep += "Účetní data " + std::to_string(level) + "/";
  deep += std::string(250 - CharCount(deep) - CharCount(tail) - 1, 'x') + "/";
  ASSERT_TRUE(ForceDirectories(deep));
  fs::copy(NativePath(money), NativePath(deep + "Money"), fs::copy_options::recursive);
  const std::string year = deep + tail;
  const std::string table = year + "/PFAKTURY";
  ASSERT_EQ(CharCount(year), 250u);
  ASSERT_GT(CharCount(ResolvePath(table + ".dat")), 260u);
  groups[1] = "?AKTROK=" + year + "?AKTROK";
  const auto before = ReadLocks(table, "Cislo");
  ASSERT_EQ(Batch({"save", "--years", "2025", "--modules", "PF", "--action", "unlock"}), 0) << err;
  EXPECT_EQ(out, "1\n");
  for (const auto& [key, value] : ReadLocks(table, "Cislo")) EXPECT_EQ(value, "0");
  ASSERT_EQ(Batch({"restore", "--archive", "1", "--delete-after"}), 0) << err;
  EXPECT_EQ(ReadLocks(table, "Cislo"), before);
  ASSERT_EQ(Batch({"list"}), 0) << err;
  EXPECT_EQ(out, "");
#endif
}
