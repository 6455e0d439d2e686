#include "install/atomic_copy.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "install/install.h"
#include "system/unique_handle.h"

namespace {

// Marks the open file for deletion when its last handle closes, or takes the mark back.
// While marked, a process killed in the middle of the copy leaves no partial file behind.
bool MarkForDeletion(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != 0;
}

bool CopyContents(HANDLE from, HANDLE to) {
  std::vector<char> buffer(256 * 1024);
  while (true) {
    DWORD read = 0;
    if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    if (read == 0) return true;
    DWORD written = 0;
    if (!WriteFile(to, buffer.data(), read, &written, nullptr) || written != read) return false;
  }
}

// The times and attributes the system's file copy would carry over, set through the
// handle so nothing is left to do between the rename and the close.
void CopyTimesAndAttributes(HANDLE from, HANDLE to, DWORD attributes) {
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(from, FileBasicInfo, &basic, sizeof(basic))) return;
  basic.FileAttributes = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof(basic));
}

// Renames the open file over `destination` (a full path) in one call on its handle.
bool RenameOpenFile(HANDLE file, const std::string& destination, bool replace) {
  const int length = MultiByteToWideChar(CP_ACP, 0, destination.c_str(), -1, nullptr, 0);
  if (length <= 1) return false;
  const std::size_t nameBytes = static_cast<std::size_t>(length - 1) * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  MultiByteToWideChar(CP_ACP, 0, destination.c_str(), -1, rename->FileName, length);
  return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != 0;
}

void DeleteTemporary(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only copy refuses deletion
  DeleteFileA(path.c_str());
}

}  // namespace

bool CopyFileAtomic(const std::string& source, const std::string& destination, bool overwrite) {
  const DWORD existing = GetFileAttributesA(destination.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (!overwrite) return false;
    // The system's plain copy refuses these as well; a rename would not.
    if (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
      return false;
    }
  }
  const DWORD attributes = GetFileAttributesA(source.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  char full[MAX_PATH] = {};
  const DWORD fullLength = GetFullPathNameA(destination.c_str(), MAX_PATH, full, nullptr);
  if (fullLength == 0 || fullLength >= MAX_PATH) return false;

  UniqueHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) return false;
  // Beside the destination, so the rename stays on its volume and is one step.
  const std::string folder = FolderOfPath(full);
  std::string temporary;
  UniqueHandle out;
  for (int n = 0; n < 1000 && !out; ++n) {
    temporary = folder + "~upd" + std::to_string(n) + ".tmp";
    for (int attempt = 0; attempt < 2 && !out; ++attempt) {
      out.reset(CreateFileA(temporary.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      const DWORD error = GetLastError();
      if (!out && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
      // A pending copy that a killed install left behind (empty, or whole but not yet
      // renamed): nobody holds it open any more, so it goes, and its name is used again.
      // One that a running copy holds open refuses the deletion and is passed over; only a
      // read-only leftover (the attributes are carried over before the rename) gets its
      // attributes cleared first.
      if (!out && attempt == 0 && !DeleteFileA(temporary.c_str()) &&
          GetLastError() == ERROR_ACCESS_DENIED) {
        DeleteTemporary(temporary);
      }
    }
  }
  if (!out) return false;

  const bool marked = MarkForDeletion(out.get(), true);
  bool ok = CopyContents(in.get(), out.get());
  if (ok) CopyTimesAndAttributes(in.get(), out.get(), attributes);
  // Between taking the mark back and the rename is one call: the only moment at which a
  // killed copy leaves a whole copy under the temporary name.
  if (ok && marked) ok = MarkForDeletion(out.get(), false);
  if (ok && RenameOpenFile(out.get(), full, overwrite)) return true;

  if (ok) {
    // A system without renaming through the handle: close, then rename by name. Without
    // MOVEFILE_REPLACE_EXISTING a destination that appeared meanwhile is kept.
    out.reset();
    if (MoveFileExA(temporary.c_str(), full, overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
    DeleteTemporary(temporary);
    return false;
  }
  if (!marked || !MarkForDeletion(out.get(), true)) {
    out.reset();
    DeleteTemporary(temporary);
  }
  return false;
}
