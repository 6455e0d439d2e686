// The multi-connection HTTP download component: the whole interface the program uses.
// Tasks run on threads of their own and report through the record's two callbacks.
#pragma once

#include <cstdint>

#include "download/task.h"

namespace dl {

// Network options shared by all tasks; 0 selects the default (20480, 5000 ms, 999).
void SetNetworkOptions(int bufferSize, int retryWait, int retryCount);

// Copies the record (CR and LF dropped from its texts) and starts the task. Refused
// (false) for a scheme other than http, an address without a host followed by a slash,
// or a slot that already holds a task. On success the slot holds the task until its
// end event (4) has been handled; then the component sets it back to null.
bool AddTask(DownloadHandle& slot, const DownloadTask& task);

// Bytes received by every connection since the previous call, headers included; resets.
std::int64_t TotalSpeed();

// Bytes of file content the slot's task has received so far, written to the save file or
// still in a connection's buffer; 0 for an empty slot.
std::int64_t DoneLength(DownloadHandle& slot);

// The bytes of the task an event names (its `task` argument) written to the save file,
// without the slot: valid while that task's events are being delivered, 0 once it has
// been released. After the end event every received byte is written or given back.
std::int64_t TaskDoneLength(const void* task);

// Stops the slot's task: waits at most the task's stopWait for its connections, sets
// the slot to null and returns without waiting for the task thread. Nothing for null.
void Destroy(DownloadHandle& slot);

}  // namespace dl
