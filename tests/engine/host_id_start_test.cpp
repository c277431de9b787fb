#include <gtest/gtest.h>

#include "engine/host_record.h"

namespace kelvoran {

TEST(HostIdCounter, StartsAtOneAndDiscardedRecordsKeepTheirIds) {
  ASSERT_EQ(HostRecord::LastHostId(), 0) << "nothing may construct a record before this test";
  HostRecord first;
  EXPECT_EQ(first.HostId, 1);
  { HostRecord skipped; }  // like a settings section without a host name
  HostRecord third;
  EXPECT_EQ(third.HostId, first.HostId + 2);
  HostRecord copy(third);
  EXPECT_EQ(copy.HostId, third.HostId);
  EXPECT_EQ(HostRecord::LastHostId(), 3) << "a copy must not use up an id";
}

}  // namespace kelvoran
