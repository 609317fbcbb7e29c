// Form2 on the Win32 dialog toolkit, with real windows under Wine: the window's frame, size and
// place, every control's rectangle, font and colours, the link's clicks, the lifecycle with a
// real browser, and what is left when no browser can be made.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <gtest/gtest.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <oleacc.h>
#include <olectl.h>
#include <shobjidl.h>
#include <urlmon.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "about/Form2.h"
#include "about/resource_ids.h"
#include "build_config.h"
#include "fakes/fake_shell.h"
#include "platform/win32/ansi_code_page_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/process_token.h"
#include "toolkit/win32/dialog_win32.h"
#include "toolkit/win32/toolkit_win32.h"
#include "toolkit/win32/web_browser_host.h"

namespace varnlet::about {
namespace {

using platform::win32::ToHwnd;
using toolkit::ControlKind;
using toolkit::PixelRect;
using toolkit::win32::BrowserFactory;
using toolkit::win32::DialogsWin32;
using toolkit::win32::WebBrowserFactory;

// Wraps a real factory and records what the dialog does with its browsers.
class RecordingBrowsers final : public BrowserFactory {
 public:
  explicit RecordingBrowsers(BrowserFactory& real) : real_(real) {}

  std::unique_ptr<toolkit::WebBrowser> Embed(HWND container, const toolkit::PagePolicy& policy,
                                             toolkit::win32::LinkFollower followLink) override {
    ++embeds;
    auto inner = real_.Embed(container, policy, std::move(followLink));
    if (!inner) return nullptr;
    ++created;
    return std::make_unique<Recorder>(*this, std::move(inner));
  }

  int embeds = 0;
  int created = 0;
  int released = 0;
  std::vector<std::wstring> navigations;
  // Stands in for a page having arrived, which Wine's browser never brings.
  bool pageShown = false;
  int focused = 0;

 private:
  class Recorder final : public toolkit::WebBrowser {
   public:
    Recorder(RecordingBrowsers& owner, std::unique_ptr<toolkit::WebBrowser> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    ~Recorder() override { ++owner_.released; }
    bool Navigate(std::wstring_view url) override {
      owner_.navigations.emplace_back(url);
      return inner_->Navigate(url);
    }
    void Resize(int width, int height) override { inner_->Resize(width, height); }
    bool ShowsPage() const override { return owner_.pageShown || inner_->ShowsPage(); }
    void Focus() override {
      ++owner_.focused;
      inner_->Focus();
    }

   private:
    RecordingBrowsers& owner_;
    std::unique_ptr<toolkit::WebBrowser> inner_;
  };

