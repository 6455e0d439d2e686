// The timer control 时钟1: a window timer whose period can be set again at any time.
#pragma once

#include <windows.h>

class TimerControl {
 public:
  TimerControl() = default;
  TimerControl(const TimerControl&) = delete;
  TimerControl& operator=(const TimerControl&) = delete;

  // Binds the control to its window; the timer's messages arrive there with `id`.
  void Attach(HWND window, UINT_PTR id);
  // A different period restarts the timer, the same period changes nothing, 0 or below stops it.
  void SetPeriod(int milliseconds);
  int Period() const { return period_; }
  UINT_PTR Id() const { return id_; }
  // The window is going away: forget the timer without touching it again.
  void Detach();

 private:
  HWND window_ = nullptr;
  UINT_PTR id_ = 0;
  int period_ = 0;
};
