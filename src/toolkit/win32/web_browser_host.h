#pragma once
// A page in a window: the system's WebBrowser control, hosted in place in a container window by a
// small OLE container of our own, applying the page policy the program hands it.
#include <windows.h>
#include <urlmon.h>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/win32/com_ptr.h"
#include "platform/win32/handles.h"
#include "toolkit/browser_policy.h"
#include "toolkit/dialog.h"

namespace varnlet::toolkit::win32 {

using platform::win32::ComPtr;
using platform::win32::UniqueBstr;

// OleInitialize on the user-interface thread, undone only when it succeeded: S_FALSE (the thread
// had OLE already) counts too, since every success must be balanced.
class OleSession {
 public:
  OleSession() noexcept;
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  ~OleSession();
  bool Ok() const noexcept { return SUCCEEDED(hr_); }
  HRESULT Result() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

// Opens, outside the program, an address the user followed in a page.
using LinkFollower = std::function<void(std::wstring_view url)>;

class BrowserFactory {
 public:
  virtual ~BrowserFactory() = default;
  // A browser active in place in the container whose page keeps to `policy` (which must outlive
  // it), or null when none can be made there. Links the policy sends out go to `followLink`.
  virtual std::unique_ptr<WebBrowser> Embed(HWND container, const PagePolicy& policy, LinkFollower followLink) = 0;
};

// Makes WebBrowser controls (or the control of another class id, which tests use to see the
// failure path). OLE is initialised before the first one and uninitialised when the factory
// goes, so the factory must outlive every browser it made.
class WebBrowserFactory final : public BrowserFactory {
 public:
  WebBrowserFactory();
  explicit WebBrowserFactory(const CLSID& clsid);
  ~WebBrowserFactory() override;
  // Null also when the policy's feature controls could not all be switched on.
  std::unique_ptr<WebBrowser> Embed(HWND container, const PagePolicy& policy, LinkFollower followLink) override;

 private:
  CLSID clsid_;
  std::optional<OleSession> ole_;
  platform::win32::UniqueHmodule urlmon_;
};

// The container's side of a hosted control as the control reaches it through IDispatch: the
// sink of its events, the source of its ambient properties and its document host
// (IDocHostUIHandler), applying `policy` to the page. `control` is the control itself, which
// tells its page's events from its frames'.
// Each control gets its own; tests make one to play the control's part.
ComPtr<IDispatch> NewBrowserSite(HWND container, const PagePolicy& policy, LinkFollower followLink, IUnknown* control);
// Whether the control of a site NewBrowserSite made shows a page: one its policy lets it show has
// arrived, not the empty page.
bool SiteShowsPage(IDispatch* site);

}  // namespace varnlet::toolkit::win32