  BrowserFactory& real_;
};

std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[256] = {};
  ::GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

std::wstring ClassName(HWND hwnd) {
  wchar_t buffer[256] = {};
  ::GetClassNameW(hwnd, buffer, 256);
  return buffer;
}

RECT ClientRect(HWND hwnd) {
  RECT rc{};
  ::GetClientRect(hwnd, &rc);
  return rc;
}

RECT WindowRect(HWND hwnd) {
  RECT rc{};
  ::GetWindowRect(hwnd, &rc);
  return rc;
}

// The font a control draws its text with.
LOGFONTW FontOf(HWND hwnd) {
  LOGFONTW lf{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf;
}

RECT RectInParent(HWND hwnd) {
  RECT rc = WindowRect(hwnd);
  ::MapWindowPoints(nullptr, ::GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

PixelRect ToPixelRect(const RECT& rc) { return {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top}; }

// A 32-bit memory surface to let windows paint into.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    const HDC screen = ::GetDC(nullptr);
    dc_ = ::CreateCompatibleDC(screen);
    bitmap_ = ::CreateCompatibleBitmap(screen, width, height);
    ::ReleaseDC(nullptr, screen);
    old_ = ::SelectObject(dc_, bitmap_);
    const RECT all{0, 0, width, height};
    const HBRUSH grey = ::CreateSolidBrush(RGB(128, 128, 128));  // neither white nor blue
    ::FillRect(dc_, &all, grey);
    ::DeleteObject(grey);
  }
  ~Canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const { return ::GetPixel(dc_, x, y); }
  int Count(COLORREF colour) const {
    int n = 0;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) n += At(x, y) == colour ? 1 : 0;
    }
    return n;
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_;
  int height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// Keys as the keyboard sends them: through the system's input queue, to the window with the focus.
void SendKeys(std::initializer_list<std::pair<WORD, bool>> keys) {
  std::vector<INPUT> inputs;
  for (const auto& [key, down] : keys) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
}
void Press(WORD key) { SendKeys({{key, true}, {key, false}}); }

bool Within(HWND root, HWND hwnd) { return hwnd != nullptr && (hwnd == root || ::IsChild(root, hwnd)); }

bool UnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// IID_IAccessible spelled out: mingw's import library gives a thunk's address for it in a static link.
constexpr GUID kIidAccessible{0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What a screen reader reads of a window: its object's role, name, state and default action.
struct Read {
  LONG role = -1;
  std::wstring name;
  LONG state = 0;
  std::wstring defaultAction;
  toolkit::win32::ComPtr<IAccessible> object;
};
Read ReadAccessible(HWND hwnd, LONG objectId = OBJID_CLIENT) {
  Read read;
  if (FAILED(::AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(objectId), kIidAccessible, read.object.putVoid()))) {
    return read;
  }
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT value;
  ::VariantInit(&value);
  if (SUCCEEDED(read.object->get_accRole(self, &value)) && value.vt == VT_I4) read.role = value.lVal;
  ::VariantInit(&value);
  if (SUCCEEDED(read.object->get_accState(self, &value)) && value.vt == VT_I4) read.state = value.lVal;
  BSTR text = nullptr;
  if (read.object->get_accName(self, &text) == S_OK && text != nullptr) read.name = text;
  ::SysFreeString(text);
  text = nullptr;
  if (read.object->get_accDefaultAction(self, &text) == S_OK && text != nullptr) read.defaultAction = text;
  ::SysFreeString(text);
  return read;
}

class AboutWindowTest : public ::testing::Test {
 protected:
  explicit AboutWindowTest(const CLSID& browserClass = CLSID_WebBrowser,
                           DialogsWin32::HighContrastQuery highContrast = &DialogsWin32::SystemHighContrast)
      : realBrowsers_(browserClass), highContrast_(highContrast) {}

  HWND Window() const { return ToHwnd(form2.hWnd()); }

  HWND Control(std::size_t i) const {
    const auto& c = Form2Controls()[i];
    const HWND parent = c.container == toolkit::kOnForm ? Window() : Control(c.container);
    return ::GetDlgItem(parent, DialogsWin32::kFirstControlId + static_cast<int>(i));
  }

  void Click(HWND hwnd, int x, int y) {
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }

  void ExpectOneOpenOfTheHomePage() {
    ASSERT_EQ(shell.executeCalls.size(), 1u);
    const auto& call = shell.executeCalls[0];
    EXPECT_EQ(call.hwnd, form2.hWnd());
    EXPECT_EQ(call.operation, "open");
    EXPECT_EQ(call.file, ansi.ToAnsi(config::kHomePage));
    EXPECT_EQ(call.parameters, std::nullopt);
    EXPECT_EQ(call.directory, std::nullopt);
    EXPECT_EQ(call.showCmd, SW_SHOWMAXIMIZED);
  }

  void ExpectCompleteWindow() {
    ASSERT_TRUE(::IsWindow(Window()));
    for (std::size_t i = 0; i < kControlCount; ++i) {
      SCOPED_TRACE(i);
      const HWND control = Control(i);
      ASSERT_NE(control, nullptr);
      EXPECT_TRUE(::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE);
      EXPECT_EQ(ToPixelRect(RectInParent(control)), toolkit::ToPixels(Form2Controls()[i].rect, 96));
      if (Form2Controls()[i].kind == ControlKind::Label) {
        EXPECT_EQ(WindowText(control), Form2Controls()[i].text);
      }
    }
  }

  // What a label is painted with: text, background and the brush behind it.
  struct Painted {
    COLORREF text, back, brush;
    friend bool operator==(const Painted&, const Painted&) = default;
  };
  Painted PaintedColours(ControlIndex i) const {
    Canvas canvas(8, 8);
    const HWND label = Control(i);
    ::SetTextColor(canvas.dc(), RGB(1, 2, 3));
    ::SetBkColor(canvas.dc(), RGB(4, 5, 6));
    const auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
        ::GetParent(label), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.dc()), reinterpret_cast<LPARAM>(label)));
    LOGBRUSH lb{};
    if (brush == nullptr || ::GetObjectW(brush, sizeof lb, &lb) == 0) lb.lbColor = RGB(7, 8, 9);
    return {::GetTextColor(canvas.dc()), ::GetBkColor(canvas.dc()), lb.lbColor};
  }
  // Pixels of the form's background in `colour`.
  int FormBackground(COLORREF colour) const {
    Canvas canvas(348, 204);
    ::SendMessageW(Window(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0);
    return canvas.Count(colour);
  }

  WebBrowserFactory realBrowsers_;
  DialogsWin32::HighContrastQuery highContrast_;

 public:
  RecordingBrowsers browsers{realBrowsers_};
  DialogsWin32 dialogs{::GetModuleHandleW(nullptr), browsers, highContrast_};
  fakes::FakeShell shell;
  platform::AnsiCodePageWin32 ansi;
  Form2 form2{{dialogs, shell, ansi}};
};

TEST_F(AboutWindowTest, IsAHiddenFixedDialogWithOnlyACloseButton) {
  const std::uintptr_t icon = form2.Icon();
  EXPECT_NE(icon, 0u);
  const HWND hwnd = Window();
  ASSERT_TRUE(::IsWindow(hwnd));
  EXPECT_FALSE(::IsWindowVisible(hwnd));  // reading the icon loads it without showing it
  EXPECT_EQ(WindowText(hwnd), kForm2Caption);
  EXPECT_EQ(ClassName(hwnd), kForm2WindowClass);
  EXPECT_EQ(::GetParent(hwnd), nullptr);
  EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), nullptr);

  const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
  const LONG exStyle = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU) << "close button";
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "not resizable";
  EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME) << "fixed dialog frame";

  // The icon handle is the window's own, and it is a real icon.
  EXPECT_EQ(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), static_cast<LRESULT>(icon));
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(reinterpret_cast<HICON>(icon), &info));
  BITMAP colour{};
  ::GetObjectW(info.hbmColor, sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, ::GetSystemMetrics(SM_CXICON));
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
}

