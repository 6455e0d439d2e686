// Following the transfer: the component's event and log callbacks, the once-a-second
// statistics, and the rounding every figure of the window uses.
#pragma once

#include <cstdint>

// The largest whole number not above x, except that a fraction within 1e-12 of a whole
// number (away from zero) counts as that number; not finite gives 0.
std::int32_t FloorToInteger(double x);

int OnTransferEvent(int code, void* connection, int b, int c, void* task);
int OnComponentLog(void* connection, const char* timeText, const char* messageText, int level,
                   void* task);
void LogHook(void* connection, const char* timeText, const char* messageText, int level,
             void* task);
// The MonitorTimer's routine (window's thread).
void UpdateTransferStats();

// Windows lets only a window's own thread kill its timers, so the end of the transfer
// (on the component's task thread) sends this message to the monitor window, whose
// procedure answers it by calling KillMonitorTimer on the window's thread.
constexpr unsigned kKillMonitorTimerMessage = 0x8000 + 1;  // WM_APP + 1
void KillMonitorTimer();
