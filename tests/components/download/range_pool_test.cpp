#include "components/download/range_pool.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(RangePool, SplitsTakesAndConfirms) {
  dl::RangePool pool;
  const int first = pool.Reset(1000, 4, 0);
  EXPECT_EQ(pool.End(first), 250);
  auto a = pool.Take(1, 100);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->pos, 250);
  EXPECT_EQ(a->end, 500);
  EXPECT_EQ(pool.Advance(a->id, 1, 10), 0) << "a pending claim takes no bytes";
  EXPECT_TRUE(pool.Confirm(a->id, 1));
  EXPECT_EQ(pool.Advance(a->id, 1, 300), 250) << "never past the range's end";
  EXPECT_EQ(pool.Take(2, 100)->pos, 500);
  EXPECT_EQ(pool.Take(3, 100)->pos, 750);
  EXPECT_FALSE(pool.AllReceived());
}

TEST(RangePool, ReleasedRangesResumeWhereTheyStopped) {
  dl::RangePool pool;
  pool.Reset(1000, 2, 0);
  auto a = pool.Take(1, 100);
  ASSERT_TRUE(pool.Confirm(a->id, 1));
  pool.Advance(a->id, 1, 120);
  pool.Release(a->id, 1);
  auto again = pool.Take(2, 100);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->pos, 620);
  EXPECT_EQ(again->end, 1000);
  EXPECT_EQ(pool.Advance(a->id, 1, 10), 0) << "the old owner has no say any more";
  pool.Rewind(again->id, 2, 600);  // not the owner's own position: ignored unless owner
  ASSERT_TRUE(pool.Confirm(again->id, 2));
  pool.Advance(again->id, 2, 50);
  pool.Rewind(again->id, 2, 630);
  EXPECT_EQ(pool.Advance(again->id, 2, 1000), 370);
}

TEST(RangePool, FinishedConnectionsTakeHalfOfTheLargestRange) {
  dl::RangePool pool;
  const int first = pool.Reset(1000, 1, 0);
  pool.Advance(first, 0, 200);
  auto half = pool.Take(1, 100);
  ASSERT_TRUE(half);
  EXPECT_EQ(half->pos, 600);
  EXPECT_EQ(half->end, 1000);
  EXPECT_EQ(pool.End(first), 600);
  EXPECT_FALSE(pool.Take(2, 300)) << "a half below the minimum is not worth a request";
}

TEST(RangePool, AStreamContinuesIntoAFreeOrPendingRangeButNotAConfirmedOne) {
  dl::RangePool pool;
  const int first = pool.Reset(900, 3, 0);
  auto b = pool.Take(1, 1);  // pending [300, 600)
  EXPECT_EQ(pool.Advance(first, 0, 400), 300);
  EXPECT_TRUE(pool.Extend(first, 0));
  EXPECT_FALSE(pool.Confirm(b->id, 1)) << "the stream got there first";
  EXPECT_EQ(pool.Advance(first, 0, 100), 100);
  auto c = pool.Take(2, 1000);  // [600, 900), confirmed
  ASSERT_TRUE(c);
  ASSERT_TRUE(pool.Confirm(c->id, 2));
  EXPECT_EQ(pool.Advance(first, 0, 500), 200);
  EXPECT_FALSE(pool.Extend(first, 0));
  EXPECT_EQ(pool.Advance(c->id, 2, 300), 300);
  EXPECT_TRUE(pool.AllReceived());
}

TEST(RangePool, EveryByteIsHandedOutExactlyOnceUnderContention) {
  dl::RangePool pool;
  constexpr std::int64_t size = 1 << 22;
  pool.Reset(size, 4, 0);
  std::vector<std::int64_t> received(8, 0);
  std::vector<std::thread> threads;
  for (int t = 1; t < 8; ++t) {
    threads.emplace_back([&, t] {
      while (auto claim = pool.Take(t, 4096)) {
        if (!pool.Confirm(claim->id, t)) continue;
        for (;;) {
          const auto n = pool.Advance(claim->id, t, 1000);
          if (n == 0 && !pool.Extend(claim->id, t)) break;
          received[t] += n;
        }
      }
    });
  }
  for (;;) {  // connection 0 streams its first range
    const auto n = pool.Advance(0, 0, 777);
    if (n == 0 && !pool.Extend(0, 0)) break;
    received[0] += n;
  }
  for (auto& th : threads) th.join();
  std::int64_t sum = 0;
  for (auto r : received) sum += r;
  EXPECT_EQ(sum, size);
  EXPECT_TRUE(pool.AllReceived());
}

}  // namespace