TEST_F(AboutWindowTest, ClientAreaIs348By204AndCentredOnTheScreen) {
  form2.Icon();
  const RECT client = ClientRect(Window());
  EXPECT_EQ(client.right, 348);
  EXPECT_EQ(client.bottom, 204);

  const RECT window = WindowRect(Window());
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  EXPECT_NEAR(window.left - screen.left, (screen.right - screen.left - width) / 2, 1);
  EXPECT_NEAR(window.top - screen.top, (screen.bottom - screen.top - height) / 2, 1);
}

TEST_F(AboutWindowTest, EveryControlIsARealChildWithItsRectangleAndText) {
  form2.Icon();
  ExpectCompleteWindow();
  EXPECT_EQ(ClassName(Control(kLabel1)), L"Static");
  EXPECT_EQ(::GetParent(Control(kLabel4)), Control(kPicture2));
  EXPECT_EQ(WindowText(Control(kLabel1)), std::wstring(config::kTitle) + L" ");
  EXPECT_EQ(WindowText(Control(kLabel5)), L"Si gust\u00F3 el programa, \u00A1comp\u00E1rtelo!");
  EXPECT_TRUE(::GetWindowLongW(Control(kLabel5), GWL_STYLE) & SS_CENTER);
  EXPECT_FALSE(::GetWindowLongW(Control(kLabel1), GWL_STYLE) & SS_CENTER);

  // Tab order is the order of the form's children.
  std::vector<HWND> expected;
  for (std::size_t i = 0; i < kControlCount; ++i) {
    if (Form2Controls()[i].container == toolkit::kOnForm) expected.push_back(Control(i));
  }
  std::vector<HWND> actual;
  for (HWND child = ::GetWindow(Window(), GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    actual.push_back(child);
  }
  EXPECT_EQ(actual, expected);
}

TEST_F(AboutWindowTest, LabelsHaveTheirFonts) {
  form2.Icon();
  struct Expected {
    ControlIndex label;
    LONG height;
    LONG weight;
    bool underline;
  };
  for (const Expected& e : {Expected{kLabel1, -16, FW_BOLD, false}, Expected{kLabel2, -11, FW_NORMAL, false},
                            Expected{kLabel3, -11, FW_NORMAL, false}, Expected{kLabel5, -11, FW_BOLD, false},
                            Expected{kLabel4, -11, FW_BOLD, true}}) {
    SCOPED_TRACE(e.label);
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(Control(e.label), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW lf{};
    ASSERT_EQ(::GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_STREQ(lf.lfFaceName, L"Verdana");
    EXPECT_EQ(lf.lfHeight, e.height);
    EXPECT_EQ(lf.lfWeight, e.weight);
    EXPECT_EQ(lf.lfUnderline != 0, e.underline);
    EXPECT_EQ(lf.lfItalic, 0);
    EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
  }
}

TEST_F(AboutWindowTest, TheMakersNameFitsItsLabel) {
  form2.Icon();
  const HWND label = Control(kLabel4);
  const HDC dc = ::GetDC(label);
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  const std::wstring text(config::kMaker);
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  EXPECT_GT(size.cx, 0);
  EXPECT_LE(size.cx, 45);  // 675 twips
}

TEST_F(AboutWindowTest, Label4IsBlueOnWhiteAndTheOtherLabelsTakeTheFormsColours) {
  form2.Icon();
  for (const ControlIndex i : {kLabel1, kLabel2, kLabel3, kLabel5, kLabel4}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PaintedColours(i), (Painted{i == kLabel4 ? kBlue : ::GetSysColor(COLOR_BTNTEXT), kWhite, kWhite}));
  }
}

// Wine 8 never reports high contrast (SPI_GETHIGHCONTRAST gives no flags whatever the registry
// says, and SPI_SETHIGHCONTRAST fails), so the flag is faked here; the colours are the system's
// own, set to a dark theme with SetSysColors.
bool fakeHighContrast = false;

class HighContrastTest : public AboutWindowTest {
 protected:
  HighContrastTest() : AboutWindowTest(CLSID_WebBrowser, [] { return fakeHighContrast; }) {
    for (std::size_t i = 0; i < std::size(kElements); ++i) saved_[i] = ::GetSysColor(kElements[i]);
  }
  ~HighContrastTest() override {
    fakeHighContrast = false;
    ::SetSysColors(static_cast<int>(std::size(kElements)), kElements, saved_);
  }
  void SetDarkTheme() {
    const COLORREF dark[] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 0)};
    ASSERT_TRUE(::SetSysColors(static_cast<int>(std::size(kElements)), kElements, dark));
  }
  static constexpr int kElements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_HOTLIGHT};
  COLORREF saved_[std::size(kElements)] = {};
};

