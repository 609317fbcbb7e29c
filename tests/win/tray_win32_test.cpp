// The tray against the real shell, version library and user32 under Wine, and the main form's
// popup menu as a real menu.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/Form1.h"
#include "base/errors.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_process_table.h"
#include "fakes/fake_registry.h"
#include "platform/win32/ansi_code_page_win32.h"
#include "platform/win32/shell_api_win32.h"
#include "platform/win32/user_api_win32.h"
#include "platform/win32/version_api_win32.h"
#include "toolkit/win32/dialog_win32.h"
#include "toolkit/win32/toolkit_win32.h"
#include "toolkit/win32/web_browser_host.h"
#include "tray/Module1.h"

namespace varnlet {
namespace {

using platform::win32::ToHwnd;

// Forwards to the real shell and keeps each message with the shell's answer.
class RecordingShell final : public platform::ShellApi {
 public:
  std::int32_t Shell_NotifyIconA(std::uint32_t message, const std::uint8_t* data) override {
    const std::int32_t result = real_.Shell_NotifyIconA(message, data);
    calls.push_back({message, result});
    std::uint32_t cbSize = 0;
    std::memcpy(&cbSize, data, sizeof cbSize);
    sizes.push_back(cbSize);
    HICON icon = nullptr;
    std::memcpy(&icon, data + tray::kNativeLayout.hIcon, sizeof icon);
    icons.push_back(icon);
    return result;
  }
  std::intptr_t ShellExecuteA(toolkit::Hwnd, const char*, const char*, const char*, const char*,
                              std::int32_t) override {
    return 0;
  }
  std::int32_t ShellExecuteFromDesktop(const wchar_t*, const wchar_t*, std::int32_t) override { return 0; }
  std::vector<std::pair<std::uint32_t, std::int32_t>> calls;
  std::vector<std::uint32_t> sizes;  // cbSize of each record
  std::vector<HICON> icons;          // hIcon of each record

 private:
  platform::ShellApiWin32 real_;
};

struct TrayWin32 : ::testing::Test {
  toolkit::win32::ToolkitWin32 toolkit{::GetModuleHandleW(nullptr),
                                       L"Local\\Varnlet.TrayTest." + std::to_wstring(::GetCurrentProcessId()),
                                       std::wstring(config::kTitle)};
  fakes::FakeProcessTable processes;
  RecordingShell shell;
  platform::VersionApiWin32 version;
  platform::UserApiWin32 user;
  platform::AnsiCodePageWin32 ansi;
  // No browser is needed here: a class that does not exist keeps the About window quick.
  toolkit::win32::WebBrowserFactory browsers{CLSID{0x1bad1bad, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}};
  toolkit::win32::DialogsWin32 dialogs{::GetModuleHandleW(nullptr), browsers};
  about::Form2 form2{{dialogs, shell, ansi}};
  fakes::FakeFileSystem files;
  fakes::FakeRegistry registry{&files};
  fakes::FakeFileSecurity fileSecurity;
  app::Form1 form1{{toolkit, processes, shell, version, user, ansi, form2, registry, files, fileSecurity}};

