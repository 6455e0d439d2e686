// The exit-routine list and EndProgram. EndProgram ends the process, so its cases run
// in a child process (a death test) and are judged by the exit code and what the
// routines wrote.
#include "startup/exit_routines.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

int runsOfFirst = 0;
int runsOfSecond = 0;
void First() { ++runsOfFirst; }
void Second() { ++runsOfSecond; }

void SayFirst() { std::fputs("first;", stderr); }
void SaySecond() { std::fputs("second;", stderr); }

void EndAfterRegistering(int code) {
  RegisterExitRoutine(SayFirst);
  RegisterExitRoutine(SaySecond);
  RegisterExitRoutine(SayFirst);  // already there: no second run, no change of order
  EndProgram(code);
}

TEST(EndProgramDeathTest, RunsEachRoutineOnceInOrderThenExitsWithTheCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(EndAfterRegistering(0), ::testing::ExitedWithCode(0), "^first;second;$");
  EXPECT_EXIT(EndAfterRegistering(7), ::testing::ExitedWithCode(7), "^first;second;$");
}

// Runs after the death test in this process: the list here is still untouched by it.
TEST(ExitRoutines, RegisteredTwiceRunsOnceAndTheListRunsOnlyOnce) {
  RegisterExitRoutine(First);
  RegisterExitRoutine(Second);
  RegisterExitRoutine(First);
  RunExitRoutines();
  EXPECT_EQ(runsOfFirst, 1);
  EXPECT_EQ(runsOfSecond, 1);
  RunExitRoutines();  // the loop's end after an earlier run changes nothing
  EXPECT_EQ(runsOfFirst, 1);
  EXPECT_EQ(runsOfSecond, 1);
}

}  // namespace
