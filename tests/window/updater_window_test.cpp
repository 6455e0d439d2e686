// The update window as the program creates it from its stored description, under Wine:
// its geometry, controls and stored texts, the progress display, the timer control and
// the ways the window closes.
#include "window/updater_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "install/staging.h"
#include "startup/globals.h"
#include "window/progress.h"
#include "window/resource.h"

namespace {

struct Counts {
  int created = 0;
  int closeQuery = 0;
  int destroying = 0;
  int ticks = 0;
};
Counts counts;

WindowEvents RecordingEvents() {
  WindowEvents events;
  events.onCreated = [](UpdaterWindow&) { ++counts.created; };
  events.onCloseQuery = [](UpdaterWindow&) { ++counts.closeQuery; };
  events.onDestroying = [](UpdaterWindow&) { ++counts.destroying; };
  events.onTick = [](UpdaterWindow&) { ++counts.ticks; };
  return events;
}

// Dispatches everything queued for this thread; the WM_QUIT of a destroyed window is
// dropped so the next test's window starts clean.
void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

std::string Text(HWND window) {
  char buffer[512] = {};
  SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::string ClassOf(HWND window) {
  char buffer[128] = {};
  GetClassNameA(window, buffer, sizeof buffer);
  return buffer;
}

RECT ClientRectOf(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

const char kStoredCaption[] = "\xC6\xF4\xB6\xAF\xB4\xB0\xBF\xDA\xB1\xEA\xCC\xE2";  // 启动窗口标题
const char kStoredLink[] = "\xB3\xAC\xBC\xB6\xC1\xB4\xBD\xD3\xB1\xEA\xCC\xE2";     // 超级链接标题

class UpdaterWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    CreateGlobals();
  }
  void SetUp() override {
    counts = {};
    ASSERT_TRUE(window.Create(GetModuleHandleA(nullptr), RecordingEvents()));
    Pump();
  }
  UpdaterWindow window;
};

TEST_F(UpdaterWindowTest, CentredFixedToolWindowOfItsStoredSize) {
  HWND w = window.Handle();
  EXPECT_EQ(counts.created, 1);
  EXPECT_TRUE(IsWindowVisible(w));
  RECT outer{};
  GetWindowRect(w, &outer);
  EXPECT_EQ(outer.right - outer.left, 319);
  EXPECT_EQ(outer.bottom - outer.top, 103);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 319) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 103) / 2);

  const LONG style = GetWindowLongA(w, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ(Text(w), kStoredCaption);
}

