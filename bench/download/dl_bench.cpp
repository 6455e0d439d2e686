// dl_bench URL SAVE_PATH [CONNECTIONS]: downloads one file with the download component
// as the updater sets it up (buffer 204000, read chunk 20480) and exits 0 when the
// transfer ended complete. For bench/download; prints nothing on success.
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "components/download/download_component.h"

namespace {

std::mutex mutex;
std::condition_variable ended;
bool done = false;
long long reportedSize = -1;
long long received = -1;
DownloadHandle slot{nullptr};

int OnEvent(int code, void*, int b, int, void* task) {
  std::lock_guard lock(mutex);
  if (code == 3) reportedSize = b;
  if (code == 4) {
    received = dl::TaskDoneLength(task);
    done = true;
    ended.notify_all();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: dl_bench URL SAVE_PATH [CONNECTIONS]\n");
    return 2;
  }
  dl::SetNetworkOptions(204000, 0, 0);
  DownloadTask task;
  task.flags = kFlagDownload;
  task.url = argv[1];
  task.savePath = argv[2];
  task.connectionCount = argc > 3 ? std::atoi(argv[3]) : 5;
  task.connectTimeout = 5000;
  task.sendTimeout = 5001;
  task.receiveTimeout = 10000;
  task.eventCallback = OnEvent;
  if (!dl::AddTask(slot, task)) {
    std::fprintf(stderr, "dl_bench: task refused\n");
    return 2;
  }
  std::unique_lock lock(mutex);
  ended.wait(lock, [] { return done; });
  if (reportedSize < 0 || received != reportedSize) {
    std::fprintf(stderr, "dl_bench: incomplete (%lld of %lld)\n", received, reportedSize);
    return 1;
  }
  return 0;
}
