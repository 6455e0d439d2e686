#include "components/download/save_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dl {

#ifdef _WIN32

std::unique_ptr<SaveFile> SaveFile::Create(const std::string& path, std::int64_t size) {
  // Share delete: clearing the staging area while a lingering connection still holds the
  // file must still remove it.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  if (size > 0) {
    LARGE_INTEGER end;
    end.QuadPart = size;
    if (!SetFilePointerEx(h, end, nullptr, FILE_BEGIN) || !SetEndOfFile(h)) {
      CloseHandle(h);
      DeleteFileA(path.c_str());
      return nullptr;
    }
  }
  return std::unique_ptr<SaveFile>(new SaveFile(reinterpret_cast<std::intptr_t>(h), path));
}

SaveFile::~SaveFile() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

bool SaveFile::Write(std::int64_t offset, const char* data, std::size_t n) {
  const HANDLE h = reinterpret_cast<HANDLE>(handle_);
  while (n > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD written = 0;
    if (!WriteFile(h, data, chunk, &written, &at) || written == 0) return false;
    offset += written;
    data += written;
    n -= written;
  }
  return true;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::int64_t FileLength(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

#else

std::unique_ptr<SaveFile> SaveFile::Create(const std::string& path, std::int64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  if (size > 0 && ::ftruncate(fd, size) != 0) {
    ::close(fd);
    ::unlink(path.c_str());
    return nullptr;
  }
  return std::unique_ptr<SaveFile>(new SaveFile(fd, path));
}

SaveFile::~SaveFile() { ::close(static_cast<int>(handle_)); }

bool SaveFile::Write(std::int64_t offset, const char* data, std::size_t n) {
  while (n > 0) {
    const auto written = ::pwrite(static_cast<int>(handle_), data, n, offset);
    if (written <= 0) return false;
    offset += written;
    data += written;
    n -= static_cast<std::size_t>(written);
  }
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::int64_t FileLength(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return -1;
  return st.st_size;
}

#endif

}  // namespace dl
