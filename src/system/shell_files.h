// Known folders and thin, silent file and shell operations.
#pragma once

#include <optional>
#include <string>

enum KnownFolder : int {
  Documents = 1, Favorites, Desktop, Fonts, StartMenu, Programs, Startup, AppData,
  WindowsFolder, SystemFolder, TempFolder, InternetCache,
};

// The folder's path ending in "\", or the empty text (0 is taken as Desktop).
std::string GetKnownFolder(int folder);
void RemoveFile(const std::string& path);
// The folder and everything in it; a trailing backslash makes no difference.
void RemoveFolderTree(const std::string& path);
void CopyFileTo(const std::string& source, const std::string& destination, bool overwrite);
// Show mode: 1 hidden, 2 minimised without focus, anything else normal.
void StartProgram(const std::string& path, const std::optional<std::string>& parameters = {},
                  std::optional<int> showMode = {});
