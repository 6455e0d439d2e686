// The unpack operation on real archive files: result 1 only when every entry is in place,
// and a refused archive writes nothing, or nothing under a final name.
#include "components/zip/zip_unpack.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "../../support/zip_builder.h"
#include "sandbox.h"

namespace {

using testfs::Sandbox;
using testzip::Entry;

std::string Unpacks(Sandbox& box, const std::string& archive, int* result) {
  testfs::WriteFile(box.Path("package.zip"), archive);
  *result = UnpackArchive(box.Path("package.zip"), box.Path("out"));
  return box.Path("out");
}

TEST(UnpackArchive, PutsEveryEntryInPlace) {
  Sandbox box;
  const std::string big(300000, 'x');
  int result = 0;
  Unpacks(box,
          testzip::Build({
              {"app.exe", "MZ version 2"},
              {"data/", ""},
              {"data/conf.ini", "[new]\r\n"},
              {"a/b/c/deep.txt", big},        // folders the archive does not list
              {"stored.bin", "raw bytes", 0},  // method 0
              {"zero.txt", ""},
              {"empty\\", ""},                 // a backslash taken as "/"
              {".hidden", "dot file"},
          }),
          &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(box.List("out"),
            (std::set<std::string>{"app.exe", "data/", "data/conf.ini", "a/", "a/b/", "a/b/c/",
                                   "a/b/c/deep.txt", "stored.bin", "zero.txt", "empty/", ".hidden"}));
  EXPECT_EQ(testfs::ReadFile(box.Path("out\\app.exe")), "MZ version 2");
  EXPECT_EQ(testfs::ReadFile(box.Path("out\\data\\conf.ini")), "[new]\r\n");
  EXPECT_EQ(testfs::ReadFile(box.Path("out\\a\\b\\c\\deep.txt")), big);
  EXPECT_EQ(testfs::ReadFile(box.Path("out\\stored.bin")), "raw bytes");
  EXPECT_EQ(testfs::ReadFile(box.Path("out\\zero.txt")), "");
}

TEST(UnpackArchive, ReplacesFilesAlreadyInTheFolder) {
  Sandbox box;
  std::filesystem::create_directories(testfs::Native(box.Path("out\\data")));
  testfs::WriteFile(box.Path("out\\data\\conf.ini"), "old and longer than the new one");
  testfs::WriteFile(box.Path("out\\keep.txt"), "kept");
  int result = 0;
  Unpacks(box, testzip::Build({{"data/conf.ini", "new"}}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(testfs::ReadFile(box.Path("out\\data\\conf.ini")), "new");
  EXPECT_EQ(testfs::ReadFile(box.Path("out\\keep.txt")), "kept");
}

// A name that could land anywhere but in place fails the unpack before anything is
// written: the good entry before it is not written either, and nothing appears beside.
TEST(UnpackArchive, RefusesNamesOutsideTheFolderBeforeWritingAnything) {
  const std::vector<std::string> names = {
      "../escape.txt", "..\\escape.txt", "a/../../escape.txt", "a/b/../../../escape.txt",
      "/escape.txt", "\\escape.txt", "C:escape.txt", "C:/escape.txt", "C:\\escape.txt",
      "\\\\server\\share\\escape.txt", "//server/share/escape.txt", "..", "../", "a/..",
      "./x", "a//b", "...", ". ./x", "file.txt:stream", "CON", "nul.txt", "com1",
      std::string("x\0y", 3), "tab\there", "a?b", "a*b", "",
      // A lead byte does not hide a ".." from the checks: "\" splits byte by byte.
      "\x81\\..\\..\\escape.txt",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE("entry name: " + name);
    Sandbox box;
    int result = 0;
    Unpacks(box, testzip::Build({{"first.txt", "good"}, {name, "bad"}, {"last.txt", "good"}}), &result);
    EXPECT_NE(result, 1);
    EXPECT_EQ(box.List(), (std::set<std::string>{"package.zip"}));
  }
}

// Damaged or unreadable entries fail the unpack; the entry never shows under its name
// and no temporary file stays behind.
TEST(UnpackArchive, FailsOnDamagedEncryptedOrUnknownEntries) {
  const std::string data(5000, 'd');
  struct Case {
    const char* what;
    Entry bad;
  };
  const std::vector<Case> cases = {
      {"CRC mismatch, deflated", Entry("bad.txt", data, 8).DeclaringCrc(0x12345678u)},
      {"CRC mismatch, stored", Entry("bad.txt", data, 0).DeclaringCrc(0x12345678u)},
      {"stream shorter than declared", Entry("bad.txt", data, 8).DeclaringSize(6000u)},
      {"stored shorter than declared", Entry("bad.txt", data, 0).DeclaringSize(6000u)},
      {"encrypted flag", Entry("bad.txt", data, 0, 1)},
      {"unknown method 99", Entry("bad.txt", data, 99)},
      {"method 12 (bzip2)", Entry("bad.txt", data, 12)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    int result = 0;
    Unpacks(box, testzip::Build({{"good.txt", "fine"}, c.bad}), &result);
    EXPECT_NE(result, 1);
    const std::set<std::string> left = box.List();
    EXPECT_EQ(left.count("out/bad.txt"), 0u);
    for (const std::string& name : left) EXPECT_EQ(name.find("~unz"), std::string::npos) << name;
  }
}

TEST(UnpackArchive, FailsOnArchivesThatAreNotWhole) {
  const std::string good = testzip::Build({{"one.txt", std::string(4000, '1')}, {"two.txt", "2"}});
  std::string corruptData = good;
  corruptData[40] ^= 0x55;  // inside the first entry's deflated bytes
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty file", ""},
      {"not a ZIP", "<html>404 Not Found</html>"},
      {"cut in the central directory", good.substr(0, good.size() - 30)},
      {"cut before the end record", good.substr(0, good.size() - 10)},
      {"corrupt deflate data", corruptData},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Sandbox box;
    int result = 0;
    Unpacks(box, bytes, &result);
    EXPECT_NE(result, 1);
    if (testfs::Exists(box.Path("out\\one.txt"))) {
      EXPECT_EQ(testfs::ReadFile(box.Path("out\\one.txt")), std::string(4000, '1'));
    }
    for (const std::string& name : box.List()) EXPECT_EQ(name.find("~unz"), std::string::npos) << name;
  }
}

TEST(UnpackArchive, FailsWhenAnEntryCannotBeWrittenInPlace) {
  Sandbox box;
  std::filesystem::create_directories(testfs::Native(box.Path("out\\taken")));
  int result = 0;
  Unpacks(box, testzip::Build({{"taken", "a file where a folder is"}}), &result);
  EXPECT_NE(result, 1);
  EXPECT_TRUE(testfs::IsFolder(box.Path("out\\taken")));

  Unpacks(box, testzip::Build({{"file", "x"}, {"file/inner.txt", "below a file"}}), &result);
  EXPECT_NE(result, 1);
}

#ifndef _WIN32
// Archives of a real archiver: Debian's zip, writing to a file and streaming to a pipe
// (sizes and CRCs then follow each entry's data in a data descriptor).
TEST(UnpackArchive, UnpacksArchivesMadeByTheZipTool) {
  Sandbox box;
  std::filesystem::create_directories(testfs::Native(box.Path("tree\\d\\e")));
  std::string random(200000, '\0');
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 2654435761u) >> 13);
  testfs::WriteFile(box.Path("tree\\a.txt"), "top");
  testfs::WriteFile(box.Path("tree\\d\\e\\r.bin"), random);
  const std::string tree = testfs::Native(box.Path("tree")).string();
  for (const char* how : {"zip -q -r ../file.zip .", "zip -q -r - . | cat > ../file.zip"}) {
    SCOPED_TRACE(how);
    std::filesystem::remove_all(testfs::Native(box.Path("out")));
    ASSERT_EQ(std::system(("cd '" + tree + "' && " + how).c_str()), 0);
    ASSERT_EQ(UnpackArchive(box.Path("file.zip"), box.Path("out")), 1);
    EXPECT_EQ(box.List("out"), (std::set<std::string>{"a.txt", "d/", "d/e/", "d/e/r.bin"}));
    EXPECT_EQ(testfs::ReadFile(box.Path("out\\d\\e\\r.bin")), random);
  }
}
#endif

TEST(UnpackArchive, TakesUtf8FlaggedNamesIntoTheAnsiCodePage) {
  Sandbox box;
  int result = 0;
  // "中文.txt" in UTF-8, flagged as such.
  Unpacks(box, testzip::Build({{"\xE4\xB8\xAD\xE6\x96\x87.txt", "utf8", 8, 1u << 11}}), &result);
  ASSERT_EQ(result, 1);
#ifdef _WIN32
  ASSERT_EQ(GetACP(), 936u) << "the Windows tests run under code page 936";
  EXPECT_TRUE(testfs::Exists(box.Path("out\\\xD6\xD0\xCE\xC4.txt")));  // the GBK bytes
  // No exact ANSI form (an emoji), or not UTF-8 at all: refused.
  Sandbox other;
  Unpacks(other, testzip::Build({{"\xF0\x9F\x98\x80.txt", "x", 8, 1u << 11}}), &result);
  EXPECT_NE(result, 1);
  Unpacks(other, testzip::Build({{"\xC0\xAE\xC0\xAE/x.txt", "x", 8, 1u << 11}}), &result);
  EXPECT_NE(result, 1);
  EXPECT_EQ(other.List(), (std::set<std::string>{"package.zip"}));
#else
  EXPECT_TRUE(testfs::Exists(box.Path("out\\\xE4\xB8\xAD\xE6\x96\x87.txt")));  // bytes kept
#endif
  // A name without the flag is taken as ANSI bytes as they are.
  Unpacks(box, testzip::Build({{"\xD6\xD0.txt", "ansi"}}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_TRUE(testfs::Exists(box.Path("out\\\xD6\xD0.txt")));
}

}  // namespace
