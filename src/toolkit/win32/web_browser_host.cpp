// How a page is hosted. The WebBrowser control is an OLE in-place object; an object of that
// kind needs a container to talk to: a client site (IOleClientSite), an in-place site
// (IOleInPlaceSite) and a frame (IOleInPlaceFrame). BrowserSite serves all three, answering the
// minimum: the container window and its rectangle, no menus, no toolbars, no status bar. We
// then ask the control to activate in place inside the container window.
//
// What the page may do is the program's page policy; this file only applies it, at the points
// the control offers:
// - before the control is made, the policy's browser feature controls are switched on for the
//   process (the control reads them as it starts);
// - as the client site's ambient download control, BrowserSite answers the policy's flags;
// - it listens to the control's DWebBrowserEvents2: BeforeNavigate2 (the page's and its frames'
//   navigations, redirects included, since the document host asks for them to be announced) and
//   NewWindow3 get the policy's verdict: allowed, cancelled, or cancelled and handed to the
//   program to open outside. File downloads are cancelled.
// - NavigateComplete2 and DocumentComplete tell where a page or frame actually is, and whether
//   the HTML engine shows it or another viewer (no event before them names the type of what
//   arrived); one the policy refuses to show is replaced by about:blank;
// - the set-up fails closed: when the events cannot be hooked up or the feature controls cannot
//   be switched on, no control is made and the area stays plain.
// Whether the user asked for a navigation is what the control says: NewWindow3's flags say so
// (NWMF_USERINITED); BeforeNavigate2 says only that the page's document started it
// (navHyperlink), which counts as the user's once the page has completed and the policy lets it
// start nothing by itself (no script, no client pull): what remains is a click or a key.
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
#include <mshtml.h>
#include <ocidl.h>
#include <oleidl.h>
#include <shobjidl.h>
#include <urlmon.h>

#include <string>
#include <utility>

#include "platform/win32/com_ptr.h"
#include "platform/win32/system_library.h"
#include "toolkit/win32/com_object.h"

