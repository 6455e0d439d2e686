#include "install/install.h"

#include <windows.h>

#include "components/zip/zip_unpack.h"
#include "install/atomic_copy.h"
#include "install/copy_tree.h"
#include "install/staging.h"
#include "startup/globals.h"
#include "system/shell_files.h"
#include "system/unique_handle.h"
#include "text/text.h"

namespace {

// Every Windows program begins with "MZ". A package that does not (an empty file, an
// error page some proxy served with status 200) would replace the program with one that
// cannot start.
bool BeginsLikeAProgram(const std::string& path) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  char head[2] = {};
  DWORD got = 0;
  return file && ReadFile(file.get(), head, sizeof head, &got, nullptr) && got == sizeof head &&
         head[0] == 'M' && head[1] == 'Z';
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
    if (!BeginsLikeAProgram(package)) return;
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
