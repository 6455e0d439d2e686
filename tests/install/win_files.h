// File helpers for the installation tests under Wine: a fresh folder in the temporary
// folder, and a whole tree read into memory to compare before and after. ANSI paths.
#pragma once

#include <windows.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace winfiles {

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

inline bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void MakeFolder(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

// Every entry below `folder` (no trailing backslash): files with their bytes, folders as
// "name\" with no bytes.
inline void ReadTree(const std::string& folder, const std::string& prefix,
                     std::map<std::string, std::string>& tree) {
  WIN32_FIND_DATAA found;
  HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      tree[prefix + name + "\\"] = "";
      ReadTree(folder + "\\" + name, prefix + name + "\\", tree);
    } else {
      tree[prefix + name] = ReadFile(folder + "\\" + name);
    }
  } while (FindNextFileA(listing, &found));
  FindClose(listing);
}

inline std::map<std::string, std::string> ReadTree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  ReadTree(folder, "", tree);
  return tree;
}

// Deletes a tree whatever its attributes.
inline void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE listing = FindFirstFileA((path + "\\*").c_str(), &found);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(listing, &found));
    FindClose(listing);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

inline std::string TempFolder() {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  return temp;  // ends in a backslash
}

class Sandbox {
 public:
  Sandbox() {
    static int counter = 0;
    root_ = TempFolder() + "it" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(counter++);
    RemoveTree(root_);
    MakeFolder(root_);
  }
  ~Sandbox() { RemoveTree(root_); }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  std::string Path(const std::string& relative = "") const {
    return relative.empty() ? root_ : root_ + "\\" + relative;
  }

 private:
  std::string root_;
};

}  // namespace winfiles