TEST_F(HighContrastTest, TheSystemsColoursWhileItIsOnFollowingChangesWhileTheWindowIsOpen) {
  constexpr COLORREF kBlack = RGB(0, 0, 0);
  constexpr COLORREF kYellow = RGB(255, 255, 0);
  form2.Icon();
  EXPECT_EQ(FormBackground(kWhite), 348 * 204);
  // High contrast comes on, with a dark theme: SetSysColors tells every window.
  fakeHighContrast = true;
  SetDarkTheme();
  EXPECT_EQ(FormBackground(kBlack), 348 * 204);
  for (const ControlIndex i : {kLabel1, kLabel2, kLabel3, kLabel5, kLabel4}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PaintedColours(i), (Painted{i == kLabel4 ? kYellow : kWhite, kBlack, kBlack}));
  }
  {
    Canvas canvas(45, 13);
    ::SendMessageW(Control(kLabel4), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
    EXPECT_GT(canvas.Count(kYellow), 0);
    EXPECT_GT(canvas.Count(kBlack), 45 * 13 / 2);
    // With the focus, its rectangle shows on the theme's colours, whatever the last input was.
    ::SetFocus(Control(kLabel4));
    ASSERT_EQ(::GetFocus(), Control(kLabel4));
    Canvas focused(45, 13);
    ::SendMessageW(Control(kLabel4), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(focused.dc()), PRF_CLIENT);
    EXPECT_GT(45 * 13 - focused.Count(kYellow) - focused.Count(kBlack),
              45 * 13 - canvas.Count(kYellow) - canvas.Count(kBlack));
  }
  // Off again: the design's colours come back at the setting's change, the theme's colours stay.
  fakeHighContrast = false;
  ::SendMessageW(Window(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  EXPECT_EQ(FormBackground(kWhite), 348 * 204);
  EXPECT_EQ(PaintedColours(kLabel4), (Painted{kBlue, kWhite, kWhite}));
  EXPECT_EQ(PaintedColours(kLabel1), (Painted{::GetSysColor(COLOR_BTNTEXT), kWhite, kWhite}));
}

TEST_F(AboutWindowTest, TheFormAndThePictureBoxesPaintWhiteAndPicture1ShowsItsBitmap) {
  form2.Icon();
  {
    Canvas canvas(348, 204);
    ::SendMessageW(Window(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0);
    EXPECT_EQ(canvas.Count(kWhite), 348 * 204);
  }
  {
    Canvas canvas(49, 17);
    ::SendMessageW(Control(kPicture2), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
    EXPECT_EQ(canvas.Count(kWhite), 49 * 17);
  }
  {
    // The label's own painting: blue text on white.
    Canvas canvas(45, 13);
    ::SendMessageW(Control(kLabel4), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
    EXPECT_GT(canvas.Count(kBlue), 0);
    EXPECT_EQ(canvas.Count(kBlue) + canvas.Count(kWhite) > 45 * 13 / 2, true);
  }
  Canvas canvas(48, 48);
  ::SendMessageW(Control(kPicture1), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
  const auto bitmap = static_cast<HBITMAP>(
      ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_PICTURE1), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(bitmap, nullptr);
  const HDC memory = ::CreateCompatibleDC(canvas.dc());
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  int same = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 48; ++x) same += ::GetPixel(memory, x, y) == canvas.At(x, y) ? 1 : 0;
  }
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
  ::DeleteObject(bitmap);
  EXPECT_EQ(same, 48 * 48);
  EXPECT_GT(canvas.Count(kWhite), 0);
  EXPECT_LT(canvas.Count(kWhite), 48 * 48);  // the badge, not a blank box
}

TEST_F(AboutWindowTest, AClickOnLabel4OpensTheHomePageOnce) {
  form2.Icon();
  Click(Control(kLabel4), 10, 6);
  ExpectOneOpenOfTheHomePage();
}

TEST_F(AboutWindowTest, AClickOnTheMarginOfPicture2OpensTheHomePageOnce) {
  form2.Icon();
  const HWND picture2 = Control(kPicture2);
  // Right of the 45-pixel name and below its 13-pixel line: the box itself, not the label.
  for (const POINT pt : {POINT{47, 8}, POINT{10, 15}}) {
    EXPECT_EQ(::ChildWindowFromPointEx(picture2, pt, CWP_ALL), picture2);
  }
  Click(picture2, 47, 8);
  ExpectOneOpenOfTheHomePage();

  // Pressed on the box and released away from it is no click.
  ::SendMessageW(picture2, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(47, 8));
  ::SendMessageW(picture2, WM_LBUTTONUP, 0, MAKELPARAM(200, 100));
  EXPECT_EQ(shell.executeCalls.size(), 1u);
}

TEST_F(AboutWindowTest, TheRealBrowserIsActiveInPlaceInTheBannerArea) {
  form2.Icon();
  EXPECT_EQ(browsers.created, 1);
  const HWND area = Control(kWebBrowser1);
  EXPECT_EQ(ClassName(area), L"Varnlet.BrowserArea");
  const HWND control = ::GetWindow(area, GW_CHILD);
  ASSERT_NE(control, nullptr) << "the control's own window inside the area";
  const RECT rc = ClientRect(control);
  EXPECT_EQ(rc.right, 329);
  EXPECT_EQ(rc.bottom, 73);
}

// A page's or frame's browser as the control hands it to its events: records what it is asked,
// and answers for its document, an HTML one or another viewer's (the site only asks which).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class RecordingFrame final : public IDispatch {
 public:
  std::vector<std::pair<DISPID, std::wstring>> calls;
  bool html = true;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    const bool ok = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                    (html && IsEqualIID(riid, IID_IHTMLDocument2));
    *ppv = ok ? this : nullptr;
    return ok ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id == 0xCB && result != nullptr) {  // Document
      result->vt = VT_DISPATCH;
      result->pdispVal = this;
      return S_OK;
    }
    const VARIANT* url = params != nullptr && params->cArgs >= 1 ? &params->rgvarg[params->cArgs - 1] : nullptr;
    calls.emplace_back(id, url != nullptr && url->vt == VT_BSTR ? url->bstrVal : L"");
    return S_OK;
  }
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// The site as the control reaches it, with the banner's policy: `top` plays the control itself.
struct SiteTest : AboutWindowTest {
  RecordingFrame top;
  RecordingFrame frame;
  std::vector<std::wstring> followed;
  toolkit::win32::ComPtr<IDispatch> site;

  void SetUp() override {
    form2.Icon();
    site = toolkit::win32::NewBrowserSite(
        Control(kWebBrowser1), *Form2Controls()[kWebBrowser1].page,
        [this](std::wstring_view url) { followed.emplace_back(url); }, &top);
  }
  HRESULT Invoke(DISPID id, std::vector<VARIANT> args) {
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    return site->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }
  // An event's arguments, last first, all empty.
  static std::vector<VARIANT> Args(std::size_t n) {
    std::vector<VARIANT> args(n);
    for (auto& a : args) ::VariantInit(&a);
    return args;
  }
  // An address on the ads page's host (the build's), and the same over plain http.
  static std::wstring Ads(std::wstring_view path) {
    const std::wstring_view page = config::kAdsPage;
    return std::wstring(page.substr(0, page.find(L'/', std::wstring_view(L"https://").size()))) + std::wstring(path);
  }
  static std::wstring PlainAds(std::wstring_view path) { return L"http" + Ads(path).substr(5); }
  // BeforeNavigate2 of `browser` with these flags: true when cancelled.
  bool BeforeNavigateCancelled(IDispatch* browser, std::wstring_view url, LONG flags) {
    const toolkit::win32::UniqueBstr address(url);
    VARIANT urlValue{};
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = address.get();
    VARIANT flagValue{};
    flagValue.vt = VT_I4;
    flagValue.lVal = flags;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    auto args = Args(7);
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    args[4].vt = VT_VARIANT | VT_BYREF;
    args[4].pvarVal = &flagValue;
    args[5].vt = VT_VARIANT | VT_BYREF;
    args[5].pvarVal = &urlValue;
    args[6].vt = VT_DISPATCH;
    args[6].pdispVal = browser;
    EXPECT_EQ(Invoke(DISPID_BEFORENAVIGATE2, args), S_OK);
    return cancel == VARIANT_TRUE;
  }
  // NavigateComplete2 or DocumentComplete of `browser`: what the site asked it to do.
  std::vector<std::pair<DISPID, std::wstring>> Arrived(DISPID event, RecordingFrame& browser, std::wstring_view url) {
    const toolkit::win32::UniqueBstr address(url);
    VARIANT urlValue{};
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = address.get();
    auto args = Args(2);
    args[0].vt = VT_VARIANT | VT_BYREF;
    args[0].pvarVal = &urlValue;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = &browser;
    browser.calls.clear();
    EXPECT_EQ(Invoke(event, args), S_OK);
    return browser.calls;
  }
};

// The site applies the policy: the process's feature controls are on once the browser exists;
// the ambient download control is the policy's, script off whatever the token says; a frame's
// navigation off https:// on the ads host and a download are cancelled.
TEST_F(SiteTest, TheBrowserHasThePolicysFeaturesAndFlagsAndTheFence) {
  ASSERT_EQ(browsers.created, 1);
  for (const auto f : Form2Controls()[kWebBrowser1].page->FeatureControls()) {
    EXPECT_EQ(::CoInternetIsFeatureEnabled(static_cast<INTERNETFEATURELIST>(f), GET_FEATURE_FROM_PROCESS), S_OK)
        << static_cast<int>(f);
  }
  VARIANT result;
  ::VariantInit(&result);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(site->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal & DLCTL_NO_SCRIPTS, DLCTL_NO_SCRIPTS);
  EXPECT_EQ(static_cast<std::uint32_t>(result.lVal), Form2Controls()[kWebBrowser1].page->DownloadControl());
  EXPECT_EQ(site->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);

  EXPECT_FALSE(BeforeNavigateCancelled(&frame, Ads(L"/frame.html"), 0));
  EXPECT_TRUE(BeforeNavigateCancelled(&frame, L"file:///C:/windows/win.ini", 0));
  EXPECT_TRUE(BeforeNavigateCancelled(&frame, PlainAds(L"/frame.html"), 0));
  EXPECT_FALSE(BeforeNavigateCancelled(&frame, L"about:blank", 0)) << "the page that replaces one off the fence";

  const auto downloadCancelled = [&](bool activeDocument) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    auto args = Args(2);
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    args[1].vt = VT_BOOL;
    args[1].boolVal = activeDocument ? VARIANT_TRUE : VARIANT_FALSE;
    EXPECT_EQ(Invoke(DISPID_FILEDOWNLOAD, args), S_OK);
    return cancel == VARIANT_TRUE;
  };
  EXPECT_TRUE(downloadCancelled(false));
  EXPECT_FALSE(downloadCancelled(true)) << "a page to show is no download";
  EXPECT_TRUE(followed.empty());
}

// What the user follows leaves for the user's browser, never a window or page here: a new window
// the control says the user asked for, and a link the page's document follows once the page has
// completed (with script and client pull off, only a click or key does). Before that, the same
// navigation is the page's own and stays fenced.
TEST_F(SiteTest, WhatTheUserFollowsOpensOutsideAndThePagesOwnNavigationsStayFenced) {
  const auto newWindowCancelled = [&](std::wstring_view url, LONG flags) {
    const toolkit::win32::UniqueBstr address(url);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    auto args = Args(5);  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl), last first
    args[0].vt = VT_BSTR;
    args[0].bstrVal = address.get();
    args[2].vt = VT_I4;
    args[2].lVal = flags;
    args[3].vt = VT_BOOL | VT_BYREF;
    args[3].pboolVal = &cancel;
    EXPECT_EQ(Invoke(DISPID_NEWWINDOW3, args), S_OK);
    return cancel == VARIANT_TRUE;
  };
  EXPECT_TRUE(newWindowCancelled(L"https://shop.example/offer", NWMF_USERINITED | NWMF_FIRST));
  EXPECT_TRUE(newWindowCancelled(Ads(L"/popup"), 0));
  EXPECT_EQ(followed, std::vector<std::wstring>{L"https://shop.example/offer"});

  constexpr LONG kByPage = navHyperlink;
  EXPECT_TRUE(BeforeNavigateCancelled(&top, L"https://shop.example/early", kByPage)) << "still loading";
  EXPECT_FALSE(BeforeNavigateCancelled(&frame, Ads(L"/frame.html"), kByPage));
  EXPECT_FALSE(toolkit::win32::SiteShowsPage(site.get())) << "no page yet: the banner is no stop";
  EXPECT_TRUE(Arrived(DISPID_DOCUMENTCOMPLETE, frame, config::kAdsPage).empty());
  EXPECT_FALSE(toolkit::win32::SiteShowsPage(site.get())) << "a frame's page is not the banner's";
  EXPECT_TRUE(Arrived(DISPID_DOCUMENTCOMPLETE, top, config::kAdsPage).empty());
  EXPECT_TRUE(toolkit::win32::SiteShowsPage(site.get()));
  EXPECT_TRUE(BeforeNavigateCancelled(&top, L"https://shop.example/click", kByPage));
  EXPECT_TRUE(BeforeNavigateCancelled(&frame, Ads(L"/next.html"), kByPage));
  EXPECT_TRUE(BeforeNavigateCancelled(&frame, L"file:///C:/windows/win.ini", kByPage));
  EXPECT_FALSE(BeforeNavigateCancelled(&frame, Ads(L"/back.html"), 0)) << "not the document's";
  EXPECT_EQ(followed, (std::vector<std::wstring>{L"https://shop.example/offer", L"https://shop.example/click",
                                                 Ads(L"/next.html")}));
}

