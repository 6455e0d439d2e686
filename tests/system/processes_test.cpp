// Process lookup, termination and waiting against real processes under Wine: copies of
// idle.exe started twice under one name and once under a name differing only in case.
#include "system/processes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "scratch.h"

namespace {

// A running copy of idle.exe, terminated at the end if a test left it running.
class Idle {
 public:
  explicit Idle(const std::string& program) {
    std::string command = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE,
                              CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info_) != FALSE;
  }
  ~Idle() {
    if (!started_) return;
    TerminateProcess(info_.hProcess, 0);
    WaitForSingleObject(info_.hProcess, 10000);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
  Idle(const Idle&) = delete;
  Idle& operator=(const Idle&) = delete;

  bool started() const { return started_; }
  DWORD id() const { return info_.dwProcessId; }
  bool ended() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; }
  DWORD exitCode() const {
    DWORD code = 12345;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION info_ = {};
};

class ProcessesTest : public ::testing::Test {
 protected:
  // Names of this test's own, so that no other program on the desktop can match them.
  const std::string name_ = "h2idle" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string upperName_ = "H2IDLE" + std::to_string(GetCurrentProcessId()) + ".exe";
  scratch::Folder dir_{"h2_processes"};
  std::string program_ = dir_ / name_;
  // In a folder of its own: names differing only in case are one file name under Windows.
  std::string upperProgram_ = dir_ / ("upper\\" + upperName_);

  void SetUp() override {
    const std::string idle = scratch::OwnFolder() + "idle.exe";
    ASSERT_TRUE(CopyFileA(idle.c_str(), program_.c_str(), FALSE))
        << "idle.exe must lie beside the test program";
    CreateDirectoryA((dir_ / "upper").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(idle.c_str(), upperProgram_.c_str(), FALSE));
  }
};

TEST_F(ProcessesTest, LookupByName) {
  EXPECT_EQ(FindProcessIdByName(name_), 0u);
  EXPECT_FALSE(TerminateProcessByName(name_));
  EXPECT_EQ(FindProcessIdByName(""), 0u);
  EXPECT_FALSE(TerminateProcessByName(""));
  EXPECT_TRUE(WaitForProcessGone(name_, 0));
  EXPECT_TRUE(WaitForProcessGone(name_, 1000));
  // The caller's own process is not skipped.
  EXPECT_EQ(FindProcessIdByName("system_processes_test.exe"), GetCurrentProcessId());
}

TEST_F(ProcessesTest, TerminatesOneProcessPerCallAndMatchesCaseExactly) {
  Idle one(program_), two(program_), upper(upperProgram_);
  ASSERT_TRUE(one.started() && two.started() && upper.started());
  ASSERT_TRUE(scratch::WaitUntil([&] { return FindProcessIdByName(upperName_) != 0; }));

  const DWORD first = FindProcessIdByName(name_);
  ASSERT_TRUE(first == one.id() || first == two.id()) << first;
  EXPECT_EQ(FindProcessIdByName(upperName_), upper.id());
  const Idle& firstIdle = first == one.id() ? one : two;
  const Idle& secondIdle = first == one.id() ? two : one;

  // Names are compared byte for byte: case, path and extension all count.
  EXPECT_FALSE(TerminateProcessByName(name_.substr(0, name_.size() - 4) + ".EXE"));
  EXPECT_FALSE(TerminateProcessByName(name_.substr(0, name_.size() - 4)));  // no ".exe"
  EXPECT_FALSE(TerminateProcessByName(dir_ / name_));                       // no path

  EXPECT_TRUE(TerminateProcessByName(name_));
  ASSERT_TRUE(scratch::WaitUntil([&] { return firstIdle.ended(); }));
  EXPECT_EQ(firstIdle.exitCode(), 0u);
  EXPECT_FALSE(secondIdle.ended()) << "one process per call";
  EXPECT_FALSE(upper.ended());

  // One copy still runs, so the name is not gone: the wait gives up at its bound.
  EXPECT_FALSE(WaitForProcessGone(name_, 300));
  EXPECT_EQ(FindProcessIdByName(name_), secondIdle.id());

  EXPECT_TRUE(TerminateProcessByName(name_));
  EXPECT_TRUE(WaitForProcessGone(name_, 20000));
  EXPECT_TRUE(secondIdle.ended()) << "gone means ended, not merely asked to end";
  EXPECT_EQ(FindProcessIdByName(name_), 0u);
  EXPECT_FALSE(TerminateProcessByName(name_));
  EXPECT_FALSE(upper.ended());
}

TEST_F(ProcessesTest, WaitsForAProcessThatEndsMeanwhile) {
  Idle one(program_);
  ASSERT_TRUE(one.started());
  ASSERT_TRUE(scratch::WaitUntil([&] { return FindProcessIdByName(name_) != 0; }));
  std::thread killer([&] {
    Sleep(200);
    TerminateProcessByName(name_);
  });
  EXPECT_TRUE(WaitForProcessGone(name_, 20000));
  EXPECT_TRUE(one.ended());
  killer.join();
}

}  // namespace
