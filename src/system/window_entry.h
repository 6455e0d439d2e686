// One visible top-level window as seen during one enumeration of the desktop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WindowEntry {
  void* handle = nullptr;  // HWND
  std::uint32_t processId = 0;
  std::uint32_t threadId = 0;
  std::string title;      // at most 255 bytes
  std::string className;  // at most 255 bytes
};

using WindowList = std::vector<WindowEntry>;
