// The record of download settings handed to the download component, and the slot
// through which the program addresses the running task.
#pragma once

#include <atomic>
#include <string>

namespace dl {
class Task;  // the component's running task
}

// Event callback: code, connection, b, c, task. The result answers the component's questions.
using EventCallback = int (*)(int code, void* connection, int b, int c, void* task);
// Log callback: connection, timeText, messageText, level (0 progress .. 3 error), task.
// Both texts belong to the component and are valid only during the call; either may be null.
using LogCallback = int (*)(void* connection, const char* timeText, const char* messageText,
                            int level, void* task);

// Operations held in bits 8-15 of `flags`.
constexpr int kFlagDownload = 0x1000;
constexpr int kFlagUpload = 0x2000;
constexpr int kFlagPrepare = 0x3000;

// Fields in the order the component has always read them; defaults are the start-up values.
struct DownloadTask {
  int flags = 1;
  std::string url;
  std::string savePath;
  std::string userName = "anonymous";
  std::string password = "guest@example.com";  // FTP only; e-mail shaped, 17 characters
  int connectionCount = 1;
  int speedLimit = 0;
  int connectTimeout = 20000;
  int sendTimeout = 20000;
  int receiveTimeout = 20000;
  int stopWait = 1000;
  int readChunk = 20480;
  int uploadBlock = 1024;
  LogCallback logCallback = nullptr;
  EventCallback eventCallback = nullptr;
  std::string uploadRenameTo;
  int ftpTransferType = 1;
  std::string binaryTypes = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
  std::string proxy;
  std::string referer;
};

// The one-word slot: null, or the component's task while it runs.
using DownloadHandle = std::atomic<dl::Task*>;
