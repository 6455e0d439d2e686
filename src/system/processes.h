// Process lookup and termination by image name (byte-wise, case included).
#pragma once

#include <cstdint>
#include <string>

bool TerminateProcessByName(const std::string& imageName);
std::uint32_t FindProcessIdByName(const std::string& imageName);
// Waits at most `timeoutMs` until no process with the image name runs any more; true when
// none is left. TerminateProcess only starts a process's end, and a program image that is
// still running cannot be replaced.
bool WaitForProcessGone(const std::string& imageName, unsigned timeoutMs);
