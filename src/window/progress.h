// The progress display, refreshed by 时钟1 every second, and the completion sequence it
// starts once the package has arrived.
#pragma once

#include "window/updater_window.h"

void OnProgressTick(UpdaterWindow& window);
void FinishUpdate(UpdaterWindow& window);
