#pragma once
// The embedded browser goes only where the program sends it: a page-level navigation to any
// other address (a link in the page, a script, a redirect it reports) is cancelled.
#include <string_view>

namespace varnlet::toolkit {

// True when both name the same page: scheme and host compare without regard to case, an empty
// path is "/", everything else must match exactly.
bool SameAddress(std::wstring_view a, std::wstring_view b);

}  // namespace varnlet::toolkit
