#include "platform/win32/process_token.h"

#include <sddl.h>

#include "platform/win32/handles.h"

namespace varnlet::platform::win32 {

CurrentUser::CurrentUser() noexcept {
  HANDLE raw = nullptr;
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &raw) == FALSE &&
      ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw) == FALSE) {
    return;
  }
  const UniqueHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), ::TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return;
  try {
    buffer_.resize(size);
  } catch (...) {
    return;
  }
  if (::GetTokenInformation(token.get(), ::TokenUser, buffer_.data(), size, &size) == FALSE) buffer_.clear();
}

PSID CurrentUser::Sid() const noexcept {
  return buffer_.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(buffer_.data())->User.Sid;
}

std::wstring CurrentUser::SidText() const {
  LPWSTR text = nullptr;
  if (Sid() == nullptr || ::ConvertSidToStringSidW(Sid(), &text) == FALSE) return {};
  const UniqueLocal owned(text);
  return text;
}

bool ProcessTokenElevated() noexcept {
  HANDLE raw = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw) == FALSE) return true;
  const UniqueHandle token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) == FALSE) return true;
  return elevation.TokenIsElevated != 0;
}

}  // namespace varnlet::platform::win32
