// Installing the package: an .exe over the program file, a .zip over its folder, with a
// staged package in Wine's temporary folder and the program-wide state filled.
#include "install/install.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "../support/zip_builder.h"
#include "startup/globals.h"
#include "win_files.h"

namespace {

using winfiles::ReadFile;
using winfiles::ReadTree;
using winfiles::Sandbox;
using winfiles::WriteFile;
using Tree = std::map<std::string, std::string>;

class InstallPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateGlobals();
    ClearStagingFiles();
    winfiles::MakeFolder(box.Path("app"));
    WriteFile(box.Path("app\\app.exe"), "old app");
    WriteFile(box.Path("app\\user.txt"), "user's own");
  }
  void TearDown() override {
    ClearStagingFiles();
    ReleaseGlobals();
  }

  // The request as the start sequence leaves it: field 4 the program, the kind chosen.
  void Request(const std::string& kind, const std::string& program) {
    *globals::UpdateRequest = {"title", "caption", "http://link/", program,
                               "http://127.0.0.1/package" + kind, "\xB2\xBB\xCC\xE1\xCA\xBE", ""};
    globals::PackageKind = kind;
  }

  static void ClearStagingFiles() {
    const std::string temp = winfiles::TempFolder();
    DeleteFileA((temp + "Temp.exe").c_str());
    DeleteFileA((temp + "Temp.zip").c_str());
    winfiles::RemoveTree(temp + "Temp");
  }

  const std::string temp = winfiles::TempFolder();
  Sandbox box;
};

TEST_F(InstallPackageTest, ExecutablePackageReplacesTheProgramAndStaysStaged) {
  Request(".exe", box.Path("app\\app.exe"));
  WriteFile(temp + "Temp.exe", "MZ new app");
  InstallPackage();
  EXPECT_EQ(ReadTree(box.Path("app")), (Tree{{"app.exe", "MZ new app"}, {"user.txt", "user's own"}}));
  EXPECT_TRUE(winfiles::Exists(temp + "Temp.exe"));
}

// A program file that may not be written, and a package that is no program (empty, an
// error page, cut before its first bytes), leave the program as it was.
TEST_F(InstallPackageTest, ExecutablePackageLeavesAReadOnlyProgramOrANonProgramAlone) {
  Request(".exe", box.Path("app\\app.exe"));
  for (const char* package : {"", "M", "<html>404</html>", "mz lower case"}) {
    WriteFile(temp + "Temp.exe", package);
    InstallPackage();
    EXPECT_EQ(ReadFile(box.Path("app\\app.exe")), "old app") << package;
  }

  WriteFile(temp + "Temp.exe", "MZ new app");
  SetFileAttributesA(box.Path("app\\app.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  InstallPackage();
  EXPECT_EQ(ReadTree(box.Path("app")), (Tree{{"app.exe", "old app"}, {"user.txt", "user's own"}}));
}

std::string SamplePackage() {
  return testzip::Build({{"app.exe", "MZ new app"}, {"data/", ""}, {"data/conf.ini", "new conf"}});
}

TEST_F(InstallPackageTest, ZipPackageReplacesTopFilesKeepsDeeperOnesAndClearsTheStaging) {
  Request(".zip", box.Path("app\\app.exe"));
  winfiles::MakeFolder(box.Path("app\\data"));
  WriteFile(box.Path("app\\data\\conf.ini"), "user conf");
  WriteFile(temp + "Temp.zip", SamplePackage());
  InstallPackage();
  EXPECT_EQ(ReadTree(box.Path("app")), (Tree{{"app.exe", "MZ new app"},
                                             {"user.txt", "user's own"},
                                             {"data\\", ""},
                                             {"data\\conf.ini", "user conf"}}));
  EXPECT_FALSE(winfiles::Exists(temp + "Temp.zip"));
  EXPECT_FALSE(winfiles::Exists(temp + "Temp"));
}

TEST_F(InstallPackageTest, ZipPackageAddsAMissingDeeperFile) {
  Request(".zip", box.Path("app\\app.exe"));
  WriteFile(temp + "Temp.zip", SamplePackage());
  InstallPackage();
  EXPECT_EQ(ReadTree(box.Path("app")), (Tree{{"app.exe", "MZ new app"},
                                             {"user.txt", "user's own"},
                                             {"data\\", ""},
                                             {"data\\conf.ini", "new conf"}}));
}

// A package that fails to unpack installs nothing; the archive stays for ClearStaging.
TEST_F(InstallPackageTest, ZipPackageThatFailsToUnpackLeavesTheProgramFolderUnchanged) {
  const std::vector<std::pair<const char*, std::string>> packages = {
      {"not a ZIP", "<html>not found</html>"},
      {"a ../ entry", testzip::Build({{"app.exe", "MZ new app"}, {"../evil.txt", "out"}})},
      {"a bad CRC", testzip::Build({{"app.exe", "MZ new app"},
                                    testzip::Entry("data/conf.ini", "new").DeclaringCrc(1)})},
  };
  for (const auto& [what, bytes] : packages) {
    SCOPED_TRACE(what);
    Request(".zip", box.Path("app\\app.exe"));
    const Tree before = ReadTree(box.Path());
    WriteFile(temp + "Temp.zip", bytes);
    InstallPackage();
    EXPECT_EQ(ReadTree(box.Path()), before);
    EXPECT_FALSE(winfiles::Exists(temp + "evil.txt"));
    EXPECT_TRUE(winfiles::Exists(temp + "Temp.zip"));
    ClearStagingFiles();
  }
}

// Without a folder in the program path the tree would go to the drive's root: nothing
// is installed and the package stays staged.
TEST_F(InstallPackageTest, ZipPackageForAProgramPathWithoutFolderInstallsNothing) {
  Request(".zip", "app.exe");
  WriteFile(temp + "Temp.zip", SamplePackage());
  InstallPackage();
  EXPECT_TRUE(winfiles::Exists(temp + "Temp.zip"));
  EXPECT_FALSE(winfiles::Exists("C:\\app.exe"));
}

TEST(FolderOfPath, KeepsThePathUpToItsLastBackslash) {
  struct Case {
    const char* path;
    const char* folder;
  };
  const Case cases[] = {
      {"C:\\App\\app.exe", "C:\\App\\"},
      {"app.exe", ""},
      {"", ""},
      {"C:\\App\\", "C:\\App\\"},
      {"\\\\server\\share\\app.exe", "\\\\server\\share\\"},
      // "\x95\x5C" is one double-byte character: its "\" byte is not a separator.
      {"C:\\\x95\\app.exe", "C:\\"},
      {"C:\\\x95\\\\app.exe", "C:\\\x95\\\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FolderOfPath(c.path), c.folder);
  }
}

}  // namespace
