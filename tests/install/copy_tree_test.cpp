// The directory-tree copy on real folders in Wine's temporary folder.
#include "install/copy_tree.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "win_files.h"

namespace {

using winfiles::ReadFile;
using winfiles::ReadTree;
using winfiles::Sandbox;
using winfiles::WriteFile;
using Tree = std::map<std::string, std::string>;

// The package tree of most cases: top-level files, a dot file, nested folders, a folder
// whose name begins with a dot, an empty folder, hidden and system entries.
void MakeSource(const Sandbox& box) {
  winfiles::MakeFolder(box.Path("src"));
  WriteFile(box.Path("src\\app.exe"), "new app");
  WriteFile(box.Path("src\\.config"), "dot file");
  WriteFile(box.Path("src\\hidden.txt"), "hidden");
  SetFileAttributesA(box.Path("src\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  WriteFile(box.Path("src\\system.dat"), "system");
  SetFileAttributesA(box.Path("src\\system.dat").c_str(), FILE_ATTRIBUTE_SYSTEM);
  winfiles::MakeFolder(box.Path("src\\data"));
  WriteFile(box.Path("src\\data\\conf.ini"), "new conf");
  WriteFile(box.Path("src\\data\\added.ini"), "added");
  winfiles::MakeFolder(box.Path("src\\data\\deep"));
  WriteFile(box.Path("src\\data\\deep\\x.txt"), "deep new");
  winfiles::MakeFolder(box.Path("src\\.git"));
  WriteFile(box.Path("src\\.git\\HEAD"), "skipped");
  winfiles::MakeFolder(box.Path("src\\empty"));
  winfiles::MakeFolder(box.Path("src\\secret"));
  WriteFile(box.Path("src\\secret\\s.txt"), "in a hidden folder");
  SetFileAttributesA(box.Path("src\\secret").c_str(), FILE_ATTRIBUTE_HIDDEN);
}

// The installed program: an old app.exe on top, an old conf.ini and x.txt below.
void MakeTarget(const Sandbox& box) {
  winfiles::MakeFolder(box.Path("app"));
  WriteFile(box.Path("app\\app.exe"), "old app");
  WriteFile(box.Path("app\\user.txt"), "user's own");
  winfiles::MakeFolder(box.Path("app\\data"));
  WriteFile(box.Path("app\\data\\conf.ini"), "old conf");
  winfiles::MakeFolder(box.Path("app\\data\\deep"));
  WriteFile(box.Path("app\\data\\deep\\x.txt"), "deep old");
}

const Tree kAfterUpdate = {
    {".config", "dot file"},     {"app.exe", "new app"},
    {"hidden.txt", "hidden"},    {"system.dat", "system"},
    {"user.txt", "user's own"},  {"data\\", ""},
    {"data\\conf.ini", "old conf"}, {"data\\added.ini", "added"},
    {"data\\deep\\", ""},        {"data\\deep\\x.txt", "deep old"},
    {"empty\\", ""},             {"secret\\", ""},
    {"secret\\s.txt", "in a hidden folder"},
};

TEST(CopyTree, ReplacesTopLevelFilesAndOnlyAddsBelowWithOrWithoutTrailingBackslashes) {
  for (const char* suffix : {"", "\\"}) {
    for (const char* targetSuffix : {"", "\\"}) {
      SCOPED_TRACE(std::string("source suffix '") + suffix + "', target suffix '" + targetSuffix + "'");
      Sandbox box;
      MakeSource(box);
      MakeTarget(box);
      std::string source = box.Path("src") + suffix;
      std::string target = box.Path("app") + targetSuffix;
      CopyTree(source, target, true);
      EXPECT_EQ(source, box.Path("src\\"));
      EXPECT_EQ(target, box.Path("app\\"));
      EXPECT_EQ(ReadTree(box.Path("app")), kAfterUpdate);
    }
  }
}

TEST(CopyTree, WithoutOverwriteKeepsTopLevelFiles) {
  Sandbox box;
  MakeSource(box);
  MakeTarget(box);
  std::string source = box.Path("src");
  std::string target = box.Path("app");
  CopyTree(source, target, false);
  Tree expected = kAfterUpdate;
  expected["app.exe"] = "old app";
  EXPECT_EQ(ReadTree(box.Path("app")), expected);
}

TEST(CopyTree, CreatesAMissingTargetSeveralLevelsDeep) {
  Sandbox box;
  MakeSource(box);
  std::string source = box.Path("src");
  std::string target = box.Path("a\\b\\c");
  CopyTree(source, target, true);
  Tree expected = kAfterUpdate;
  expected.erase("user.txt");
  expected["app.exe"] = "new app";
  expected["data\\conf.ini"] = "new conf";
  expected["data\\deep\\x.txt"] = "deep new";
  EXPECT_EQ(ReadTree(box.Path("a\\b\\c")), expected);
}

// A read-only, hidden or locked target file is skipped; the others are still updated,
// nothing is truncated and no temporary file stays behind.
TEST(CopyTree, SkipsReadOnlyHiddenAndLockedFilesAndUpdatesTheRest) {
  Sandbox box;
  MakeSource(box);
  MakeTarget(box);
  WriteFile(box.Path("src\\readonly.txt"), "new readonly");
  WriteFile(box.Path("src\\locked.txt"), "new locked");
  WriteFile(box.Path("src\\hidden.txt"), "new hidden");
  WriteFile(box.Path("app\\readonly.txt"), "old readonly");
  WriteFile(box.Path("app\\locked.txt"), "old locked");
  WriteFile(box.Path("app\\hidden.txt"), "old hidden");
  SetFileAttributesA(box.Path("app\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(box.Path("app\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  HANDLE lock = CreateFileA(box.Path("app\\locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);

  std::string source = box.Path("src");
  std::string target = box.Path("app");
  CopyTree(source, target, true);
  CloseHandle(lock);

  Tree expected = kAfterUpdate;
  expected["readonly.txt"] = "old readonly";
  expected["locked.txt"] = "old locked";
  expected["hidden.txt"] = "old hidden";
  EXPECT_EQ(ReadTree(box.Path("app")), expected);  // also: no "~upd" file left
}

// Window events are processed during the copy after every file: a message posted before
// the copy is handled when exactly one of two files is in place.
LRESULT CALLBACK RecordingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    auto* seen = reinterpret_cast<int*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    const auto* folder = reinterpret_cast<const std::string*>(lParam);
    *seen = winfiles::Exists(*folder + "\\one.txt") + winfiles::Exists(*folder + "\\two.txt");
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(CopyTree, ProcessesPendingWindowEventsBetweenFilesAndKeepsTheQuitRequest) {
  Sandbox box;
  winfiles::MakeFolder(box.Path("src"));
  WriteFile(box.Path("src\\one.txt"), "1");
  WriteFile(box.Path("src\\two.txt"), "2");
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = RecordingWindow;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "CopyTreeTestWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("CopyTreeTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  int filesSeen = -1;
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&filesSeen));
  const std::string targetFolder = box.Path("app");
  PostMessageA(window, WM_APP, 0, reinterpret_cast<LPARAM>(&targetFolder));
  PostQuitMessage(7);

  std::string source = box.Path("src");
  std::string target = targetFolder;
  CopyTree(source, target, true);

  EXPECT_EQ(filesSeen, 1);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 7u);
  DestroyWindow(window);
}

}  // namespace
