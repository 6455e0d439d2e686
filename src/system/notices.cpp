#include "system/notices.h"

#include <windows.h>

#include "startup/globals.h"

namespace {

// "友情提醒" in code page 936: the title of every notice the program shows.
const char kNoticeTitle[] = "\xD3\xD1\xC7\xE9\xCC\xE1\xD0\xD1";

constexpr int kTextBuffer = 256;  // so a title or class name holds at most 255 bytes

BOOL CALLBACK OnEnumWindow(HWND window, LPARAM) {
  RecordWindow(window);
  return TRUE;  // visit every top-level window of the desktop
}

}  // namespace

int ShowNotice(const std::string& message, std::optional<unsigned> style,
               const std::optional<std::string>& title) {
  HWND owner = static_cast<HWND>(FindProcessWindow(GetCurrentProcessId()));
  // Only an omitted title is replaced; an empty one is shown as it is.
  const char* caption = title ? title->c_str() : kNoticeTitle;
  return MessageBoxA(owner, message.c_str(), caption, style.value_or(0)) - 1;
}

void* FindProcessWindow(std::uint32_t processId) {
  WindowList windows;
  SnapshotWindows(windows);
  for (const WindowEntry& entry : windows) {
    if (entry.processId == processId) return entry.handle;
  }
  return nullptr;
}

int SnapshotWindows(WindowList& list) {
  // Before the program-wide state exists there is no list to collect into.
  if (!globals::WindowList) {
    list.clear();
    return 0;
  }
  globals::WindowList->clear();
  EnumWindows(OnEnumWindow, 0);
  list = *globals::WindowList;  // the caller's list is replaced, never appended to
  globals::WindowList->clear();
  return static_cast<int>(list.size());
}

void RecordWindow(void* handle) {
  HWND window = static_cast<HWND>(handle);
  if (!globals::WindowList || !IsWindowVisible(window)) return;
  WindowEntry entry;
  entry.handle = handle;
  entry.processId = GetWindowProcessId(handle);
  entry.threadId = GetWindowThreadId(handle);
  entry.title = GetWindowTitle(handle);
  entry.className = GetWindowClassName(handle);
  globals::WindowList->push_back(std::move(entry));
}

std::uint32_t GetWindowProcessId(void* handle) {
  DWORD processId = 0;
  GetWindowThreadProcessId(static_cast<HWND>(handle), &processId);
  return processId;
}

std::uint32_t GetWindowThreadId(void* handle) {
  DWORD processId = 0;
  return GetWindowThreadProcessId(static_cast<HWND>(handle), &processId);
}

std::string GetWindowTitle(void* handle) {
  char buffer[kTextBuffer] = {};
  GetWindowTextA(static_cast<HWND>(handle), buffer, kTextBuffer);
  return buffer;
}

std::string GetWindowClassName(void* handle) {
  char buffer[kTextBuffer] = {};
  GetClassNameA(static_cast<HWND>(handle), buffer, kTextBuffer);
  return buffer;
}