// As the document host the site leaves the control its own menu, keys and sunken border, asks
// for redirects to be announced, and sends a page or frame that arrived off the fence, or that
// another viewer than the HTML engine shows, to the empty page, which itself stays.
TEST_F(SiteTest, APageOffTheFenceOrNotHtmlIsBlanked) {
  toolkit::win32::ComPtr<IDocHostUIHandler> host;
  ASSERT_EQ(site.As(IID_IDocHostUIHandler, host), S_OK);
  POINT at{10, 10};
  EXPECT_EQ(host->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr), S_FALSE) << "the control's menu";
  MSG msg{nullptr, WM_KEYDOWN, 'N', 0, 0, {0, 0}};
  EXPECT_EQ(host->TranslateAccelerator(&msg, nullptr, 0), S_FALSE) << "the control's keys";
  DOCHOSTUIINFO info{sizeof info, 0, 0, nullptr, nullptr};
  ASSERT_EQ(host->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags & DOCHOSTUIFLAG_ENABLE_REDIRECT_NOTIFICATION, DOCHOSTUIFLAG_ENABLE_REDIRECT_NOTIFICATION);
  EXPECT_EQ(info.dwFlags & DOCHOSTUIFLAG_NO3DBORDER, 0u);

  // The banner's own page off the fence is blanked, and the empty page shows nothing.
  EXPECT_FALSE(Arrived(DISPID_DOCUMENTCOMPLETE, top, L"https://tracker.example/landing").empty());
  EXPECT_FALSE(toolkit::win32::SiteShowsPage(site.get()));
  EXPECT_TRUE(Arrived(DISPID_DOCUMENTCOMPLETE, top, L"about:blank").empty());
  EXPECT_FALSE(toolkit::win32::SiteShowsPage(site.get()));

  const std::vector<std::pair<DISPID, std::wstring>> blanked{{0x68, L"about:blank"}};
  for (const DISPID event : {DISPID_NAVIGATECOMPLETE2, DISPID_DOCUMENTCOMPLETE}) {
    frame.html = true;
    EXPECT_EQ(Arrived(event, frame, L"https://tracker.example/landing"), blanked) << event;
    EXPECT_EQ(Arrived(event, frame, L"http" + std::wstring(config::kAdsPage.substr(5))), blanked) << event;
    EXPECT_TRUE(Arrived(event, frame, config::kAdsPage).empty()) << event;
    frame.html = false;
    EXPECT_EQ(Arrived(event, frame, Ads(L"/offer.pdf")), blanked) << event;
    EXPECT_TRUE(Arrived(event, frame, L"about:blank").empty()) << event;
  }
}

