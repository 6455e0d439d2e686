// Helpers for the Windows tests: a private folder under the temporary folder, small file
// utilities that do not go through the code under test, and bounded waiting.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace scratch {

inline bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool WriteText(const std::string& path, const std::string& content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

inline std::optional<std::string> ReadText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(file);
  return content;
}

// Deletes a tree with plain file calls (read-only entries included), so the tests' own
// clean-up never depends on the code under test.
inline void DeleteTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") DeleteTree(path + "\\" + name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

// The folder of the running test program, ending in a backslash.
inline std::string OwnFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.rfind('\\') + 1);
}

inline std::string TempFolder() {
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, path);
  return path;
}

// A fresh folder under the temporary folder, deleted with everything in it at the end.
class Folder {
 public:
  explicit Folder(const std::string& name)
      : path_(TempFolder() + name + "." + std::to_string(GetCurrentProcessId())) {
    DeleteTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~Folder() { DeleteTree(path_); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::string& path() const { return path_; }  // no trailing backslash
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Polls `done` until it holds or `timeoutMs` has passed; a bound, not a speed check.
template <typename Done>
bool WaitUntil(Done done, DWORD timeoutMs = 20000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
  return true;
}

}  // namespace scratch
