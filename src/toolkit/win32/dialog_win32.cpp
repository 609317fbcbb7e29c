#include "toolkit/win32/dialog_win32.h"

#include <windowsx.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/scope_guard.h"
#include "platform/win32/system_library.h"
#include "toolkit/dialog_access.h"
#include "toolkit/dialog_colours.h"
#include "toolkit/win32/control_accessible.h"
#include "toolkit/win32/window_object.h"

namespace varnlet::toolkit::win32 {
namespace {

using platform::win32::FromHwnd;
using platform::win32::UniqueGdiObject;
using platform::win32::UniqueHwnd;

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
constexpr int kDefaultDpi = 96;
// The banner's focus rectangle lies this far outside its area, on the form.
constexpr int kBannerRing = 2;

// Functions of Windows 10 and later, found at run time so the program still starts on Windows 7.
template <class Fn>
Fn User32Function(const char* name) {
  return platform::win32::ProcAddress<Fn>(::GetModuleHandleW(L"user32.dll"), name);
}

int DpiOf(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    if (const UINT dpi = getDpiForWindow(hwnd); dpi != 0) return static_cast<int>(dpi);
  }
  const HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return kDefaultDpi;
  const ScopeGuard release([screen] { ::ReleaseDC(nullptr, screen); });
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  return dpi > 0 ? dpi : kDefaultDpi;
}

// The window rectangle around a client area, frame and caption at the window's own DPI.
RECT WindowRectFor(int clientWidth, int clientHeight, int dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT rc{0, 0, clientWidth, clientHeight};
  if (adjustForDpi == nullptr || !adjustForDpi(&rc, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi))) {
    ::AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
  }
  return rc;
}

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc,
                         LPCWSTR cursor = reinterpret_cast<LPCWSTR>(IDC_ARROW)) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, cursor);
  wc.lpszClassName = name;
  ::RegisterClassExW(&wc);  // fails harmlessly when the class exists
}

SystemColours ReadSystemColours() {
  return {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT), ::GetSysColor(COLOR_HOTLIGHT),
          ::GetSysColor(COLOR_BTNTEXT)};
}

