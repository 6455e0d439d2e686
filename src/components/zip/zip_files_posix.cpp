#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "components/zip/zip_files.h"

namespace zipfiles {

std::string NativePath(const std::string& path) {
  std::string native = path;
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

bool MakeFolder(const std::string& path) {
  const std::string native = NativePath(path);
  if (::mkdir(native.c_str(), 0777) == 0) return true;
  struct stat st {};
  // lstat: a symbolic link is not a folder to write into.
  return ::lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Utf8ToAnsi(std::string&) { return true; }

std::optional<std::uint64_t> FreeSpace(const std::string& folder) {
  struct statvfs vfs {};
  if (::statvfs(NativePath(folder).c_str(), &vfs) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {
  other.path_.clear();
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

PendingFile::~PendingFile() { reset(); }

bool PendingFile::Create(const std::string& folder) {
  reset();
  std::string base = NativePath(folder);
  if (!base.empty() && base.back() != '/') base += '/';
  for (int n = 0; n < 1000; ++n) {
    std::string candidate = base + "~unz" + std::to_string(n) + ".tmp";
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      handle_ = fd;
      path_ = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool PendingFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(static_cast<int>(handle_), bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool PendingFile::Commit(const std::string& finalPath) {
  if (handle_ < 0) return false;
  const bool closed = ::close(static_cast<int>(std::exchange(handle_, -1))) == 0;
  if (!closed || std::rename(path_.c_str(), NativePath(finalPath).c_str()) != 0) {
    reset();
    return false;
  }
  path_.clear();
  return true;
}

void PendingFile::reset() {
  if (handle_ >= 0) ::close(static_cast<int>(std::exchange(handle_, -1)));
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace zipfiles
