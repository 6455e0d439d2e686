#include "startup/globals.h"

#include "components/download/download_component.h"

const std::string& RequestText(RequestField field) {
  static const std::string empty;
  const auto& request = globals::UpdateRequest;
  const auto index = static_cast<std::size_t>(field) - 1;
  if (!request || index >= request->size()) return empty;
  return (*request)[index];
}

void CreateGlobals() {
  globals::UpdateRequest = std::make_unique<std::vector<std::string>>();
  globals::WindowList = std::make_unique<WindowList>();
  globals::DownloadTask = std::make_unique<DownloadTask>();
  globals::DownloadHandle = std::make_unique<DownloadHandle>(nullptr);
}

void ReleaseGlobals() {
  globals::UpdateRequest.reset();
  globals::PackageKind.clear();
  globals::PackageKind.shrink_to_fit();
  globals::WindowList.reset();
  globals::DownloadTask.reset();
  // Stops a task that is still running. Its end event may still arrive later; the end
  // sequence then reads only the task it is handed and the never-released atomics.
  if (globals::DownloadHandle) {
    dl::Destroy(*globals::DownloadHandle);
    globals::DownloadHandle.reset();
  }
}
