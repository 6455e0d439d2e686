// The staging paths, ClearStaging, ProbeFolder and CreateFolderPath's level walk on real
// folders under Wine's temporary folder.
#include "install/staging.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "../system/scratch.h"
#include "startup/globals.h"

namespace {

// A name too long for any path: creating a folder of that name always fails.
const std::string kUncreatable(300, 'n');

// Runs the test with `folder` as the current directory, for the relative paths.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& folder) {
    GetCurrentDirectoryA(MAX_PATH, previous_);
    SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentDirectory() { SetCurrentDirectoryA(previous_); }

 private:
  char previous_[MAX_PATH] = {};
};

class PackageKindAs {
 public:
  explicit PackageKindAs(const std::string& kind) : previous_(globals::PackageKind) {
    globals::PackageKind = kind;
  }
  ~PackageKindAs() { globals::PackageKind = previous_; }

 private:
  std::string previous_;
};

TEST(StagingPaths, BesideEachOtherInTheTemporaryFolder) {
  const std::string temp = scratch::TempFolder();
  ASSERT_EQ(temp.back(), '\\');
  EXPECT_EQ(StagingFolderPath(), temp + "Temp");
  {
    PackageKindAs kind(".zip");
    EXPECT_EQ(StagedPackagePath(), temp + "Temp.zip");
  }
  {
    PackageKindAs kind(".exe");
    EXPECT_EQ(StagedPackagePath(), temp + "Temp.exe");
  }
  PackageKindAs kind("");
  EXPECT_EQ(StagedPackagePath(), StagingFolderPath());
}

TEST(ClearStaging, RemovesThePackageAndTheStagingTreeOnly) {
  const std::string temp = scratch::TempFolder();
  const std::string folder = temp + "Temp", zip = temp + "Temp.zip", exe = temp + "Temp.exe";
  const std::string neighbour = temp + "Temp.keep";
  scratch::DeleteTree(folder);
  scratch::DeleteTree(zip);
  scratch::DeleteTree(exe);
  ASSERT_TRUE(scratch::WriteText(neighbour, "keep"));

  PackageKindAs kind(".zip");
  ClearStaging();  // nothing there: nothing happens
  EXPECT_TRUE(scratch::Exists(neighbour));

  ASSERT_TRUE(scratch::WriteText(zip, "PK"));
  ASSERT_TRUE(scratch::WriteText(exe, "MZ"));
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((folder + "\\sub").c_str(), nullptr));
  ASSERT_TRUE(scratch::WriteText(folder + "\\sub\\file.txt", "x"));
  SetFileAttributesA((folder + "\\sub\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ClearStaging();
  EXPECT_FALSE(scratch::Exists(zip));
  EXPECT_FALSE(scratch::Exists(folder));
  EXPECT_TRUE(scratch::Exists(exe)) << "only the package of this run's kind";
  EXPECT_TRUE(scratch::Exists(neighbour));

  // Before the kind is known the package path is the folder path: a plain file of that
  // name goes, and so does the folder.
  PackageKindAs none("");
  ASSERT_TRUE(scratch::WriteText(folder, "plain"));
  ClearStaging();
  EXPECT_FALSE(scratch::Exists(folder));
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ClearStaging();
  EXPECT_FALSE(scratch::Exists(folder));

  scratch::DeleteTree(exe);
  scratch::DeleteTree(neighbour);
}

TEST(ProbeFolder, TrueOnlyWhereTheProbeFileCanBePlaced) {
  scratch::Folder dir("h2_probe");
  const std::string chinese = dir / "\xD6\xD0\xCE\xC4";  // "中文"
  ASSERT_TRUE(CreateDirectoryA(chinese.c_str(), nullptr));

  struct Case {
    std::string folder;
    bool result;
  } cases[] = {
      {dir.path(), true},
      {dir.path() + "\\", true},  // "\\TEMP.TMP": the doubled backslash is harmless
      {chinese, true},
      {dir / "missing", false},
      {dir / "missing\\deeper", false},
      // Blanks only (the ASCII space and the ideographic space "\xA1\xA1"): false.
      {"", false},
      {" ", false},
      {"\xA1\xA1", false},
      {" \xA1\xA1  \xA1\xA1", false},
      {"\t", false},  // not a blank, but no folder either
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProbeFolder(c.folder), c.result) << c.folder;
    EXPECT_FALSE(scratch::Exists(c.folder + "\\TEMP.TMP")) << "left behind in " << c.folder;
  }
  EXPECT_FALSE(scratch::Exists(dir / "missing")) << "a probe creates no folder";
}