HFONT MakeFont(const FontDesign& font, int dpi) {
  const std::wstring face(font.face);
  return ::CreateFontW(-FontPixelHeight(font.centipoints, dpi), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                       font.underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

// Whether a key was down when the message being handled was sent.
bool KeyIsDown(int key) { return ::GetKeyState(key) < 0; }

// Whether `hwnd` is `root` or lies inside it.
bool Within(HWND root, HWND hwnd) { return hwnd != nullptr && (hwnd == root || ::IsChild(root, hwnd) != FALSE); }

// Where the keyboard was before a window took it, to give it back when that window goes.
struct FocusBefore {
  HWND foreground = ::GetForegroundWindow();
  HWND focus = ::GetFocus();
};

}  // namespace

class DialogsWin32::DialogImpl final : public Dialog {
 public:
  DialogImpl(DialogsWin32& owner, const DialogDesign& design, DialogEvents& events)
      : owner_(owner), design_(design), events_(events), controls_(design.controls.size()) {
    const HINSTANCE instance = owner_.instance_;
    const std::wstring windowClass(design_.windowClass);
    RegisterWindowClass(instance, windowClass.c_str(), &DialogImpl::WindowProc);
    RegisterWindowClass(instance, kPictureBoxClass, &DialogImpl::PictureBoxProc);
    RegisterWindowClass(instance, kBrowserAreaClass, &DialogImpl::BrowserAreaProc);
    RegisterWindowClass(instance, kLinkClass, &DialogImpl::LinkProc, reinterpret_cast<LPCWSTR>(IDC_HAND));
    ApplyColours();

    // Made at the primary monitor's origin, so its DPI is that monitor's; sized and centred below.
    const std::wstring caption(design_.caption);
    ::CreateWindowExW(kExStyle, windowClass.c_str(), caption.c_str(), kStyle, 0, 0, 0, 0, nullptr, nullptr, instance,
                      this);
    if (!hwnd_) throw Error("the dialog window could not be created");
    // A window half made goes at once, with whatever it holds.
    ScopeGuard unmade([this] { hwnd_.reset(); });
    Build();
    unmade.Dismiss();
  }

  DialogImpl(const DialogImpl&) = delete;
  DialogImpl& operator=(const DialogImpl&) = delete;

  ~DialogImpl() override {
    // Destroying the window releases the browsers (WM_DESTROY) while the windows still exist.
    hwnd_.reset();
  }

  Hwnd hWnd() const override { return FromHwnd(hwnd_.get()); }
  bool Loaded() const override { return static_cast<bool>(hwnd_); }
  std::uintptr_t Icon() const override { return icon_; }
  std::uintptr_t SmallIcon() const override { return smallIcon_; }

  WebBrowser& Browser(std::size_t control) override {
    if (control >= controls_.size() || design_.controls[control].kind != ControlKind::WebBrowser) {
      throw OutOfRange("not a browser control");
    }
    if (controls_[control].browser) return *controls_[control].browser;
    return noBrowser_;
  }

  void ShowModal() override {
    if (!hwnd_) return;
    if (modal_) {
      ::SetForegroundWindow(hwnd_.get());
      return;
    }
    modal_ = true;
    const ScopeGuard modalEnds([this] { modal_ = false; });
    const FocusBefore before;
    // Focus rectangles show at once for a keyboard user, and at the first key for a mouse user.
    ::SendMessageW(hwnd_.get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
    ::ShowWindow(hwnd_.get(), SW_SHOWNORMAL);
    ::UpdateWindow(hwnd_.get());
    ::SetForegroundWindow(hwnd_.get());
    // A loop of our own: every message of the thread is dispatched, so timers keep ticking and
    // the tray keeps answering, until the window is closed (or hidden).
    MSG msg;
    while (hwnd_ && ::IsWindowVisible(hwnd_.get())) {
      const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        // The program is ending: leave the quit message to the main loop, and the focus alone.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      if (got < 0) break;
      if (TranslateDialogKey(msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    GiveFocusBack(before);
  }

 private:
  struct Control {
    HWND hwnd = nullptr;  // owned by the dialog window
    UniqueGdiObject font;
    UniqueGdiObject backBrush;
    UniqueGdiObject picture;
    std::unique_ptr<WebBrowser> browser;  // null where none could be made
    // A press that has not been released yet, for a click.
    bool pressed = false;
  };

  void Build() {
    dpi_ = DpiOf(hwnd_.get());

    const HICON big = owner_.SharedIcon(design_.iconResource, false);
    icon_ = reinterpret_cast<std::uintptr_t>(big);
    ::SendMessageW(hwnd_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    const HICON small = owner_.SharedIcon(design_.iconResource, true);
    smallIcon_ = reinterpret_cast<std::uintptr_t>(small);
    ::SendMessageW(hwnd_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    // In table order, which is the tab order; a container comes before what it contains.
    for (std::size_t i = 0; i < controls_.size(); ++i) CreateControl(i);
    Layout(nullptr);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      // A browser without a page policy is not made: the area stays plain.
      const PagePolicy* page = design_.controls[i].page;
      if (design_.controls[i].kind == ControlKind::WebBrowser && page != nullptr) {
        controls_[i].browser = owner_.browsers_.Embed(controls_[i].hwnd, *page,
                                                      [this, i](std::wstring_view url) { events_.FollowLink(i, url); });
      }
    }
  }

  static DialogImpl* FromWindow(HWND hwnd) {
    const HWND root = ::GetAncestor(hwnd, GA_ROOT);
    return reinterpret_cast<DialogImpl*>(::GetWindowLongPtrW(root != nullptr ? root : hwnd, GWLP_USERDATA));
  }

  // The table index of a control window, or controls_.size() when it is none of ours.
  std::size_t IndexOf(HWND control) const {
    const int id = ::GetDlgCtrlID(control) - kFirstControlId;
    if (id < 0 || static_cast<std::size_t>(id) >= controls_.size() || controls_[id].hwnd != control) {
      return controls_.size();
    }
    return static_cast<std::size_t>(id);
  }

  void CreateControl(std::size_t i) {
    const ControlDesign& c = design_.controls[i];
    const HWND parent = c.container == kOnForm ? hwnd_.get() : controls_.at(c.container).hwnd;
    const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + static_cast<int>(i)));
    const std::wstring text(c.text);
    const wchar_t* windowClass = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (c.kind) {
      case ControlKind::Label:
        if (!c.link.empty()) {
          // Drawn by us, so that it can take the focus and show it.
          windowClass = kLinkClass;
          style |= WS_TABSTOP;
          break;
        }
        // SS_NOPREFIX: a text may hold an "&".
        style |= SS_NOTIFY | SS_NOPREFIX | (c.align == TextAlign::Centre ? SS_CENTER : SS_LEFT);
        break;
      case ControlKind::PictureBox:
        windowClass = kPictureBoxClass;
        style |= WS_CLIPCHILDREN;
        break;
      case ControlKind::WebBrowser:
        windowClass = kBrowserAreaClass;
        style |= WS_CLIPCHILDREN;
        break;
    }
    controls_[i].hwnd =
        ::CreateWindowExW(0, windowClass, text.c_str(), style, 0, 0, 0, 0, parent, id, owner_.instance_, nullptr);
    if (controls_[i].hwnd == nullptr) throw Error("a control window could not be created");
    if (c.pictureResource != 0) {
      controls_[i].picture.reset(
          ::LoadImageW(owner_.instance_, MAKEINTRESOURCEW(c.pictureResource), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    }
  }

  // Sizes everything for dpi_: the window (centred on its monitor, or in `suggested` after a DPI
  // change), every control's rectangle, and the labels' fonts.
  void Layout(const RECT* suggested) {
    const PixelRect client = ToPixels({0, 0, design_.clientWidth, design_.clientHeight}, dpi_);
    const RECT frame = WindowRectFor(client.width, client.height, dpi_);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    int x = 0;
    int y = 0;
    if (suggested != nullptr) {
      x = suggested->left;
      y = suggested->top;
    } else {
      MONITORINFO monitor{};
      monitor.cbSize = sizeof monitor;
      ::GetMonitorInfoW(::MonitorFromWindow(hwnd_.get(), MONITOR_DEFAULTTOPRIMARY), &monitor);
      const RECT& screen = monitor.rcMonitor;
      x = screen.left + (screen.right - screen.left - width) / 2;
      y = screen.top + (screen.bottom - screen.top - height) / 2;
    }
    ::SetWindowPos(hwnd_.get(), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    for (std::size_t i = 0; i < controls_.size(); ++i) {
      const ControlDesign& c = design_.controls[i];
      const PixelRect r = ToPixels(c.rect, dpi_);
      ::SetWindowPos(controls_[i].hwnd, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
      if (c.kind == ControlKind::Label) {
        // The new font is in place before the old one is deleted.
        const HFONT font = MakeFont(c.font, dpi_);
        ::SendMessageW(controls_[i].hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        controls_[i].font.reset(font);
      }
    }
    ::InvalidateRect(hwnd_.get(), nullptr, TRUE);
  }

  // Takes the colours for the current high-contrast setting and system colours; repaints when
  // they changed.
  void ApplyColours() {
    DialogColours colours =
        ChooseColours(design_, owner_.highContrast_ != nullptr && owner_.highContrast_(), ReadSystemColours());
    if (formBrush_ && colours == colours_) return;
    colours_ = std::move(colours);
    formBrush_.reset(::CreateSolidBrush(colours_.form));
    // A control on the form's colour paints with the form's brush.
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      const Colour back = colours_.controls[i].back;
      controls_[i].backBrush.reset(back != colours_.form ? ::CreateSolidBrush(back) : nullptr);
    }
    if (hwnd_) ::RedrawWindow(hwnd_.get(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
  }

  void Clicked(std::size_t index) {
    if (index >= controls_.size()) return;
    try {
      events_.Click(index);
    } catch (...) {
      // A handler's error must not cross the window procedure; the window goes on.
    }
  }

  HBRUSH BrushFor(std::size_t index) const {
    if (index < controls_.size() && controls_[index].backBrush) {
      return static_cast<HBRUSH>(controls_[index].backBrush.get());
    }
    return static_cast<HBRUSH>(formBrush_.get());
  }

  // ---- The keyboard ----

  bool ShowsPage(std::size_t index) const {
    return index < controls_.size() && controls_[index].browser && controls_[index].browser->ShowsPage();
  }

  ControlAccess AccessAt(std::size_t index) const { return AccessOf(design_.controls[index], ShowsPage(index)); }

  bool IsTabStop(std::size_t index) const {
    const HWND hwnd = controls_[index].hwnd;
    return AccessAt(index).tabStop && ::IsWindowVisible(hwnd) != FALSE && ::IsWindowEnabled(hwnd) != FALSE;
  }

  // The stop that holds `focus` (itself, or a window inside it: the banner's page).
  std::optional<std::size_t> StopHolding(HWND focus) const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      if (IsTabStop(i) && Within(controls_[i].hwnd, focus)) return i;
    }
    return std::nullopt;
  }

  std::vector<bool> TabStops() const {
    std::vector<bool> stops(controls_.size());
    for (std::size_t i = 0; i < controls_.size(); ++i) stops[i] = IsTabStop(i);
    return stops;
  }

  void FocusFirstStop() {
    const std::optional<std::size_t> first = NextTabStop(TabStops(), std::nullopt, false);
    ::SetFocus(first ? controls_[*first].hwnd : hwnd_.get());
  }

  // Tab and Shift+Tab: the window's own stops, in the design's order, never the page's inside the
  // banner, where Tab would stay.
  void MoveFocus(bool backwards) {
    const std::optional<std::size_t> next = NextTabStop(TabStops(), StopHolding(::GetFocus()), backwards);
    // The keyboard is in use: focus rectangles show from now on.
    ::SendMessageW(hwnd_.get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    if (next) ::SetFocus(controls_[*next].hwnd);
    InvalidateBannerRing();
  }

  // What the caption's close box does.
  void CloseFromTheKeyboard() { ::SendMessageW(hwnd_.get(), WM_SYSCOMMAND, SC_CLOSE, 0); }

  // The window's keys, before the control with the focus (the banner's page above all) sees them:
  // true when the key was the window's.
  bool TranslateDialogKey(const MSG& msg) {
    if (!Within(hwnd_.get(), msg.hwnd)) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !KeyIsDown(VK_CONTROL) && !KeyIsDown(VK_MENU)) {
      MoveFocus(KeyIsDown(VK_SHIFT));
      return true;
    }
    if ((msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) ||
        (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_F4)) {
      CloseFromTheKeyboard();
      return true;
    }
    return false;
  }

  // To the window that had it, and in it the control, where they can still take it.
  static void GiveFocusBack(const FocusBefore& before) {
    if (before.foreground != nullptr && ::IsWindowVisible(before.foreground) != FALSE) {
      ::SetForegroundWindow(before.foreground);
    }
    if (before.focus != nullptr && ::IsWindow(before.focus) != FALSE &&
        ::IsWindowVisible(::GetAncestor(before.focus, GA_ROOT)) != FALSE) {
      ::SetFocus(before.focus);
    }
  }

  bool FocusCuesShown(HWND hwnd) const {
    if (owner_.highContrast_ != nullptr && owner_.highContrast_()) return true;
    return (::SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0;
  }

  std::optional<std::size_t> Banner() const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      if (design_.controls[i].kind == ControlKind::WebBrowser) return i;
    }
    return std::nullopt;
  }

  // The focus rectangle around the banner, on the form: the page inside covers the area itself.
  std::optional<RECT> BannerRing() const {
    const std::optional<std::size_t> banner = Banner();
    if (!banner || !hwnd_) return std::nullopt;
    RECT rc{};
    ::GetWindowRect(controls_[*banner].hwnd, &rc);
    ::MapWindowPoints(nullptr, hwnd_.get(), reinterpret_cast<POINT*>(&rc), 2);
    ::InflateRect(&rc, kBannerRing, kBannerRing);
    return rc;
  }

  void InvalidateBannerRing() const {
    if (const std::optional<RECT> ring = BannerRing()) ::InvalidateRect(hwnd_.get(), &*ring, TRUE);
  }

  // ---- Painting ----

  LRESULT ColourStatic(HDC dc, HWND label) const {
    const std::size_t index = IndexOf(label);
    if (index >= controls_.size()) return reinterpret_cast<LRESULT>(formBrush_.get());
    ::SetTextColor(dc, colours_.controls[index].text);
    ::SetBkColor(dc, colours_.controls[index].back);
    return reinterpret_cast<LRESULT>(BrushFor(index));
  }

  void PaintPictureBox(HWND hwnd, HDC dc) const {
    const std::size_t index = IndexOf(hwnd);
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    ::FillRect(dc, &rc, BrushFor(index));
    if (index >= controls_.size() || !controls_[index].picture) return;
    const auto bitmap = static_cast<HBITMAP>(controls_[index].picture.get());
    BITMAP info{};
    ::GetObjectW(bitmap, sizeof info, &info);
    const HDC memory = ::CreateCompatibleDC(dc);
    if (memory == nullptr) return;
    const ScopeGuard deleteMemory([memory] { ::DeleteDC(memory); });
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    // The bitmap is the control's: it leaves the device context before the context goes.
    const ScopeGuard deselect([memory, old] { ::SelectObject(memory, old); });
    // Sized to its picture at 96 DPI; at other DPIs the picture is scaled with the box.
    ::SetStretchBltMode(dc, HALFTONE);
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    ::StretchBlt(dc, 0, 0, rc.right, rc.bottom, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  }

  // As a static text draws its label, in the colours the form gives labels; with the focus, a
  // focus rectangle around it (drawn inverted, so it shows on any theme's colours).
  void PaintLink(HWND hwnd, HDC dc) const {
    const std::size_t index = IndexOf(hwnd);
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    ::FillRect(dc, &rc, reinterpret_cast<HBRUSH>(ColourStatic(dc, hwnd)));
    const HGDIOBJ oldFont = ::SelectObject(dc, controls_[index].font.get());
    const ScopeGuard deselect([dc, oldFont] { ::SelectObject(dc, oldFont); });
    const std::wstring text(design_.controls[index].text);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc,
                DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    if (::GetFocus() == hwnd && FocusCuesShown(hwnd)) ::DrawFocusRect(dc, &rc);
  }

  // ---- The form's messages ----

  LRESULT OnCommand(UINT code, HWND control) {
    if (code == STN_CLICKED && control != nullptr) Clicked(IndexOf(control));
    return 0;
  }

  LRESULT OnCtlColorStatic(HDC dc, HWND label) const { return ColourStatic(dc, label); }

  LRESULT OnEraseBackground(HWND hwnd, HDC dc) const {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    ::FillRect(dc, &rc, static_cast<HBRUSH>(formBrush_.get()));
    return 1;
  }

  LRESULT OnPaint(HWND hwnd) const {
    PAINTSTRUCT ps;
    const HDC dc = ::BeginPaint(hwnd, &ps);
    const std::optional<std::size_t> banner = Banner();
    if (banner && Within(controls_[*banner].hwnd, ::GetFocus()) && FocusCuesShown(hwnd)) {
      const RECT ring = *BannerRing();
      ::DrawFocusRect(dc, &ring);
    }
    ::EndPaint(hwnd, &ps);
    return 0;
  }

  // High contrast switched, or the theme's colours changed, while the window is open.
  void OnColoursChanged() { ApplyColours(); }

  LRESULT OnDpiChanged(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    Layout(suggested);
    return 0;
  }

  // As a dialog does: the control that had the focus when the window was left has it again, or
  // the first stop.
  LRESULT OnActivate(HWND hwnd, UINT state) {
    if (state == WA_INACTIVE) {
      if (const HWND focus = ::GetFocus(); Within(hwnd, focus)) savedFocus_ = focus;
    } else if (::IsWindow(savedFocus_) != FALSE && Within(hwnd, savedFocus_)) {
      ::SetFocus(savedFocus_);
    } else {
      FocusFirstStop();
    }
    InvalidateBannerRing();
    return 0;
  }

  // A click inside the banner's page may have moved the focus there, or out.
  void OnParentNotify() const { InvalidateBannerRing(); }

  // Closing unloads: the window, its controls and its browser go.
  static LRESULT OnClose(HWND hwnd) {
    ::DestroyWindow(hwnd);
    return 0;
  }

  void OnDestroy() {
    for (Control& c : controls_) c.browser.reset();
  }

  void OnNcDestroy(HWND hwnd) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd_.release();
    savedFocus_ = nullptr;
    for (Control& c : controls_) {
      c.hwnd = nullptr;
      c.font.reset();
      c.picture.reset();
    }
  }

  LRESULT FormMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_COMMAND:
        return OnCommand(HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      case WM_ERASEBKGND:
        return OnEraseBackground(hwnd, reinterpret_cast<HDC>(wParam));
      case WM_PAINT:
        return OnPaint(hwnd);
      case WM_SYSCOLORCHANGE:
      case WM_SETTINGCHANGE:
        OnColoursChanged();
        break;
      case WM_DPICHANGED:
        return OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      case WM_ACTIVATE:
        return OnActivate(hwnd, LOWORD(wParam));
      case WM_PARENTNOTIFY:
        OnParentNotify();
        break;
      case WM_CLOSE:
        return OnClose(hwnd);
      case WM_DESTROY:
        OnDestroy();
        break;
      case WM_NCDESTROY:
        OnNcDestroy(hwnd);
        break;
      default:
        break;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }

  // ---- The controls' messages ----

  // A click is a press and a release on the same control.
  void OnButtonDown(HWND hwnd, std::size_t index) {
    controls_[index].pressed = true;
    ::SetCapture(hwnd);
  }
  void OnButtonUp(HWND hwnd, std::size_t index, POINT at) {
    const bool pressed = std::exchange(controls_[index].pressed, false);
    if (::GetCapture() == hwnd) ::ReleaseCapture();
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    if (pressed && ::PtInRect(&rc, at) != FALSE) Clicked(index);
  }

  using Painter = void (DialogImpl::*)(HWND, HDC) const;
  LRESULT OnPaintControl(HWND hwnd, Painter paint) const {
    PAINTSTRUCT ps;
    const HDC dc = ::BeginPaint(hwnd, &ps);
    (this->*paint)(hwnd, dc);
    ::EndPaint(hwnd, &ps);
    return 0;
  }

  // A control we draw ourselves: painted whole by `paint`, on the screen and into a DC it is given
  // to print into. Nothing for any other message.
  std::optional<LRESULT> PaintMessage(HWND hwnd, UINT msg, WPARAM wParam, Painter paint) const {
    switch (msg) {
      case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT
      case WM_PAINT:
        return OnPaintControl(hwnd, paint);
      case WM_PRINTCLIENT:
        (this->*paint)(hwnd, reinterpret_cast<HDC>(wParam));
        return 0;
      default:
        return std::nullopt;
    }
  }

  // A control clicked like a button: pressed, then released inside it; `takesFocus` when pressing
  // it also moves the focus to it. Nothing for any other message.
  std::optional<LRESULT> ButtonMessage(HWND hwnd, std::size_t index, UINT msg, LPARAM lParam, bool takesFocus) {
    switch (msg) {
      case WM_LBUTTONDOWN:
        if (takesFocus) ::SetFocus(hwnd);
        OnButtonDown(hwnd, index);
        return 0;
      case WM_LBUTTONUP:
        OnButtonUp(hwnd, index, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
      case WM_CAPTURECHANGED:
        // The press was taken away (a box opened, Alt+Tab): a later release is no click.
        controls_[index].pressed = false;
        return 0;
      default:
        return std::nullopt;
    }
  }

  // A control a screen reader reads by its facts; nothing where the system is to answer.
  std::optional<LRESULT> ReaderMessage(HWND hwnd, std::size_t index, UINT msg, WPARAM wParam, LPARAM lParam) const {
    if (msg != WM_GETOBJECT) return std::nullopt;
    if (const LRESULT object = AnswerGetObject(hwnd, wParam, lParam, FactsOf(index)); object != 0) return object;
    return std::nullopt;
  }

  // What a screen reader reads of a control of ours: its text names it.
  AccessibleFacts FactsOf(std::size_t index) const {
    const ControlAccess access = AccessAt(index);
    AccessibleFacts facts;
    facts.role = access.role;
    facts.name = design_.controls[index].text;
    facts.defaultAction = access.defaultAction;
    facts.focusable = access.tabStop;
    facts.linked = access.role == kRoleLink;
    facts.hidden = access.hidden;
    return facts;
  }

  // Picture boxes: their picture on their colour, and a click (Picture2 surrounds the link).
  LRESULT PictureBoxMessage(HWND hwnd, std::size_t index, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (const auto painted = PaintMessage(hwnd, msg, wParam, &DialogImpl::PaintPictureBox)) return *painted;
    if (const auto clicked = ButtonMessage(hwnd, index, msg, lParam, false)) return *clicked;
    switch (msg) {
      case WM_COMMAND:
        return OnCommand(HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }

  // The banner's area: the page fills it; the focus goes on into the page.
  LRESULT BrowserAreaMessage(HWND hwnd, std::size_t index, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (const auto painted = PaintMessage(hwnd, msg, wParam, &DialogImpl::PaintPictureBox)) return *painted;
    if (const auto read = ReaderMessage(hwnd, index, msg, wParam, lParam)) return *read;
    switch (msg) {
      case WM_SIZE:
        if (controls_[index].browser) controls_[index].browser->Resize(LOWORD(lParam), HIWORD(lParam));
        break;
      case WM_SETFOCUS:
        if (controls_[index].browser) controls_[index].browser->Focus();
        InvalidateBannerRing();
        return 0;
      default:
        break;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }

  // A label that is a link (the maker's name): it takes the focus, and does its click on Enter or Space.
  LRESULT LinkMessage(HWND hwnd, std::size_t index, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (const auto painted = PaintMessage(hwnd, msg, wParam, &DialogImpl::PaintLink)) return *painted;
    if (const auto read = ReaderMessage(hwnd, index, msg, wParam, lParam)) return *read;
    if (const auto clicked = ButtonMessage(hwnd, index, msg, lParam, true)) return *clicked;
    switch (msg) {
      case WM_GETFONT:
        return reinterpret_cast<LRESULT>(controls_[index].font.get());
      case WM_SETFONT:
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        ::InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      case WM_UPDATEUISTATE:
        ::InvalidateRect(hwnd, nullptr, TRUE);
        break;
      case WM_KEYDOWN:
        // Once per press: a key held down repeats.
        if ((wParam == VK_RETURN || wParam == VK_SPACE) && (lParam & (LPARAM{1} << 30)) == 0) Clicked(index);
        return 0;
      case kDoDefaultAction:
        Clicked(index);
        return 0;
      default:
        break;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject<DialogImpl>(hwnd, msg, lParam);
    if (msg == WM_NCCREATE && self != nullptr) self->hwnd_.reset(hwnd);
    if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->FormMessage(hwnd, msg, wParam, lParam);
  }

  // A control's window and its index, or null where it is none of a live dialog's.
  using ControlMessage = LRESULT (DialogImpl::*)(HWND, std::size_t, UINT, WPARAM, LPARAM);
  static LRESULT ForControl(ControlMessage handler, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DialogImpl* self = FromWindow(hwnd);
    const std::size_t index = self != nullptr ? self->IndexOf(hwnd) : 0;
    if (self == nullptr || index >= self->controls_.size()) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return (self->*handler)(hwnd, index, msg, wParam, lParam);
  }
  static LRESULT CALLBACK PictureBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ForControl(&DialogImpl::PictureBoxMessage, hwnd, msg, wParam, lParam);
  }
  static LRESULT CALLBACK BrowserAreaProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ForControl(&DialogImpl::BrowserAreaMessage, hwnd, msg, wParam, lParam);
  }
  static LRESULT CALLBACK LinkProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ForControl(&DialogImpl::LinkMessage, hwnd, msg, wParam, lParam);
  }

  DialogsWin32& owner_;
  DialogDesign design_;
  DialogEvents& events_;
  std::vector<Control> controls_;
  NoBrowser noBrowser_;
  DialogColours colours_;
  UniqueGdiObject formBrush_;
  UniqueHwnd hwnd_;
  std::uintptr_t icon_ = 0;
  std::uintptr_t smallIcon_ = 0;
  int dpi_ = kDefaultDpi;
  bool modal_ = false;
  // The control that had the focus when the window was last left.
  HWND savedFocus_ = nullptr;
};

bool DialogsWin32::SystemHighContrast() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) != FALSE &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

DialogsWin32::DialogsWin32(HINSTANCE instance, BrowserFactory& browsers, HighContrastQuery highContrast)
    : instance_(instance), browsers_(browsers), highContrast_(highContrast) {}

DialogsWin32::~DialogsWin32() = default;

std::unique_ptr<Dialog> DialogsWin32::LoadDialog(const DialogDesign& design, DialogEvents& events) {
  return std::make_unique<DialogImpl>(*this, design, events);
}

HICON DialogsWin32::SharedIcon(int resource, bool small) {
  const std::pair key(resource, small);
  auto it = std::find_if(icons_.begin(), icons_.end(), [&key](const auto& entry) { return entry.first == key; });
  if (it == icons_.end()) it = icons_.emplace(icons_.end(), key, platform::win32::UniqueHicon{});
  auto& icon = it->second;
  if (!icon) {
    const int cx = ::GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    const int cy = ::GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
    icon.reset(static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(resource), IMAGE_ICON, cx, cy, 0)));
  }
  return icon.get();
}

}  // namespace varnlet::toolkit::win32
