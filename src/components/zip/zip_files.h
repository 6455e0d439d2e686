// The little the unpack needs from the file system, behind one interface so the host
// build can test and fuzz the unpack: Windows ANSI file calls there, POSIX here, where
// a "\" in a path is taken as "/".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zipfiles {

// The path as the platform's own calls take it.
std::string NativePath(const std::string& path);

// True when `path` is a folder after the call; one level is created when missing.
bool MakeFolder(const std::string& path);

// A UTF-8 entry name into the ANSI code page, in place; false when the name is not valid
// UTF-8 or has no exact ANSI form. The host build keeps the bytes.
bool Utf8ToAnsi(std::string& name);

// Bytes free to the caller on the volume of `folder`; nullopt when unknown.
std::optional<std::uint64_t> FreeSpace(const std::string& folder);

// A new file under a temporary name in a folder, written and then renamed into place, so
// a file never shows under its final name before it is complete. Removed unless committed.
class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&& other) noexcept;
  ~PendingFile();

  // Creates a file of a name that did not exist in `folder`; false on failure.
  bool Create(const std::string& folder);
  bool Write(const void* data, std::size_t size);
  // Closes the file and renames it over `finalPath` (an existing file is replaced).
  bool Commit(const std::string& finalPath);
  // Closes and deletes the file when it has not been committed.
  void reset();

 private:
  std::intptr_t handle_ = -1;  // HANDLE or file descriptor
  std::string path_;
};

}  // namespace zipfiles
