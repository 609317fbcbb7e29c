// How the banner is hosted. The WebBrowser control is an OLE in-place object; an object of
// that kind needs a container to talk to: a client site (IOleClientSite), an in-place site
// (IOleInPlaceSite) and a frame (IOleInPlaceFrame). BrowserSite serves all three, answering the
// minimum: the container window and its rectangle, no menus, no toolbars, no status bar. We
// then ask the control to activate in place inside the container window.
//
// The page is fenced in, since it runs inside a program that often runs elevated:
// - before the first control is made, the process's browser feature controls are switched on
//   (kBrowserFeatureControls says why each one applies);
// - BrowserSite listens to the control's DWebBrowserEvents2 and cancels every navigation, the
//   page's and its frames' alike, that leaves https:// on the host of the page the program sent
//   it to, every file download and every new window; where a page arrives anyway (a redirect the
//   control did not announce), NavigateComplete2 and DocumentComplete replace it with about:blank;
// - as the client site's ambient download control it answers no ActiveX, no Java and no binary
//   behaviors, with images and Silent mode kept (Silent keeps script errors from raising
//   dialogs); script too, unless the process runs elevated, where a page must not run with an
//   administrator's rights;
// - as the document host (IDocHostUIHandler) it shows no context menu (View source, Print, Save
//   would open their dialogs from this process), swallows the keys that open a window, a dialog
//   or a print, and asks for redirects to be announced to BeforeNavigate2;
// - the set-up fails closed: when the events cannot be hooked up or the feature controls cannot
//   be switched on, no control is made and the banner stays a plain area that goes nowhere.
// Nothing ever waits for a page: Navigate returns once the request is made.
//
// The control holds references to the site, so the site is reference counted and may outlive
// its owner, WebBrowserControl. Teardown runs in the reverse order of the set-up: unadvise the
// events, deactivate in place, close the object, cut its client site, then drop our references.
// Every step of the set-up that fails makes Create return null after undoing what succeeded,
// and the dialog then shows a plain area.
#include "toolkit/win32/web_browser_host.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <oleidl.h>
#include <urlmon.h>

#include <string>

#include "platform/win32/com_ptr.h"
#include "platform/win32/system_library.h"
#include "toolkit/navigation_policy.h"

