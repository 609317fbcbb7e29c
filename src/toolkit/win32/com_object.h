#pragma once
// What the COM objects the program makes for the system share: their reference count, and IDispatch
// for an object that publishes no type information, since whoever calls it knows its members' ids
// (a screen reader calls IAccessible itself; the browser calls its event sink and reads the client
// site's ambient properties by DISPID).
#include <windows.h>
#include <oaidl.h>

namespace varnlet::toolkit::win32 {

// The count of an object's references, the creator's first; the last Release deletes the object,
// whose destructor is private to all but this. Each object still declares AddRef and Release
// itself, which then override those of every interface it implements.
class ComRefs {
 public:
  ULONG Add() { return ++count_; }
  template <class Object>
  ULONG Release(Object* object) {
    const ULONG left = --count_;
    if (left == 0) delete object;
    return left;
  }

 private:
  ULONG count_ = 1;
};

// COM objects are deleted by their own Release, never through an interface pointer, so the
// interfaces' non-virtual destructors are as COM means them.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
// IDispatch's type information, of which there is none; the object answers Invoke itself.
template <class Interface>
class DispatchWithoutTypes : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace varnlet::toolkit::win32
