// The download component against real servers: nginx, and a server that misbehaves in
// every way a user's server might. Run through with_servers.py, which starts both.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "components/download/download_component.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "../../support/test_files.h"

namespace {

using testfiles::Env;
using testfiles::ReadFile;

bool Exists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

// What the callbacks saw of one task. One task runs at a time.
struct Record {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> codes;
  long long size = -1;  // event 3
  bool ended = false;
  long long endB = -1;
  long long doneAtEnd = -1;      // through the slot, while event 4 is handled
  long long taskDoneAtEnd = -1;  // through the event's task
  bool eventAfterEnd = false;
  int answer18 = 0;
  int logLines = 0;
  std::string savePath;
  bool savedFileFreeAtEnd = false;  // while event 4 is handled
};

// Whoever acts on the end event (an install reading the package) must find the save file
// closed: a reader that shares only reading cannot open a file that is still open for writing.
bool OpensForReadingAlone(const std::string& path) {
#ifdef _WIN32
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
#else
  return std::ifstream(path, std::ios::binary).good();  // no share modes to hold it here
#endif
}

Record* record = nullptr;
DownloadHandle* slot = nullptr;

int OnEvent(int code, void*, int b, int, void* task) {
  std::lock_guard lock(record->mutex);
  if (record->ended) record->eventAfterEnd = true;
  record->codes.push_back(code);
  if (code == 3) record->size = b;
  if (code == 18) return record->answer18;
  if (code == 4) {
    record->endB = b;
    record->doneAtEnd = dl::DoneLength(*slot);
    record->taskDoneAtEnd = dl::TaskDoneLength(task);
    record->savedFileFreeAtEnd = OpensForReadingAlone(record->savePath);
    record->ended = true;
    record->changed.notify_all();
  }
  return 0;
}

int OnLog(void*, const char* time, const char* message, int level, void*) {
  std::lock_guard lock(record->mutex);
  EXPECT_TRUE(time && message && level >= 0 && level <= 3);
  ++record->logLines;
  return 0;
}

class DownloadComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    payloadPath_ = Env("DL_PAYLOAD");
    ASSERT_FALSE(payloadPath_.empty()) << "run through with_servers.py";
    payload_ = ReadFile(payloadPath_);
    ASSERT_GT(payload_.size(), 1000000u) << "large enough for five ranges";
    saveDir_ = Env("DL_SAVE_DIR");
    record = &record_;
    slot = &slot_;
    dl::SetNetworkOptions(65536, 20, 8);
  }

  DownloadTask Task(const std::string& url, const std::string& save, int connections) {
    DownloadTask t;
    t.flags = kFlagDownload;
    t.url = url;
    t.savePath = save;
    t.connectionCount = connections;
    t.connectTimeout = 2000;
    t.sendTimeout = 2000;
    t.receiveTimeout = 600;
    t.stopWait = 300;
    t.eventCallback = OnEvent;
    t.logCallback = OnLog;
    return t;
  }

  // Waits for the end event and for the component to let go of the task.
  void WaitForEnd() {
    std::unique_lock lock(record_.mutex);
    // A bound against hanging forever, not a speed requirement.
    ASSERT_TRUE(record_.changed.wait_for(lock, std::chrono::seconds(120),
                                         [&] { return record_.ended; }));
    lock.unlock();
    for (int i = 0; i < 500 && slot_.load(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(slot_.load(), nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // room for a stray event
    std::lock_guard again(record_.mutex);
    EXPECT_FALSE(record_.eventAfterEnd);
  }

  bool Complete() {
    std::lock_guard lock(record_.mutex);
    return record_.size >= 0 && record_.doneAtEnd == record_.size;
  }

  int Count(int code) {
    std::lock_guard lock(record_.mutex);
    int n = 0;
    for (int c : record_.codes) n += c == code;
    return n;
  }

  std::string Fault(const std::string& mode) { return Env("DL_FAULT_URL") + mode + "/payload.bin"; }

  std::string payloadPath_, payload_, saveDir_;
  Record record_;
  DownloadHandle slot_{nullptr};
};

enum class Expect { Complete, Incomplete, Either };

struct Case {
  const char* name;
  Expect expect;
};

// Every server behaviour with one and with five connections. Whatever happens, a task
// reported complete has exactly the served bytes.
TEST_F(DownloadComponent, EveryServerBehaviourEndsCompleteWithTheRightBytesOrIncomplete) {
  const Case cases[] = {
      {"nginx", Expect::Complete},       {"ranges", Expect::Complete},
      {"norange", Expect::Complete},     {"wrongstart", Expect::Complete},
      {"wrongtotal", Expect::Complete},  {"cut", Expect::Complete},
      {"stall", Expect::Complete},       {"404", Expect::Incomplete},
      {"500", Expect::Incomplete},       {"redirect", Expect::Complete},
      {"chunked", Expect::Complete},     {"extra", Expect::Complete},
      {"closeheaders", Expect::Incomplete}, {"loop", Expect::Incomplete},
      {"hugeheader", Expect::Either},
  };
  int n = 0;
  for (const auto& c : cases) {
    for (int connections : {1, 5}) {
      SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(connections));
      record_.~Record();
      new (&record_) Record;
      const std::string url =
          std::string(c.name) == "nginx" ? Env("DL_NGINX_URL") + "payload.bin" : Fault(c.name);
      const std::string save = saveDir_ + "case" + std::to_string(n++) + ".bin";
      record_.savePath = save;
      ASSERT_TRUE(dl::AddTask(slot_, Task(url, save, connections)));
      WaitForEnd();
      const bool complete = Complete();
      // The fault table, for the log: what each behaviour came to.
      std::printf("  %-12s %d connection(s): %s, %d started\n", c.name, connections,
                  complete ? "complete, bytes checked" : "incomplete", Count(5));
      if (c.expect == Expect::Complete) {
        EXPECT_TRUE(complete);
      } else if (c.expect == Expect::Incomplete) {
        EXPECT_FALSE(complete);
      }
      if (complete) {
        EXPECT_EQ(record_.size, static_cast<long long>(payload_.size()));
        EXPECT_TRUE(ReadFile(save) == payload_) << "complete, but the bytes differ";
        EXPECT_EQ(record_.endB, record_.size);
        EXPECT_TRUE(record_.savedFileFreeAtEnd) << "the save file is still open at the end";
      }
      EXPECT_EQ(record_.doneAtEnd, record_.taskDoneAtEnd);
      EXPECT_LE(Count(3), 1);
      EXPECT_EQ(Count(4), 1);
      EXPECT_EQ(record_.codes.back(), 4);
      EXPECT_EQ(Count(5), Count(8) + Count(9)) << "every started connection ends once";
      // Five connections share a ranged download when the server allows it.
      const std::string name = c.name;
      if (connections == 5 && (name == "nginx" || name == "ranges" || name == "redirect")) {
        EXPECT_EQ(Count(5), 5);
      }
      if (name == "chunked") {
        EXPECT_EQ(Count(5), 1) << "a body without a length is fetched by one connection";
      }
    }
  }
}

TEST_F(DownloadComponent, RefusesAddressesItCannotFetchAndABusySlot) {
  const char* refused[] = {"ftp://127.0.0.1/payload.bin", "http://", "http://127.0.0.1",
                           "http:///payload.bin",         "https://127.0.0.1/x",
                           "http://127.0.0.1:0/x",        "http://127.0.0.1:99999/x"};
  for (const char* url : refused) {
    EXPECT_FALSE(dl::AddTask(slot_, Task(url, saveDir_ + "refused.bin", 1))) << url;
    EXPECT_EQ(slot_.load(), nullptr);
  }
  EXPECT_EQ(dl::DoneLength(slot_), 0);
  dl::Destroy(slot_);  // nothing to stop

  // CR and LF are dropped from the copies: this address still works.
  const std::string url = Env("DL_NGINX_URL") + "pay\r\nload.bin";
  ASSERT_TRUE(dl::AddTask(slot_, Task(url, saveDir_ + "busy\n.bin", 1)));
  DownloadHandle other{nullptr};
  EXPECT_FALSE(dl::AddTask(slot_, Task(url, saveDir_ + "second.bin", 1)));
  WaitForEnd();
  EXPECT_TRUE(Complete());
  EXPECT_TRUE(ReadFile(saveDir_ + "busy.bin") == payload_);
  EXPECT_FALSE(Exists(saveDir_ + "second.bin"));
}

TEST_F(DownloadComponent, ExistingSaveFileIsAskedAboutAndNeverOverwritten) {
  const std::string save = saveDir_ + "present.zip";
  { std::ofstream(save, std::ios::binary) << "keep me"; }

  record_.answer18 = 0;  // the component picks a free name itself
  ASSERT_TRUE(dl::AddTask(slot_, Task(Env("DL_NGINX_URL") + "payload.bin", save, 5)));
  WaitForEnd();
  EXPECT_EQ(Count(18), 1);
  EXPECT_TRUE(Complete());
  EXPECT_EQ(ReadFile(save), "keep me");
  EXPECT_TRUE(ReadFile(saveDir_ + "present (1).zip") == payload_);

  record_.~Record();
  new (&record_) Record;
  record_.answer18 = 1;  // abandon
  ASSERT_TRUE(dl::AddTask(slot_, Task(Env("DL_NGINX_URL") + "payload.bin", save, 5)));
  WaitForEnd();
  EXPECT_EQ(Count(18), 1);
  EXPECT_EQ(Count(3), 0);
  EXPECT_FALSE(Complete());
  EXPECT_EQ(ReadFile(save), "keep me");
  EXPECT_FALSE(Exists(saveDir_ + "present (2).zip"));
}

TEST_F(DownloadComponent, FolderSavePathTakesTheNameFromTheAddress) {
  ASSERT_TRUE(dl::AddTask(slot_, Task(Fault("redirect") + "?v=2", saveDir_, 3)));
  WaitForEnd();
  EXPECT_TRUE(Complete());
  EXPECT_TRUE(ReadFile(saveDir_ + "payload.bin") == payload_);
}

TEST_F(DownloadComponent, ProxyReceivesTheWholeAddress) {
  // The host does not exist: only a request through the proxy can succeed.
  auto t = Task("http://no-such-host.invalid/ranges/payload.bin", saveDir_ + "proxied.bin", 2);
  t.proxy = "127.0.0.1:" + Env("DL_FAULT_PORT");
  ASSERT_TRUE(dl::AddTask(slot_, t));
  WaitForEnd();
  EXPECT_TRUE(Complete());
  EXPECT_TRUE(ReadFile(saveDir_ + "proxied.bin") == payload_);
}

TEST_F(DownloadComponent, SpeedLimitedTransferStillCompletes) {
  dl::TotalSpeed();  // start counting afresh
  auto t = Task(Env("DL_NGINX_URL") + "payload.bin", saveDir_ + "limited.bin", 3);
  t.speedLimit = 2 * 1024 * 1024;  // shares of one second's worth: two periods
  ASSERT_TRUE(dl::AddTask(slot_, t));
  WaitForEnd();
  EXPECT_TRUE(Complete());
  EXPECT_TRUE(ReadFile(saveDir_ + "limited.bin") == payload_);
  // Headers count too, so the wire total is above the content.
  EXPECT_GT(dl::TotalSpeed(), static_cast<long long>(payload_.size()));
  EXPECT_EQ(dl::TotalSpeed(), 0);
}

TEST_F(DownloadComponent, DestroyStopsARunningTaskAndTheEndStillComes) {
  ASSERT_TRUE(dl::AddTask(slot_, Task(Fault("trickle"), saveDir_ + "stopped.bin", 2)));
  for (int i = 0; i < 500 && dl::DoneLength(slot_) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GT(dl::DoneLength(slot_), 0);
  dl::Destroy(slot_);
  EXPECT_EQ(slot_.load(), nullptr);
  EXPECT_EQ(dl::DoneLength(slot_), 0);
  WaitForEnd();
  EXPECT_FALSE(Complete());
  EXPECT_GT(record_.endB, 0);  // a destroyed task reports what it received
  EXPECT_LT(record_.endB, static_cast<long long>(payload_.size()));
}

}  // namespace

namespace {

// On a slow link a connection's buffer takes long to fill: the done length must show what
// has arrived before any of it is written, while completeness still counts written bytes.
TEST_F(DownloadComponent, DoneLengthCountsBytesStillInABuffer) {
  dl::SetNetworkOptions(4 * 1024 * 1024, 20, 8);  // far more than the trickle brings in
  ASSERT_TRUE(dl::AddTask(slot_, Task(Fault("trickle"), saveDir_ + "buffered.bin", 1)));
  for (int i = 0; i < 500 && dl::DoneLength(slot_) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GT(dl::DoneLength(slot_), 0);
  EXPECT_EQ(Count(16), 0) << "nothing written yet, so no data event";
  dl::Destroy(slot_);
  WaitForEnd();
  EXPECT_FALSE(Complete());
}

}  // namespace