// Elevated (as every process under Wine is, through the real token), the banner gets no browser
// control and is never sent anywhere: not at start, not when the window is shown again.
TEST_F(AboutWindowTest, ElevatedTheBannerNavigatesNowhere) {
  ASSERT_TRUE(platform::win32::ProcessTokenElevated());
  Form2 elevated{{dialogs, shell, ansi, platform::win32::ProcessTokenElevated()}};
  elevated.Icon();
  ::PostMessageW(ToHwnd(elevated.hWnd()), WM_CLOSE, 0, 0);
  elevated.ShowModal();
  EXPECT_FALSE(elevated.Loaded());
  elevated.Icon();
  EXPECT_EQ(browsers.created, 0);
  EXPECT_TRUE(browsers.navigations.empty());
}

TEST_F(AboutWindowTest, LoadCloseAndLoadAgainNavigatesTwiceWhileTimersTick) {
  toolkit::win32::ToolkitWin32 toolkit(::GetModuleHandleW(nullptr), L"Local\\Varnlet.AboutWindowTest",
                                       std::wstring(config::kTitle));
  const std::uintptr_t icon = form2.Icon();
  ASSERT_EQ(browsers.navigations.size(), 1u);
  EXPECT_EQ(browsers.navigations[0], config::kAdsPage);

  // A timer of the program's toolkit closes the window from inside the modal show, as the user
  // would: its ticks prove the show keeps dispatching the thread's messages.
  int ticks = 0;
  int reentered = 0;
  auto timer = toolkit.CreateTimer(10, 0, [&] {
    ++ticks;
    const HWND hwnd = Window();
    if (hwnd == nullptr || !::IsWindowVisible(hwnd)) return;
    if (ticks % 2 == 1) {
      form2.ShowModal();  // "Acerca de..." again while open: returns at once
      ++reentered;
    } else {
      ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
  });

  const HWND first = Window();
  form2.ShowModal();
  EXPECT_GE(ticks, 2);
  EXPECT_EQ(reentered, 1);
  EXPECT_FALSE(::IsWindow(first));
  EXPECT_FALSE(form2.Loaded());
  EXPECT_EQ(browsers.released, 1);  // closing released the browser
  EXPECT_EQ(browsers.navigations.size(), 1u);

  form2.ShowModal();
  EXPECT_FALSE(form2.Loaded());
  ASSERT_EQ(browsers.navigations.size(), 2u);
  EXPECT_EQ(browsers.navigations[1], config::kAdsPage);
  EXPECT_EQ(browsers.embeds, 2);
  EXPECT_EQ(browsers.released, 2);

  // The icon outlives the window that gave it out, and the next load gives the same one.
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(reinterpret_cast<HICON>(icon), &info));
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
  EXPECT_EQ(form2.Icon(), icon);
  EXPECT_EQ(browsers.navigations.size(), 3u);
}

