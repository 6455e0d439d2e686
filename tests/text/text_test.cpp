#include "text/text.h"

#include <gtest/gtest.h>

namespace {

// "中" in GBK is D6 D0; "\x81\x5C" is a double-byte character whose trail byte is '\'.
const std::string kZhong = "\xD6\xD0";
const std::string kTrailBackslash = "\x81\x5C";

TEST(Text, CompareIsUnsignedBytewise) {
  struct Case { std::string a, b; int sign; } cases[] = {
      {"", "", 0}, {"a", "", 1}, {"", "a", -1}, {"abc", "abc", 0},
      {"abc", "ABC", 1}, {"\x80", "a", 1}, {"ab", "abc", -1}, {kZhong, kZhong, 0},
  };
  for (const auto& c : cases) {
    const int r = text::Compare(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
  }
}

TEST(Text, FindStepsOverDoubleByteCharacters) {
  // "\x81" followed by "<#>": the "<" is a trail byte and must not start a match.
  EXPECT_EQ(text::Find("\x81<#>", "<#>"), text::npos);
  EXPECT_EQ(text::Find("a\x81<<#>", "<#>"), 3u);
  EXPECT_EQ(text::Find("abc", ""), text::npos);
  EXPECT_EQ(text::Find("ab.zip.zip", ".zip", 3), 6u);
  EXPECT_EQ(text::FindLastByte("C:\\a" + kTrailBackslash, '\\'), 2u);
  EXPECT_EQ(text::FindLastByte("noslash", '\\'), text::npos);
}

TEST(Text, ReplaceAndSplit) {
  EXPECT_EQ(text::ReplaceAll("My<?>Tool<?><?>", "<?>", " "), "My Tool  ");
  EXPECT_EQ(text::ReplaceAll("a<?>#>", "<?>", " "), "a #>");
  struct Case { std::string in; std::vector<std::string> out; } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a<#>b", {"a", "b"}},
      {"<#>a", {"", "a"}},
      {"a<#>", {"a"}},
      {"a<#><#>b", {"a", "", "b"}},
      {"<#>", {""}},
      {"\x81<#>", {"\x81<#>"}},
  };
  for (const auto& c : cases) EXPECT_EQ(text::Split(c.in, "<#>"), c.out) << c.in;
}

TEST(Text, LowerCasesAsciiOnly) {
  EXPECT_EQ(text::LowerAscii("A.ZIP"), "a.zip");
  // The trail byte 0x41 ('A') of a double-byte character stays.
  EXPECT_EQ(text::LowerAscii("\x81" "AB"), "\x81" "Ab");
  EXPECT_EQ(text::LowerAscii(kZhong + "Z"), kZhong + "z");
}

TEST(Text, NumbersAndParts) {
  EXPECT_EQ(text::FromInt(0), "0");
  EXPECT_EQ(text::FromInt(-1234567), "-1234567");
  EXPECT_EQ(text::Left("abc", 7), "abc");
  EXPECT_EQ(text::Right("abcdef", 4), "cdef");
  EXPECT_EQ(text::Right("ab", 4), "ab");
}

}  // namespace
