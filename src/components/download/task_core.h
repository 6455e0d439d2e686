// One download task: its settings as copied from the record, the shared state of its
// connections, and the queue its task thread works off. Owned through shared_ptr by
// the registry, the task thread and every connection thread, so a connection that
// outlives the task's end still touches only live state.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "components/download/address.h"
#include "components/download/range_pool.h"
#include "components/download/save_file.h"
#include "download/task.h"

namespace dl {

// What the task keeps of the record and of the network options.
struct Settings {
  std::string url;
  std::string savePath;
  std::string proxy;
  std::string referer;
  int connectionCount = 1;
  int speedLimit = 0;
  int connectTimeout = 20000;
  int sendTimeout = 20000;
  int receiveTimeout = 20000;
  int stopWait = 1000;
  int readChunk = 20480;
  int bufferSize = 20480;
  int retryWait = 5000;
  int retryCount = 999;
  EventCallback eventCallback = nullptr;
  LogCallback logCallback = nullptr;
};

// Identifies a connection in events and log messages.
struct ConnectionState {
  int index = 0;
  std::atomic<bool> started{false};
  std::atomic<bool> ended{false};
};

class Task : public std::enable_shared_from_this<Task> {
 public:
  Task(Settings settings, Address address);

  const Settings& settings() const { return settings_; }
  const Address& address() const { return address_; }
  RangePool& pool() { return pool_; }
  ConnectionState& connection(int index) { return *connections_[index]; }

  // Starts the task thread; false when no thread could be started.
  bool Start();
  // Tells every connection to stop (destroy, or the transfer abandoned).
  void RequestStop();
  // The destroy operation: stop, and report the bytes received with the end event.
  void Destroy();
  bool Stopping() const { return stop_.load(); }
  // Bytes of content written to the save file: what completeness is judged on.
  std::int64_t Done() const { return done_.load(); }
  // Bytes of content received, written or still in a connection's buffer: what the
  // progress shows, so a slow link does not show nothing for a whole buffer's time.
  std::int64_t Received() const { return done_.load() + inBuffers_.load(); }
  int LiveConnections() const { return live_.load(); }

  // --- for connection threads ---
  void Post(int code, const ConnectionState* connection, std::int64_t b, std::int64_t c);
  void PostLog(const ConnectionState* connection, int level, const std::string& message);
  // Events 2 and 18: called on the asking connection's thread; 1 when the task has ended.
  int Ask(int code, const ConnectionState* connection, std::int64_t b, std::int64_t c);
  void AddDone(std::int64_t n) { done_ += n; }
  void AddBuffered(std::int64_t n) { inBuffers_ += n; }
  // The size became known (event 3 is raised once); -1 until then.
  void SetSize(std::int64_t size);
  std::int64_t Size() const { return size_.load(); }
  // The server answered a range request with the whole file.
  void SetRangesIgnored() { rangesIgnored_ = true; }
  bool RangesIgnored() const { return rangesIgnored_.load(); }
  // The save file, once created by the first connection.
  std::shared_ptr<SaveFile> File();
  void SetFile(std::shared_ptr<SaveFile> file);
  // Starts connections 1 .. count-1 once the size is known.
  void StartHelpers(int count);
  // The connection's thread is about to return.
  void ConnectionEnded(ConnectionState& connection);
  // Connections currently transferring, for sharing the speed limit.
  std::atomic<int> active{0};

  // The slot that names this task; cleared by destroy so the end touches it no more.
  DownloadHandle* slot = nullptr;

 private:
  struct Entry {
    bool isLog = false;
    int code = 0;
    const ConnectionState* connection = nullptr;
    std::int64_t b = 0, c = 0;
    int level = 0;
    std::string time, message;
  };
  void Run();
  bool StartConnection(int index);
  void Deliver(std::deque<Entry>& batch);
  bool Complete() const;
  void Conclude();

  Settings settings_;
  Address address_;
  RangePool pool_;
  std::vector<std::unique_ptr<ConnectionState>> connections_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> destroyed_{false};
  std::atomic<std::int64_t> stopAt_{0};  // steady-clock ms of the stop request
  std::atomic<std::int64_t> done_{0};
  std::atomic<std::int64_t> inBuffers_{0};
  std::atomic<std::int64_t> size_{-1};
  std::atomic<bool> rangesIgnored_{false};
  std::atomic<int> live_{0};

  std::mutex queueMutex_;
  std::condition_variable wake_;
  std::deque<Entry> queue_;
  bool closed_ = false;  // after event 4: nothing more is delivered

  std::mutex fileMutex_;
  std::shared_ptr<SaveFile> file_;
  std::mutex askMutex_;
};

// Adds to the bytes every connection received (headers included) since the last query.
void CountWire(std::int64_t n);
std::int64_t SteadyMs();
std::string NowText();

}  // namespace dl
