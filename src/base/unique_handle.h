#pragma once
// Owns one handle that an interface of the platform boundary handed out, and gives it back through
// that interface exactly once. In the portable core a handle is a plain number; the values listed
// in kNone (a failed open's 0, or all bits set) hold nothing. A close that fails or raises leaves
// nothing more to do.
#include <utility>

namespace varnlet {

template <class Api, class Handle, auto Close, Handle... kNone>
class UniqueApiHandle {
 public:
  explicit UniqueApiHandle(Api& api, Handle handle = Handle{}) noexcept : api_(&api), handle_(handle) {}
  UniqueApiHandle(const UniqueApiHandle&) = delete;
  UniqueApiHandle& operator=(const UniqueApiHandle&) = delete;
  UniqueApiHandle(UniqueApiHandle&& other) noexcept
      : api_(other.api_), handle_(std::exchange(other.handle_, Handle{})) {}
  UniqueApiHandle& operator=(UniqueApiHandle&& other) noexcept {
    if (this != &other) {
      reset();
      api_ = other.api_;
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  ~UniqueApiHandle() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return ((handle_ != kNone) && ...); }
  void reset(Handle handle = Handle{}) noexcept {
    if (*this) {
      try {
        (api_->*Close)(handle_);
      } catch (...) {
        // Nothing more can be done with a handle the system would not take back.
      }
    }
    handle_ = handle;
  }

 private:
  Api* api_;
  Handle handle_;
};

}  // namespace varnlet
