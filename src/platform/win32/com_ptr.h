#pragma once
// Owners for COM: an interface pointer released exactly once, and a BSTR freed exactly once.
#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <string_view>
#include <utility>

namespace varnlet::platform::win32 {

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  // Takes a reference of its own.
  explicit ComPtr(T* p) noexcept : p_(p) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }
  // Adopts a reference the caller already holds (a fresh object's first one).
  static ComPtr Attach(T* p) noexcept {
    ComPtr c;
    c.p_ = p;
    return c;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  // For out parameters: releases what is held, then lets the callee fill it.
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>& out) const noexcept {
    if (p_ == nullptr) return E_POINTER;
    return p_->QueryInterface(iid, out.putVoid());
  }

 private:
  T* p_ = nullptr;
};

class UniqueBstr {
 public:
  explicit UniqueBstr(std::wstring_view text) : s_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { ::SysFreeString(s_); }
  BSTR get() const noexcept { return s_; }

 private:
  BSTR s_;
};

}  // namespace varnlet::platform::win32
