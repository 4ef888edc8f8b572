// Record locks and concurrent changes: two handles in one process, a second process holding a
// lock with `tablectl hold`, a holder killed outright, and a walk while another handle writes.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "engine/table.h"
#include "engine/table_files.h"
#include "host/bftable.h"
#include "support/agenda_builder.h"
#include "support/table_support.h"
#include "support/temp_dir.h"

namespace vorlend {
namespace {

using test::HoldProcess;
using test::TempDir;

std::vector<int> Keys(int n) {
  std::vector<int> keys;
  for (int i = 1; i <= n; ++i) keys.push_back(i);
  return keys;
}

// Measures one call; a lock that waited would show here.
template <typename Fn>
std::chrono::milliseconds Timed(Fn fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

TEST(RecordLock, TwoHandlesInOneProcess) {
  TempDir dir;
  const std::string path = test::MakeDocTable(dir, "DOC", Keys(3));
  TBFTable a, b;
  ASSERT_EQ(a.OpenTable(path), 0);
  ASSERT_EQ(b.OpenTable(path), 0);
  ASSERT_EQ(a.SetOrder("Cislo"), 0);
  ASSERT_EQ(b.SetOrder("Cislo"), 0);
  ASSERT_EQ(a.Seek1(Variant::FromInt(2)), kSeekFound);
  ASSERT_EQ(b.Seek1(Variant::FromInt(2)), kSeekFound);

  ASSERT_EQ(a.LockRecord(), 0);
  EXPECT_EQ(a.LockRecord(), 0);  // retaking one's own lock succeeds
  int busy = 0;
  EXPECT_LT(Timed([&] { busy = b.LockRecord(); }).count(), 500);
  EXPECT_NE(busy, 0);
  // A post without a lock respects another handle's lock, and so does a delete.
  b.SetValue("Firma", Variant::FromString("B"));
  EXPECT_NE(b.Post(), 0);
  EXPECT_NE(b.DeleteRecord(), 0);

  a.EditRecord();
  a.SetValue("Uzamceni", Variant::FromBool(true));
  ASSERT_EQ(a.Post(), 0);  // releases the lock
  ASSERT_EQ(b.LockRecord(), 0);
  // The lock re-read the record: b sees a's change and its own unposted change is gone.
  EXPECT_EQ(b.Value("Uzamceni"), Variant::FromBool(true));
  EXPECT_EQ(b.Value("Firma"), Variant::FromString("F2"));
  EXPECT_NE(a.LockRecord(), 0);
  b.CloseTable();  // closing releases as well
  EXPECT_EQ(a.LockRecord(), 0);
  // A different record is free all along.
  ASSERT_EQ(b.OpenTable(path), 0);
  ASSERT_EQ(b.GoTop(), 0);
  EXPECT_EQ(b.LockRecord(), 0);
}

TEST(RecordLock, PostWritesOnlyTheFieldsSetSinceTheLock) {
  TempDir dir;
  const std::string path = test::MakeDocTable(dir, "DOC", Keys(1));
  TBFTable a, b;
  ASSERT_EQ(a.OpenTable(path), 0);
  ASSERT_EQ(b.OpenTable(path), 0);
  ASSERT_EQ(a.GoTop(), 0);  // a holds a copy of the record from now on
  ASSERT_EQ(b.GoTop(), 0);
  ASSERT_EQ(b.LockRecord(), 0);
  b.SetValue("Firma", Variant::FromString("Nový partner"));
  ASSERT_EQ(b.Post(), 0);

  ASSERT_EQ(a.LockRecord(), 0);
  a.SetValue("Uzamceni", Variant::FromBool(true));
  ASSERT_EQ(a.Post(), 0);
  EXPECT_EQ(test::DumpTable(path), "Cislo\tUzamceni\tFirma\n1\t1\tNový partner\n");
}

TEST(RecordLock, AnotherProcessHoldsTheLockUntilItLetsGo) {
  TempDir dir;
  const std::string path = test::MakeDocTable(dir, "DOC", Keys(5));
  TBFTable t;
  ASSERT_EQ(t.OpenTable(path), 0);
  ASSERT_EQ(t.SetOrder("Cislo"), 0);
  ASSERT_EQ(t.Seek1(Variant::FromInt(4)), kSeekFound);
  {
    HoldProcess holder(path, "Cislo", 4, {"Uzamceni=1", "Firma=Jiný uživatel"});
    ASSERT_TRUE(holder.Locked());
    int busy = 0;
    EXPECT_LT(Timed([&] { busy = t.LockRecord(); }).count(), 500);
    EXPECT_NE(busy, 0);
    EXPECT_NE(t.LockRecord(), 0);    // still busy on a retry
    EXPECT_EQ(holder.Release(), 0);  // posts its values, then exits
  }
  ASSERT_EQ(t.LockRecord(), 0);
  EXPECT_EQ(t.Value("Firma"), Variant::FromString("Jiný uživatel"));
  t.SetValue("Uzamceni", Variant::FromBool(false));
  ASSERT_EQ(t.Post(), 0);
  // The other process now finds the record free; a second holder on another record is no obstacle.
  HoldProcess other(path, "Cislo", 5);
  ASSERT_TRUE(other.Locked());
  EXPECT_EQ(t.LockRecord(), 0);
}

TEST(RecordLock, AKilledHolderReleasesItsLockAndLeavesASoundTable) {
  TempDir dir;
  const std::string path = test::MakeDocTable(dir, "DOC", Keys(50));
  TBFTable t;
  ASSERT_EQ(t.OpenTable(path), 0);
  ASSERT_EQ(t.SetOrder("Cislo"), 0);
  ASSERT_EQ(t.Seek1(Variant::FromInt(7)), kSeekFound);
  HoldProcess holder(path, "Cislo", 7, {"Uzamceni=1"});
  ASSERT_TRUE(holder.Locked());
  EXPECT_NE(t.LockRecord(), 0);
  holder.Kill();
  EXPECT_EQ(t.LockRecord(), 0);
  EXPECT_EQ(t.Value("Uzamceni"), Variant::FromBool(false));  // the killed holder posted nothing
  t.SetValue("Uzamceni", Variant::FromBool(true));
  ASSERT_EQ(t.Post(), 0);
  t.CloseTable();
  EXPECT_EQ(engine::CheckTable(path), "ok");
  std::string out;
  EXPECT_EQ(test::RunProgram({test::ToolPath("tablectl"), "check", path}, &out), 0);
  EXPECT_EQ(out, "ok\n");
  ASSERT_EQ(t.OpenTable(path), 0);
  EXPECT_EQ(t.RecCount(), 50);
}

// A walk in record order and one in key order, while another handle changes the lock flag of
// records ahead of the walk and appends new ones: every record that was there visits exactly once.
TEST(RecordLock, AWalkVisitsEveryRecordOnceWhileAnotherHandleWrites) {
  TempDir dir;
  std::vector<int> keys = Keys(10000);
  std::reverse(keys.begin(), keys.end());  // key order is the reverse of record order
  const std::string path = test::MakeDocTable(dir, "DOC", keys);
  for (const std::string order : {"", "Cislo"}) {
    SCOPED_TRACE(order);
    TBFTable walker, writer;
    ASSERT_EQ(walker.OpenTable(path), 0);
    ASSERT_EQ(writer.OpenTable(path), 0);
    ASSERT_EQ(walker.SetOrder(order), 0);
    ASSERT_EQ(writer.SetOrder("Cislo"), 0);
    std::set<int> seen;
    int visits = 0, mismatched = 0;
    for (walker.GoTop(); !walker.IsEof(); walker.Skip()) {
      const int key = walker.Value("Cislo").IntValue();
      ++visits;
      if (key > 10000) continue;  // appended meanwhile
      seen.insert(key);
      if (visits % 50 != 0) continue;
      // The writer flips the record 10 steps ahead of the walker.
      const int ahead = order.empty() ? key - 10 : key + 10;
      if (ahead >= 1 && ahead <= 10000 && writer.Seek1(Variant::FromInt(ahead)) == kSeekFound) {
        ASSERT_EQ(writer.LockRecord(), 0);
        writer.SetValue("Uzamceni", Variant::FromBool(true));
        ASSERT_EQ(writer.Post(), 0);
      }
      writer.AppendBlank();
      writer.SetValue("Cislo", Variant::FromInt(20000 + visits));
      ASSERT_EQ(writer.Post(), 0);
      // The walker's own lock re-reads: it never acts on a stale copy.
      ASSERT_EQ(walker.LockRecord(), 0);
      if (walker.Value("Cislo").IntValue() != key) ++mismatched;
      ASSERT_EQ(walker.Post(), 0);
    }
    EXPECT_EQ(seen.size(), 10000u);
    EXPECT_EQ(mismatched, 0);
  }
  // Every flip of the second pass reached the table.
  TBFTable check;
  ASSERT_EQ(check.OpenTable(path), 0);
  int lockedCount = 0;
  for (check.GoTop(); !check.IsEof(); check.Skip())
    lockedCount += check.Value("Uzamceni").IsNull() ? 0 : check.Value("Uzamceni").BoolValue();
  EXPECT_GT(lockedCount, 300);
}

}  // namespace
}  // namespace vorlend
