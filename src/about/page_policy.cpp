#include "about/page_policy.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/ascii_case.h"

namespace varnlet::about {
namespace {

using toolkit::BrowserFeature;
using toolkit::NavigationVerdict;
namespace dl = toolkit::download_control;

constexpr std::wstring_view kHttps = L"https://";
constexpr std::wstring_view kHttp = L"http://";

// "scheme://host[:port]" in lower case when `url` starts with `scheme` and has a host; else empty.
std::wstring Origin(std::wstring_view url, std::wstring_view scheme) {
  if (url.size() <= scheme.size()) return {};
  std::wstring origin(url.substr(0, std::min(url.find_first_of(L"/?#", scheme.size()), url.size())));
  std::transform(origin.begin(), origin.end(), origin.begin(), AsciiLower<wchar_t>);
  if (!std::wstring_view(origin).starts_with(scheme) || origin.size() == scheme.size()) return {};
  return origin;
}

// Script, Java, ActiveX controls and binary behaviors never run, and a page never moves on by
// itself (no refresh or Refresh header): with script off that leaves the user's clicks as the only
// way a page that has arrived starts a navigation. Images stay, and Silent keeps any error quiet.
constexpr std::uint32_t kDownloadControl = dl::kDownloadImages | dl::kSilent | dl::kNoScripts | dl::kNoJava |
                                           dl::kNoDownloadActiveX | dl::kNoRunActiveX | dl::kNoBehaviors |
                                           dl::kNoClientPull;

// Each is one Microsoft recommends for programs that host the browser.
constexpr std::array kFeatureControls{
    // An Internet page may not open content of a more trusted zone (the local machine).
    BrowserFeature::ZoneElevation,
    // A file is handled as the type its server declares and its name agrees with...
    BrowserFeature::MimeHandling,
    // ...never promoted to a more dangerous type because of what its bytes look like.
    BrowserFeature::MimeSniffing,
    // No window opened, placed off screen, frameless or over the program by the page.
    BrowserFeature::WindowRestrictions,
    // Pop-ups from the hosted page are blocked.
    BrowserFeature::WebOcPopupManagement,
    // Binary behaviors only where the zone's policy allows them.
    BrowserFeature::Behaviors,
    // The obsolete mk: protocol, which reads into structured storage files, is off.
    BrowserFeature::DisableMkProtocol,
    // Content from the local machine runs locked down, should anything reach it.
    BrowserFeature::LocalMachineLockdown,
    // No ActiveX installation is offered from the page.
    BrowserFeature::RestrictActiveXInstall,
    // No download prompt that the user did not start.
    BrowserFeature::RestrictFileDownload,
    // An address with a user name (https://ads.host@other.host/) cannot hide its real host.
    BrowserFeature::HttpUserNamePasswordDisable,
};

}  // namespace

bool SameHttpsHost(std::wstring_view page, std::wstring_view url) {
  const std::wstring allowed = Origin(page, kHttps);
  return !allowed.empty() && Origin(url, kHttps) == allowed;
}

bool OpensInUsersBrowser(std::wstring_view url) {
  if (Origin(url, kHttps).empty() && Origin(url, kHttp).empty()) return false;
  // RFC 3986's unreserved and reserved characters, and '%' for what is escaped: no space, quote,
  // control or non-ASCII character that could end the argument or look like another one.
  constexpr std::wstring_view kPunctuation = L"-._~:/?#[]@!$&'()*+,;=%";
  return std::ranges::all_of(url, [&](wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           kPunctuation.find(c) != std::wstring_view::npos;
  });
}

std::uint32_t AdsPagePolicy::DownloadControl() const { return kDownloadControl; }

std::span<const BrowserFeature> AdsPagePolicy::FeatureControls() const { return kFeatureControls; }

NavigationVerdict AdsPagePolicy::Navigation(std::wstring_view url, bool byUser) const {
  if (byUser) return OpensInUsersBrowser(url) ? NavigationVerdict::OpenOutside : NavigationVerdict::Cancel;
  return url == toolkit::kBlankPage || SameHttpsHost(page_, url) ? NavigationVerdict::Allow : NavigationVerdict::Cancel;
}

bool AdsPagePolicy::MayShow(std::wstring_view url, bool html) const {
  return url == toolkit::kBlankPage || (html && SameHttpsHost(page_, url));
}

}  // namespace varnlet::about
