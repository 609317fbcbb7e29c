#include "toolkit/win32/control_accessible.h"

#include <oleacc.h>

#include <utility>

#include "platform/win32/com_ptr.h"
#include "platform/win32/system_library.h"
#include "toolkit/win32/com_object.h"

namespace varnlet::toolkit::win32 {
namespace {

using platform::win32::ComPtr;

// IID_IAccessible, spelled out: mingw's import library resolves the declared one, in a static
// link, to a thunk's address rather than the GUID.
constexpr GUID kIidAccessible{0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// oleacc.dll's two functions the answer needs, loaded once and kept: the system's objects it made
// run its code as long as a reader holds them.
class Oleacc {
 public:
  using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
  using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

  static const Oleacc& Get() noexcept {
    static const Oleacc oleacc;
    return oleacc;
  }
  CreateStdAccessibleObjectFn CreateStandard() const noexcept {
    return platform::win32::ProcAddress<CreateStdAccessibleObjectFn>(module_.get(), "CreateStdAccessibleObject");
  }
  LresultFromObjectFn LresultFromObject() const noexcept {
    return platform::win32::ProcAddress<LresultFromObjectFn>(module_.get(), "LresultFromObject");
  }

 private:
  Oleacc() noexcept : module_(platform::win32::LoadSystemLibrary(L"oleacc.dll")) {}

  platform::win32::UniqueHmodule module_;
};

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT Text(const std::wstring& text, BSTR* out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The system's object for the window, with the facts of ours; everything else (parent, children,
// place, navigation) is the system's. COM objects are deleted by their own Release.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class ControlAccessible final : public DispatchWithoutTypes<IAccessible> {
 public:
  ControlAccessible(HWND hwnd, ComPtr<IAccessible> standard, AccessibleFacts facts)
      : hwnd_(hwnd), standard_(std::move(standard)), facts_(std::move(facts)) {}
  ControlAccessible(const ControlAccessible&) = delete;
  ControlAccessible& operator=(const ControlAccessible&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, kIidAccessible)) {
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return refs_.Release(this); }

  // IDispatch: readers call IAccessible itself.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible: ours for the window itself, the system's otherwise.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return IsSelf(child) ? Text(facts_.name, name) : standard_->get_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child) || facts_.role == 0) return standard_->get_accRole(child, role);
    if (role == nullptr) return E_INVALIDARG;
    role->vt = VT_I4;
    role->lVal = static_cast<LONG>(facts_.role);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    const HRESULT hr = standard_->get_accState(child, state);
    if (!IsSelf(child) || FAILED(hr) || state == nullptr || state->vt != VT_I4) return hr;
    auto bits = static_cast<ULONG>(state->lVal);
    if (facts_.focusable) bits |= STATE_SYSTEM_FOCUSABLE;
    if (facts_.linked) bits |= STATE_SYSTEM_LINKED;
    if (facts_.hidden) bits = (bits | STATE_SYSTEM_INVISIBLE) & ~(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED);
    state->lVal = static_cast<LONG>(bits);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (!IsSelf(child) || facts_.defaultAction.empty()) return standard_->get_accDefaultAction(child, action);
    return Text(facts_.defaultAction, action);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!IsSelf(child) || facts_.defaultAction.empty()) return standard_->accDoDefaultAction(child);
    // Done by the window, after the reader's call has returned.
    return ::PostMessageW(hwnd_, kDoDefaultAction, 0, 0) != FALSE ? S_OK : E_FAIL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return standard_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return standard_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    return standard_->get_accDescription(child, description);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return standard_->get_accHelp(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return standard_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return standard_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
    return standard_->accHitTest(left, top, child);
  }
  // Set by nobody since Windows 2000.
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  // Only the last Release deletes it.
  friend class win32::ComRefs;
  ~ControlAccessible() = default;

  ComRefs refs_;
  HWND hwnd_;
  ComPtr<IAccessible> standard_;
  AccessibleFacts facts_;
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace

LRESULT AnswerGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, const AccessibleFacts& facts) noexcept {
  // The object id is a 32-bit value, whatever the width of lParam.
  if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) return 0;
  const Oleacc& oleacc = Oleacc::Get();
  const auto createStandard = oleacc.CreateStandard();
  const auto lresultFromObject = oleacc.LresultFromObject();
  if (createStandard == nullptr || lresultFromObject == nullptr) return 0;
  try {
    ComPtr<IAccessible> standard;
    if (FAILED(createStandard(hwnd, OBJID_CLIENT, kIidAccessible, standard.putVoid())) || !standard) return 0;
    const auto object = ComPtr<ControlAccessible>::Attach(new ControlAccessible(hwnd, std::move(standard), facts));
    return lresultFromObject(kIidAccessible, wParam, static_cast<IAccessible*>(object.get()));
  } catch (...) {
    // Out of memory: the system's own object answers.
    return 0;
  }
}

}  // namespace varnlet::toolkit::win32