namespace varnlet::toolkit::win32 {

namespace dl = download_control;

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

// An integer argument (the events' flags), however the event passes it; 0 when it is none.
std::uint32_t VariantFlags(const VARIANT& v) {
  const VARIANT* value = &v;
  if (value->vt == (VT_VARIANT | VT_BYREF) && value->pvarVal != nullptr) value = value->pvarVal;
  if (value->vt == VT_I4 || value->vt == VT_UI4) return static_cast<std::uint32_t>(value->lVal);
  return 0;
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

// The browser of a page or frame (the control reports it as IDispatch) is reached through its
// dispatch interface, where IWebBrowser2's Navigate is 0x68 and its Document 0xCB.
constexpr DISPID kNavigate = 0x68;
constexpr DISPID kDocument = 0xCB;

// Sends the browser of a page or frame to the empty page.
void NavigateToBlank(IDispatch* browser) {
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

// Whether the HTML engine shows the page or frame: its document is an HTML document, not the
// object of another viewer (or none).
bool ShowsHtml(IDispatch* browser) {
  if (browser == nullptr) return false;
  VARIANT document;
  ::VariantInit(&document);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (FAILED(browser->Invoke(kDocument, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &document, nullptr,
                             nullptr))) {
    return false;
  }
  bool html = false;
  if (document.vt == VT_DISPATCH && document.pdispVal != nullptr) {
    ComPtr<IHTMLDocument2> htmlDocument;
    html = SUCCEEDED(document.pdispVal->QueryInterface(IID_IHTMLDocument2, htmlDocument.putVoid()));
  }
  ::VariantClear(&document);
  return html;
}

// The same COM object: identity is compared through IUnknown.
bool SameObject(IUnknown* a, IUnknown* b) {
  if (a == nullptr || b == nullptr) return false;
  ComPtr<IUnknown> ua;
  ComPtr<IUnknown> ub;
  return SUCCEEDED(a->QueryInterface(IID_IUnknown, ua.putVoid())) &&
         SUCCEEDED(b->QueryInterface(IID_IUnknown, ub.putVoid())) && ua.get() == ub.get();
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
                          public DispatchWithoutTypes<IDispatch>,
                          public IDocHostUIHandler {
 public:
  BrowserSite(HWND container, const PagePolicy& policy, LinkFollower followLink)
      : container_(container),
        policy_(policy),
        followLink_(std::move(followLink)),
        // Only where the page can start nothing by itself is a navigation it starts the user's.
        userMovesPage_((policy.DownloadControl() & (dl::kNoScripts | dl::kNoClientPull)) ==
                       (dl::kNoScripts | dl::kNoClientPull)) {}
  BrowserSite(const BrowserSite&) = delete;
  BrowserSite& operator=(const BrowserSite&) = delete;

  // The control itself, not held: its events name it as the browser of the page, not a frame.
  void SetControl(IUnknown* control) { control_ = control; }
  // A page the policy lets it show has arrived, not the empty page.
  bool ShowsPage() const { return showsPage_; }
  void Forget() {
    container_ = nullptr;
    control_ = nullptr;
    followLink_ = nullptr;
  }

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
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return refs_.Release(this); }

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

  // IDocHostUIHandler: the control's own menus and keys, our host flags.
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
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
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
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
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO*, UINT*) override {
    // The client site's ambient properties: only the download control is ours to answer.
    if (dispIdMember == DISPID_AMBIENT_DLCONTROL && (wFlags & DISPATCH_PROPERTYGET) != 0) {
      if (pVarResult == nullptr) return E_POINTER;
      ::VariantInit(pVarResult);
      pVarResult->vt = VT_I4;
      pVarResult->lVal = static_cast<LONG>(policy_.DownloadControl());
      return S_OK;
    }
    if (dispIdMember < 0) return DISP_E_MEMBERNOTFOUND;  // any other ambient property: the default
    if (pDispParams == nullptr || pDispParams->rgvarg == nullptr) return S_OK;
    // Arguments arrive last first.
    VARIANT* args = pDispParams->rgvarg;
    switch (dispIdMember) {
      case DISPID_BEFORENAVIGATE2:  // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
        if (pDispParams->cArgs == 7) {
          const bool byPage = (VariantFlags(args[4]) & navHyperlink) != 0;
          const std::wstring url(VariantText(args[5]));
          const NavigationVerdict verdict = policy_.Navigation(url, byPage && pageComplete_ && userMovesPage_);
          if (verdict == NavigationVerdict::Allow && IsControl(VariantDispatch(args[6]))) pageComplete_ = false;
          Apply(verdict, url, args[0]);
        }
        break;
      case DISPID_NAVIGATECOMPLETE2:  // (pDisp, URL): where the page or frame actually is, and what
      case DISPID_DOCUMENTCOMPLETE:
        if (pDispParams->cArgs == 2) {
          IDispatch* browser = VariantDispatch(args[1]);
          const std::wstring_view url = VariantText(args[0]);
          const bool mayShow = policy_.MayShow(url, ShowsHtml(browser));
          if (IsControl(browser)) showsPage_ = mayShow && url != kBlankPage;
          if (!mayShow) {
            NavigateToBlank(browser);
          } else if (dispIdMember == DISPID_DOCUMENTCOMPLETE && IsControl(browser)) {
            pageComplete_ = true;  // the page and all its frames
          }
        }
        break;
      case DISPID_FILEDOWNLOAD:  // (ActiveDocument, Cancel): a page to show is an active document
        if (pDispParams->cArgs == 2 && !VariantTrue(args[1])) SetCancel(args[0]);
        break;
      // NewWindow2 says neither where nor why: NewWindow3, which comes with it, decides; so
      // whichever of the two the control sends first, the window never opens here.
      case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
        if (pDispParams->cArgs == 5) {
          const bool byUser = (VariantFlags(args[2]) & NWMF_USERINITED) != 0;
          const std::wstring url(VariantText(args[0]));
          const NavigationVerdict verdict = policy_.Navigation(url, byUser);
          // A window of its own is never opened, whatever the verdict.
          Apply(verdict == NavigationVerdict::Allow ? NavigationVerdict::Cancel : verdict, url, args[3]);
        }
        break;
      default:
        break;
    }
    return S_OK;
  }

 private:
  // Redirects announced to BeforeNavigate2, so that the policy sees every hop; the page laid out
  // for the display's density; no help menu; local content locked down. The control keeps its
  // sunken border.
  static constexpr DWORD kHostFlags = DOCHOSTUIFLAG_ENABLE_REDIRECT_NOTIFICATION | DOCHOSTUIFLAG_DPI_AWARE |
                                      DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_LOCAL_MACHINE_ACCESS_CHECK;

  // Only the last Release deletes it.
  friend class win32::ComRefs;
  ~BrowserSite() = default;

  bool IsControl(IDispatch* browser) const { return SameObject(browser, control_); }

  // Last in an event: opening the address may dispatch messages that close the window and
  // release this site, so nothing of it is touched afterwards.
  void Apply(NavigationVerdict verdict, const std::wstring& url, const VARIANT& cancel) {
    if (verdict == NavigationVerdict::Allow) return;
    SetCancel(cancel);
    const LinkFollower follow = verdict == NavigationVerdict::OpenOutside ? followLink_ : nullptr;
    if (follow) follow(url);
  }

  ComRefs refs_;
  HWND container_;
  const PagePolicy& policy_;
  LinkFollower followLink_;
  const bool userMovesPage_;
  IUnknown* control_ = nullptr;
  bool pageComplete_ = false;
  bool showsPage_ = false;
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

ComPtr<IDispatch> NewBrowserSite(HWND container, const PagePolicy& policy, LinkFollower followLink, IUnknown* control) {
  auto site = ComPtr<BrowserSite>::Attach(new BrowserSite(container, policy, std::move(followLink)));
  site->SetControl(control);
  return ComPtr<IDispatch>(static_cast<IDispatch*>(site.get()));
}

bool SiteShowsPage(IDispatch* site) { return site != nullptr && static_cast<BrowserSite*>(site)->ShowsPage(); }

namespace {

class WebBrowserControl final : public WebBrowser {
 public:
  static std::unique_ptr<WebBrowser> Create(HWND container, const CLSID& clsid, const PagePolicy& policy,
                                            LinkFollower followLink) {
    std::unique_ptr<WebBrowserControl> control(new WebBrowserControl);
    // The destructor undoes what was done.
    if (!control->SetUp(container, clsid, policy, std::move(followLink))) return nullptr;
    return control;
  }

  WebBrowserControl(const WebBrowserControl&) = delete;
  WebBrowserControl& operator=(const WebBrowserControl&) = delete;
  ~WebBrowserControl() override { TearDown(); }

  bool Navigate(std::wstring_view url) override {
    if (!browser_) return false;
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

  bool ShowsPage() const override { return site_ && site_->ShowsPage(); }

  // Active in place already, the control becomes active for the user too, which puts the focus in
  // its page.
  void Focus() override {
    if (!object_ || !site_) return;
    RECT rc{};
    ::GetClientRect(container_, &rc);
    object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site_.get(), 0, container_, &rc);
  }

 private:
  WebBrowserControl() = default;

  bool SetUp(HWND container, const CLSID& clsid, const PagePolicy& policy, LinkFollower followLink) {
    container_ = container;
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.putVoid()))) {
      return false;
    }
    site_ = ComPtr<BrowserSite>::Attach(new BrowserSite(container, policy, std::move(followLink)));
    site_->SetControl(object_.get());
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

  HWND container_ = nullptr;
  ComPtr<IOleObject> object_;
  ComPtr<BrowserSite> site_;
  ComPtr<IOleInPlaceObject> inPlace_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> events_;
  DWORD cookie_ = 0;
  bool clientSiteSet_ = false;
};

}  // namespace

namespace {

// False when any of them could not be switched on.
bool EnableFeatureControls(HMODULE urlmon, std::span<const BrowserFeature> features) {
  using SetFeatureFn = HRESULT(WINAPI*)(INTERNETFEATURELIST, DWORD, BOOL);
  const auto set = platform::win32::ProcAddress<SetFeatureFn>(urlmon, "CoInternetSetFeatureEnabled");
  if (set == nullptr) return false;
  bool all = true;
  for (const BrowserFeature feature : features) {
    all = SUCCEEDED(set(static_cast<INTERNETFEATURELIST>(feature), SET_FEATURE_ON_PROCESS, TRUE)) && all;
  }
  return all;
}

}  // namespace

OleSession::OleSession() noexcept : hr_(::OleInitialize(nullptr)) {}

OleSession::~OleSession() {
  if (SUCCEEDED(hr_)) ::OleUninitialize();
}

WebBrowserFactory::WebBrowserFactory() : WebBrowserFactory(CLSID_WebBrowser) {}

WebBrowserFactory::WebBrowserFactory(const CLSID& clsid) : clsid_(clsid) {}

WebBrowserFactory::~WebBrowserFactory() = default;

std::unique_ptr<WebBrowser> WebBrowserFactory::Embed(HWND container, const PagePolicy& policy,
                                                     LinkFollower followLink) {
  if (!ole_) ole_.emplace();
  if (!ole_->Ok()) return nullptr;
  // Held while the factory lives: the settings live in urlmon's process state. Switching a
  // feature on again is harmless, so each control gets its own policy's.
  if (!urlmon_) urlmon_ = platform::win32::LoadSystemLibrary(L"urlmon.dll");
  if (!EnableFeatureControls(urlmon_.get(), policy.FeatureControls())) return nullptr;
  return WebBrowserControl::Create(container, clsid_, policy, std::move(followLink));
}

}  // namespace varnlet::toolkit::win32
