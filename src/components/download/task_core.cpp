#include "components/download/task_core.h"

#include <chrono>
#include <climits>
#include <ctime>
#include <thread>

#include "components/download/connection.h"

namespace dl {

// The registry's side of a task's end: forget the slot, let go of the task.
void ReleaseEndedTask(Task* task);

namespace {

std::atomic<std::int64_t>& WireCounter() {
  static std::atomic<std::int64_t> counter{0};
  return counter;
}

int Clamp32(std::int64_t v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

void CountWire(std::int64_t n) { WireCounter() += n; }
std::int64_t TakeWireCount() { return WireCounter().exchange(0); }

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string NowText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

Task::Task(Settings settings, Address address)
    : settings_(std::move(settings)), address_(std::move(address)) {
  for (int i = 0; i < settings_.connectionCount; ++i) {
    connections_.push_back(std::make_unique<ConnectionState>());
    connections_.back()->index = i;
  }
}

bool Task::Start() {
  try {
    std::thread([self = shared_from_this()] { self->Run(); }).detach();
    return true;
  } catch (...) {
    return false;
  }
}

void Task::RequestStop() {
  std::lock_guard lock(queueMutex_);
  if (!stop_.load()) {
    stopAt_ = SteadyMs();  // before the flag: whoever sees the flag sees the time
    stop_ = true;
  }
  wake_.notify_all();
}

void Task::Destroy() {
  destroyed_ = true;
  RequestStop();
}

bool Task::StartConnection(int index) {
  if (index >= static_cast<int>(connections_.size())) return false;
  ++live_;
  connections_[index]->started = true;
  try {
    std::thread([self = shared_from_this(), index] { RunConnection(self, index); }).detach();
    return true;
  } catch (...) {
    connections_[index]->ended = true;
    --live_;
    return false;
  }
}

void Task::StartHelpers(int count) {
  for (int i = 1; i < count; ++i) StartConnection(i);
}

void Task::ConnectionEnded(ConnectionState& connection) {
  std::lock_guard lock(queueMutex_);
  connection.ended = true;
  --live_;
  wake_.notify_all();
}

void Task::Post(int code, const ConnectionState* connection, std::int64_t b, std::int64_t c) {
  std::lock_guard lock(queueMutex_);
  if (closed_) return;
  Entry entry;
  entry.code = code;
  entry.connection = connection;
  entry.b = b;
  entry.c = c;
  queue_.push_back(std::move(entry));
  wake_.notify_all();
}

void Task::PostLog(const ConnectionState* connection, int level, const std::string& message) {
  std::lock_guard lock(queueMutex_);
  if (closed_) return;
  Entry entry;
  entry.isLog = true;
  entry.connection = connection;
  entry.level = level;
  entry.time = NowText();
  entry.message = message;
  queue_.push_back(std::move(entry));
}

int Task::Ask(int code, const ConnectionState* connection, std::int64_t b, std::int64_t c) {
  // Held during the call, so the end event cannot overtake a question being answered.
  std::lock_guard ask(askMutex_);
  {
    std::lock_guard lock(queueMutex_);
    if (closed_) return 1;
  }
  if (!settings_.eventCallback) return 0;
  return settings_.eventCallback(code, const_cast<ConnectionState*>(connection), Clamp32(b),
                                 Clamp32(c), this);
}

void Task::SetSize(std::int64_t size) {
  std::int64_t unknown = -1;
  if (size_.compare_exchange_strong(unknown, size)) Post(3, nullptr, size, 0);
}

std::shared_ptr<SaveFile> Task::File() {
  std::lock_guard lock(fileMutex_);
  return file_;
}

void Task::SetFile(std::shared_ptr<SaveFile> file) {
  std::lock_guard lock(fileMutex_);
  file_ = std::move(file);
}

bool Task::Complete() const {
  const auto size = size_.load();
  return size >= 0 && done_.load() == size;
}

void Task::Deliver(std::deque<Entry>& batch) {
  for (auto& e : batch) {
    auto* connection = const_cast<ConnectionState*>(e.connection);
    if (e.isLog) {
      if (settings_.logCallback)
        settings_.logCallback(connection, e.time.c_str(), e.message.c_str(), e.level, this);
    } else if (settings_.eventCallback) {
      settings_.eventCallback(e.code, connection, Clamp32(e.b), Clamp32(e.c), this);
    }
  }
  batch.clear();
}

void Task::Run() {
  if (!StartConnection(0)) RequestStop();
  std::deque<Entry> batch;
  for (;;) {
    {
      std::unique_lock lock(queueMutex_);
      if (queue_.empty() && live_.load() > 0) {
        // Events wake the thread at once; the wait only bounds how late a log line comes.
        wake_.wait_for(lock, std::chrono::milliseconds(stop_.load() ? 20 : 100));
      }
      batch.swap(queue_);
    }
    Deliver(batch);
    // Once every byte is in, connections still waiting on a server have nothing to add.
    if (!stop_.load() && Complete()) RequestStop();
    if (live_.load() == 0) break;
    if (stop_.load() && SteadyMs() - stopAt_.load() >= settings_.stopWait) break;
  }
  Conclude();
}

void Task::Conclude() {
  std::deque<Entry> batch;
  {
    std::lock_guard ask(askMutex_);
    std::lock_guard lock(queueMutex_);
    closed_ = true;
    batch.swap(queue_);
  }
  Deliver(batch);
  // Connections that did not finish within stopWait end here as far as anyone is told.
  for (auto& c : connections_) {
    if (c->started.load() && !c->ended.load() && settings_.eventCallback)
      settings_.eventCallback(9, c.get(), 0, 0, this);
  }
  // Closed before the end is told: whoever acts on the end event (an install that reads
  // the package at once) must find the file free, not still open for writing here. A
  // connection past its stop wait keeps it only for the write it is in the middle of.
  SetFile(nullptr);
  const auto size = size_.load();
  const auto b = destroyed_.load() || size < 0 ? done_.load() : size;
  if (settings_.eventCallback) settings_.eventCallback(4, nullptr, Clamp32(b), 0, this);
  ReleaseEndedTask(this);
}

}  // namespace dl
