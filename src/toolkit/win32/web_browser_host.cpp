// How the banner is hosted. The WebBrowser control is an OLE in-place object; an object of
// that kind needs a container to talk to: a client site (IOleClientSite), an in-place site
// (IOleInPlaceSite) and a frame (IOleInPlaceFrame). BrowserSite serves all three, answering the
// minimum: the container window and its rectangle, no menus, no toolbars, no status bar. We
// then ask the control to activate in place inside the container window.
//
// BrowserSite also listens to the control's DWebBrowserEvents2 and cancels every page-level
// navigation that goes anywhere but the address the program sent it to (frames inside the page
// may load what they like), and every new window; Silent mode keeps script errors from raising
// dialogs. Nothing ever waits for a page: Navigate returns once the request is made.
//
// The control holds references to the site, so the site is reference counted and may outlive
// its owner, WebBrowserControl. Teardown runs in the reverse order of the set-up: unadvise the
// events, deactivate in place, close the object, cut its client site, then drop our references.
// Every step of the set-up that fails makes Create return null after undoing what succeeded,
// and the dialog then shows a plain area.
#include "toolkit/win32/web_browser_host.h"

#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <oleidl.h>

#include <string>

#include "toolkit/navigation_policy.h"
#include "toolkit/win32/com_ptr.h"

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

IDispatch* VariantDispatch(const VARIANT& v) {
  if (v.vt == VT_DISPATCH) return v.pdispVal;
  if (v.vt == (VT_DISPATCH | VT_BYREF) && v.ppdispVal != nullptr) return *v.ppdispVal;
  return nullptr;
}

void SetCancel(const VARIANT& v) {
  if (v.vt == (VT_BOOL | VT_BYREF) && v.pboolVal != nullptr) *v.pboolVal = VARIANT_TRUE;
}

}  // namespace

// COM objects are deleted by their own Release, never through an interface pointer, so the
// interfaces' non-virtual destructors are as COM means them.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, public IDispatch {
 public:
  explicit BrowserSite(HWND container) : container_(container) {}
  BrowserSite(const BrowserSite&) = delete;
  BrowserSite& operator=(const BrowserSite&) = delete;

  // The one address the page may show; set before each Navigate.
  void Allow(std::wstring_view url) { allowed_ = url; }
  // The control's identity, to tell its own navigations from its frames'. Not a reference:
  // the control holds the site, so the site must not hold the control.
  void SetBrowser(IUnknown* identity) { browser_ = identity; }
  void Forget() {
    browser_ = nullptr;
    container_ = nullptr;
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
  HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

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
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (pDispParams == nullptr || pDispParams->rgvarg == nullptr) return S_OK;
    // Arguments arrive last first.
    VARIANT* args = pDispParams->rgvarg;
    switch (dispIdMember) {
      case DISPID_BEFORENAVIGATE2:  // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
        if (pDispParams->cArgs == 7 && IsThePage(args[6]) && !SameAddress(allowed_, VariantText(args[5]))) {
          SetCancel(args[0]);
        }
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
  ~BrowserSite() = default;

  bool IsThePage(const VARIANT& v) const {
    IDispatch* disp = VariantDispatch(v);
    if (disp == nullptr || browser_ == nullptr) return false;
    ComPtr<IUnknown> identity;
    if (FAILED(disp->QueryInterface(IID_IUnknown, identity.putVoid()))) return false;
    return identity.get() == browser_;
  }

  ULONG refs_ = 1;
  HWND container_;
  IUnknown* browser_ = nullptr;
  std::wstring allowed_;
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

class WebBrowserControl final : public EmbeddedBrowser {
 public:
  static std::unique_ptr<EmbeddedBrowser> Create(HWND container, const CLSID& clsid) {
    std::unique_ptr<WebBrowserControl> control(new WebBrowserControl);
    if (!control->SetUp(container, clsid)) return nullptr;  // the destructor undoes what was done
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

  bool SetUp(HWND container, const CLSID& clsid) {
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.putVoid()))) {
      return false;
    }
    site_ = ComPtr<BrowserSite>::Attach(new BrowserSite(container));
    IOleClientSite* clientSite = site_.get();
    if (FAILED(object_->SetClientSite(clientSite))) return false;
    clientSiteSet_ = true;
    ::OleSetContainedObject(object_.get(), TRUE);
    RECT rc{};
    ::GetClientRect(container, &rc);
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, container, &rc))) return false;
    object_.As(IID_IOleInPlaceObject, inPlace_);
    if (FAILED(object_.As(IID_IWebBrowser2, browser_))) return false;
    // Script errors in the page must never raise a dialog.
    browser_->put_Silent(VARIANT_TRUE);
    ComPtr<IUnknown> identity;
    if (SUCCEEDED(object_.As(IID_IUnknown, identity))) site_->SetBrowser(identity.get());
    ComPtr<IConnectionPointContainer> points;
    if (SUCCEEDED(object_.As(IID_IConnectionPointContainer, points)) &&
        SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, events_.put()))) {
      IDispatch* sink = site_.get();
      if (FAILED(events_->Advise(sink, &cookie_))) events_.reset();
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

OleSession::OleSession() noexcept : hr_(::OleInitialize(nullptr)) {}

OleSession::~OleSession() {
  if (SUCCEEDED(hr_)) ::OleUninitialize();
}

WebBrowserFactory::WebBrowserFactory() : WebBrowserFactory(CLSID_WebBrowser) {}

WebBrowserFactory::WebBrowserFactory(const CLSID& clsid) : clsid_(clsid) {}

WebBrowserFactory::~WebBrowserFactory() = default;

std::unique_ptr<EmbeddedBrowser> WebBrowserFactory::Embed(HWND container) {
  if (!ole_) ole_.emplace();
  if (!ole_->Ok()) return nullptr;
  return WebBrowserControl::Create(container, clsid_);
}

}  // namespace varnlet::toolkit::win32
