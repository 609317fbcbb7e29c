#include "toolkit/navigation_policy.h"

#include <algorithm>
#include <string>

namespace varnlet::toolkit {
namespace {

struct Parts {
  std::wstring origin;  // scheme://authority, lower case
  std::wstring_view rest;
};

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

Parts Split(std::wstring_view url) {
  std::size_t end = 0;
  const std::size_t scheme = url.find(L"://");
  if (scheme != std::wstring_view::npos) {
    end = url.find_first_of(L"/?#", scheme + 3);
    if (end == std::wstring_view::npos) end = url.size();
  }
  Parts parts{std::wstring(url.substr(0, end)), url.substr(end)};
  std::transform(parts.origin.begin(), parts.origin.end(), parts.origin.begin(), AsciiLower);
  if (parts.rest.empty()) parts.rest = L"/";
  return parts;
}

}  // namespace

bool SameAddress(std::wstring_view a, std::wstring_view b) {
  const Parts pa = Split(a);
  const Parts pb = Split(b);
  return pa.origin == pb.origin && pa.rest == pb.rest;
}

}  // namespace varnlet::toolkit
