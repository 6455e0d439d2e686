#include <windows.h>

#include <utility>
#include <vector>

#include "components/zip/zip_files.h"

namespace zipfiles {

namespace {
HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
constexpr std::intptr_t kNoHandle = -1;  // INVALID_HANDLE_VALUE
}  // namespace

std::string NativePath(const std::string& path) { return path; }

bool MakeFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  // A reparse point (junction, link) could lead outside the folder: not a folder to use.
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool Utf8ToAnsi(std::string& name) {
  if (name.empty()) return true;
  const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                                             static_cast<int>(name.size()), nullptr, 0);
  if (wideLength <= 0) return false;
  std::vector<wchar_t> wide(static_cast<std::size_t>(wideLength));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                      wide.data(), wideLength);
  // No best-fit mapping: it would turn a full-width "．" into "." and "／" into "/", and
  // the name checks must see the bytes the file system will see.
  BOOL usedDefault = FALSE;
  const int ansiLength = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength,
                                             nullptr, 0, nullptr, &usedDefault);
  if (ansiLength <= 0 || usedDefault) return false;
  std::string ansi(static_cast<std::size_t>(ansiLength), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, ansi.data(),
                      ansiLength, nullptr, &usedDefault);
  if (usedDefault) return false;
  name = std::move(ansi);
  return true;
}

std::optional<std::uint64_t> FreeSpace(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), path_(std::move(other.path_)) {
  other.path_.clear();
}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    reset();
    handle_ = std::exchange(other.handle_, kNoHandle);
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

PendingFile::~PendingFile() { reset(); }

bool PendingFile::Create(const std::string& folder) {
  reset();
  std::string base = folder;
  if (!base.empty() && base.back() != '\\') base += '\\';
  for (int n = 0; n < 1000; ++n) {
    std::string candidate = base + "~unz" + std::to_string(n) + ".tmp";
    HANDLE file = CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(file);
      path_ = std::move(candidate);
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool PendingFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_), bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

bool PendingFile::Commit(const std::string& finalPath) {
  if (handle_ == kNoHandle) return false;
  const bool closed = CloseHandle(AsHandle(std::exchange(handle_, kNoHandle))) != 0;
  if (!closed || !MoveFileExA(path_.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    reset();
    return false;
  }
  path_.clear();
  return true;
}

void PendingFile::reset() {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(std::exchange(handle_, kNoHandle)));
  if (!path_.empty()) DeleteFileA(path_.c_str());
  path_.clear();
}

}  // namespace zipfiles
