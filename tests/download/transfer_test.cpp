// Starting the download and following it, on a real window's thread under Wine, against
// the servers with_servers.py starts: the record after StartDownload, the event table,
// the end sequence and its timer, and end events that arrive after the exit released
// the program's state.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "components/download/download_component.h"
#include "download/monitor_timer.h"
#include "download/start.h"
#include "download/transfer.h"
#include "download/transfer_rules.h"
#include "startup/globals.h"

#include "../support/test_files.h"

namespace {

using testfiles::Env;
using testfiles::ReadFile;

int killRequests = 0;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == kKillMonitorTimerMessage) {
    ++killRequests;
    KillMonitorTimer();
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

// Runs the window's message loop until `done` holds; false after `seconds` (a guard
// against hanging, not a speed requirement).
bool PumpUntil(const std::function<bool()>& done, int seconds = 60) {
  const DWORD until = GetTickCount() + seconds * 1000;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (static_cast<int>(GetTickCount() - until) > 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

void ResetFigures() {
  globals::speed = 0;
  globals::doneBytes = 0;
  globals::totalBytes = 0;
  globals::percent = 0;
  globals::TransferState = Idle;
}

class Transfer : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "transfer_test";
    RegisterClassA(&wc);
    window_ = CreateWindowA("transfer_test", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    CreateGlobals();
    ResetFigures();
    killRequests = 0;
  }
  void TearDown() override {
    if (globals::DownloadHandle) {
      dl::Destroy(*globals::DownloadHandle);
      PumpUntil([] { return globals::TransferState.load() != Started; }, 10);
    }
    ReleaseGlobals();
    globals::MonitorWindow = nullptr;
    DestroyWindow(window_);
  }

  // An event as the component's task thread delivers it, while this thread runs the loop.
  int Deliver(int code, int b, void* task = nullptr) {
    int result = -1;
    bool finished = false;
    std::thread taskThread([&] {
      result = OnTransferEvent(code, nullptr, b, 0, task);
      finished = true;
      PostMessageA(window_, WM_NULL, 0, 0);
    });
    EXPECT_TRUE(PumpUntil([&] { return finished; }));
    taskThread.join();
    return result;
  }

  bool TimerRunning() {
    // Killing it tells whether it was there; set it again so the test changes nothing.
    if (!KillTimer(window_, MonitorTimerId())) return false;
    SetMonitorTimer();
    return true;
  }

  HWND window_ = nullptr;
};

TEST_F(Transfer, StartDownloadFillsTheRecordAndTheWholeRunEndsComplete) {
  const std::string url = Env("DL_NGINX_URL") + "payload.bin";
  const std::string save = Env("DL_SAVE_DIR") + "Temp.zip";
  StartDownload(window_, url, save, 0, false, 5, true);
  const DownloadTask& t = *globals::DownloadTask;
  const DownloadTask defaults;
  EXPECT_EQ(globals::MonitorWindow, window_);
  EXPECT_EQ(t.flags, 4096);
  EXPECT_EQ(t.url, url);
  EXPECT_EQ(t.savePath, save);
  EXPECT_EQ(t.connectionCount, 5);
  EXPECT_EQ(t.speedLimit, 0);
  EXPECT_EQ(t.connectTimeout, 5000);
  EXPECT_EQ(t.sendTimeout, 5001);
  EXPECT_EQ(t.receiveTimeout, 10000);
  EXPECT_EQ(t.stopWait, 1000);
  EXPECT_EQ(t.readChunk, 20480);
  EXPECT_EQ(t.logCallback, &OnComponentLog);
  EXPECT_EQ(t.eventCallback, &OnTransferEvent);
  EXPECT_EQ(t.userName, defaults.userName);
  EXPECT_EQ(t.password, defaults.password);
  EXPECT_EQ(t.uploadBlock, defaults.uploadBlock);
  EXPECT_EQ(t.uploadRenameTo, defaults.uploadRenameTo);
  EXPECT_EQ(t.ftpTransferType, defaults.ftpTransferType);
  EXPECT_EQ(t.binaryTypes, defaults.binaryTypes);
  EXPECT_EQ(t.proxy, defaults.proxy);
  EXPECT_EQ(t.referer, defaults.referer);

  const std::string payload = ReadFile(Env("DL_PAYLOAD"));
  ASSERT_TRUE(PumpUntil([] {
    const auto state = globals::TransferState.load();
    return state == Complete || state == Incomplete;
  }));
  EXPECT_EQ(globals::TransferState.load(), Complete);
  EXPECT_EQ(globals::totalBytes.load(), static_cast<std::int32_t>(payload.size()));
  EXPECT_TRUE(ReadFile(save) == payload);
  EXPECT_EQ(killRequests, 1) << "the end asks the window's thread to kill the timer";
  EXPECT_FALSE(TimerRunning());
  ASSERT_TRUE(PumpUntil([] { return globals::DownloadHandle->load() == nullptr; }, 10));
}

TEST_F(Transfer, WithoutGivenValuesOneConnectionAndNoLimit) {
  StartDownload(window_, "http://127.0.0.1", Env("DL_SAVE_DIR") + "refused.zip", 777, false,
                9, false);
  EXPECT_EQ(globals::DownloadTask->connectionCount, 1);
  EXPECT_EQ(globals::DownloadTask->speedLimit, 0);
  // The address has no slash after its host: refused, no event, the timer runs on.
  EXPECT_EQ(globals::DownloadHandle->load(), nullptr);
  EXPECT_TRUE(TimerRunning());
  PumpUntil([] { return false; }, 1);
  EXPECT_EQ(globals::TransferState.load(), Idle);
  EXPECT_EQ(globals::percent.load(), 0);
}

TEST_F(Transfer, EventTable) {
  struct Case {
    int code, b;
    int state, total;
  };
  const Case cases[] = {
      {3, 100, Started, 100},
      {18, 5, Idle, 0},
      {2, 1, Idle, 0},
      {5, 0, Idle, 0},
      {6, 0, Idle, 0},
      {7, 10, Idle, 0},
      {8, 10, Idle, 0},
      {9, 10, Idle, 0},
      {16, 10, Idle, 0},
      {17, 10, Idle, 0},
      {99, 10, Idle, 0},
      {-1, 10, Idle, 0},
  };
  for (const auto& c : cases) {
    ResetFigures();
    EXPECT_EQ(Deliver(c.code, c.b), 0) << c.code;
    EXPECT_EQ(globals::TransferState.load(), c.state) << c.code;
    EXPECT_EQ(globals::totalBytes.load(), c.total) << c.code;
  }
  EXPECT_EQ(OnComponentLog(nullptr, nullptr, nullptr, 3, nullptr), 0);
}

TEST_F(Transfer, EndEventDecidesCompleteOnlyForAReportedSize) {
  // The event names no live task here, so its done length is 0.
  globals::MonitorWindow = window_;
  const struct {
    bool sizeEvent;
    int size;
    int state;
  } cases[] = {
      {false, 0, Incomplete},  // nothing ever reported: not a finished package
      {true, 0, Complete},     // an empty file, reported and fully received
      {true, 1, Incomplete},   // one byte fewer than reported
  };
  for (const auto& c : cases) {
    ResetFigures();
    SetMonitorTimer();
    killRequests = 0;
    if (c.sizeEvent) Deliver(3, c.size);
    EXPECT_EQ(Deliver(4, c.size), 0);
    EXPECT_EQ(globals::TransferState.load(), c.state) << c.size;
    EXPECT_EQ(killRequests, 1);
    EXPECT_FALSE(TimerRunning());
  }
}

TEST_F(Transfer, StatisticsFollowARunningTransferAndTheEndMayComeAfterRelease) {
  StartDownload(window_, Env("DL_FAULT_URL") + "trickle/payload.bin",
                Env("DL_SAVE_DIR") + "slow.zip", 0, false, 2, true);
  ASSERT_TRUE(PumpUntil([] { return globals::doneBytes.load() > 0; }));
  EXPECT_EQ(globals::TransferState.load(), Started);
  EXPECT_GT(globals::speed.load(), 0);
  EXPECT_EQ(globals::percent.load(),
            PercentOf(globals::doneBytes.load(), globals::totalBytes.load()));
  EXPECT_LT(globals::percent.load(), 100);

  // Exit while the transfer runs: destroy returns without waiting for the task thread,
  // and its end event comes once everything it could touch has been released.
  ReleaseGlobals();
  EXPECT_EQ(globals::DownloadHandle, nullptr);
  ASSERT_TRUE(PumpUntil([] { return globals::TransferState.load() == Incomplete; }, 20));
  EXPECT_EQ(killRequests, 1);
  CreateGlobals();  // for TearDown
}

}  // namespace
