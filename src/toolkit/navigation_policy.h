#pragma once
// The embedded browser goes only where the program sends it: every navigation, the page's own
// and its frames' alike (a link, a script, a redirect), must stay on https:// on the host of the
// page the program sent it to; any other is cancelled, and a page that arrives off it anyway is
// replaced by an empty one. The control's keys that would open a window, a dialog or a print
// are swallowed.
#include <cstdint>
#include <string_view>

namespace varnlet::toolkit {

// The empty page that replaces one found off the fence.
inline constexpr std::wstring_view kBlankPage = L"about:blank";

// True when `url` is https:// and names the same host and port as `page`, which must be https://
// itself. Scheme and host compare without regard to case; anything unusual in the host part
// (user names, backslashes) makes it a different host.
bool MayNavigate(std::wstring_view page, std::wstring_view url);

// What the browser may show: the fenced pages, and the empty page that replaces any other.
bool MayShow(std::wstring_view page, std::wstring_view url);

// True for a key press (a virtual-key code with the modifiers held) that the hosted page's
// control must not act on: those that open a new window, a file, a print, a save, a find or a
// favourites dialog, help, or the page's source. Editing keys (Ctrl+A, C, V, X, Y, Z), the arrows,
// Tab and Enter, and F5 (reload, which stays on the page) go through.
bool SwallowsBrowserKey(std::uint32_t virtualKey, bool control, bool alt);

}  // namespace varnlet::toolkit
