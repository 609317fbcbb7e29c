#include "toolkit/win32/dialog_win32.h"

#include <windowsx.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/scope_guard.h"
#include "platform/win32/system_library.h"
#include "toolkit/dialog_colours.h"
#include "toolkit/win32/window_object.h"

namespace varnlet::toolkit::win32 {
namespace {

using platform::win32::FromHwnd;
using platform::win32::UniqueGdiObject;
using platform::win32::UniqueHwnd;

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
constexpr int kDefaultDpi = 96;

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

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
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

}  // namespace

class DialogsWin32::DialogImpl final : public Dialog {
 public:
  DialogImpl(DialogsWin32& owner, const DialogDesign& design, DialogEvents& events)
      : owner_(owner), design_(design), events_(events), controls_(design.controls.size()) {
    const HINSTANCE instance = owner_.instance_;
    const std::wstring windowClass(design_.windowClass);
    RegisterWindowClass(instance, windowClass.c_str(), &DialogImpl::WindowProc);
    RegisterWindowClass(instance, kPictureBoxClass, &DialogImpl::ChildProc);
    RegisterWindowClass(instance, kBrowserAreaClass, &DialogImpl::ChildProc);
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
    ::ShowWindow(hwnd_.get(), SW_SHOWNORMAL);
    ::UpdateWindow(hwnd_.get());
    ::SetForegroundWindow(hwnd_.get());
    // A loop of our own: every message of the thread is dispatched, so timers keep ticking and
    // the tray keeps answering, until the window is closed (or hidden).
    MSG msg;
    while (hwnd_ && ::IsWindowVisible(hwnd_.get())) {
      const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        // The program is ending: leave the quit message to the main loop.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (got < 0) break;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

 private:
  struct Control {
    HWND hwnd = nullptr;  // owned by the dialog window
    UniqueGdiObject font;
    UniqueGdiObject backBrush;
    UniqueGdiObject picture;
    std::unique_ptr<WebBrowser> browser;  // null where none could be made
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
        // SS_NOPREFIX: the maker's name is a build option and may hold an "&".
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

  // The message is handled, and the window procedure returns `value`.
  static bool Answer(LRESULT& result, LRESULT value) {
    result = value;
    return true;
  }

  bool Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
      case WM_COMMAND:
        if (HIWORD(wParam) == STN_CLICKED && lParam != 0) Clicked(IndexOf(reinterpret_cast<HWND>(lParam)));
        return Answer(result, 0);
      case WM_CTLCOLORSTATIC:
        return Answer(result, ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
      case WM_ERASEBKGND: {
        RECT rc{};
        ::GetClientRect(hwnd, &rc);
        ::FillRect(reinterpret_cast<HDC>(wParam), &rc, static_cast<HBRUSH>(formBrush_.get()));
        return Answer(result, 1);
      }
      case WM_SYSCOLORCHANGE:
      case WM_SETTINGCHANGE:
        // High contrast switched, or the theme's colours changed, while the window is open.
        ApplyColours();
        return false;
      case WM_DPICHANGED:
        dpi_ = LOWORD(wParam);
        Layout(reinterpret_cast<const RECT*>(lParam));
        return Answer(result, 0);
      case WM_CLOSE:
        // Closing unloads: the window, its controls and its browser go.
        ::DestroyWindow(hwnd);
        return Answer(result, 0);
      case WM_DESTROY:
        for (Control& c : controls_) c.browser.reset();
        return false;
      case WM_NCDESTROY:
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_.release();
        for (Control& c : controls_) {
          c.hwnd = nullptr;
          c.font.reset();
          c.picture.reset();
        }
        return false;
      default:
        return false;
    }
  }

  // Picture boxes and the browser area.
  bool HandleChild(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
      case WM_COMMAND:
      case WM_CTLCOLORSTATIC:
        // From a label inside a picture box.
        return Handle(hwnd_.get(), msg, wParam, lParam, result);
      case WM_ERASEBKGND:
        // painted whole in WM_PAINT
        return Answer(result, 1);
      case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = ::BeginPaint(hwnd, &ps);
        PaintPictureBox(hwnd, dc);
        ::EndPaint(hwnd, &ps);
        return Answer(result, 0);
      }
      case WM_PRINTCLIENT:
        PaintPictureBox(hwnd, reinterpret_cast<HDC>(wParam));
        return Answer(result, 0);
      case WM_LBUTTONDOWN:
        ::SetCapture(hwnd);
        return Answer(result, 0);
      case WM_LBUTTONUP:
        // A click is a press and a release on the same box.
        if (::GetCapture() == hwnd) {
          ::ReleaseCapture();
          RECT rc{};
          ::GetClientRect(hwnd, &rc);
          const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
          if (::PtInRect(&rc, pt) && design_.controls[IndexOf(hwnd)].kind == ControlKind::PictureBox) {
            Clicked(IndexOf(hwnd));
          }
        }
        return Answer(result, 0);
      case WM_SIZE: {
        const std::size_t index = IndexOf(hwnd);
        if (index < controls_.size() && controls_[index].browser) {
          controls_[index].browser->Resize(LOWORD(lParam), HIWORD(lParam));
        }
        return false;
      }
      default:
        return false;
    }
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject<DialogImpl>(hwnd, msg, lParam);
    if (msg == WM_NCCREATE && self != nullptr) self->hwnd_.reset(hwnd);
    LRESULT result = 0;
    if (self != nullptr && self->Handle(hwnd, msg, wParam, lParam, result)) return result;
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }

  static LRESULT CALLBACK ChildProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DialogImpl* self = FromWindow(hwnd);
    LRESULT result = 0;
    if (self != nullptr && self->IndexOf(hwnd) < self->controls_.size() &&
        self->HandleChild(hwnd, msg, wParam, lParam, result)) {
      return result;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
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
