// A fresh folder in the temporary folder for one test, removed afterwards, with the few
// file helpers the unpack tests need. Paths are given in the form UnpackArchive takes:
// backslashes, which the host build reads as slashes.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace testfs {

inline std::filesystem::path Native(const std::string& path) {
  std::string p = path;
#ifndef _WIN32
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
#endif
  return std::filesystem::path(p);
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(Native(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// Whether a file or folder of this exact ANSI name exists (no conversion of the bytes).
inline bool Exists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  return access(Native(path).c_str(), F_OK) == 0;
#endif
}

inline bool IsFolder(const std::string& path) { return std::filesystem::is_directory(Native(path)); }

class Sandbox {
 public:
  Sandbox() {
    static std::atomic<int> counter{0};
#ifdef _WIN32
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    root_ = std::string(temp) + "zt" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(counter++);
#else
    root_ = std::filesystem::temp_directory_path().string() + "/zt" + std::to_string(getpid()) +
            "_" + std::to_string(counter++);
#endif
    std::filesystem::remove_all(Native(root_));
    std::filesystem::create_directories(Native(root_));
  }
  ~Sandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(Native(root_), ignored);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // `relative` below the sandbox, "\" separated.
  std::string Path(const std::string& relative = "") const {
    return relative.empty() ? root_ : root_ + "\\" + relative;
  }

  // Every file and folder below `relative`, "/" separated, folders ending in "/".
  std::set<std::string> List(const std::string& relative = "") const {
    std::set<std::string> found;
    const std::filesystem::path base = Native(Path(relative));
    for (const auto& item : std::filesystem::recursive_directory_iterator(base)) {
      std::string name = item.path().lexically_relative(base).generic_string();
      if (item.is_directory()) name += '/';
      found.insert(name);
    }
    return found;
  }

 private:
  std::string root_;
};

}  // namespace testfs