TEST_F(UpdaterWindowTest, ControlsInTheirPlacesWithStoredSettings) {
  struct Expected {
    int id;
    const char* className;
    RECT place;  // client area: left, top, right, bottom
  };
  const Expected controls[] = {
      {进度条_下载进度, "msctls_progress32", {7, 8, 7 + 299, 8 + 20}},
      {透明标签_百分比, "Static", {131, 8, 131 + 50, 8 + 20}},
      {标签_状态, "Static", {7, 30, 7 + 299, 30 + 22}},
      {超级链接, "SysLink", {7, 54, 7 + 299, 54 + 20}},
  };
  for (const Expected& c : controls) {
    HWND control = window.Control(c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_TRUE(IsWindowVisible(control)) << c.id;
    EXPECT_STREQ(ClassOf(control).c_str(), c.className);
    const RECT r = ClientRectOf(control);
    EXPECT_EQ(r.left, c.place.left) << c.id;
    EXPECT_EQ(r.top, c.place.top) << c.id;
    EXPECT_EQ(r.right, c.place.right) << c.id;
    EXPECT_EQ(r.bottom, c.place.bottom) << c.id;
  }

  HWND bar = window.Control(进度条_下载进度);
  PBRANGE range{};
  SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_TRUE(GetWindowLongA(bar, GWL_STYLE) & PBS_SMOOTH);
  EXPECT_FALSE(GetWindowLongA(bar, GWL_STYLE) & PBS_VERTICAL);
  EXPECT_TRUE(GetWindowLongA(bar, GWL_EXSTYLE) & WS_EX_STATICEDGE);

  HWND label = window.Control(透明标签_百分比);
  EXPECT_TRUE(GetWindowLongA(label, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  // Above the bar in the z-order, so it is drawn over it.
  bool barBelowLabel = false;
  for (HWND h = GetWindow(label, GW_HWNDNEXT); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
    if (h == bar) barBelowLabel = true;
  EXPECT_TRUE(barBelowLabel);

  EXPECT_EQ(Text(label), "");
  EXPECT_EQ(Text(window.Control(标签_状态)), "");
  EXPECT_NE(Text(window.Control(超级链接)).find(kStoredLink), std::string::npos);
  EXPECT_EQ(window.时钟1.Period(), 0);
}

TEST_F(UpdaterWindowTest, HyperlinkShowsTheCaptionAsOneLink) {
  const std::string caption = "\xB9\xD9\xCD\xF8 <home>";  // 官网 <home>
  window.link.SetCaption(caption);
  window.link.SetAddress("http://127.0.0.1:9/");
  HWND link = window.Control(超级链接);
  EXPECT_EQ(Text(link), "<a>" + caption + "</a>");
  LITEM item{};
  item.mask = LIF_ITEMINDEX | LIF_STATE;
  item.iLink = 0;
  item.stateMask = LIS_ENABLED;
  EXPECT_TRUE(SendMessageA(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)));
  item.iLink = 1;  // exactly one link
  EXPECT_FALSE(SendMessageA(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(window.link.Address(), "http://127.0.0.1:9/");
}

TEST_F(UpdaterWindowTest, ClickOnTheLinkOpensItsAddressThroughTheShell) {
  // The address is a command script that leaves a mark beside itself when it is opened.
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "updater_link_test\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string script = folder + "open.cmd";
  const std::string mark = folder + "opened.txt";
  DeleteFileA(mark.c_str());
  HANDLE file = CreateFileA(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const char body[] = "@echo opened> \"%~dp0opened.txt\"\r\n";
  DWORD written = 0;
  WriteFile(file, body, sizeof body - 1, &written, nullptr);
  CloseHandle(file);

  window.link.SetCaption("link");
  window.link.SetAddress(script);
  // A left click on the link's text, as the mouse gives it to the control.
  HWND link = window.Control(超级链接);
  PostMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 6));
  PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(4, 6));
  // Bounded wait for the shell to run the script (not a timing check).
  bool opened = false;
  for (int i = 0; i < 300 && !opened; ++i) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
    opened = GetFileAttributesA(mark.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  EXPECT_TRUE(opened);
  EXPECT_NE(window.Handle(), nullptr);  // the click has no effect on the window
  DeleteFileA(mark.c_str());
  DeleteFileA(script.c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST_F(UpdaterWindowTest, TimerControlStartsAndStopsTheWindowTimer) {
  HWND w = window.Handle();
  window.时钟1.SetPeriod(10);
  EXPECT_EQ(window.时钟1.Period(), 10);
  // The timer fires on the window's thread; wait for two events (bounded, not timed).
  for (int i = 0; i < 500 && counts.ticks < 2; ++i) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    Pump();
  }
  EXPECT_GE(counts.ticks, 2);

  window.时钟1.SetPeriod(10);  // the same period again changes nothing
  EXPECT_EQ(window.时钟1.Period(), 10);
  window.时钟1.SetPeriod(0);
  EXPECT_EQ(window.时钟1.Period(), 0);
  // No timer of that id is left on the window.
  EXPECT_FALSE(KillTimer(w, kProgressTimerId));
  window.时钟1.SetPeriod(-1);
  EXPECT_EQ(window.时钟1.Period(), 0);
}

TEST_F(UpdaterWindowTest, ProgressTickShowsTheStatistics) {
  struct Case {
    std::int32_t percent, speed, total, done;
    int barPosition;
    const char* percentText;
    const char* statusLine;  // GBK
  };
  const Case cases[] = {
      {57, 120400, 5234999, 1024000, 57, "57%",
       "\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2\xA3\xBA" "120 KB/S \xB4\xF3\xD0\xA1\xA3\xBA"
       "5234 KB \xD2\xD1\xCF\xC2\xD4\xD8\xA3\xBA" "1024 KB"},
      {150, 999, 1999, 0, 100, "150%",
       "\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2\xA3\xBA" "0 KB/S \xB4\xF3\xD0\xA1\xA3\xBA"
       "1 KB \xD2\xD1\xCF\xC2\xD4\xD8\xA3\xBA" "0 KB"},
      {-5, -1, 0, 0, 0, "-5%",
       "\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2\xA3\xBA" "-1 KB/S \xB4\xF3\xD0\xA1\xA3\xBA"
       "0 KB \xD2\xD1\xCF\xC2\xD4\xD8\xA3\xBA" "0 KB"},
  };
  // Only Complete starts the completion; every other state only refreshes the display.
  const std::int32_t states[] = {Idle, Started, Incomplete};
  for (std::int32_t state : states) {
    for (const Case& c : cases) {
      globals::TransferState = state;
      globals::percent = c.percent;
      globals::speed = c.speed;
      globals::totalBytes = c.total;
      globals::doneBytes = c.done;
      OnProgressTick(window);
      EXPECT_EQ(SendMessageA(window.Control(进度条_下载进度), PBM_GETPOS, 0, 0), c.barPosition);
      EXPECT_EQ(Text(window.Control(透明标签_百分比)), c.percentText);
      EXPECT_EQ(Text(window.Control(标签_状态)), c.statusLine);
    }
    Pump();
    EXPECT_NE(window.Handle(), nullptr) << state;
    EXPECT_EQ(counts.destroying, 0) << state;
  }
  globals::TransferState = Idle;
}

TEST_F(UpdaterWindowTest, CompleteTransferStopsTheTimerAndQueuesTheDestroy) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string target = std::string(temp) + "updater_window_test\\app.exe";
  // 不提示: no notice; 否: no relaunch; the address names an .exe package that never came.
  *globals::UpdateRequest = {"t", "c", "http://127.0.0.1:9/", target, "http://127.0.0.1:9/a.exe",
                             "\xB2\xBB\xCC\xE1\xCA\xBE", "\xB7\xF1"};
  globals::PackageKind = ".exe";
  window.时钟1.SetPeriod(1000);
  globals::TransferState = Complete;

  OnProgressTick(window);
  EXPECT_EQ(window.时钟1.Period(), 0);
  EXPECT_FALSE(KillTimer(window.Handle(), kProgressTimerId));
  // The destroy is queued: the window still exists until its messages are dispatched.
  EXPECT_NE(window.Handle(), nullptr);
  EXPECT_EQ(counts.destroying, 0);
  Pump();
  EXPECT_EQ(window.Handle(), nullptr);
  EXPECT_EQ(counts.destroying, 1);
  EXPECT_EQ(counts.closeQuery, 0);  // a requested destruction is no close request
  EXPECT_EQ(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES);

  globals::TransferState = Idle;
  globals::UpdateRequest->clear();
  ClearStaging();
  globals::PackageKind.clear();
}

TEST_F(UpdaterWindowTest, UserCloseAsksThenDestroys) {
  // The user closes it: can-be-closed, then the destruction.
  SendMessageA(window.Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(window.Handle(), nullptr);
  EXPECT_EQ(counts.closeQuery, 1);
  EXPECT_EQ(counts.destroying, 1);
}

TEST_F(UpdaterWindowTest, CloseDuringCompletionWaitsUntilItHasEnded) {
  {
    UpdaterWindow::FinishingScope finishing(window);
    SendMessageA(window.Handle(), WM_CLOSE, 0, 0);
    Pump();  // the install lets window events run: the close must not happen now
    EXPECT_NE(window.Handle(), nullptr);
    EXPECT_EQ(counts.closeQuery, 0);
    EXPECT_EQ(counts.destroying, 0);
  }
  Pump();
  EXPECT_EQ(window.Handle(), nullptr);
  EXPECT_EQ(counts.closeQuery, 1);
  EXPECT_EQ(counts.destroying, 1);
}

TEST_F(UpdaterWindowTest, HeldCloseAfterQueuedDestroyDestroysOnce) {
  {
    UpdaterWindow::FinishingScope finishing(window);
    PostMessageA(window.Handle(), WM_CLOSE, 0, 0);
    Pump();
    window.RequestDestroy();  // the completion's last step
  }
  Pump();
  EXPECT_EQ(window.Handle(), nullptr);
  EXPECT_EQ(counts.closeQuery, 0);
  EXPECT_EQ(counts.destroying, 1);
}

}  // namespace
