#include "install/copy_tree.h"

#include <windows.h>

#include <utility>

#include "install/atomic_copy.h"
#include "install/staging.h"
#include "system/unique_handle.h"

namespace {

// Lets the window repaint and take input between two steps of a long copy.
void ProcessPendingEvents() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The message loop must still see it, after the copy has returned.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

bool IsFolder(const WIN32_FIND_DATAA& found) {
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

void CopyTree(std::string& source, std::string& target, bool overwrite) {
  if (source.empty() || source.back() != '\\') source += '\\';
  if (!ProbeFolder(target)) CreateFolderPath(target);
  if (target.empty() || target.back() != '\\') target += '\\';
  const std::string pattern = source + "*.*";

  WIN32_FIND_DATAA found;
  // Every file first, whatever its attributes; names beginning with a dot included.
  UniqueFindHandle listing(FindFirstFileA(pattern.c_str(), &found));
  if (listing) {
    do {
      if (IsFolder(found)) continue;
      CopyFileAtomic(source + found.cFileName, target + found.cFileName, overwrite);
      ProcessPendingEvents();
    } while (FindNextFileA(listing.get(), &found));
  }

  // Then the sub-folders; ".", ".." and every folder whose name begins with a dot are
  // skipped. Below the top level nothing is replaced, only added.
  listing.reset(FindFirstFileA(pattern.c_str(), &found));
  if (listing) {
    do {
      if (!IsFolder(found) || found.cFileName[0] == '.') continue;
      ProcessPendingEvents();
      std::string subSource = source + found.cFileName;
      std::string subTarget = target + found.cFileName;
      CopyTree(subSource, subTarget, false);
    } while (FindNextFileA(listing.get(), &found));
  }
}
