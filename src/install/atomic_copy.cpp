#include "install/atomic_copy.h"

#include <windows.h>

#include "install/install.h"

namespace {

void DeleteTemporary(const std::string& path) {
  // The copy carries the source's attributes: a read-only copy would refuse deletion.
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

}  // namespace

bool CopyFileAtomic(const std::string& source, const std::string& destination, bool overwrite) {
  const DWORD existing = GetFileAttributesA(destination.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (!overwrite) return false;
    if (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
      return false;
    }
  }
  // Beside the destination, so the rename stays on its volume and is one step.
  const std::string folder = FolderOfPath(destination);
  std::string temporary;
  for (int n = 0;; ++n) {
    if (n == 1000) return false;
    temporary = folder + "~upd" + std::to_string(n) + ".tmp";
    if (CopyFileA(source.c_str(), temporary.c_str(), TRUE)) break;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  // Without MOVEFILE_REPLACE_EXISTING a destination that appeared meanwhile is kept.
  if (!MoveFileExA(temporary.c_str(), destination.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) {
    DeleteTemporary(temporary);
    return false;
  }
  return true;
}
