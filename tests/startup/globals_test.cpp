// The program-wide state: start values after CreateGlobals, the request fields as the
// window reads them, and the release at exit.
#include "startup/globals.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CreateGlobals, GivesTheStartValues) {
  CreateGlobals();
  ASSERT_NE(globals::UpdateRequest, nullptr);
  EXPECT_TRUE(globals::UpdateRequest->empty());
  EXPECT_TRUE(globals::PackageKind.empty());
  ASSERT_NE(globals::WindowList, nullptr);
  EXPECT_TRUE(globals::WindowList->empty());
  EXPECT_EQ(globals::MonitorWindow, nullptr);
  ASSERT_NE(globals::DownloadHandle, nullptr);
  EXPECT_EQ(globals::DownloadHandle->load(), nullptr);
  EXPECT_EQ(globals::speed.load(), 0);
  EXPECT_EQ(globals::doneBytes.load(), 0);
  EXPECT_EQ(globals::totalBytes.load(), 0);
  EXPECT_EQ(globals::percent.load(), 0);
  EXPECT_EQ(globals::TransferState.load(), Idle);

  // The task record with the component's start-up defaults, field by field.
  ASSERT_NE(globals::DownloadTask, nullptr);
  const DownloadTask& task = *globals::DownloadTask;
  EXPECT_EQ(task.flags, 1);
  EXPECT_EQ(task.url, "");
  EXPECT_EQ(task.savePath, "");
  EXPECT_EQ(task.userName, "anonymous");
  EXPECT_EQ(task.password.size(), 17u);
  EXPECT_NE(task.password.find('@'), std::string::npos);
  EXPECT_EQ(task.connectionCount, 1);
  EXPECT_EQ(task.speedLimit, 0);
  EXPECT_EQ(task.connectTimeout, 20000);
  EXPECT_EQ(task.sendTimeout, 20000);
  EXPECT_EQ(task.receiveTimeout, 20000);
  EXPECT_EQ(task.stopWait, 1000);
  EXPECT_EQ(task.readChunk, 20480);
  EXPECT_EQ(task.uploadBlock, 1024);
  EXPECT_EQ(task.logCallback, nullptr);
  EXPECT_EQ(task.eventCallback, nullptr);
  EXPECT_EQ(task.uploadRenameTo, "");
  EXPECT_EQ(task.ftpTransferType, 1);
  EXPECT_EQ(task.binaryTypes, ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm");
  EXPECT_EQ(task.binaryTypes.size(), 33u);
  EXPECT_EQ(task.proxy, "");
  EXPECT_EQ(task.referer, "");
  ReleaseGlobals();
}

TEST(RequestText, FieldsOneToSevenAndEmptyBeforeTheRequest) {
  CreateGlobals();
  EXPECT_EQ(RequestText(title), "");
  EXPECT_EQ(RequestText(relaunchFlag), "");
  *globals::UpdateRequest = {"t", "c", "l", "p", "http://h/a.zip", "n", "\xD5\xE6"};
  EXPECT_EQ(RequestText(title), "t");
  EXPECT_EQ(RequestText(targetPath), "p");
  EXPECT_EQ(RequestText(packageAddress), "http://h/a.zip");
  EXPECT_EQ(RequestText(relaunchFlag), "\xD5\xE6");
  ReleaseGlobals();
  // After the release the fields read as empty texts, not as freed memory.
  EXPECT_EQ(RequestText(title), "");
}

TEST(ReleaseGlobals, ReleasesEverythingAndLeavesTheStatisticsReadable) {
  CreateGlobals();
  globals::UpdateRequest->assign(7, "x");
  globals::PackageKind = ".zip";
  globals::WindowList->push_back(WindowEntry{nullptr, 1, 2, "title", "class"});
  globals::DownloadTask->url = "http://h/a.zip";
  globals::percent = 42;
  ReleaseGlobals();  // the slot holds no task: the destroy does nothing
  EXPECT_EQ(globals::UpdateRequest, nullptr);
  EXPECT_TRUE(globals::PackageKind.empty());
  EXPECT_EQ(globals::WindowList, nullptr);
  EXPECT_EQ(globals::DownloadTask, nullptr);
  EXPECT_EQ(globals::DownloadHandle, nullptr);
  // The statistics are never released: a late end event may still write them.
  EXPECT_EQ(globals::percent.load(), 42);
  globals::percent = 0;
}

}  // namespace
