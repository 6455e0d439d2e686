// Notices (message boxes) owned by the updater's own first visible window, and the
// window enumeration that finds that owner.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "system/window_entry.h"

// The box's result less one; style 0 (MB_OK) and the title "友情提醒" when omitted.
int ShowNotice(const std::string& message, std::optional<unsigned> style = {},
               const std::optional<std::string>& title = {});
void* FindProcessWindow(std::uint32_t processId);  // HWND or null
int SnapshotWindows(WindowList& list);
void RecordWindow(void* handle);
std::uint32_t GetWindowProcessId(void* handle);
std::uint32_t GetWindowThreadId(void* handle);
std::string GetWindowTitle(void* handle);
std::string GetWindowClassName(void* handle);