namespace varnlet::toolkit::win32 {
namespace {

// The text of a BSTR argument, however the event passes it.
std::wstring_view VariantText(const VARIANT& v) {
  const VARIANT* value = &v;
  if (value->vt == (VT_VARIANT | VT_BYREF) && value->pvarVal != nullptr) value = value->pvarVal;
  if (value->vt == VT_BSTR && value->bstrVal != nullptr) return {value->bstrVal, ::SysStringLen(value->bstrVal)};
  if (value->vt == (VT_BSTR | VT_BYREF) && value->pbstrVal != nullptr && *value->pbstrVal != nullptr) {
    return {*value->pbstrVal, ::SysStringLen(*value->pbstrVal)};
  }
  return {};
}

bool VariantTrue(const VARIANT& v) {
  if (v.vt == VT_BOOL) return v.boolVal != VARIANT_FALSE;
  if (v.vt == (VT_BOOL | VT_BYREF) && v.pboolVal != nullptr) return *v.pboolVal != VARIANT_FALSE;
  return false;
}

void SetCancel(const VARIANT& v) {
  if (v.vt == (VT_BOOL | VT_BYREF) && v.pboolVal != nullptr) *v.pboolVal = VARIANT_TRUE;
}

IDispatch* VariantDispatch(const VARIANT& v) {
  if (v.vt == VT_DISPATCH) return v.pdispVal;
  if (v.vt == (VT_DISPATCH | VT_BYREF) && v.ppdispVal != nullptr) return *v.ppdispVal;
  return nullptr;
}

// Sends the browser of a page or frame (the control reports it as IDispatch) to the empty page,
// through its dispatch interface: IWebBrowser2::Navigate is dispatch id 0x68 there.
void NavigateToBlank(IDispatch* browser) {
  constexpr DISPID kNavigate = 0x68;
  if (browser == nullptr) return;
  const UniqueBstr blank(kBlankPage);
  if (blank.get() == nullptr) return;
  VARIANT url;
  ::VariantInit(&url);
  url.vt = VT_BSTR;
  url.bstrVal = blank.get();
  DISPPARAMS params{&url, nullptr, 1, 0};
  browser->Invoke(kNavigate, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

}  // namespace

// COM objects are deleted by their own Release, never through an interface pointer, so the
// interfaces' non-virtual destructors are as COM means them.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDispatch,
                          public IDocHostUIHandler {
 public:
  BrowserSite(HWND container, bool scriptAllowed)
      : container_(container), downloadControl_(kDownloadControl | (scriptAllowed ? 0 : DLCTL_NO_SCRIPTS)) {}
  BrowserSite(const BrowserSite&) = delete;
  BrowserSite& operator=(const BrowserSite&) = delete;

  // The page whose host every navigation must stay on; set before each Navigate.
  void Allow(std::wstring_view url) { allowed_ = url; }
  void Forget() { container_ = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *ppv = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *ppv = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
      *ppv = static_cast<IOleInPlaceFrame*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
      *ppv = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(riid, IID_IDocHostUIHandler)) {
      *ppv = static_cast<IDocHostUIHandler*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** ppmk) override {
    if (ppmk != nullptr) *ppmk = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) override {
    if (ppContainer != nullptr) *ppContainer = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, for the in-place site and the frame alike
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override {
    if (phwnd == nullptr) return E_POINTER;
    *phwnd = container_;
    return container_ != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return container_ != nullptr ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                             LPRECT lprcPosRect, LPRECT lprcClipRect,
                                             LPOLEINPLACEFRAMEINFO lpFrameInfo) override {
    if (ppFrame == nullptr || ppDoc == nullptr || lprcPosRect == nullptr || lprcClipRect == nullptr ||
        lpFrameInfo == nullptr) {
      return E_POINTER;
    }
    *ppFrame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *ppDoc = nullptr;
    ::GetClientRect(container_, lprcPosRect);
    *lprcClipRect = *lprcPosRect;
    lpFrameInfo->fMDIApp = FALSE;
    lpFrameInfo->hwndFrame = ::GetAncestor(container_, GA_ROOT);
    lpFrameInfo->haccel = nullptr;
    lpFrameInfo->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, no menus, no status bar.
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return OLE_E_INVALIDRECT; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  // Shared by the frame and the document host.
  HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler: no menu of the page's own, no window or dialog opened from its keys.
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* pInfo) override {
    if (pInfo == nullptr) return E_POINTER;
    pInfo->dwFlags = kHostFlags;
    pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                   IOleInPlaceUIWindow*) override {
    return S_OK;  // the host shows the UI, which is none
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG lpMsg, const GUID*, DWORD) override {
    if (lpMsg == nullptr || (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN)) return S_FALSE;
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    return SwallowsBrowserKey(static_cast<std::uint32_t>(lpMsg->wParam), control, alt) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* pchKey, DWORD) override {
    if (pchKey != nullptr) *pchKey = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** ppDropTarget) override {
    if (ppDropTarget != nullptr) *ppDropTarget = nullptr;
    return E_NOTIMPL;
  }
  // Script finds no window.external of ours.
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** ppDispatch) override {
    if (ppDispatch != nullptr) *ppDispatch = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* ppchURLOut) override {
    if (ppchURLOut != nullptr) *ppchURLOut = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** ppDORet) override {
    if (ppDORet != nullptr) *ppDORet = nullptr;
    return S_FALSE;
  }

  // IDispatch, as the DWebBrowserEvents2 sink
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO*, UINT*) override {
    // The client site's ambient properties: only the download control is ours to answer.
    if (dispIdMember == DISPID_AMBIENT_DLCONTROL && (wFlags & DISPATCH_PROPERTYGET) != 0) {
      if (pVarResult == nullptr) return E_POINTER;
      ::VariantInit(pVarResult);
      pVarResult->vt = VT_I4;
      pVarResult->lVal = downloadControl_;
      return S_OK;
    }
    if (dispIdMember < 0) return DISP_E_MEMBERNOTFOUND;  // any other ambient property: the default
    if (pDispParams == nullptr || pDispParams->rgvarg == nullptr) return S_OK;
    // Arguments arrive last first.
    VARIANT* args = pDispParams->rgvarg;
    switch (dispIdMember) {
      case DISPID_BEFORENAVIGATE2:  // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
        if (pDispParams->cArgs == 7 && !MayShow(allowed_, VariantText(args[5]))) SetCancel(args[0]);
        break;
      case DISPID_NAVIGATECOMPLETE2:  // (pDisp, URL): where the page or frame actually is
      case DISPID_DOCUMENTCOMPLETE:
        if (pDispParams->cArgs == 2 && !MayShow(allowed_, VariantText(args[0]))) {
          NavigateToBlank(VariantDispatch(args[1]));
        }
        break;
      case DISPID_FILEDOWNLOAD:  // (ActiveDocument, Cancel): a page to show is an active document
        if (pDispParams->cArgs == 2 && !VariantTrue(args[1])) SetCancel(args[0]);
        break;
      case DISPID_NEWWINDOW2:  // (ppDisp, Cancel)
        if (pDispParams->cArgs == 2) SetCancel(args[0]);
        break;
      case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
        if (pDispParams->cArgs == 5) SetCancel(args[3]);
        break;
      default:
        break;
    }
    return S_OK;
  }

 private:
  // Images and script stay, and Silent mode; ActiveX controls are neither downloaded nor run,
  // and Java applets and binary behaviors stay out.
  static constexpr LONG kDownloadControl = DLCTL_DLIMAGES | DLCTL_SILENT | DLCTL_NO_JAVA | DLCTL_NO_DLACTIVEXCTLS |
                                           DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_BEHAVIORS;
  // No border of its own in the banner, redirects announced to BeforeNavigate2, the page laid out
  // for the display's density, no help menu, and local content locked down.
  static constexpr DWORD kHostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_ENABLE_REDIRECT_NOTIFICATION |
                                      DOCHOSTUIFLAG_DPI_AWARE | DOCHOSTUIFLAG_DISABLE_HELP_MENU |
                                      DOCHOSTUIFLAG_LOCAL_MACHINE_ACCESS_CHECK;

  ~BrowserSite() = default;

  ULONG refs_ = 1;
  HWND container_;
  LONG downloadControl_;
  std::wstring allowed_;
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {
// Unknown counts as elevated: the token's adapter answers true when it cannot read the token.
bool ScriptAllowed(ElevationQuery elevated) { return elevated != nullptr && !elevated(); }
}  // namespace

ComPtr<IDispatch> NewBrowserSite(HWND container, std::wstring_view page, ElevationQuery elevated) {
  auto site = ComPtr<BrowserSite>::Attach(new BrowserSite(container, ScriptAllowed(elevated)));
  site->Allow(page);
  return ComPtr<IDispatch>(static_cast<IDispatch*>(site.get()));
}

namespace {

class WebBrowserControl final : public WebBrowser {
 public:
  static std::unique_ptr<WebBrowser> Create(HWND container, const CLSID& clsid, bool scriptAllowed) {
    std::unique_ptr<WebBrowserControl> control(new WebBrowserControl);
    if (!control->SetUp(container, clsid, scriptAllowed)) return nullptr;  // the destructor undoes what was done
    return control;
  }

  WebBrowserControl(const WebBrowserControl&) = delete;
  WebBrowserControl& operator=(const WebBrowserControl&) = delete;
  ~WebBrowserControl() override { TearDown(); }

  bool Navigate(std::wstring_view url) override {
    if (!browser_) return false;
    site_->Allow(url);
    const UniqueBstr address(url);
    if (address.get() == nullptr) return false;
    // Only the address: flags, target frame, post data and headers are left empty.
    VARIANT empty;
    ::VariantInit(&empty);
    return SUCCEEDED(browser_->Navigate(address.get(), &empty, &empty, &empty, &empty));
  }

  void Resize(int width, int height) override {
    if (!inPlace_) return;
    const RECT rc{0, 0, width, height};
    inPlace_->SetObjectRects(&rc, &rc);
  }

 private:
  WebBrowserControl() = default;

  bool SetUp(HWND container, const CLSID& clsid, bool scriptAllowed) {
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.putVoid()))) {
      return false;
    }
    site_ = ComPtr<BrowserSite>::Attach(new BrowserSite(container, scriptAllowed));
    IOleClientSite* clientSite = site_.get();
    if (FAILED(object_->SetClientSite(clientSite))) return false;
    clientSiteSet_ = true;
    ::OleSetContainedObject(object_.get(), TRUE);
    RECT rc{};
    ::GetClientRect(container, &rc);
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, container, &rc))) return false;
    object_.As(IID_IOleInPlaceObject, inPlace_);
    if (FAILED(object_.As(IID_IWebBrowser2, browser_))) return false;
    // Script errors in the page must never raise a dialog; a file dropped on the banner opens
    // nothing.
    browser_->put_Silent(VARIANT_TRUE);
    browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
    // Without its events the fence cannot see a navigation: then no control at all.
    ComPtr<IConnectionPointContainer> points;
    if (FAILED(object_.As(IID_IConnectionPointContainer, points)) ||
        FAILED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.put()))) {
      return false;
    }
    IDispatch* sink = site_.get();
    if (FAILED(events_->Advise(sink, &cookie_))) {
      events_.reset();
      return false;
    }
    return true;
  }

  void TearDown() noexcept {
    if (events_) events_->Unadvise(cookie_);
    events_.reset();
    if (inPlace_) inPlace_->InPlaceDeactivate();
    inPlace_.reset();
    browser_.reset();
    if (object_) {
      object_->Close(OLECLOSE_NOSAVE);
      if (clientSiteSet_) object_->SetClientSite(nullptr);
    }
    object_.reset();
    if (site_) site_->Forget();
    site_.reset();
  }

  ComPtr<IOleObject> object_;
  ComPtr<BrowserSite> site_;
  ComPtr<IOleInPlaceObject> inPlace_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> events_;
  DWORD cookie_ = 0;
  bool clientSiteSet_ = false;
};

}  // namespace

