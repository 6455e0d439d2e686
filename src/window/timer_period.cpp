#include "window/timer_period.h"

TimerDecision DecideTimerPeriod(int currentPeriod, int requestedPeriod) {
  if (requestedPeriod <= 0) {
    // Stopping a stopped timer is harmless; say Stop only when one is running.
    return {currentPeriod > 0 ? TimerAction::Stop : TimerAction::None, 0};
  }
  if (requestedPeriod == currentPeriod) return {TimerAction::None, currentPeriod};
  return {TimerAction::Restart, requestedPeriod};
}
