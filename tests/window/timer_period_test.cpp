#include "window/timer_period.h"

#include <gtest/gtest.h>

namespace {

TEST(DecideTimerPeriod, SamePeriodKeepsDifferentRestartsZeroOrBelowStops) {
  struct Case {
    int current, requested;
    TimerAction action;
    int after;
  };
  const Case cases[] = {
      {0, 1000, TimerAction::Restart, 1000},   // start a stopped timer
      {1000, 1000, TimerAction::None, 1000},   // same period: the running period is kept
      {1000, 500, TimerAction::Restart, 500},  // a different one starts afresh
      {1000, 0, TimerAction::Stop, 0},
      {1000, -5, TimerAction::Stop, 0},
      {0, 0, TimerAction::None, 0},  // already stopped
      {0, -1, TimerAction::None, 0},
  };
  for (const Case& c : cases) {
    const TimerDecision d = DecideTimerPeriod(c.current, c.requested);
    EXPECT_EQ(d.action, c.action) << c.current << " -> " << c.requested;
    EXPECT_EQ(d.period, c.after) << c.current << " -> " << c.requested;
  }
}

}  // namespace
