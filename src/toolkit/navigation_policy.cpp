#include "toolkit/navigation_policy.h"

#include <algorithm>
#include <string>

namespace varnlet::toolkit {
namespace {

constexpr std::wstring_view kHttps = L"https://";

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// "https://host[:port]" in lower case, or empty when the address is not https:// or has no host.
std::wstring HttpsOrigin(std::wstring_view url) {
  if (url.size() <= kHttps.size()) return {};
  std::wstring origin(url.substr(0, std::min(url.find_first_of(L"/?#", kHttps.size()), url.size())));
  std::transform(origin.begin(), origin.end(), origin.begin(), AsciiLower);
  if (!std::wstring_view(origin).starts_with(kHttps) || origin.size() == kHttps.size()) return {};
  return origin;
}

}  // namespace

bool MayNavigate(std::wstring_view page, std::wstring_view url) {
  const std::wstring allowed = HttpsOrigin(page);
  return !allowed.empty() && HttpsOrigin(url) == allowed;
}

bool MayShow(std::wstring_view page, std::wstring_view url) { return url == kBlankPage || MayNavigate(page, url); }

bool SwallowsBrowserKey(std::uint32_t virtualKey, bool control, bool alt) {
  constexpr std::uint32_t kF1 = 0x70, kF3 = 0x72, kF12 = 0x7B, kApps = 0x5D, kBrowserFavorites = 0xAB;
  // Help, find, the developer tools, the context menu and the favourites.
  if (virtualKey == kF1 || virtualKey == kF3 || virtualKey == kF12 || virtualKey == kApps ||
      virtualKey == kBrowserFavorites) {
    return true;
  }
  if (!control || alt || virtualKey < L'A' || virtualKey > L'Z') return false;
  constexpr std::wstring_view kEditing = L"ACVXYZ";
  return kEditing.find(static_cast<wchar_t>(virtualKey)) == std::wstring_view::npos;
}

}  // namespace varnlet::toolkit
