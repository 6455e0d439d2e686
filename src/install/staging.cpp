#include "install/staging.h"

#include <windows.h>

#include <vector>

#include "startup/globals.h"
#include "system/shell_files.h"
#include "system/unique_handle.h"
#include "text/text.h"

namespace {

// "　", the ideographic space of code page 936, counts as a blank like the ASCII space.
const char kIdeographicSpace[] = "\xA1\xA1";

bool IsBlankOnly(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
    } else if (text.compare(i, 2, kIdeographicSpace) == 0) {
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

// The folder test of the level walk: the last name of the path must be an existing
// folder. A path ending in a backslash names no entry and is never found; wildcards
// would match other names and are never found either.
bool FolderExists(const std::string& path) {
  if (path.empty() || path.back() == '\\' || path.find_first_of("*?") != std::string::npos) {
    return false;
  }
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string StagingFolderPath() { return GetKnownFolder(TempFolder) + "Temp"; }

std::string StagedPackagePath() { return StagingFolderPath() + globals::PackageKind; }

void ClearStaging() {
  RemoveFile(StagedPackagePath());
  RemoveFolderTree(StagingFolderPath());
}

bool ProbeFolder(const std::string& folder) {
  if (IsBlankOnly(folder)) return false;
  // The backslash is added even after one that is there: the file services accept "\\".
  const std::string probe = folder + "\\TEMP.TMP";
  // CREATE_NEW: a "TEMP.TMP" that is already there may be someone's file; it is neither
  // truncated nor deleted, and its presence answers the probe just the same.
  UniqueHandle file(CreateFileA(probe.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  const bool created = static_cast<bool>(file);
  if (created) {
    const unsigned char bytes[3] = {0x02, 0x03, 0x04};
    DWORD written = 0;
    WriteFile(file.get(), bytes, sizeof(bytes), &written, nullptr);
    file.reset();
  }
  const bool exists = GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (created) DeleteFileA(probe.c_str());
  return exists;
}

int CreateFolderPath(const std::string& path) {
  if (path.empty()) return -1;
  std::string whole = path;
  if (whole.back() == '\\') whole.pop_back();  // one byte only
  if (FolderExists(whole)) return 0;

  const std::vector<std::string> pieces = text::Split(whole, "\\");
  if (pieces.empty()) return -1;

  std::string current = pieces[0];  // normally the drive: never tested or created
  // The first level this call creates below the deepest existing one: a failure deeper
  // down removes it with everything created in it. A folder that existed is never removed.
  std::string remembered;
  bool rememberedCreated = false;
  for (std::size_t level = 1; level < pieces.size(); ++level) {
    current += "\\" + pieces[level];
    if (FolderExists(current)) {
      if (level + 1 < pieces.size()) {
        remembered = current + "\\" + pieces[level + 1];
        rememberedCreated = false;
      }
      continue;
    }
    if (CreateDirectoryA(current.c_str(), nullptr)) {
      if (current == remembered) rememberedCreated = true;
      continue;
    }
    if (level >= 2 && rememberedCreated) RemoveFolderTree(remembered);
    return -1;
  }
  return 1;
}
