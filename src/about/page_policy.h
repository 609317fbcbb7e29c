#pragma once
// What the About window's banner may do. It shows the advertising page, in this process, so
// nothing of the page may act: no script, no plug-ins, no downloads, the process's browser
// feature controls on, and no page of another host or another kind than HTML. A link the user
// follows leaves the program for the user's own browser.
#include <cstdint>
#include <span>
#include <string_view>

#include "toolkit/browser_policy.h"

namespace varnlet::about {

class AdsPagePolicy final : public toolkit::PagePolicy {
 public:
  // `page` is the address the banner is sent to; its https:// host is the only one it may show.
  explicit constexpr AdsPagePolicy(std::wstring_view page) : page_(page) {}

  std::uint32_t DownloadControl() const override;
  std::span<const toolkit::BrowserFeature> FeatureControls() const override;
  // The program's own navigations, redirects and frames stay on https:// on the page's host;
  // whatever the user follows, there or elsewhere, opens outside when it is a web address.
  toolkit::NavigationVerdict Navigation(std::wstring_view url, bool byUser) const override;
  bool MayShow(std::wstring_view url, bool html) const override;

 private:
  std::wstring_view page_;
};

// True when `url` is https:// and names the same host and port as `page`, which must be https://
// itself. Scheme and host compare without regard to case; anything unusual in the host part
// (user names, backslashes) makes it a different host.
bool SameHttpsHost(std::wstring_view page, std::wstring_view url);

// True for an http:// or https:// address with a host, written only in the characters an address
// carries unescaped: what the shell may hand to the user's browser as one argument.
bool OpensInUsersBrowser(std::wstring_view url);

}  // namespace varnlet::about