const std::array<INTERNETFEATURELIST, 11> kBrowserFeatureControls{
    // An Internet page may not open content of a more trusted zone (the local machine).
    FEATURE_ZONE_ELEVATION,
    // A file is handled as the type its server declares and its name agrees with...
    FEATURE_MIME_HANDLING,
    // ...never promoted to a more dangerous type because of what its bytes look like.
    FEATURE_MIME_SNIFFING,
    // Script cannot open windows or place them off screen, frameless or over the program.
    FEATURE_WINDOW_RESTRICTIONS,
    // Pop-ups from the hosted page are blocked.
    FEATURE_WEBOC_POPUPMANAGEMENT,
    // No ActiveX installation is offered from the page.
    FEATURE_RESTRICT_ACTIVEXINSTALL,
    // No download prompt that the user did not start.
    FEATURE_RESTRICT_FILEDOWNLOAD,
    // Content from the local machine runs locked down, should anything reach it.
    FEATURE_LOCALMACHINE_LOCKDOWN,
    // Binary behaviors only where the zone's policy allows them.
    FEATURE_BEHAVIORS,
    // The obsolete mk: protocol, which reads into structured storage files, is off.
    FEATURE_DISABLE_MK_PROTOCOL,
    // An address with a user name (https://ads.host@other.host/) cannot hide its real host.
    FEATURE_HTTP_USERNAME_PASSWORD_DISABLE,
};

