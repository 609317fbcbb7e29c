#pragma once
// The About window's banner: the system's WebBrowser control, hosted in place in a container
// window by a small OLE container of our own.
#include <windows.h>
#include <urlmon.h>

#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/win32/com_ptr.h"
#include "platform/win32/handles.h"
#include "platform/win32/process_token.h"
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

class BrowserFactory {
 public:
  virtual ~BrowserFactory() = default;
  // A browser active in place in the container, or null when none can be made there.
  virtual std::unique_ptr<WebBrowser> Embed(HWND container) = 0;
};

// The browser feature controls switched on for the whole process before the first control
// exists (the control reads them as it starts); each is one Microsoft recommends for programs
// that host the browser, and the definition says why it applies.
extern const std::array<INTERNETFEATURELIST, 11> kBrowserFeatureControls;

// Makes WebBrowser controls (or the control of another class id, which tests use to see the
// failure path). OLE is initialised before the first one and uninitialised when the factory
// goes, so the factory must outlive every browser it made.
// Whether the process runs elevated; a page's script runs only where it does not.
using ElevationQuery = bool (*)();

class WebBrowserFactory final : public BrowserFactory {
 public:
  explicit WebBrowserFactory(ElevationQuery elevated = &platform::win32::ProcessTokenElevated);
  explicit WebBrowserFactory(const CLSID& clsid, ElevationQuery elevated = &platform::win32::ProcessTokenElevated);
  ~WebBrowserFactory() override;
  // Null also when the feature controls could not all be switched on.
  std::unique_ptr<WebBrowser> Embed(HWND container) override;

 private:
  CLSID clsid_;
  ElevationQuery elevated_;
  std::optional<OleSession> ole_;
  platform::win32::UniqueHmodule urlmon_;
  bool featuresOn_ = false;
};

// The container's side of a hosted control as the control reaches it through IDispatch: the
// sink of its events, the source of its ambient properties and its document host
// (IDocHostUIHandler), keeping the page on `page`'s host, with script only when `elevated` says
// the process is not elevated.
// Each control gets its own; tests make one to play the control's part.
ComPtr<IDispatch> NewBrowserSite(HWND container, std::wstring_view page, ElevationQuery elevated);

}  // namespace varnlet::toolkit::win32
