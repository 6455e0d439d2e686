// The program-wide state: created at start-up, released only by the exit routine.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "download/task.h"
#include "system/window_entry.h"

// The seven fields of the update request, numbered from 1 as callers write them.
enum RequestField : int {
  title = 1,
  linkCaption = 2,
  linkAddress = 3,
  targetPath = 4,
  packageAddress = 5,
  completionNotice = 6,
  relaunchFlag = 7,
};

enum TransferStateValue : std::int32_t { Idle = 0, Complete = 1, Incomplete = 2, Started = 4 };

namespace globals {

inline std::unique_ptr<std::vector<std::string>> UpdateRequest;
inline std::string PackageKind;
inline std::unique_ptr<WindowList> WindowList;
inline void* MonitorWindow = nullptr;  // HWND
inline std::unique_ptr<::DownloadTask> DownloadTask;
inline std::unique_ptr<DownloadHandle> DownloadHandle;

// TransferStats: speed, doneBytes and percent live on the window's thread; totalBytes and
// TransferState are written by the download component's task thread. Each is read whole.
inline std::atomic<std::int32_t> speed{0};
inline std::atomic<std::int32_t> doneBytes{0};
inline std::atomic<std::int32_t> totalBytes{0};
inline std::atomic<std::int32_t> percent{0};
inline std::atomic<std::int32_t> TransferState{Idle};

}  // namespace globals

// Field n (1 to 7) of the update request; the empty text before the request is read.
const std::string& RequestText(RequestField field);

void CreateGlobals();
void ReleaseGlobals();
