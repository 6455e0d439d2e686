// Move-only owners for handles: copy deleted, reset, release, get. Both null and
// INVALID_HANDLE_VALUE count as "no handle", because the Windows calls that create
// handles disagree on which of the two means failure.
#pragma once

#include <windows.h>

template <BOOL(WINAPI* Close)(HANDLE)>
class UniqueAnyHandle {
 public:
  UniqueAnyHandle() = default;
  explicit UniqueAnyHandle(HANDLE handle) : handle_(handle) {}
  UniqueAnyHandle(const UniqueAnyHandle&) = delete;
  UniqueAnyHandle& operator=(const UniqueAnyHandle&) = delete;
  UniqueAnyHandle(UniqueAnyHandle&& other) noexcept : handle_(other.release()) {}
  UniqueAnyHandle& operator=(UniqueAnyHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueAnyHandle() { reset(); }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(HANDLE handle = nullptr) {
    if (*this) Close(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Kernel handles: process, snapshot, file.
using UniqueHandle = UniqueAnyHandle<CloseHandle>;
// Directory listings.
using UniqueFindHandle = UniqueAnyHandle<FindClose>;
