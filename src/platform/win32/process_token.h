#pragma once
// What the program's own access token says: who it runs as, and whether it runs elevated.
#include <windows.h>

#include <string>
#include <vector>

namespace varnlet::platform::win32 {

// The user the calling thread acts for (its impersonation token, else the process's).
class CurrentUser {
 public:
  CurrentUser() noexcept;
  // Null when the token could not be read.
  PSID Sid() const noexcept;
  // The SID as "S-1-5-21-...", empty when there is none.
  std::wstring SidText() const;

 private:
  std::vector<BYTE> buffer_;
};

// True when the process's token is elevated (an administrator's full token under UAC, or UAC off),
// and when the token cannot be read: what depends on it then takes the careful side.
bool ProcessTokenElevated() noexcept;

}  // namespace varnlet::platform::win32
