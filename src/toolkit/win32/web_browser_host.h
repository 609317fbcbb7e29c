#pragma once
// The About window's banner: the system's WebBrowser control, hosted in place in a container
// window by a small OLE container of our own.
#include <windows.h>
#include <urlmon.h>

#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/win32/handles.h"
#include "toolkit/win32/com_ptr.h"

namespace varnlet::toolkit::win32 {

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

// What a dialog needs of a browser: it fills its container's client area and goes where it is
// sent, without waiting.
class EmbeddedBrowser {
 public:
  virtual ~EmbeddedBrowser() = default;
  virtual bool Navigate(std::wstring_view url) = 0;
  // The container's client area is now this size.
  virtual void Resize(int width, int height) = 0;
};

class BrowserFactory {
 public:
  virtual ~BrowserFactory() = default;
  // A browser active in place in the container, or null when none can be made there.
  virtual std::unique_ptr<EmbeddedBrowser> Embed(HWND container) = 0;
};

// The browser feature controls switched on for the whole process before the first control
// exists (the control reads them as it starts); each is one Microsoft recommends for programs
// that host the browser, and the definition says why it applies.
extern const std::array<INTERNETFEATURELIST, 11> kBrowserFeatureControls;

// Makes WebBrowser controls (or the control of another class id, which tests use to see the
// failure path). OLE is initialised before the first one and uninitialised when the factory
// goes, so the factory must outlive every browser it made.
class WebBrowserFactory final : public BrowserFactory {
 public:
  WebBrowserFactory();
  explicit WebBrowserFactory(const CLSID& clsid);
  ~WebBrowserFactory() override;
  std::unique_ptr<EmbeddedBrowser> Embed(HWND container) override;

 private:
  CLSID clsid_;
  std::optional<OleSession> ole_;
  platform::win32::UniqueHmodule urlmon_;
};

// The container's side of a hosted control as the control reaches it through IDispatch: the
// sink of its events and the source of its ambient properties, keeping the page on `page`'s
// host. Each control gets its own; tests make one to play the control's part.
ComPtr<IDispatch> NewBrowserSite(HWND container, std::wstring_view page);

}  // namespace varnlet::toolkit::win32
