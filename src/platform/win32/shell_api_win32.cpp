#include "platform/win32/shell_api_win32.h"

#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <cstring>

#include "platform/win32/com_ptr.h"
#include "platform/win32/handles.h"

namespace varnlet::platform {

std::int32_t ShellApiWin32::Shell_NotifyIconA(std::uint32_t dwMessage, const std::uint8_t* lpData) {
  // The shell reads only cbSize bytes; copy into a real record so nothing is read past ours.
  NOTIFYICONDATAA record{};
  DWORD cbSize = 0;
  std::memcpy(&cbSize, lpData, sizeof cbSize);
  std::memcpy(&record, lpData, cbSize < sizeof record ? cbSize : sizeof record);
  return ::Shell_NotifyIconA(dwMessage, &record);
}

std::intptr_t ShellApiWin32::ShellExecuteA(Hwnd hwnd, const char* lpOperation, const char* lpFile,
                                           const char* lpParameters, const char* lpDirectory, std::int32_t nShowCmd) {
  return reinterpret_cast<std::intptr_t>(
      ::ShellExecuteA(win32::ToHwnd(hwnd), lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd));
}

namespace {

// COM on this thread for one call, undone only when it was done here (S_FALSE included).
class ComForCall {
 public:
  ComForCall() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComForCall(const ComForCall&) = delete;
  ComForCall& operator=(const ComForCall&) = delete;
  ~ComForCall() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  // A thread with COM in another mode can still make the calls.
  bool Usable() const noexcept { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
  HRESULT Result() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

VARIANT TextVariant(BSTR text) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

}  // namespace

// The way Windows documents for a program to have the shell start something as the signed-in
// user: the desktop's folder view, reached through the shell's window list, hands out the shell's
// own automation object, whose ShellExecute runs in Explorer.
std::int32_t ShellApiWin32::ShellExecuteFromDesktop(const wchar_t* lpFile, const wchar_t* lpOperation,
                                                    std::int32_t nShowCmd) {
  using win32::ComPtr;
  if (lpFile == nullptr) return E_INVALIDARG;
  const ComForCall com;
  if (!com.Usable()) return com.Result();
  ComPtr<IShellWindows> windows;
  HRESULT hr =
      ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.putVoid());
  if (FAILED(hr)) return hr;
  VARIANT none;
  ::VariantInit(&none);
  long desktopWindow = 0;
  ComPtr<IDispatch> desktop;
  hr = windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH, desktop.put());
  if (hr != S_OK || !desktop) return FAILED(hr) ? hr : E_FAIL;
  ComPtr<IServiceProvider> services;
  ComPtr<IShellBrowser> browser;
  ComPtr<IShellView> view;
  ComPtr<IDispatch> background;
  ComPtr<IShellFolderViewDual> folderView;
  ComPtr<IDispatch> application;
  ComPtr<IShellDispatch2> shell;
  if (FAILED(hr = desktop.As(IID_IServiceProvider, services)) ||
      FAILED(hr = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid())) ||
      FAILED(hr = browser->QueryActiveShellView(view.put())) ||
      FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.putVoid())) ||
      FAILED(hr = background.As(IID_IShellFolderViewDual, folderView)) ||
      FAILED(hr = folderView->get_Application(application.put())) ||
      FAILED(hr = application.As(IID_IShellDispatch2, shell))) {
    return hr;
  }
  if (!shell) return E_FAIL;
  const win32::UniqueBstr file(lpFile);
  const win32::UniqueBstr operation(lpOperation != nullptr ? lpOperation : L"");
  if (file.get() == nullptr || operation.get() == nullptr) return E_OUTOFMEMORY;
  VARIANT show;
  ::VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = nShowCmd;
  return shell->ShellExecute(file.get(), none, none, TextVariant(operation.get()), show);
}

}  // namespace varnlet::platform
