// Following the transfer (Windows): the component's event and log callbacks, the
// MonitorTimer and its routine.
#include "download/transfer.h"

#include <windows.h>

#include <string>

#include "components/download/download_component.h"
#include "download/monitor_timer.h"
#include "download/transfer_rules.h"
#include "startup/globals.h"

namespace {

const char kMonitorTimerName[] = "\xBC\xE0\xBF\xD8";  // 监控

void CALLBACK MonitorTimerProc(HWND, UINT, UINT_PTR, DWORD) { UpdateTransferStats(); }

std::string LocalTimeText() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[32];
  wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
            t.wMinute, t.wSecond);
  return text;
}

void Log(void* connection, const std::string& message, void* task) {
  LogHook(connection, LocalTimeText().c_str(), message.c_str(), 0, task);
}

// Event 4, on the component's task thread. The task is still the component's while
// this runs, so its done length is final. Only the task the event names, the atomics
// and MonitorWindow (never released) are touched: exit may be releasing the rest.
void EndOfTransfer(void* task) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // The MonitorTimer normally ticks once more meanwhile and takes up the final count.
  Sleep(1000);
  // Only the window's own thread may kill its timer: ask it, and never wait forever
  // on a window that is busy or gone.
  if (HWND window = static_cast<HWND>(globals::MonitorWindow)) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, kKillMonitorTimerMessage, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG,
                        2000, &answer);
  }
  const std::int64_t done = dl::TaskDoneLength(task);
  globals::TransferState =
      EndState(globals::TransferState.load(), done, globals::totalBytes.load());
}

}  // namespace

std::uintptr_t MonitorTimerId() { return reinterpret_cast<std::uintptr_t>(kMonitorTimerName); }

void SetMonitorTimer() {
  SetTimer(static_cast<HWND>(globals::MonitorWindow), MonitorTimerId(), 1000, MonitorTimerProc);
}

void KillMonitorTimer() {
  KillTimer(static_cast<HWND>(globals::MonitorWindow), MonitorTimerId());
}

int OnTransferEvent(int code, void* connection, int b, int /*c*/, void* task) {
  switch (code) {
    case 3:
      // The state first, then the total: a reader may briefly see Started with 0.
      globals::TransferState = Started;
      globals::totalBytes = b;
      break;
    case 4:
      EndOfTransfer(task);
      break;
    case 5:
      Log(connection, "\xCF\xC2\xD4\xD8\xCF\xDF\xB3\xCC\xC6\xF4\xB6\xAF", task);  // 下载线程启动
      break;
    case 7:  // 线程正常结束在:
      Log(connection, "\xCF\xDF\xB3\xCC\xD5\xFD\xB3\xA3\xBD\xE1\xCA\xF8\xD4\xDA:" + std::to_string(b),
          task);
      break;
    case 8:  // 线程异常结束在:
      Log(connection, "\xCF\xDF\xB3\xCC\xD2\xEC\xB3\xA3\xBD\xE1\xCA\xF8\xD4\xDA:" + std::to_string(b),
          task);
      break;
    case 18:  // the save file exists: let the component pick another name
      return 0;
    default:
      break;
  }
  return 0;
}

int OnComponentLog(void* connection, const char* timeText, const char* messageText, int level,
                   void* task) {
  const std::string time = timeText ? timeText : "";
  const std::string message = messageText ? messageText : "";
  LogHook(connection, time.c_str(), message.c_str(), level, task);
  return 0;
}

void LogHook(void*, const char*, const char*, int, void*) {
  // The program keeps no log.
}

void UpdateTransferStats() {
  globals::speed = ToFigure(dl::TotalSpeed());
  globals::doneBytes =
      globals::DownloadHandle ? ToFigure(dl::DoneLength(*globals::DownloadHandle)) : 0;
  globals::percent = PercentOf(globals::doneBytes.load(), globals::totalBytes.load());
}
