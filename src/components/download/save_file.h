// The save file: created new, at its full size when that is known, and written at
// explicit offsets so that every connection can write its own part at the same time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace dl {

class SaveFile {
 public:
  // Creates `path`, failing when anything already exists there; sets the size when >= 0.
  static std::unique_ptr<SaveFile> Create(const std::string& path, std::int64_t size);
  ~SaveFile();
  SaveFile(const SaveFile&) = delete;
  SaveFile& operator=(const SaveFile&) = delete;

  // All of [data, data + n) at `offset`, or false.
  bool Write(std::int64_t offset, const char* data, std::size_t n);
  const std::string& Path() const { return path_; }

 private:
  SaveFile(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  std::intptr_t handle_;  // HANDLE on Windows, a descriptor elsewhere
  std::string path_;
};

bool FileExists(const std::string& path);
// Length of the file at `path`, or -1.
std::int64_t FileLength(const std::string& path);

}  // namespace dl
