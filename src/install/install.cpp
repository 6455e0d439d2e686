#include "install/install.h"

#include <windows.h>

#include "components/zip/zip_unpack.h"
#include "install/atomic_copy.h"
#include "install/copy_tree.h"
#include "install/staging.h"
#include "startup/globals.h"
#include "system/shell_files.h"
#include "text/text.h"

namespace {

bool IsEmptyFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  return data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
  const std::size_t last = text::FindLastByte(path, '\\');
  return last == text::npos ? std::string() : path.substr(0, last + 1);
}

void InstallPackage() {
  std::string staging = StagingFolderPath();
  const std::string temporary = GetKnownFolder(TempFolder);
  const std::string& program = RequestText(RequestField::targetPath);

  if (!text::Equal(globals::PackageKind, ".zip")) {
    const std::string package = temporary + "Temp.exe";
    // An empty file is no program: copying it would destroy the one in place.
    if (IsEmptyFile(package)) return;
    // Beside the target and renamed over it: a failed copy never truncates the program.
    CopyFileAtomic(package, program, true);
    return;
  }

  // Without a folder the tree would land in the current drive's root: install nothing.
  std::string target = FolderOfPath(program);
  if (target.empty()) return;

  const std::string archive = temporary + "Temp.zip";
  if (UnpackArchive(archive, staging) != 1) return;  // both stay until ClearStaging
  RemoveFile(archive);
  CopyTree(staging, target, true);
  RemoveFolderTree(staging);  // ends in a backslash now, which makes no difference
}
