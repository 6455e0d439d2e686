// Notices and window snapshots on a real desktop under Wine. A presser thread finds the
// message box of this process, reads it and presses one of its buttons with BM_CLICK,
// while the test's main thread (which owns the test windows) waits in ShowNotice.
#include "system/notices.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "startup/globals.h"
#include "scratch.h"

namespace {

const std::string kNoticeTitle = "\xD3\xD1\xC7\xE9\xCC\xE1\xD0\xD1";  // "友情提醒"
constexpr int kMessageTextId = 0xFFFF;  // the box's static text

struct BoxSeen {
  bool found = false;
  std::string title;
  std::string text;
  HWND owner = nullptr;
  std::vector<int> buttons;  // ids of the visible buttons
};

BOOL CALLBACK CollectButton(HWND child, LPARAM context) {
  char className[64] = {};
  GetClassNameA(child, className, sizeof(className));
  if (lstrcmpiA(className, "Button") == 0 && IsWindowVisible(child)) {
    reinterpret_cast<std::vector<int>*>(context)->push_back(GetDlgCtrlID(child));
  }
  return TRUE;
}

BOOL CALLBACK FindOwnBox(HWND window, LPARAM context) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  char className[16] = {};
  GetClassNameA(window, className, sizeof(className));
  if (processId == GetCurrentProcessId() && std::string(className) == "#32770" &&
      IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(context) = window;
    return FALSE;
  }
  return TRUE;
}

// Shows the notice on this thread and answers it from another one with `press`.
int ShowAndPress(BoxSeen& seen, int press, const std::string& message,
                 std::optional<unsigned> style = {}, const std::optional<std::string>& title = {}) {
  std::thread presser([&] {
    HWND box = nullptr;
    if (!scratch::WaitUntil([&] {
          EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&box));
          return box != nullptr;
        })) {
      return;
    }
    seen.found = true;
    char buffer[512] = {};
    GetWindowTextA(box, buffer, sizeof(buffer));
    seen.title = buffer;
    GetDlgItemTextA(box, kMessageTextId, buffer, sizeof(buffer));
    seen.text = buffer;
    seen.owner = GetWindow(box, GW_OWNER);
    EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&seen.buttons));
    std::sort(seen.buttons.begin(), seen.buttons.end());
    SendMessageA(GetDlgItem(box, press), BM_CLICK, 0, 0);
  });
  const int result = ShowNotice(message, style, title);
  presser.join();
  return result;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// Top-level windows of this process, destroyed at the end of each test.
class NoticesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    globals::WindowList = std::make_unique<WindowList>();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "NoticesTestWindow";
    RegisterClassA(&windowClass);
  }
  void TearDown() override {
    for (HWND window : windows_) DestroyWindow(window);
    globals::WindowList.reset();
  }
  HWND MakeWindow(const std::string& title, bool visible) {
    // Off the screen: Wine's X11 driver waits two seconds for a window manager (there is
    // none on the virtual display) whenever a window on the screen is hidden.
    HWND window = CreateWindowA("NoticesTestWindow", title.c_str(),
                                WS_POPUP | (visible ? WS_VISIBLE : 0), -3000, -3000, 300, 120,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    windows_.push_back(window);
    return window;
  }
  static const WindowEntry* Find(const WindowList& list, HWND window) {
    for (const auto& entry : list) {
      if (entry.handle == window) return &entry;
    }
    return nullptr;
  }

 private:
  std::vector<HWND> windows_;
};

TEST_F(NoticesTest, BoxTitleButtonsAndResult) {
  struct Case {
    std::optional<unsigned> style;
    std::optional<std::string> title;
    int press;
    std::string expectedTitle;
    std::vector<int> buttons;
    int result;
  } cases[] = {
      // Omitted style and title: one OK button, "友情提醒"; OK gives 0.
      {std::nullopt, std::nullopt, IDOK, kNoticeTitle, {IDOK}, 0},
      // A given title is used even when empty; the result is the button code less one.
      {MB_OKCANCEL, std::string(), IDCANCEL, "", {IDOK, IDCANCEL}, IDCANCEL - 1},
      {MB_YESNO, std::string("T"), IDNO, "T", {IDYES, IDNO}, IDNO - 1},
  };
  const std::string message = "\xB8\xFC\xD0\xC2\xCD\xEA\xB3\xC9 done";  // "更新完成 done"
  for (const auto& c : cases) {
    BoxSeen seen;
    const int result = ShowAndPress(seen, c.press, message, c.style, c.title);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(seen.title, c.expectedTitle);
    EXPECT_EQ(seen.text, message);
    EXPECT_EQ(seen.buttons, c.buttons);
    EXPECT_EQ(seen.owner, nullptr) << "the process has no visible window";
  }
}

