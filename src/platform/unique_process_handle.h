#pragma once
// Owns one process or snapshot handle obtained through a ProcessApi and closes it exactly once.
// Neither 0 (a failed open) nor kInvalidHandleValue (a failed snapshot) is a handle.
#include <utility>

#include "platform/process_api.h"

namespace varnlet::platform {

class UniqueProcessHandle {
 public:
  UniqueProcessHandle(ProcessApi& api, ProcessHandle handle) noexcept : api_(&api), handle_(handle) {}
  UniqueProcessHandle(const UniqueProcessHandle&) = delete;
  UniqueProcessHandle& operator=(const UniqueProcessHandle&) = delete;
  UniqueProcessHandle(UniqueProcessHandle&& other) noexcept
      : api_(other.api_), handle_(std::exchange(other.handle_, 0)) {}
  UniqueProcessHandle& operator=(UniqueProcessHandle&& other) noexcept {
    if (this != &other) {
      reset();
      api_ = other.api_;
      handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
  }
  ~UniqueProcessHandle() { reset(); }

  ProcessHandle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != 0 && handle_ != kInvalidHandleValue; }
  void reset() noexcept {
    if (*this) {
      try {
        api_->CloseHandle(std::exchange(handle_, 0));
      } catch (...) {
        // A close that fails leaves nothing more to do.
      }
    }
  }

 private:
  ProcessApi* api_;
  ProcessHandle handle_;
};

}  // namespace varnlet::platform