TEST(ProbeFolder, AnExistingProbeNameAnswersTrueAndIsLeftAlone) {
  scratch::Folder dir("h2_probe_existing");
  const std::string probe = dir / "TEMP.TMP";
  // Someone's file of that name is neither truncated nor deleted.
  ASSERT_TRUE(scratch::WriteText(probe, "mine"));
  EXPECT_TRUE(ProbeFolder(dir.path()));
  EXPECT_EQ(scratch::ReadText(probe), "mine");
  // A read-only one cannot be overwritten: the name exists all the same.
  SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(ProbeFolder(dir.path()));
  EXPECT_EQ(scratch::ReadText(probe), "mine");
  SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(probe.c_str());
  // A folder of that name counts as well.
  ASSERT_TRUE(CreateDirectoryA(probe.c_str(), nullptr));
  EXPECT_TRUE(ProbeFolder(dir.path()));
  EXPECT_TRUE(scratch::IsFolder(probe));
}

TEST(CreateFolderPath, CreatesEveryMissingLevel) {
  scratch::Folder dir("h2_create");
  const std::string deep = dir / "a\\b\\\xD6\xD0\xCE\xC4";
  EXPECT_EQ(CreateFolderPath(deep), 1);
  EXPECT_TRUE(scratch::IsFolder(deep));
  EXPECT_EQ(CreateFolderPath(deep), 0);
  EXPECT_EQ(CreateFolderPath(deep + "\\"), 0);  // one trailing backslash is cut
  EXPECT_EQ(CreateFolderPath(dir / "a\\b\\c\\"), 1);
  EXPECT_TRUE(scratch::IsFolder(dir / "a\\b\\c"));
  EXPECT_EQ(CreateFolderPath(dir.path()), 0);
  EXPECT_EQ(CreateFolderPath(""), -1);
  // Two trailing backslashes keep one, which is never found; every level exists: 1.
  EXPECT_EQ(CreateFolderPath(dir / "a\\\\"), 1);
  // The drive: a single piece, never created; "C:\" is cut to "C:".
  EXPECT_EQ(CreateFolderPath("C:\\"), 0);
  EXPECT_EQ(CreateFolderPath("C:"), 0);
}

TEST(CreateFolderPath, FailureRemovesOnlyTheChainThisCallCreated) {
  scratch::Folder dir("h2_create_fail");
  // x is created, x\<name> cannot be: x goes again.
  EXPECT_EQ(CreateFolderPath(dir / "x\\" + kUncreatable), -1);
  EXPECT_FALSE(scratch::Exists(dir / "x"));
  EXPECT_TRUE(scratch::IsFolder(dir.path()));
  // A longer chain goes with everything in it.
  EXPECT_EQ(CreateFolderPath(dir / "p\\q\\r\\" + kUncreatable), -1);
  EXPECT_FALSE(scratch::Exists(dir / "p"));
  // Below an existing level that was not created by the call nothing is removed.
  ASSERT_TRUE(CreateDirectoryA((dir / "kept").c_str(), nullptr));
  EXPECT_EQ(CreateFolderPath(dir / "kept\\" + kUncreatable), -1);
  EXPECT_TRUE(scratch::IsFolder(dir / "kept"));
  // A plain file is no folder: the level cannot be created, the file stays.
  ASSERT_TRUE(scratch::WriteText(dir / "file", "f"));
  EXPECT_EQ(CreateFolderPath(dir / "file\\sub"), -1);
  EXPECT_EQ(scratch::ReadText(dir / "file"), "f");
  // Two backslashes in a row below an existing folder: the empty level ends in a
  // backslash, is never found, cannot be created, and the folder above stays.
  EXPECT_EQ(CreateFolderPath(dir.path() + "\\\\y"), -1);
  EXPECT_TRUE(scratch::IsFolder(dir.path()));
  EXPECT_FALSE(scratch::Exists(dir / "y"));
}

TEST(CreateFolderPath, RelativePathsNeverCreateTheirFirstPiece) {
  scratch::Folder dir("h2_create_relative");
  CurrentDirectory here(dir.path());
  // A single piece is never tested by the walk: 1 with nothing created, 0 when it exists.
  EXPECT_EQ(CreateFolderPath("solo"), 1);
  EXPECT_FALSE(scratch::Exists(dir / "solo"));
  ASSERT_TRUE(CreateDirectoryA((dir / "there").c_str(), nullptr));
  EXPECT_EQ(CreateFolderPath("there"), 0);
  // a\b never creates a: with a missing, creating a\b fails.
  EXPECT_EQ(CreateFolderPath("a\\b"), -1);
  EXPECT_FALSE(scratch::Exists(dir / "a"));
  EXPECT_EQ(CreateFolderPath("there\\b"), 1);
  EXPECT_TRUE(scratch::IsFolder(dir / "there\\b"));
  // When level 1 itself was missing nothing is remembered: a later failure leaves the
  // created levels in place.
  EXPECT_EQ(CreateFolderPath("there\\m\\n\\" + kUncreatable), -1);
  EXPECT_TRUE(scratch::IsFolder(dir / "there\\m\\n"));
}

}  // namespace
