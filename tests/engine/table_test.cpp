// The table engine's contract as the add-on relies on it, in one process: storage of values,
// orders and seeks, record numbers, deleting, bad files, and the template table.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "engine/host_error.h"
#include "engine/table.h"
#include "engine/table_files.h"
#include "host/bftable.h"
#include "host/bftable_engine.h"
#include "platform/files.h"
#include "support/portable.h"
#include "support/table_support.h"
#include "support/temp_dir.h"

namespace vorlend {
namespace {

using engine::FieldType;
using test::TempDir;

std::string MakeAllTypes(const TempDir& dir) {
  const std::string path = dir / "ALLTYPES";
  EXPECT_FALSE(engine::CreateTable(path,
                                   {{"T", FieldType::Text},
                                    {"I", FieldType::Integer},
                                    {"B", FieldType::Boolean},
                                    {"D", FieldType::Double},
                                    {"Dt", FieldType::Date},
                                    {"U", FieldType::Untyped}},
                                   {"T", "I+B"}));
  return path;
}

TEST(Table, ValuesKeepTheirTypeAcrossPostAndReopen) {
  TempDir dir;
  const std::string path = MakeAllTypes(dir);
  const std::string textWithNul("a\0b\tž", 7);
  {
    TBFTable t;
    ASSERT_EQ(t.OpenTable(path), 0);
    t.AppendBlank();
    // A blank record: typed empty values; dates and untyped fields are Null.
    EXPECT_EQ(t.Value("T"), Variant::FromString(""));
    EXPECT_EQ(t.Value("I"), Variant::FromInt(0));
    EXPECT_EQ(t.Value("B"), Variant::FromBool(false));
    EXPECT_TRUE(t.Value("Dt").IsNull());
    EXPECT_TRUE(t.Value("U").IsNull());
    t.SetValue("T", Variant::FromString(textWithNul));
    t.SetValue("I", Variant::FromInt(INT32_MIN));
    t.SetValue("B", Variant::FromBool(true));
    t.SetValue("D", Variant::FromDouble(0.1));
    t.SetValue("Dt", Variant::FromDate(45000.0));
    t.SetValue("U", Variant::FromString("007"));
    ASSERT_EQ(t.Post(), 0);
    t.AppendBlank();
    t.SetValue("I", Variant::FromString(" 42 "));  // converted to the field's type on write
    t.SetValue("B", Variant::Null());
    t.SetValue("Dt", Variant::FromDate(45000.75));
    t.SetValue("U", Variant::FromDouble(2.5));
    ASSERT_EQ(t.Post(), 0);
  }
  TBFTable t;
  ASSERT_EQ(t.OpenTable(path), 0);
  ASSERT_EQ(t.RecCount(), 2);
  ASSERT_EQ(t.GoTop(), 0);
  EXPECT_EQ(t.Value("T"), Variant::FromString(textWithNul));
  EXPECT_EQ(t.Value("i"), Variant::FromInt(INT32_MIN));  // field names ignore letter case
  EXPECT_EQ(t.Value("B"), Variant::FromBool(true));
  EXPECT_EQ(t.Value("D"), Variant::FromDouble(0.1));
  EXPECT_EQ(t.Value("Dt"), Variant::FromDate(45000.0));  // a whole day still reads as a date
  EXPECT_EQ(t.Value("U"), Variant::FromString("007"));   // untyped keeps text as text
  t.Skip();
  EXPECT_EQ(t.Value("I"), Variant::FromInt(42));
  EXPECT_TRUE(t.Value("B").IsNull());
  EXPECT_EQ(t.Value("Dt"), Variant::FromDate(45000.75));
  EXPECT_EQ(t.Value("U"), Variant::FromDouble(2.5));
  t.Skip();
  EXPECT_TRUE(t.IsEof());
}

TEST(Table, WritesThatDoNotFitAndUnknownFieldsThrow) {
  TempDir dir;
  TBFTable t;
  ASSERT_EQ(t.OpenTable(MakeAllTypes(dir)), 0);
  t.AppendBlank();
  EXPECT_THROW(t.SetValue("I", Variant::FromDouble(2147483648.0)), HostError);
  EXPECT_THROW(t.SetValue("I", Variant::FromString("dvanáct")), HostError);
  EXPECT_THROW(t.SetValue("I", Variant::FromDouble(NAN)), HostError);
  EXPECT_THROW(t.SetValue("Dt", Variant::FromString("zítra")), HostError);
  try {
    t.Value("Uzamcenx");
    FAIL() << "no exception";
  } catch (const HostError& e) {
    EXPECT_NE(std::string(e.what()).find("Uzamcenx"), std::string::npos);
  }
  EXPECT_THROW(t.SetValue("Nic", Variant::FromInt(1)), HostError);
  // Nothing that failed reached the record.
  ASSERT_EQ(t.Post(), 0);
  EXPECT_EQ(t.Value("I"), Variant::FromInt(0));
}

TEST(Table, OrdersAndSeeks) {
  TempDir dir;
  const std::string path = dir / "SETTINGS";
  ASSERT_FALSE(engine::CreateTable(
      path, {{"Section1", FieldType::Text}, {"Variable", FieldType::Text}, {"N", FieldType::Integer}},
      {"Section1+Variable"}));
  TBFTable t;
  ASSERT_EQ(t.OpenTable(path), 0);
  const std::vector<std::tuple<const char*, const char*, int>> rows = {
      {"b", "x", 1}, {"a", "y", 2}, {"a", "x", 3}, {"B", "x", 4}, {"a", "x", 5}};
  for (auto [s, v, n] : rows) {
    t.AppendBlank();
    t.SetValue("Section1", Variant::FromString(s));
    t.SetValue("Variable", Variant::FromString(v));
    t.SetValue("N", Variant::FromInt(n));
    ASSERT_EQ(t.Post(), 0);
  }
  auto walk = [&] {
    std::vector<int> seen;
    for (t.GoTop(); !t.IsEof(); t.Skip()) seen.push_back(t.Value("N").IntValue());
    return seen;
  };
  EXPECT_EQ(walk(), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_THROW(static_cast<void>(t.Seek1(Variant::FromString("a"))), HostError);  // no index selected
  EXPECT_NE(t.SetOrder("Section1"), 0);
  ASSERT_EQ(t.SetOrder("SECTION1+variable"), 0);
  // Binary order ("B" before "a"), ties by record number.
  EXPECT_EQ(walk(), (std::vector<int>{4, 3, 5, 2, 1}));

  EXPECT_EQ(t.Seek2(Variant::FromString("a"), Variant::FromString("x")), kSeekFound);
  EXPECT_EQ(t.Value("N"), Variant::FromInt(3));
  t.Skip();
  EXPECT_EQ(t.Value("N"), Variant::FromInt(5));
  EXPECT_EQ(t.SeekN({Variant::FromString("b")}), kSeekFound);  // a leading part of the key
  EXPECT_EQ(t.Value("N"), Variant::FromInt(1));
  EXPECT_NE(t.Seek2(Variant::FromString("A"), Variant::FromString("x")), kSeekFound);  // case counts
  EXPECT_TRUE(t.IsEof());
  EXPECT_THROW(t.Value("N"), HostError);
  EXPECT_THROW(static_cast<void>(t.SeekN({Variant::FromString("a"), Variant::FromString("x"), Variant::FromInt(1)})),
               HostError);
}

TEST(Table, IntegerKeysSeekAcrossVariantKinds) {
  TempDir dir;
  TBFTable t;
  ASSERT_EQ(t.OpenTable(test::MakeDocTable(dir, "DOC", {30, 10, 20})), 0);
  ASSERT_EQ(t.SetOrder("cislo"), 0);
  EXPECT_EQ(t.Seek1(Variant::FromInt(20)), kSeekFound);
  EXPECT_EQ(t.Value("Firma"), Variant::FromString("F20"));
  EXPECT_EQ(t.Seek1(Variant::FromString("10")), kSeekFound);
  EXPECT_EQ(t.Seek1(Variant::FromDouble(30.0)), kSeekFound);
  EXPECT_NE(t.Seek1(Variant::FromString("třicet")), kSeekFound);
  EXPECT_NE(t.Seek1(Variant::FromInt(15)), kSeekFound);
}

TEST(Table, DeletingKeepsTheWalkAndNumbersAreNeverReused) {
  TempDir dir;
  TBFTable t;
  ASSERT_EQ(t.OpenTable(test::MakeDocTable(dir, "DOC", {1, 2, 3})), 0);
  engine::Table& e = EngineTableOf(t);
  ASSERT_EQ(t.GoTop(), 0);
  t.Skip();
  EXPECT_EQ(t.DeleteRecord(), 0);
  EXPECT_THROW(t.Value("Cislo"), HostError);
  t.Skip();
  EXPECT_EQ(t.Value("Cislo"), Variant::FromInt(3));
  const std::int64_t third = e.RecordNumber();
  ASSERT_EQ(t.DeleteRecord(), 0);
  t.AppendBlank();
  ASSERT_EQ(t.Post(), 0);
  EXPECT_GT(e.RecordNumber(), third);  // the lock byte of a deleted record is never handed on
  EXPECT_EQ(t.RecCount(), 2);
}

TEST(Table, ATransactionHoldsItsLocksAndARollbackTakesEverythingBack) {
  TempDir dir;
  const std::string path = test::MakeDocTable(dir, "DOC", {1, 2, 3});
  TBFTable t, other;
  ASSERT_EQ(t.OpenTable(path), 0);
  ASSERT_EQ(other.OpenTable(path), 0);
  ASSERT_EQ(t.StartTransaction(true), 0);
  EXPECT_NE(t.StartTransaction(), 0);  // one at a time
  ASSERT_EQ(t.GoTop(), 0);
  ASSERT_EQ(t.LockRecord(), 0);
  t.SetValue("Uzamceni", Variant::FromBool(true));
  ASSERT_EQ(t.Post(), 0);
  t.AppendBlank();
  t.SetValue("Cislo", Variant::FromInt(4));
  ASSERT_EQ(t.Post(), 0);
  EXPECT_EQ(t.RecCount(), 4);
  // The posted record stays locked, and nobody else sees the transaction.
  ASSERT_EQ(other.GoTop(), 0);
  EXPECT_NE(other.LockRecord(), 0);
  EXPECT_EQ(other.RecCount(), 3);
  t.Rollback();
  EXPECT_EQ(t.RecCount(), 3);
  EXPECT_THROW(t.Value("Cislo"), HostError);  // the appended record is gone
  ASSERT_EQ(t.GoTop(), 0);
  EXPECT_EQ(t.Value("Uzamceni"), Variant::FromBool(false));
  EXPECT_EQ(other.LockRecord(), 0);
  other.CloseTable();

  ASSERT_EQ(t.StartTransaction(), 0);
  ASSERT_EQ(t.LockRecord(), 0);
  t.SetValue("Uzamceni", Variant::FromBool(true));
  ASSERT_EQ(t.Post(), 0);
  ASSERT_EQ(t.Commit(), 0);
  EXPECT_NE(t.Commit(), 0);  // nothing open any more
  ASSERT_EQ(other.OpenTable(path), 0);
  ASSERT_EQ(other.GoTop(), 0);
  EXPECT_EQ(other.LockRecord(), 0);
  EXPECT_EQ(other.Value("Uzamceni"), Variant::FromBool(true));
  other.CloseTable();

  // A block writes only the records it holds: record 3 is not locked for it.
  const int lock = t.FieldIndex("Uzamceni");
  ASSERT_EQ(t.StartTransaction(), 0);
  ASSERT_EQ(t.GoTop(), 0);
  ASSERT_EQ(t.LockRecordForBlock(), 0);
  t.Skip();
  ASSERT_EQ(t.LockRecordForBlock(), 0);
  EXPECT_NE(t.SetField({1, 2, 3}, lock, Variant::FromBool(false)), 0);
  ASSERT_EQ(t.SetField({1, 2}, lock, Variant::FromBool(false)), 0);
  ASSERT_EQ(other.OpenTable(path), 0);
  ASSERT_EQ(other.GoTop(), 0);
  EXPECT_NE(other.LockRecord(), 0);  // held until the block commits
  ASSERT_EQ(t.Commit(), 0);
  EXPECT_EQ(other.LockRecord(), 0);
  std::vector<std::int64_t> found;
  std::vector<Variant> values;
  t.ReadRecords({3, 1, 2, 9}, {lock}, found, values);
  EXPECT_EQ(found, (std::vector<std::int64_t>{1, 2, 3}));
  EXPECT_EQ(values,
            (std::vector<Variant>{Variant::FromBool(false), Variant::FromBool(false), Variant::FromBool(false)}));
}

TEST(Table, BadFilesDoNotOpenAndStayUnchanged) {
  TempDir dir;
  test::WriteBytes(dir / "TEXT.DAT", "[Global]\r\nÚčetní rok=2024\r\n");
  test::WriteBytes(dir / "EMPTY.dat", "");
  ForceDirectories(dir / "FOLDER.dat");
  const std::string good = test::MakeDocTable(dir, "GOOD", std::vector<int>(3000, 7));
  const std::string whole = test::ReadBytes(good + ".dat");
  test::WriteBytes(dir / "CUT.dat", whole.substr(0, whole.size() / 2));
  test::WriteBytes(dir / "TAIL.dat", whole.substr(0, whole.size() - 100));  // cut inside the last page
  {
    // An SQLite database that is not one of our tables.
    sqlite3* db = nullptr;
    sqlite3_open((dir / "FOREIGN.dat").c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE records(_RecNo INTEGER PRIMARY KEY, A TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }

  for (const std::string name : {"MISSING", "TEXT", "EMPTY", "FOLDER", "CUT", "TAIL", "FOREIGN"}) {
    SCOPED_TRACE(name);
    const std::string file = dir / (name + ".dat");
    const std::string before = FileExists(file) ? test::ReadBytes(file) : "";
    TBFTable t;
    EXPECT_NE(t.OpenTable(dir / name), 0);
    EXPECT_FALSE(t.LastError().empty());
    t.CloseTable();  // harmless after a failed open
    EXPECT_THROW(t.RecCount(), HostError);
    EXPECT_EQ(FileExists(file) ? test::ReadBytes(file) : "", before);
  }
  EXPECT_NE(TBFTable().OpenTable(dir.Path()), 0);

  // A FIFO or a device in a table's place would block a read or never end it: refused at once.
  VORLEND_LINUX_ONLY("FIFOs and devices in a table's place");
  ASSERT_TRUE(test::MakeFifo(dir / "FIFO.dat"));
  ASSERT_TRUE(test::MakeSymlink("/dev/zero", dir / "ZERO.dat"));
  ASSERT_TRUE(DeleteFile(dir / "GOOD.dia"));  // a sound table whose lock file is a FIFO
  ASSERT_TRUE(test::MakeFifo(dir / "GOOD.dia"));
  for (const std::string name : {"FIFO", "ZERO", "GOOD"}) {
    SCOPED_TRACE(name);
    TBFTable t;
    EXPECT_NE(t.OpenTable(dir / name), 0);
  }
}

// A walk reads ahead only the fields read so far; a field read for the first time in the middle
// of the walk must still come right, and stay right for the records after it.
TEST(Table, AFieldFirstReadLateInAWalkIsRight) {
  TempDir dir;
  std::vector<int> keys;
  for (int i = 1; i <= 1000; ++i) keys.push_back(i);
  TBFTable t;
  ASSERT_EQ(t.OpenTable(test::MakeDocTable(dir, "DOC", keys)), 0);
  ASSERT_EQ(t.SetOrder("Cislo"), 0);
  int checked = 0;
  for (t.GoTop(); !t.IsEof(); t.Skip()) {
    const int key = t.Value("Cislo").IntValue();
    if (key < 300) continue;
    ASSERT_EQ(t.Value("Firma"), Variant::FromString("F" + std::to_string(key)));
    ++checked;
  }
  EXPECT_EQ(checked, 701);
}

TEST(Table, AMissingLockFileIsMadeAgain) {
  TempDir dir;
  const std::string path = test::MakeDocTable(dir, "Doc", {1});
  ASSERT_TRUE(DeleteFile(path + ".dia"));
  TBFTable t;
  ASSERT_EQ(t.OpenTable(dir / "DOC.DAT"), 0);  // with ".DAT", in another letter case
  EXPECT_TRUE(FileExists(path + ".dia"));
  EXPECT_EQ(t.LockRecord(), 0);
}

TEST(Table, ACopyOfTheTemplateIsAnEmptyArchiveTable) {
  TempDir dir;
  const std::string pattern = std::string(VORLEND_BIN_DIR) + "/Pattern/DB1";
  ASSERT_TRUE(FileExists(pattern + ".DAT"));
  ASSERT_TRUE(FileExists(pattern + ".DIA"));
  EXPECT_FALSE(FileExists(pattern + ".DAT-wal"));
  EXPECT_FALSE(FileExists(pattern + ".DAT-shm"));
  ASSERT_TRUE(CopyFile(pattern + ".DAT", dir / "PD001.dat"));
  ASSERT_TRUE(CopyFile(pattern + ".DIA", dir / "PD001.dia"));
  TBFTable t;
  ASSERT_EQ(t.OpenTable(dir / "PD001"), 0);
  EXPECT_EQ(t.RecCount(), 0);
  EXPECT_NE(t.GoTop(), 0);
  EXPECT_TRUE(t.IsEof());
  EXPECT_EQ(t.SetOrder("ID"), 0);
  t.AppendBlank();
  ASSERT_EQ(t.Post(), 0);
  t.SetValue("ID", Variant::FromInt(24000001));
  t.SetValue("Lock", Variant::Null());  // a Null lock flag is archived as Null
  ASSERT_EQ(t.Post(), 0);
  ASSERT_EQ(t.Seek1(Variant::FromInt(24000001)), kSeekFound);
  EXPECT_TRUE(t.Value("Lock").IsNull());
  EXPECT_EQ(EngineTableOf(t).Fields().size(), 2u);
  EXPECT_EQ(EngineTableOf(t).Fields()[1].type, FieldType::Boolean);
}

// A walk that pauses (a question to the user) goes on from fresh data: a record changed and a
// record deleted by another handle during the pause are seen as they are now.
TEST(Table, AWalkAfterAPauseSeesChangesMadeMeanwhile) {
  TempDir dir;
  std::vector<int> keys;
  for (int k = 1; k <= 40; ++k) keys.push_back(k);
  const std::string path = test::MakeDocTable(dir, "DOC", keys);
  TBFTable walk;
  ASSERT_EQ(walk.OpenTable(path), 0);
  ASSERT_EQ(walk.GoTop(), 0);
  for (int i = 0; i < 4; ++i) walk.Skip();  // on record 5, in the middle of a read-ahead block
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  {
    TBFTable other;
    ASSERT_EQ(other.OpenTable(path), 0);
    ASSERT_EQ(other.SetOrder("Cislo"), 0);
    ASSERT_EQ(other.Seek1(Variant::FromInt(7)), kSeekFound);
    ASSERT_EQ(other.LockRecord(), 0);
    other.SetValue("Uzamceni", Variant::FromBool(true));
    ASSERT_EQ(other.Post(), 0);
    ASSERT_EQ(other.Seek1(Variant::FromInt(8)), kSeekFound);
    other.DeleteRecord();
  }
  walk.Skip();  // record 6
  walk.Skip();  // record 7
  EXPECT_EQ(walk.Value("Cislo"), Variant::FromInt(7));
  EXPECT_EQ(walk.Value("Uzamceni"), Variant::FromBool(true));
  walk.Skip();
  EXPECT_EQ(walk.Value("Cislo"), Variant::FromInt(9));
}

}  // namespace
}  // namespace vorlend
