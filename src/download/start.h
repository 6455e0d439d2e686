// Hands the package download to the download component.
#pragma once

#include <string>

// window: HWND the monitor timer is bound to. The optional integers each come with a
// mark saying whether they were given (no limit and one connection when not given).
void StartDownload(void* window, const std::string& url, const std::string& savePath,
                   int speedLimit, bool speedLimitGiven, int connectionCount,
                   bool connectionCountGiven);
