#include "window/progress.h"

#include "install/install.h"
#include "install/staging.h"
#include "startup/globals.h"
#include "system/notices.h"
#include "system/shell_files.h"
#include "text/text.h"
#include "window/progress_text.h"

namespace {
const char kNoNotice[] = "\xB2\xBB\xCC\xE1\xCA\xBE";  // 不提示
const char kRelaunch[] = "\xD5\xE6";                  // 真
}  // namespace

void OnProgressTick(UpdaterWindow& window) {
  // A tick that slips in while the completion runs (its modal notice dispatches
  // messages) must not start it a second time.
  if (window.IsFinishing()) return;

  // Each value is read once, whole; the task thread may write the state and the total
  // at any moment, so one tick can mix two moments.
  const std::int32_t percent = globals::percent.load();
  window.SetBarPosition(percent);
  window.SetPercentText(PercentText(percent));
  const std::int32_t speed = globals::speed.load();
  const std::int32_t total = globals::totalBytes.load();
  const std::int32_t done = globals::doneBytes.load();
  window.SetStatusText(StatusLine(speed, total, done));
  if (globals::TransferState.load() == Complete) FinishUpdate(window);
}

void FinishUpdate(UpdaterWindow& window) {
  // Holds back a close request until the sequence has ended (the install lets window
  // events run while it copies out of the staging area).
  UpdaterWindow::FinishingScope finishing(window);

  window.时钟1.SetPeriod(0);

  const std::string staging = StagingFolderPath();
  if (!ProbeFolder(staging)) CreateFolderPath(staging);

  // The notice comes before the install, never after.
  const std::string& notice = RequestText(completionNotice);
  if (!text::Equal(notice, kNoNotice)) ShowNotice(notice);

  InstallPackage();

  if (text::Equal(RequestText(relaunchFlag), kRelaunch)) StartProgram(RequestText(targetPath));

  window.RequestDestroy();
}
