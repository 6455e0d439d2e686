// The figures of the progress display: FloorToInteger, the percentage and the end state.
#include "download/transfer_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "download/transfer.h"

namespace {

TEST(FloorToInteger, RoundsDownExceptJustBelowAWholeNumber) {
  const struct {
    double x;
    std::int32_t expected;
  } cases[] = {
      {0.0, 0},
      {28.999999999999996, 29},  // 29 / 100 * 100 in floating point
      {28.9999999999, 28},       // 1e-10 short: a real fraction
      {28.5, 28},
      {99.99, 99},
      {100.0, 100},
      {-2.5, -3},
      {-2.9999999999999996, -3},
      {-0.9999999999999, -1},
      {2147483647.0, 2147483647},
      {std::numeric_limits<double>::infinity(), 0},
      {-std::numeric_limits<double>::infinity(), 0},
      {std::nan(""), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FloorToInteger(c.x), c.expected) << c.x;
}

TEST(PercentOf, DividesFirstAndShowsNothingBeforeTheSizeIsKnown) {
  const struct {
    std::int32_t done, total, percent;
  } cases[] = {
      {29, 100, 29},  {0, 100, 0},       {100, 100, 100}, {99, 100, 99},
      {0, 0, 0},      {12345, 0, 0},     {1, 3, 33},      {2, 3, 66},
      {57, 100, 57},  {2147483647, 2147483647, 100},      {1048575, 1048576, 99},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PercentOf(c.done, c.total), c.percent) << c.done << " of " << c.total;
}

TEST(EndState, CompleteOnlyWhenTheReportedSizeArrivedInFull) {
  const struct {
    std::int32_t before;
    std::int64_t done;
    std::int32_t total;
    TransferStateValue after;
  } cases[] = {
      {Started, 100, 100, Complete},
      {Started, 99, 100, Incomplete},  // one byte fewer
      {Started, 0, 0, Complete},       // an empty package whose size was reported
      {Idle, 0, 0, Incomplete},        // ended before any size: server down, 404, no file
      {Started, 4294967396LL, 100, Incomplete},  // not fooled by 32-bit wrap-around
  };
  for (const auto& c : cases)
    EXPECT_EQ(EndState(c.before, c.done, c.total), c.after) << c.before << " " << c.done;
}

TEST(ToFigure, ClampsTo32Bits) {
  EXPECT_EQ(ToFigure(5), 5);
  EXPECT_EQ(ToFigure(1LL << 40), INT32_MAX);
  EXPECT_EQ(ToFigure(-(1LL << 40)), INT32_MIN);
}

}  // namespace