  void PumpFor(DWORD ms) {
    const DWORD until = ::GetTickCount() + ms;
    MSG msg;
    while (::GetTickCount() < until) {
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
      ::Sleep(5);
    }
  }
};

TEST_F(TrayWin32, TheShellTakesEveryRecordAndTheVersionProbeReadsShell32) {
  tray::Module1& module = form1.module1();
  EXPECT_TRUE(module.IsShellVersion(5));
  // Wine's shell32 calls itself version 6, so the full record is sent.
  EXPECT_TRUE(module.IsShellVersion(6));
  EXPECT_FALSE(module.IsShellVersion(100));

  form1.Load();
  EXPECT_EQ(static_cast<std::size_t>(module.NotifyIconDataSize()), tray::kNativeLayout.sizeShell6);
  ASSERT_EQ(shell.calls.size(), 3u);
  EXPECT_EQ(shell.calls[0], std::make_pair(tray::kNimAdd, 1));
  // The shell takes the full record of this architecture: 504 bytes on 32-bit Windows.
  EXPECT_EQ(shell.sizes[0], sizeof(void*) == 4 ? 504u : tray::kLayout64.sizeShell6);
  EXPECT_EQ(shell.calls[1], std::make_pair(tray::kNimSetVersion, 1));
  EXPECT_EQ(shell.calls[2], std::make_pair(tray::kNimModify, 1));
  EXPECT_NE(module.PrevWndProc(), 0);

  const HWND hwnd = ToHwnd(form1.hWnd());
  // Messages still reach the form's own procedure through the tray procedure.
  const std::wstring caption = app::Form1Caption();
  EXPECT_EQ(::SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(caption.size()));

  // A balloon shown: the real timer runs; a short one fires and hides the balloon.
  ::SendMessageW(hwnd, tray::TrayCallbackMessage, tray::TrayIconId, tray::kNinBalloonShow);
  EXPECT_TRUE(module.BalloonTimerOn());
  module.BalloonTimerStop(form1.hWnd());
  module.BalloonTimerStart(form1.hWnd(), 50);
  for (int i = 0; i < 100 && module.BalloonTimerOn(); ++i) PumpFor(20);
  EXPECT_FALSE(module.BalloonTimerOn());
  ASSERT_EQ(shell.calls.size(), 4u);
  EXPECT_EQ(shell.calls[3], std::make_pair(tray::kNimModify, 1));

  module.ShellTrayRemove(form1.hWnd());
  module.UnSubClass(form1.hWnd());
  ASSERT_EQ(shell.calls.size(), 5u);
  EXPECT_EQ(shell.calls[4], std::make_pair(tray::kNimDelete, 1));
  EXPECT_EQ(::SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(caption.size()));
  // The icon is gone: deleting it again is refused.
  EXPECT_EQ(shell.Shell_NotifyIconA(tray::kNimDelete, tray::NotifyIconRecord().data()), 0);
}

// The notification area shows 16-pixel icons at 96 DPI, 24 at 144 DPI (150 %): the shell gets the
// icon drawn at that size. at_dpi.sh runs this test again with the prefix at another density
// (VARNLET_EXPECT_DPI).
TEST_F(TrayWin32, TheShellGetsTheIconAtTheNotificationAreasSize) {
  const char* expected = std::getenv("VARNLET_EXPECT_DPI");
  const int dpi = expected != nullptr ? std::atoi(expected) : 96;
  const HDC screen = ::GetDC(nullptr);
  ASSERT_EQ(::GetDeviceCaps(screen, LOGPIXELSY), dpi) << "the prefix is not at the density this run expects";
  ::ReleaseDC(nullptr, screen);

  form1.Load();
  ASSERT_FALSE(shell.icons.empty());
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(shell.icons[0], &info));
  const platform::win32::UniqueGdiObject colour(info.hbmColor);
  const platform::win32::UniqueGdiObject mask(info.hbmMask);
  BITMAP bitmap{};
  ASSERT_NE(::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap), 0);
  EXPECT_EQ(bitmap.bmWidth, 16 * dpi / 96);
  EXPECT_EQ(bitmap.bmHeight, 16 * dpi / 96);
}

// A setting change while the program runs: the icon is loaded again and handed over in place,
// and the handle it replaced is destroyed. (Wine keeps the density of the process's start: a
// LogPixels changed meanwhile does not change the size.)
TEST_F(TrayWin32, ASettingChangeHandsOverANewIconAndDestroysTheOldOne) {
  form1.Load();
  ASSERT_FALSE(shell.icons.empty());
  const HICON first = shell.icons[0];  // the add's
  const std::size_t calls = shell.calls.size();
  ::SendMessageW(ToHwnd(form1.hWnd()), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"WindowMetrics"));
  ASSERT_EQ(shell.calls.size(), calls + 1);
  EXPECT_EQ(shell.calls.back(), std::make_pair(tray::kNimModify, 1));
  EXPECT_NE(shell.icons.back(), first);
  ICONINFO info{};
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(::GetIconInfo(first, &info));
  ASSERT_TRUE(::GetIconInfo(shell.icons.back(), &info));
  const platform::win32::UniqueGdiObject colour(info.hbmColor);
  const platform::win32::UniqueGdiObject mask(info.hbmMask);
}

