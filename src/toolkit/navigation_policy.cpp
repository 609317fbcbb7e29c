#include "toolkit/navigation_policy.h"

#include <algorithm>
#include <array>
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
  // Help, find, the developer tools, the context menu and the favourites.
  constexpr std::array<std::uint32_t, 5> kOpeners = {0x70 /*F1*/, 0x72 /*F3*/, 0x7B /*F12*/, 0x5D /*Apps*/,
                                                     0xAB /*BrowserFavorites*/};
  if (std::ranges::find(kOpeners, virtualKey) != kOpeners.end()) return true;
  if (!control || alt || virtualKey < L'A' || virtualKey > L'Z') return false;
  constexpr std::wstring_view kEditing = L"ACVXYZ";
  return kEditing.find(static_cast<wchar_t>(virtualKey)) == std::wstring_view::npos;
}

}  // namespace varnlet::toolkit
