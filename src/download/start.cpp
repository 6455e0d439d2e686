#include "download/start.h"

#include "components/download/download_component.h"
#include "download/monitor_timer.h"
#include "download/transfer.h"
#include "startup/globals.h"

void StartDownload(void* window, const std::string& url, const std::string& savePath,
                   int speedLimit, bool speedLimitGiven, int connectionCount,
                   bool connectionCountGiven) {
  // 0 for the wait and the count selects the component's defaults (5000 ms, 999 tries).
  dl::SetNetworkOptions(204000, 0, 0);
  globals::MonitorWindow = window;
  SetMonitorTimer();
  if (!globals::DownloadTask || !globals::DownloadHandle) return;
  DownloadTask& task = *globals::DownloadTask;
  task.flags = kFlagDownload;
  task.url = url;
  task.savePath = savePath;
  task.speedLimit = speedLimitGiven ? speedLimit : 0;
  task.connectionCount = connectionCountGiven ? connectionCount : 1;
  task.stopWait = 1000;
  task.connectTimeout = 5000;
  task.sendTimeout = 5001;
  task.receiveTimeout = 10000;
  task.readChunk = 20480;
  task.eventCallback = OnTransferEvent;
  task.logCallback = OnComponentLog;
  // Refused or not, the program does not look: the window then shows nothing received.
  dl::AddTask(*globals::DownloadHandle, task);
}