// Looks at the open popup menu from inside its modal loop, then picks an item by keyboard.
struct MenuProbe {
  static inline int count = -1;
  static inline std::vector<std::wstring> captions;
  static inline std::vector<bool> separators;
  static inline int defaultItem = -2;
  static inline int step = 0;

  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
    const HWND menuWindow = ::FindWindowW(L"#32768", nullptr);
    if (menuWindow == nullptr || !::IsWindowVisible(menuWindow)) return;
    if (step == 0) {
      const auto menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
      count = ::GetMenuItemCount(menu);
      for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        captions.emplace_back(text);
        separators.push_back((::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0);
      }
      defaultItem = static_cast<int>(::GetMenuDefaultItem(menu, TRUE, 0));
      // Up from nothing selects the last item, "Salir"; Enter chooses it.
      ::PostMessageW(menuWindow, WM_KEYDOWN, VK_UP, 0);
      ::PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
      step = 1;
    } else if (step == 1) {
      ::EndMenu();  // only if the keys did not close it
      ::KillTimer(nullptr, id);
    }
  }
};

TEST_F(TrayWin32, ARightClickOpensTheMenuWithSalirAsDefaultAndSalirPostsClose) {
  form1.Load();
  const HWND hwnd = ToHwnd(form1.hWnd());
  const UINT_PTR probe = ::SetTimer(nullptr, 0, 100, &MenuProbe::Tick);
  ::SendMessageW(hwnd, tray::TrayCallbackMessage, tray::TrayIconId, tray::kWmRButtonUp);
  ::KillTimer(nullptr, probe);

  ASSERT_EQ(MenuProbe::count, 4);
  EXPECT_EQ(MenuProbe::captions[0], L"Acerca de...");
  EXPECT_EQ(MenuProbe::captions[1], L"Iniciar con Windows");
  EXPECT_TRUE(MenuProbe::separators[2]);
  EXPECT_EQ(MenuProbe::captions[3], L"Salir");
  EXPECT_EQ(MenuProbe::defaultItem, 3);

  // "Salir" posted WM_CLOSE to the form's own window, then WM_NULL followed.
  MSG msg;
  ASSERT_TRUE(::PeekMessageW(&msg, hwnd, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
  EXPECT_TRUE(::PeekMessageW(&msg, hwnd, WM_NULL, WM_NULL, PM_NOREMOVE));
  EXPECT_FALSE(toolkit.App().Ended());
  // Dispatching the close unloads the form: the icon goes and the program ends.
  PumpFor(100);
  EXPECT_TRUE(toolkit.App().Ended());
  EXPECT_EQ(shell.calls.back(), std::make_pair(tray::kNimDelete, 1));
  EXPECT_EQ(form1.module1().PrevWndProc(), 0);
}

TEST_F(TrayWin32, CheckMarksOfARealMenu) {
  form1.Load();
  toolkit::Menu& menu = *form1.zmnuSysTrayDemo();
  EXPECT_FALSE(menu.Checked(1));
  menu.SetChecked(1, true);
  EXPECT_TRUE(menu.Checked(1));
  EXPECT_FALSE(menu.Checked(0));
  menu.SetChecked(1, false);
  EXPECT_FALSE(menu.Checked(1));
  EXPECT_THROW(menu.Checked(4), varnlet::OutOfRange);
  form1.module1().ShellTrayRemove(form1.hWnd());
  form1.module1().UnSubClass(form1.hWnd());
}

}  // namespace
}  // namespace varnlet
