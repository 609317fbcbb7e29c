#pragma once
// What a hosted page may do and where it may go. The program decides, per WebBrowser control;
// the browser host applies what it is handed and decides nothing of its own. The flags and
// features carry the system's own values, so the host passes them on unchanged (the Win32 host
// checks each against the system's headers).
#include <cstdint>
#include <span>
#include <string_view>

namespace varnlet::toolkit {

// The empty page that replaces one the policy refuses to show.
inline constexpr std::wstring_view kBlankPage = L"about:blank";

// The control's ambient download-control flags (DLCTL_*).
namespace download_control {
inline constexpr std::uint32_t kDownloadImages = 0x00000010;
inline constexpr std::uint32_t kNoScripts = 0x00000080;
inline constexpr std::uint32_t kNoJava = 0x00000100;
inline constexpr std::uint32_t kNoRunActiveX = 0x00000200;
inline constexpr std::uint32_t kNoDownloadActiveX = 0x00000400;
inline constexpr std::uint32_t kNoBehaviors = 0x00008000;
inline constexpr std::uint32_t kNoClientPull = 0x20000000;
inline constexpr std::uint32_t kSilent = 0x40000000;
}  // namespace download_control

// Browser feature controls (INTERNETFEATURELIST), switched on for the whole process before the
// control is made.
enum class BrowserFeature : std::uint32_t {
  ZoneElevation = 1,
  MimeHandling = 2,
  MimeSniffing = 3,
  WindowRestrictions = 4,
  WebOcPopupManagement = 5,
  Behaviors = 6,
  DisableMkProtocol = 7,
  LocalMachineLockdown = 8,
  RestrictActiveXInstall = 10,
  RestrictFileDownload = 12,
  HttpUserNamePasswordDisable = 15,
};

enum class NavigationVerdict {
  Allow,
  Cancel,
  // Cancelled here, and the address handed to the program to open in the user's own browser.
  OpenOutside,
};

class PagePolicy {
 public:
  virtual ~PagePolicy() = default;
  virtual std::uint32_t DownloadControl() const = 0;
  virtual std::span<const BrowserFeature> FeatureControls() const = 0;
  // A navigation of the page or of one of its frames, in place or to a new window; `byUser`
  // when the control says a click or key of the user started it.
  virtual NavigationVerdict Navigation(std::wstring_view url, bool byUser) const = 0;
  // Whether a page or frame that arrived at `url` may stay; `html` when the HTML engine shows
  // it, not another viewer. One that may not is replaced by kBlankPage, which must be allowed.
  virtual bool MayShow(std::wstring_view url, bool html) const = 0;
};

}  // namespace varnlet::toolkit
