#include "install/copy_tree.h"

#include <windows.h>

#include <utility>

#include "install/atomic_copy.h"
#include "install/staging.h"

namespace {

// Move-only owner of a directory listing (FindClose, not CloseHandle).
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  FindHandle(FindHandle&& other) noexcept : handle_(other.release()) {}
  FindHandle& operator=(FindHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~FindHandle() { reset(); }
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (*this) FindClose(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_;
};

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
  FindHandle listing(FindFirstFileA(pattern.c_str(), &found));
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
