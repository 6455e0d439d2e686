#include "window/window_events.h"

#include <commctrl.h>

#include "download/start.h"
#include "install/staging.h"
#include "startup/exit_routines.h"
#include "startup/globals.h"
#include "startup/request.h"
#include "system/notices.h"
#include "system/processes.h"
#include "window/progress.h"
#include "window/resource.h"

namespace {
// 对不起,本程序只支持zip和exe格式的下载文件
const char kUnsupportedPackage[] =
    "\xB6\xD4\xB2\xBB\xC6\xF0,\xB1\xBE\xB3\xCC\xD0\xF2\xD6\xBB\xD6\xA7\xB3\xD6"
    "zip"
    "\xBA\xCD"
    "exe"
    "\xB8\xF1\xCA\xBD\xB5\xC4\xCF\xC2\xD4\xD8\xCE\xC4\xBC\xFE";

constexpr COLORREF kBarColour = 0x00FFC993;  // red 147, green 201, blue 255
}  // namespace

void OnCreated(UpdaterWindow& window) {
  ReadUpdateRequest();  // ends the program unless there are exactly seven fields
  window.SetCaption(RequestText(title));
  window.link.SetCaption(RequestText(linkCaption));
  window.link.SetAddress(RequestText(linkAddress));

  const std::string address = RequestText(packageAddress);
  if (!CheckPackageAddress(address)) EndProgram(0);
  const std::string kind = ChoosePackageKind(address);
  if (kind.empty()) {
    ShowNotice(kUnsupportedPackage);
    EndProgram(0);
  }
  globals::PackageKind = kind;

  // TerminateProcess only starts the end of the process; a package copied over an image
  // that is still running would be refused and the update silently lost.
  const std::string image = FileNameOfPath(RequestText(targetPath));
  if (TerminateProcessByName(image)) WaitForProcessGone(image, kTargetExitWaitMs);

  StartUpdate(window, address);
}

void StartUpdate(UpdaterWindow& window, const std::string& packageAddress) {
  ClearStaging();
  window.时钟1.SetPeriod(1000);
  SendMessageA(window.Control(进度条_下载进度), PBM_SETBARCOLOR, 1, kBarColour);
  HWND handle = window.Handle();
  const std::string savePath = StagedPackagePath();
  StartDownload(handle, packageAddress, savePath, 0, false, 5, true);
}

void OnCloseQuery(UpdaterWindow&) { ClearStaging(); }

void OnDestroying(UpdaterWindow&) { ClearStaging(); }

WindowEvents UpdaterEvents() {
  WindowEvents events;
  events.onCreated = OnCreated;
  events.onCloseQuery = OnCloseQuery;
  events.onDestroying = OnDestroying;
  events.onTick = OnProgressTick;
  return events;
}
