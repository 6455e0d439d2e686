// The update window's events: the start sequence when it has been created, and the
// clean-up when it closes.
#pragma once

#include <string>

#include "window/updater_window.h"

// How long the start waits for the terminated target to be gone before the download
// begins, so its image is not still running when the package is copied over it.
constexpr unsigned kTargetExitWaitMs = 3000;

void OnCreated(UpdaterWindow& window);
void OnCloseQuery(UpdaterWindow& window);
void OnDestroying(UpdaterWindow& window);
void StartUpdate(UpdaterWindow& window, const std::string& packageAddress);

// The events of the updater's window: the three above and the progress timer's.
WindowEvents UpdaterEvents();
