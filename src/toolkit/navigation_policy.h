#pragma once
// The embedded browser goes only where the program sends it: every navigation, the page's own
// and its frames' alike (a link, a script, a redirect), must stay on https:// on the host of the
// page the program sent it to; any other is cancelled.
#include <string_view>

namespace varnlet::toolkit {

// True when `url` is https:// and names the same host and port as `page`, which must be https://
// itself. Scheme and host compare without regard to case; anything unusual in the host part
// (user names, backslashes) makes it a different host.
bool MayNavigate(std::wstring_view page, std::wstring_view url);

}  // namespace varnlet::toolkit
