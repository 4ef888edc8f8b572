// The proxy's own duties: one table at a time, calls on a closed proxy, the component's codes.
#include <gtest/gtest.h>

#include "host/bftable.h"
#include "support/table_support.h"
#include "support/temp_dir.h"

namespace vorlend {
namespace {

TEST(BFTable, OneTableAtATimeAndCallsWhenClosed) {
  test::TempDir dir;
  const std::string first = test::MakeDocTable(dir, "POKLKNIH", {1, 2});
  const std::string second = test::MakeDocTable(dir, "BANKKNIH", {5});
  TBFTable t;
  EXPECT_FALSE(t.IsOpen());
  t.CloseTable();
  EXPECT_THROW(t.GoTop(), HostError);
  EXPECT_THROW(t.IsEof(), HostError);
  EXPECT_THROW(t.Value("Cislo"), HostError);
  EXPECT_THROW(static_cast<void>(t.Post()), HostError);

  ASSERT_EQ(t.OpenTable(first + ".Dat"), 0);
  ASSERT_EQ(t.LockRecord(), 0);
  // Opening another table closes the first and releases its lock.
  ASSERT_EQ(t.OpenTable(second), 0);
  EXPECT_EQ(t.RecCount(), 1);
  TBFTable other;
  ASSERT_EQ(other.OpenTable(first), 0);
  EXPECT_EQ(other.LockRecord(), 0);
  // A failed open leaves the proxy closed.
  EXPECT_NE(t.OpenTable(dir / "NIC"), 0);
  EXPECT_FALSE(t.IsOpen());

  ASSERT_EQ(t.OpenTable(second), 0);
  ASSERT_EQ(t.SetOrder("Cislo"), 0);
  EXPECT_EQ(t.SeekN({Variant::FromInt(5)}), kSeekFound);
  EXPECT_EQ(t.EditRecord(), 0);
  EXPECT_NE(t.Seek1(Variant::FromInt(6)), kSeekFound);
  EXPECT_NE(t.EditRecord(), 0);
  EXPECT_NE(t.LockRecord(), 0);
  EXPECT_NE(t.Post(), 0);
  EXPECT_FALSE(t.LastError().empty());
  { TableCloser closer(t); }
  EXPECT_FALSE(t.IsOpen());
}

}  // namespace
}  // namespace vorlend
