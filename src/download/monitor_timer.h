// The MonitorTimer: bound to MonitorWindow, its routine is UpdateTransferStats.
#pragma once

#include <cstdint>

// The program calls the timer "监控" and uses the address of that constant text as its
// id: fixed for the run, not 0, and far from the small ids of the window's own timers.
std::uintptr_t MonitorTimerId();

// Sets the timer on MonitorWindow (window's thread).
void SetMonitorTimer();
