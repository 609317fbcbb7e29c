// The baselines that host the browser control: the minimal tray program that also does what the
// About window does at start. Beside the hidden window and its icon, it hosts the WebBrowser
// control in place in a hidden window and, built as browser_tray, sends it to the advertising
// page without waiting for the page: what an unelevated Varnlet does, the least a program doing
// what Varnlet is asked to do can cost. Built as control_tray (BASELINE_SENDS_NOWHERE), it makes
// the control and sends it nowhere: what an elevated Varnlet did before it stopped making a
// control that never shows a page. The control is hosted by the program's own container
// (toolkit/win32/web_browser_host) under the banner's page policy, so that the baselines and the
// program cannot drift apart. Built with the same compiler, flags and static linking as
// varnlet.exe.
#include <windows.h>

#include "about/page_policy.h"
#include "build_config.h"
#include "toolkit/win32/web_browser_host.h"
#include "tray_baseline.h"

#if defined(BASELINE_SENDS_NOWHERE)
constexpr wchar_t kClass[] = L"Varnlet.ControlTray";
constexpr wchar_t kTip[] = L"Control tray";
constexpr bool kSends = false;
#else
constexpr wchar_t kClass[] = L"Varnlet.BrowserTray";
constexpr wchar_t kTip[] = L"Browser tray";
constexpr bool kSends = true;
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const HWND window = baseline::CreateTrayWindow(instance, kClass, kTip);
  // The browser's window: hidden, the size of the About window's banner.
  const HWND browserWindow = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 329, 73, nullptr,
                                               nullptr, instance, nullptr);
  if (window == nullptr || browserWindow == nullptr) return 1;
  int status = 3;
  {
    // The factory holds OLE and the feature controls; the browser goes first.
    varnlet::toolkit::win32::WebBrowserFactory browsers;
    const varnlet::about::AdsPagePolicy policy{varnlet::config::kAdsPage};
    const auto browser = browsers.Embed(browserWindow, policy, nullptr);
    if (browser && (!kSends || browser->Navigate(varnlet::config::kAdsPage))) status = 0;
    if (!baseline::AddIcon(window, kTip)) return 1;
    baseline::RunMessageLoop();
  }
  ::DestroyWindow(browserWindow);
  return status;
}
