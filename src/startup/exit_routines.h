// The list of exit routines, and the one early way out of the program.
#pragma once

using ExitRoutine = void (*)();

// Registers a routine once; registering it again changes nothing.
void RegisterExitRoutine(ExitRoutine routine);

// Runs the registered routines once, in the order of registration; later calls do nothing.
void RunExitRoutines();

// Runs the exit routines, then ends the process with `code`. The window is not destroyed.
[[noreturn]] void EndProgram(int code);
