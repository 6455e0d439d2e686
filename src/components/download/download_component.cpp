#include "components/download/download_component.h"

#include <chrono>
#include <map>
#include <thread>

#include "components/download/task_core.h"

namespace dl {

std::int64_t TakeWireCount();

namespace {

struct Options {
  std::atomic<int> bufferSize{20480};
  std::atomic<int> retryWait{5000};
  std::atomic<int> retryCount{999};
};

// Every running task, keyed by the pointer its slot holds. Never destroyed: a task
// thread may still be ending while the process runs its static destructors.
struct Registry {
  std::mutex mutex;
  std::map<Task*, std::shared_ptr<Task>> tasks;
};

Registry& TheRegistry() {
  static auto* registry = new Registry;
  return *registry;
}

Options& TheOptions() {
  static auto* options = new Options;
  return *options;
}

int OrDefault(int value, int fallback) { return value == 0 ? fallback : value; }

}  // namespace

void ReleaseEndedTask(Task* task) {
  auto& registry = TheRegistry();
  std::shared_ptr<Task> last;  // let go of it outside the lock
  std::lock_guard lock(registry.mutex);
  if (task->slot) task->slot->store(nullptr);
  task->slot = nullptr;
  auto it = registry.tasks.find(task);
  if (it != registry.tasks.end()) {
    last = std::move(it->second);
    registry.tasks.erase(it);
  }
}

void SetNetworkOptions(int bufferSize, int retryWait, int retryCount) {
  auto& options = TheOptions();
  options.bufferSize = OrDefault(bufferSize, 20480);
  options.retryWait = OrDefault(retryWait, 5000);
  options.retryCount = OrDefault(retryCount, 999);
}

bool AddTask(DownloadHandle& slot, const DownloadTask& record) {
  Settings s;
  s.url = WithoutLineBreaks(record.url);
  const auto address = ParseAddress(s.url);
  if (!address) return false;
  s.savePath = WithoutLineBreaks(record.savePath);
  s.proxy = WithoutLineBreaks(record.proxy);
  s.referer = WithoutLineBreaks(record.referer);
  // Values that would make no sense to a running task are brought into range.
  s.connectionCount = record.connectionCount < 1 ? 1 : record.connectionCount > 64 ? 64 : record.connectionCount;
  s.speedLimit = record.speedLimit < 0 ? 0 : record.speedLimit;
  s.connectTimeout = record.connectTimeout;
  s.sendTimeout = record.sendTimeout;
  s.receiveTimeout = record.receiveTimeout;
  s.stopWait = record.stopWait < 0 ? 0 : record.stopWait;
  s.readChunk = record.readChunk < 1 ? 20480 : record.readChunk;
  s.eventCallback = record.eventCallback;
  s.logCallback = record.logCallback;
  auto& options = TheOptions();
  s.bufferSize = options.bufferSize < 1 ? 20480 : options.bufferSize.load();
  s.retryWait = options.retryWait < 0 ? 0 : options.retryWait.load();
  s.retryCount = options.retryCount < 0 ? 0 : options.retryCount.load();

  auto& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  if (slot.load() != nullptr) return false;
  std::shared_ptr<Task> task;
  try {
    task = std::make_shared<Task>(std::move(s), *address);
  } catch (...) {
    return false;
  }
  task->slot = &slot;
  slot.store(task.get());
  registry.tasks[task.get()] = task;
  if (!task->Start()) {
    registry.tasks.erase(task.get());
    slot.store(nullptr);
    return false;
  }
  return true;
}

std::int64_t TotalSpeed() { return TakeWireCount(); }

std::int64_t DoneLength(DownloadHandle& slot) {
  auto& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  Task* task = slot.load();
  return task && registry.tasks.count(task) ? task->Received() : 0;
}

std::int64_t TaskDoneLength(const void* task) {
  auto& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto it = registry.tasks.find(static_cast<Task*>(const_cast<void*>(task)));
  return it == registry.tasks.end() ? 0 : it->second->Done();
}

void Destroy(DownloadHandle& slot) {
  std::shared_ptr<Task> task;
  {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.tasks.find(slot.load());
    if (it == registry.tasks.end()) {
      slot.store(nullptr);
      return;
    }
    task = it->second;
    task->slot = nullptr;  // the slot may be released as soon as this returns
  }
  task->Destroy();
  const auto deadline = SteadyMs() + task->settings().stopWait;
  while (task->LiveConnections() > 0 && SteadyMs() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  slot.store(nullptr);
}

}  // namespace dl
