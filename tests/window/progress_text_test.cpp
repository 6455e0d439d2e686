#include "window/progress_text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <climits>
#include <string>

namespace {

// The expected texts are written in UTF-8 here and converted to GBK by the C library,
// so a wrong byte escape in the product code cannot hide behind the same escape here.
std::string Gbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  EXPECT_NE(iconv(cd, &in, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1));
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

TEST(KiloFigure, DividesByThousandAndRoundsDown) {
  struct Case {
    std::int32_t bytes;
    std::int32_t figure;
  };
  const Case cases[] = {
      {0, 0},          {999, 0},         {1000, 1},         {1999, 1},
      {1024, 1},       {5234567, 5234},  {-1, -1},          {-999, -1},
      {-1000, -1},     {-1001, -2},      {INT32_MAX, 2147483}, {INT32_MIN, -2147484},
  };
  for (const Case& c : cases) EXPECT_EQ(KiloFigure(c.bytes), c.figure) << c.bytes;
}

TEST(PercentText, DecimalFollowedByPercentSign) {
  EXPECT_EQ(PercentText(0), "0%");
  EXPECT_EQ(PercentText(57), "57%");
  EXPECT_EQ(PercentText(100), "100%");
  EXPECT_EQ(PercentText(-3), "-3%");
}

TEST(StatusLine, SevenPartsWithFullWidthColons) {
  struct Case {
    std::int32_t speed, total, done;
    const char* utf8;
  };
  const Case cases[] = {
      {120400, 5234999, 1024000, "正在更新：120 KB/S 大小：5234 KB 已下载：1024 KB"},
      {0, 0, 0, "正在更新：0 KB/S 大小：0 KB 已下载：0 KB"},
      {999, 1999, 1000, "正在更新：0 KB/S 大小：1 KB 已下载：1 KB"},
      {-1, -1000, -1001, "正在更新：-1 KB/S 大小：-1 KB 已下载：-2 KB"},
      {INT32_MAX, 12345678, 12345000, "正在更新：2147483 KB/S 大小：12345 KB 已下载：12345 KB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatusLine(c.speed, c.total, c.done), Gbk(c.utf8)) << c.utf8;
  }
}

}  // namespace
