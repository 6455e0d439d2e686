#include "startup/exit_routines.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
std::vector<ExitRoutine>& Routines() {
  static std::vector<ExitRoutine> routines;
  return routines;
}
bool ran = false;
}  // namespace

void RegisterExitRoutine(ExitRoutine routine) {
  auto& list = Routines();
  if (std::find(list.begin(), list.end(), routine) == list.end()) list.push_back(routine);
}

void RunExitRoutines() {
  if (ran) return;
  ran = true;
  for (ExitRoutine routine : Routines()) routine();
}

void EndProgram(int code) {
  RunExitRoutines();
#ifdef _WIN32
  ExitProcess(static_cast<UINT>(code));
#else
  std::_Exit(code);
#endif
}