namespace {

// False when any of them could not be switched on.
bool EnableFeatureControls(HMODULE urlmon) {
  using SetFeatureFn = HRESULT(WINAPI*)(INTERNETFEATURELIST, DWORD, BOOL);
  const auto set = platform::win32::ProcAddress<SetFeatureFn>(urlmon, "CoInternetSetFeatureEnabled");
  if (set == nullptr) return false;
  bool all = true;
  for (const INTERNETFEATURELIST feature : kBrowserFeatureControls) {
    all = SUCCEEDED(set(feature, SET_FEATURE_ON_PROCESS, TRUE)) && all;
  }
  return all;
}

}  // namespace

OleSession::OleSession() noexcept : hr_(::OleInitialize(nullptr)) {}

OleSession::~OleSession() {
  if (SUCCEEDED(hr_)) ::OleUninitialize();
}

WebBrowserFactory::WebBrowserFactory(ElevationQuery elevated) : WebBrowserFactory(CLSID_WebBrowser, elevated) {}

WebBrowserFactory::WebBrowserFactory(const CLSID& clsid, ElevationQuery elevated)
    : clsid_(clsid), elevated_(elevated) {}

WebBrowserFactory::~WebBrowserFactory() = default;

std::unique_ptr<WebBrowser> WebBrowserFactory::Embed(HWND container) {
  if (!ole_) ole_.emplace();
  if (!ole_->Ok()) return nullptr;
  if (!urlmon_) {
    // Held while the factory lives: the settings live in urlmon's process state.
    urlmon_ = platform::win32::LoadSystemLibrary(L"urlmon.dll");
    featuresOn_ = EnableFeatureControls(urlmon_.get());
  }
  if (!featuresOn_) return nullptr;
  return WebBrowserControl::Create(container, clsid_, ScriptAllowed(elevated_));
}

}  // namespace varnlet::toolkit::win32
