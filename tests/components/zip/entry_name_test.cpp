// The name rules that keep every entry below the unpack folder.
#include "components/zip/entry_name.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using zipentry::CheckEntryName;
using zipentry::FolderLevels;

TEST(CheckEntryName, PlacesNamesBelowTheFolder) {
  struct Case {
    const char* name;
    const char* relative;
    bool folder;
  };
  const Case cases[] = {
      {"app.exe", "app.exe", false},
      {"data/", "data", true},
      {"data\\", "data", true},
      {"data/conf.ini", "data\\conf.ini", false},
      {"a\\b/c", "a\\b\\c", false},
      {".hidden", ".hidden", false},
      {"a..b/..c", "a..b\\..c", false},
      {"console.txt", "console.txt", false},
      {"com10", "com10", false},
      {"\xB1\xED/\xD6\xD0.txt", "\xB1\xED\\\xD6\xD0.txt", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = CheckEntryName(c.name);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->relative, c.relative);
    EXPECT_EQ(path->folder, c.folder);
  }
}

TEST(CheckEntryName, RefusesNamesThatLeaveTheFolder) {
  for (const char* name : {"..", "../x", "a/../../x", "..\\x", "/x", "\\x", "\\\\srv\\share\\x",
                           "C:x", "c:\\x", "x:y", "a//b", "./a", "a/./b", "a/ /b", "a/. ./b",
                           "AUX", "Lpt1.log", "con .txt", "a/NUL", "a\x1f", "a|b\"", "<a>"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(CheckEntryName(name).has_value());
  }
  // A lead byte before "\" does not turn "\.." into part of one character.
  EXPECT_FALSE(CheckEntryName("\x81\\..\\..\\x").has_value());
  // A final "\" that is a trail byte is not a folder mark; the name is refused.
  EXPECT_FALSE(CheckEntryName("\x81\\").has_value());
}

TEST(FolderLevels, NamesEachLevelToCreateSteppingOverDoubleByteCharacters) {
  EXPECT_EQ(FolderLevels(*CheckEntryName("file.txt")), std::vector<std::size_t>{});
  EXPECT_EQ(FolderLevels(*CheckEntryName("a/bb/c.txt")), (std::vector<std::size_t>{1, 4}));
  EXPECT_EQ(FolderLevels(*CheckEntryName("a/bb/")), (std::vector<std::size_t>{1, 4}));
  // "\x95\x5C" is one double-byte character: its "\" byte is not a level.
  EXPECT_EQ(FolderLevels(*CheckEntryName("\x95\\x/y")), (std::vector<std::size_t>{3}));
}

}  // namespace
