// Known folders and the shell file operations on real files under Wine's temporary folder.
#include "system/shell_files.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "scratch.h"

namespace {

std::string SpecialFolder(int csidl) {
  char buffer[MAX_PATH] = {};
  return SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE) ? buffer : "";
}

std::string WithSeparator(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

TEST(GetKnownFolder, Table) {
  char windows[MAX_PATH] = {}, system[MAX_PATH] = {}, temp[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  GetSystemDirectoryA(system, MAX_PATH);
  GetTempPathA(MAX_PATH, temp);
  struct Case {
    int number;
    std::string expected;
  } cases[] = {
      {Documents, WithSeparator(SpecialFolder(CSIDL_PERSONAL))},
      {Favorites, WithSeparator(SpecialFolder(CSIDL_FAVORITES))},
      {Desktop, WithSeparator(SpecialFolder(CSIDL_DESKTOPDIRECTORY))},
      {Fonts, WithSeparator(SpecialFolder(CSIDL_FONTS))},
      {StartMenu, WithSeparator(SpecialFolder(CSIDL_STARTMENU))},
      {Programs, WithSeparator(SpecialFolder(CSIDL_PROGRAMS))},
      {Startup, WithSeparator(SpecialFolder(CSIDL_STARTUP))},
      {AppData, WithSeparator(SpecialFolder(CSIDL_APPDATA))},
      {WindowsFolder, std::string(windows) + "\\"},  // the system gives no separator
      {SystemFolder, std::string(system) + "\\"},
      {TempFolder, temp},  // already ends in one: none is added
      {InternetCache, WithSeparator(SpecialFolder(CSIDL_INTERNET_CACHE))},
      {0, WithSeparator(SpecialFolder(CSIDL_DESKTOPDIRECTORY))},
      {13, ""},
      {-1, ""},
      {1000, ""},
  };
  for (const auto& c : cases) {
    const std::string path = GetKnownFolder(c.number);
    EXPECT_EQ(path, c.expected) << c.number;
    if (!path.empty()) {
      EXPECT_EQ(path.back(), '\\') << c.number;
      EXPECT_NE(path[path.size() - 2], '\\') << c.number << ": " << path;
    }
  }
  // The folders every run relies on exist under Wine; an empty table row would hide that.
  EXPECT_TRUE(scratch::IsFolder(GetKnownFolder(TempFolder)));
  EXPECT_TRUE(scratch::IsFolder(GetKnownFolder(WindowsFolder)));
  EXPECT_TRUE(scratch::IsFolder(GetKnownFolder(SystemFolder)));
  EXPECT_FALSE(GetKnownFolder(Desktop).empty());
  EXPECT_FALSE(GetKnownFolder(AppData).empty());
}

TEST(CopyFileTo, OverwriteFlagDecidesAboutAnExistingDestination) {
  scratch::Folder dir("h2_copy");
  const std::string source = dir / "source.bin", target = dir / "target.bin";
  ASSERT_TRUE(scratch::WriteText(source, "new"));

  CopyFileTo(source, target, false);  // missing destination: copied either way
  EXPECT_EQ(scratch::ReadText(target), "new");

  ASSERT_TRUE(scratch::WriteText(target, "old"));
  CopyFileTo(source, target, false);
  EXPECT_EQ(scratch::ReadText(target), "old");

  CopyFileTo(source, target, true);
  EXPECT_EQ(scratch::ReadText(target), "new");

  CopyFileTo(dir / "missing.bin", target, true);  // silent, and the destination stays
  EXPECT_EQ(scratch::ReadText(target), "new");
  EXPECT_EQ(scratch::ReadText(source), "new");
}

TEST(RemoveFile, DeletesOneFileSilently) {
  scratch::Folder dir("h2_remove_file");
  ASSERT_TRUE(scratch::WriteText(dir / "a.txt", "a"));
  ASSERT_TRUE(scratch::WriteText(dir / "b.txt", "b"));
  RemoveFile(dir / "a.txt");
  EXPECT_FALSE(scratch::Exists(dir / "a.txt"));
  EXPECT_TRUE(scratch::Exists(dir / "b.txt"));
  RemoveFile(dir / "a.txt");  // already gone: nothing happens
  RemoveFile(dir.path());     // a folder is not a file
  EXPECT_TRUE(scratch::IsFolder(dir.path()));
}

// A small tree with a read-only file and a sub-folder, under `root`.
void MakeTree(const std::string& root) {
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA((root + "\\sub").c_str(), nullptr);
  scratch::WriteText(root + "\\a.txt", "a");
  scratch::WriteText(root + "\\sub\\b.txt", "b");
  SetFileAttributesA((root + "\\sub\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  // "中文" in code page 936: names in the ANSI code page go through unchanged.
  CreateDirectoryA((root + "\\\xD6\xD0\xCE\xC4").c_str(), nullptr);
  scratch::WriteText(root + "\\\xD6\xD0\xCE\xC4\\c.txt", "c");
}

TEST(RemoveFolderTree, DeletesTheFolderWithEverythingInIt) {
  scratch::Folder dir("h2_remove_tree");
  const std::string keep = dir / "keep.txt";
  ASSERT_TRUE(scratch::WriteText(keep, "keep"));
  for (const char* suffix : {"", "\\", "\\\\"}) {  // trailing backslashes make no difference
    const std::string tree = dir / "tree";
    MakeTree(tree);
    ASSERT_TRUE(scratch::Exists(tree + "\\sub\\b.txt"));
    RemoveFolderTree(tree + suffix);
    EXPECT_FALSE(scratch::Exists(tree)) << "suffix '" << suffix << "'";
    EXPECT_TRUE(scratch::Exists(keep));
  }
}

TEST(RemoveFolderTree, TouchesNothingButAnExistingFolder) {
  scratch::Folder dir("h2_remove_tree_not");
  ASSERT_TRUE(scratch::WriteText(dir / "file.txt", "f"));
  MakeTree(dir / "tree");

  RemoveFolderTree(dir / "missing");           // a missing folder changes nothing
  RemoveFolderTree(dir / "file.txt");          // a plain file is not a folder
  RemoveFolderTree(dir / "tree\\*");           // no wildcards
  RemoveFolderTree(dir / "t?ee");
  RemoveFolderTree("");                        // not the current folder
  EXPECT_TRUE(scratch::Exists(dir / "file.txt"));
  EXPECT_TRUE(scratch::Exists(dir / "tree\\a.txt"));
  EXPECT_TRUE(scratch::Exists(dir / "tree\\sub\\b.txt"));

  // A relative path is the folder below the current directory.
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
  RemoveFolderTree("tree");
  SetCurrentDirectoryA(previous);
  EXPECT_FALSE(scratch::Exists(dir / "tree"));
  EXPECT_TRUE(scratch::Exists(dir / "file.txt"));
}

TEST(StartProgram, ShowModesAndParameters) {
  scratch::Folder dir("h2_start");
  const std::string program = dir / "show_report.exe";
  ASSERT_TRUE(CopyFileA((scratch::OwnFolder() + "show_report.exe").c_str(), program.c_str(), FALSE))
      << "show_report.exe must lie beside the test program";
  const std::string report = program + ".report";
  struct Case {
    std::optional<int> mode;
    std::optional<std::string> parameters;
    int show;
    std::string args;
  } cases[] = {
      {std::nullopt, std::nullopt, SW_SHOWNORMAL, ""},
      {0, std::string("one two"), SW_SHOWNORMAL, "one two"},
      {1, std::nullopt, SW_HIDE, ""},
      {2, std::nullopt, SW_SHOWMINNOACTIVE, ""},
      {3, std::string("\xD5\xE6"), SW_SHOWNORMAL, "\xD5\xE6"},
  };
  for (const auto& c : cases) {
    DeleteFileA(report.c_str());
    StartProgram(program, c.parameters, c.mode);
    ASSERT_TRUE(scratch::WaitUntil([&] { return scratch::Exists(report); }))
        << "not started, mode " << c.mode.value_or(-1);
    EXPECT_EQ(scratch::ReadText(report),
              "show=" + std::to_string(c.show) + "\nargs=" + c.args + "\n")
        << "mode " << c.mode.value_or(-1);
  }
  // A program that does not exist: nothing is reported, nothing happens.
  StartProgram(dir / "missing.exe");
  // The report's writer has ended before it renamed its file; wait until the copy can go.
  ASSERT_TRUE(scratch::WaitUntil([&] { return DeleteFileA(program.c_str()) != FALSE; }));
}

}  // namespace