TEST_F(NoticesTest, OwnedByTheFirstVisibleWindowOfTheProcess) {
  HWND hidden = MakeWindow("hidden", false);
  HWND first = MakeWindow("first", true);
  HWND second = MakeWindow("second", true);
  ASSERT_TRUE(hidden && first && second);

  WindowList list;
  SnapshotWindows(list);
  HWND expected = nullptr;
  for (const auto& entry : list) {
    if (entry.processId == GetCurrentProcessId()) {
      expected = static_cast<HWND>(entry.handle);
      break;
    }
  }
  ASSERT_TRUE(expected == first || expected == second);
  EXPECT_EQ(FindProcessWindow(GetCurrentProcessId()), expected);

  BoxSeen seen;
  EXPECT_EQ(ShowAndPress(seen, IDOK, "owned"), 0);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, expected);

  // Every notice looks afresh: once that window is hidden the other one owns the box.
  ShowWindow(expected, SW_HIDE);
  HWND other = expected == first ? second : first;
  BoxSeen again;
  EXPECT_EQ(ShowAndPress(again, IDOK, "owned again"), 0);
  ASSERT_TRUE(again.found);
  EXPECT_EQ(again.owner, other);

  ShowWindow(other, SW_HIDE);
  EXPECT_EQ(FindProcessWindow(GetCurrentProcessId()), nullptr);
  EXPECT_EQ(FindProcessWindow(0xFFFFFFF0u), nullptr);
}

TEST_F(NoticesTest, SnapshotHoldsVisibleWindowsOfEveryProcessAndReplacesTheList) {
  HWND hidden = MakeWindow("h2 hidden", false);
  HWND shown = MakeWindow("h2 shown", true);
  const std::string longTitle(300, 'x');
  HWND longOne = MakeWindow(longTitle, true);
  ASSERT_TRUE(hidden && shown && longOne);

  // A visible window of another process.
  const std::string otherTitle = "h2 idle " + std::to_string(GetCurrentProcessId());
  std::string command = "\"" + scratch::OwnFolder() + "idle.exe\" --window \"" + otherTitle + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child = {};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &child))
      << "idle.exe must lie beside the test program";

  WindowList list = {WindowEntry{nullptr, 1, 2, "stale", "stale"}};
  const WindowEntry* other = nullptr;
  ASSERT_TRUE(scratch::WaitUntil([&] {
    SnapshotWindows(list);
    other = nullptr;
    for (const auto& entry : list) {
      if (entry.title == otherTitle) other = &entry;
    }
    return other != nullptr;
  }));
  EXPECT_EQ(other->processId, child.dwProcessId);
  EXPECT_EQ(other->threadId, child.dwThreadId);
  EXPECT_EQ(other->className, "IdleTestWindow");

  const int count = SnapshotWindows(list);
  EXPECT_EQ(count, static_cast<int>(list.size()));
  EXPECT_TRUE(globals::WindowList->empty()) << "emptied after every snapshot";
  for (const auto& entry : list) {
    EXPECT_NE(entry.title, "stale") << "the list is replaced, not appended to";
    EXPECT_TRUE(IsWindowVisible(static_cast<HWND>(entry.handle)));
  }
  EXPECT_EQ(Find(list, hidden), nullptr);
  const WindowEntry* own = Find(list, shown);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->processId, GetCurrentProcessId());
  EXPECT_EQ(own->threadId, GetCurrentThreadId());
  EXPECT_EQ(own->title, "h2 shown");
  EXPECT_EQ(own->className, "NoticesTestWindow");
  const WindowEntry* cut = Find(list, longOne);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->title, longTitle.substr(0, 255));

  // Nothing carries over: a window hidden since the last snapshot is not in the next one.
  ShowWindow(shown, SW_HIDE);
  SnapshotWindows(list);
  EXPECT_EQ(Find(list, shown), nullptr);
  EXPECT_NE(Find(list, longOne), nullptr);

  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, 10000);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
}

TEST_F(NoticesTest, WindowQueriesOnAWindowThatIsGone) {
  HWND window = MakeWindow("gone", true);
  EXPECT_EQ(GetWindowProcessId(window), GetCurrentProcessId());
  EXPECT_EQ(GetWindowThreadId(window), GetCurrentThreadId());
  EXPECT_EQ(GetWindowClassName(window), "NoticesTestWindow");
  DestroyWindow(window);
  EXPECT_EQ(GetWindowProcessId(window), 0u);
  EXPECT_EQ(GetWindowThreadId(window), 0u);
  EXPECT_EQ(GetWindowTitle(window), "");
  EXPECT_EQ(GetWindowClassName(window), "");
}

TEST(NoticesWithoutState, NoListNoCrash) {
  ASSERT_EQ(globals::WindowList, nullptr);
  WindowList list = {WindowEntry{}};
  EXPECT_EQ(SnapshotWindows(list), 0);
  EXPECT_TRUE(list.empty());
}

}  // namespace