TEST_F(AboutWindowTest, ANewDpiRescalesTheWindowTheControlsAndTheFonts) {
  form2.Icon();
  RECT suggested{100, 100, 700, 500};
  ::SendMessageW(Window(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  for (std::size_t i = 0; i < kControlCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ToPixelRect(RectInParent(Control(i))), toolkit::ToPixels(Form2Controls()[i].rect, 144));
  }
  EXPECT_EQ(FontOf(Control(kLabel1)).lfHeight, -24);
  EXPECT_EQ(FontOf(Control(kLabel4)).lfHeight, -17);
  const RECT window = WindowRect(Window());
  EXPECT_EQ(window.left, 100);
  EXPECT_EQ(window.top, 100);
  const RECT client = ClientRect(Window());
  EXPECT_GE(client.right, 522);
  EXPECT_GE(client.bottom, 306);
}

// The keyboard alone: the focus starts on the link; Tab and Shift+Tab go round the link and the
// banner (a stop only while it shows a page, and never a trap); the link shows its focus
// rectangle once a key was pressed; Enter and Space open the home page; Esc closes the window as
// its close box does, and the focus goes back to where it was.
TEST_F(AboutWindowTest, TheKeyboardGoesRoundTheLinkAndTheBannerOpensTheLinkAndClosesTheWindow) {
  toolkit::win32::ToolkitWin32 toolkit(::GetModuleHandleW(nullptr), L"Local\\Varnlet.AboutWindowKeys",
                                       std::wstring(config::kTitle));
  // The test's own window has the focus, on a button of its own, before the About window shows.
  const platform::win32::UniqueHwnd before(::CreateWindowExW(0, L"STATIC", L"before", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                             0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr));
  const HWND button = ::CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 50, 20,
                                        before.get(), nullptr, nullptr, nullptr);
  ::SetForegroundWindow(before.get());
  ::SetFocus(button);
  ASSERT_EQ(::GetFocus(), button);
  form2.Icon();
  const HWND link = Control(kLabel4);
  const HWND banner = Control(kWebBrowser1);
  // Pixels of the link that are neither its text nor its background: the focus rectangle's.
  const auto focusDots = [&] {
    Canvas canvas(45, 13);
    ::SendMessageW(link, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
    return canvas.width() * canvas.height() - canvas.Count(kWhite) - canvas.Count(kBlue);
  };
  const int unfocusedDots = focusDots();

  // Each step checks what the keys of the step before did: keys come before timer ticks.
  const std::vector<std::function<void()>> steps{
      [&] {
        EXPECT_EQ(::GetFocus(), link) << "the first stop";
        Press(VK_TAB);
      },
      [&] {
        EXPECT_EQ(::GetFocus(), link) << "the banner, empty, is no stop";
        EXPECT_GT(focusDots(), unfocusedDots) << "a key was pressed: the focus shows";
        browsers.pageShown = true;
        Press(VK_TAB);
      },
      [&] {
        EXPECT_TRUE(Within(banner, ::GetFocus())) << "a page shows: the banner is a stop";
        EXPECT_EQ(browsers.focused, 1) << "and the focus goes into its page";
        EXPECT_EQ(focusDots(), unfocusedDots);
        SendKeys({{VK_SHIFT, true}, {VK_TAB, true}, {VK_TAB, false}, {VK_SHIFT, false}});
      },
      [&] {
        EXPECT_EQ(::GetFocus(), link) << "Shift+Tab goes back";
        Press(VK_TAB);
      },
      [&] {
        EXPECT_TRUE(Within(banner, ::GetFocus()));
        Press(VK_TAB);
      },
      [&] {
        EXPECT_EQ(::GetFocus(), link) << "Tab leaves the banner: round to the first stop";
        EXPECT_TRUE(shell.executeCalls.empty());
        Press(VK_RETURN);
      },
      [&] {
        ExpectOneOpenOfTheHomePage();
        Press(VK_SPACE);
      },
      [&] {
        EXPECT_EQ(shell.executeCalls.size(), 2u) << "Space as Enter";
        Press(VK_ESCAPE);
      },
  };
  std::size_t next = 0;
  auto timer = toolkit.CreateTimer(30, 0, [&] {
    if (next < steps.size()) {
      steps[next++]();
    } else if (++next > steps.size() + 20) {
      ::PostMessageW(Window(), WM_CLOSE, 0, 0);  // the window outlived Esc: let the test end
    }
  });
  form2.ShowModal();
  EXPECT_EQ(next, steps.size()) << "Esc closed the window";
  EXPECT_FALSE(form2.Loaded());
  EXPECT_EQ(::GetForegroundWindow(), before.get());
  EXPECT_EQ(::GetFocus(), button) << "the focus is back where it was";
}

// A screen reader reads, through Active Accessibility: the link as a link named by its text, that
// it may focus and open; the window by its caption; the labels by their texts; the banner as a
// pane, or nothing while it is empty.
TEST_F(AboutWindowTest, AScreenReaderReadsTheLinkTheWindowTheLabelsAndTheBanner) {
  form2.Icon();
  const Read link = ReadAccessible(Control(kLabel4));
  ASSERT_TRUE(link.object);
  EXPECT_EQ(link.role, ROLE_SYSTEM_LINK);
  EXPECT_EQ(link.name, config::kMaker);
  EXPECT_EQ(link.defaultAction, L"Abrir");
  EXPECT_EQ(link.state & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_LINKED), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_LINKED);
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  EXPECT_EQ(link.object->accDoDefaultAction(self), S_OK);
  EXPECT_TRUE(shell.executeCalls.empty()) << "done by the window, after the reader's call";
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  ExpectOneOpenOfTheHomePage();

  EXPECT_EQ(ReadAccessible(Window()).name, kForm2Caption);
  // The window's frame: Wine 8's oleacc makes no object for it (AccessibleObjectFromWindow fails).
  if (!UnderWine()) {
    const Read frame = ReadAccessible(Window(), OBJID_WINDOW);
    EXPECT_EQ(frame.role, ROLE_SYSTEM_WINDOW);
    EXPECT_EQ(frame.name, kForm2Caption);
  }
  for (const ControlIndex i : {kLabel1, kLabel2, kLabel3, kLabel5}) {
    SCOPED_TRACE(i);
    const Read label = ReadAccessible(Control(i));
    EXPECT_EQ(label.name, Form2Controls()[i].text);
    // Windows' object for a static control is a text; Wine 8's oleacc gives every window it does
    // not know the client role.
    EXPECT_EQ(label.role, UnderWine() ? ROLE_SYSTEM_CLIENT : ROLE_SYSTEM_STATICTEXT);
  }

  const Read empty = ReadAccessible(Control(kWebBrowser1));
  EXPECT_EQ(empty.role, ROLE_SYSTEM_PANE);
  EXPECT_NE(empty.state & STATE_SYSTEM_INVISIBLE, 0) << "nothing to read while no page shows";
  browsers.pageShown = true;
  const Read page = ReadAccessible(Control(kWebBrowser1));
  EXPECT_EQ(page.role, ROLE_SYSTEM_PANE);
  EXPECT_EQ(page.state & STATE_SYSTEM_INVISIBLE, 0);
  EXPECT_NE(page.state & STATE_SYSTEM_FOCUSABLE, 0);
}

