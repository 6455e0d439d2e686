#include "system/processes.h"

#include <windows.h>
#include <tlhelp32.h>

#include "system/unique_handle.h"
#include "text/text.h"

namespace {

// Walks a fresh snapshot of all processes and calls `visit` with every entry whose image
// name equals `imageName` byte for byte; `visit` returns true to stop the walk. The
// snapshot is closed on every way out by its owner.
template <typename Visit>
void WalkProcessesNamed(const std::string& imageName, Visit visit) {
  if (imageName.empty()) return;  // no image has an empty name
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (text::Equal(entry.szExeFile, imageName) && visit(entry)) return;
  }
}

// True while the process can still run: it could not be opened for waiting (access
// denied counts as running), or it has not ended within `waitMs`.
bool StillRunning(DWORD processId, DWORD waitMs) {
  UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;  // that id is gone
  return WaitForSingleObject(process.get(), waitMs) != WAIT_OBJECT_0;
}

}  // namespace

std::uint32_t FindProcessIdByName(const std::string& imageName) {
  std::uint32_t found = 0;
  WalkProcessesNamed(imageName, [&](const PROCESSENTRY32& entry) {
    found = entry.th32ProcessID;
    return true;
  });
  return found;
}

bool TerminateProcessByName(const std::string& imageName) {
  bool terminated = false;
  WalkProcessesNamed(imageName, [&](const PROCESSENTRY32&) {
    // The first process with the name at this moment, which is the matched entry's
    // process in the ordinary case.
    const std::uint32_t processId = FindProcessIdByName(imageName);
    if (processId == 0) return false;
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    terminated = process && TerminateProcess(process.get(), 0);
    return terminated;
  });
  return terminated;
}

bool WaitForProcessGone(const std::string& imageName, unsigned timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    // A terminated process can stay listed while handles to it are open, so a listed
    // process counts only while it has not ended; waiting on it also paces the loop.
    bool running = false;
    WalkProcessesNamed(imageName, [&](const PROCESSENTRY32& entry) {
      const ULONGLONG now = GetTickCount64();
      const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
      running = StillRunning(entry.th32ProcessID, left);
      return running;
    });
    if (!running) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    // Only reached for a process that cannot be opened for waiting: poll for it.
    const ULONGLONG left = deadline - now;
    Sleep(static_cast<DWORD>(left < 50 ? left : 50));
  }
}
