#pragma once
// Owns one key handle obtained through a RegistryApi and closes it exactly once.
#include <utility>

#include "platform/registry_api.h"

namespace varnlet::registry {

class UniqueKey {
 public:
  explicit UniqueKey(platform::RegistryApi& api, platform::RegKey key = 0) noexcept : api_(&api), key_(key) {}
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  UniqueKey(UniqueKey&& other) noexcept : api_(other.api_), key_(std::exchange(other.key_, 0)) {}
  UniqueKey& operator=(UniqueKey&&) = delete;
  ~UniqueKey() { reset(); }

  platform::RegKey get() const noexcept { return key_; }
  explicit operator bool() const noexcept { return key_ != 0; }
  void reset(platform::RegKey key = 0) noexcept {
    if (key_ != 0) {
      try {
        api_->RegCloseKey(key_);
      } catch (...) {
        // A close that fails leaves nothing more to do; its status is never reported.
      }
    }
    key_ = key;
  }

 private:
  platform::RegistryApi* api_;
  platform::RegKey key_;
};

}  // namespace varnlet::registry