class NoBrowserTest : public AboutWindowTest {
 protected:
  NoBrowserTest() : AboutWindowTest(CLSID_NULL) {}
};

BOOL CALLBACK CountVisible(HWND hwnd, LPARAM count) {
  if (::IsWindowVisible(hwnd)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

TEST_F(NoBrowserTest, TheWindowIsCompleteAndTheBannerPlainWithoutAWord) {
  EXPECT_NE(form2.Icon(), 0u);
  EXPECT_EQ(browsers.embeds, 1);
  EXPECT_EQ(browsers.created, 0);
  ExpectCompleteWindow();
  const HWND area = Control(kWebBrowser1);
  EXPECT_EQ(::GetWindow(area, GW_CHILD), nullptr);
  Canvas canvas(329, 73);
  ::SendMessageW(area, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
  EXPECT_EQ(canvas.Count(kWhite), 329 * 73);
  // No dialog or message box came up.
  int visible = 0;
  ::EnumThreadWindows(::GetCurrentThreadId(), CountVisible, reinterpret_cast<LPARAM>(&visible));
  EXPECT_EQ(visible, 0);
  // The link still works.
  Click(Control(kLabel4), 5, 5);
  ExpectOneOpenOfTheHomePage();
}

}  // namespace
}  // namespace varnlet::about
