// How a timer control answers a new period: the same period again changes nothing,
// a different one restarts the timer, 0 or below stops it.
#pragma once

enum class TimerAction { None, Restart, Stop };

struct TimerDecision {
  TimerAction action;
  int period;  // the period the timer has afterwards; 0 when stopped
};

TimerDecision DecideTimerPeriod(int currentPeriod, int requestedPeriod);
