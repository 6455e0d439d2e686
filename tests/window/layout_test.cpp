#include "window/layout.h"

#include <gtest/gtest.h>

namespace {

TEST(CentredOrigin, HalfTheFreeSpaceInWholePixels) {
  EXPECT_EQ(CentredOrigin(1280, 800).left, 480);  // (1280 - 319) / 2 = 480.5
  EXPECT_EQ(CentredOrigin(1280, 800).top, 348);   // (800 - 103) / 2 = 348.5
  EXPECT_EQ(CentredOrigin(1920, 1080).left, 800);
  EXPECT_EQ(CentredOrigin(1920, 1080).top, 488);
  EXPECT_EQ(CentredOrigin(319, 103).left, 0);
  // A screen smaller than the window puts it partly off the top-left edge.
  EXPECT_EQ(CentredOrigin(300, 100).left, -9);
  EXPECT_EQ(CentredOrigin(300, 100).top, -1);
}

}  // namespace
