// The Win32 toolkit with real windows, timers and the message loop.
#include "toolkit/win32/toolkit_win32.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include "build_config.h"
#include "win_test_support.h"

namespace varnlet::toolkit::win32 {
namespace {

using platform::win32::ToHwnd;

struct RecordingEvents final : FormEvents {
  void Form_Unload(std::int16_t& Cancel) override {
    ++unloads;
    Cancel = cancel;
    if (onUnload) onUnload();
  }
  int unloads = 0;
  std::int16_t cancel = 0;
  std::function<void()> onUnload;
};

// The program's title, which it gives its toolkit.
const std::wstring kTitle(config::kTitle);

std::wstring UniqueName(const wchar_t* stem) {
  return std::wstring(L"Local\\") + stem + std::to_wstring(::GetCurrentProcessId()) + L"." +
         std::to_wstring(::GetTickCount());
}

TEST(ToolkitWin32, AFormIsAHiddenTopLevelWindowThatUnloadsOnClose) {
  ToolkitWin32 toolkit(::GetModuleHandleW(nullptr), UniqueName(L"tk"), kTitle);
  RecordingEvents events;
  auto form = toolkit.CreateForm({kTitle + L"     x =]", L"Varnlet.Test.Form"}, events);
  const HWND hwnd = ToHwnd(form->hWnd());
  ASSERT_TRUE(::IsWindow(hwnd));
  EXPECT_FALSE(::IsWindowVisible(hwnd));
  EXPECT_EQ(::GetParent(hwnd), nullptr);
  wchar_t caption[32] = {};
  ::GetWindowTextW(hwnd, caption, 32);
  EXPECT_EQ(std::wstring(caption), kTitle + L"     x =]");
  EXPECT_EQ(::FindWindowW(L"Varnlet.Test.Form", nullptr), hwnd);
  form->SetVisible(false);
  form->Hide();
  EXPECT_FALSE(::IsWindowVisible(hwnd));

  // A cancelled unload keeps the window; an accepted one destroys it.
  events.cancel = 1;
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(events.unloads, 1);
  EXPECT_TRUE(::IsWindow(hwnd));
  events.cancel = 0;
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(events.unloads, 2);
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_EQ(form->hWnd(), 0u);
}

TEST(ToolkitWin32, TimersTickOnTheUiThreadWithoutNestingUntilTheEnd) {
  ToolkitWin32 toolkit(::GetModuleHandleW(nullptr), UniqueName(L"tk"), kTitle);
  RecordingEvents events;
  auto form = toolkit.CreateForm({L"t", L"Varnlet.Test.Form"}, events);
  const DWORD uiThread = ::GetCurrentThreadId();
  int fastTicks = 0, slowTicks = 0, depth = 0, maxDepth = 0;
  bool offThread = false;
  std::unique_ptr<Timer> slow;
  auto fast = toolkit.CreateTimer(20, 0, [&] {
    offThread |= ::GetCurrentThreadId() != uiThread;
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    ++fastTicks;
    // Pump messages inside the handler, as a modal window would: the tick must not nest.
    const DWORD until = ::GetTickCount() + 100;
    MSG msg;
    while (::GetTickCount() < until) {
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
      ::Sleep(5);
    }
    --depth;
    if (fastTicks == 3 && slowTicks > 0) toolkit.App().End();
  });
  // With a tolerance, as the program's own timers are made: it ticks all the same.
  slow = toolkit.CreateTimer(30, 10, [&] { ++slowTicks; });
  toolkit.RunMessageLoop();
  EXPECT_TRUE(toolkit.App().Ended());
  EXPECT_FALSE(offThread);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_GE(fastTicks, 3);
  EXPECT_GT(slowTicks, 0);
  // The end destroyed the form's window.
  EXPECT_EQ(form->hWnd(), 0u);
}

TEST(ToolkitWin32, TheApplicationObjectKnowsItsInstanceFolderAndName) {
  const std::wstring name = UniqueName(L"prev");
  platform::win32::UniqueHandle other(::CreateMutexW(nullptr, FALSE, name.c_str()));
  ToolkitWin32 second(::GetModuleHandleW(nullptr), name, kTitle);
  EXPECT_TRUE(second.App().PrevInstance());
  // A copy at a higher integrity level made the name, whose security refuses this one.
  const std::wstring refused = UniqueName(L"refused");
  PSECURITY_DESCRIPTOR denyAll = nullptr;
  ASSERT_TRUE(
      ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;GA;;;WD)", SDDL_REVISION_1, &denyAll, nullptr));
  const platform::win32::UniqueLocal denyAllOwner(denyAll);
  SECURITY_ATTRIBUTES denied{sizeof(SECURITY_ATTRIBUTES), denyAll, FALSE};
  platform::win32::UniqueHandle elevated(::CreateMutexW(&denied, FALSE, refused.c_str()));
  ASSERT_TRUE(elevated);
  ToolkitWin32 unelevated(::GetModuleHandleW(nullptr), refused, kTitle);
  EXPECT_TRUE(unelevated.App().PrevInstance());
  ToolkitWin32 first(::GetModuleHandleW(nullptr), UniqueName(L"alone"), kTitle);
  EXPECT_FALSE(first.App().PrevInstance());
  EXPECT_FALSE(first.App().PrevInstance()) << "asking twice does not turn the first instance into a second";

  std::wstring folder = wintest::ProgramFolder();
  folder.pop_back();
  EXPECT_EQ(first.App().Path(), folder);
  EXPECT_EQ(first.App().EXEName(), L"win_tests");
}

}  // namespace
}  // namespace varnlet::toolkit::win32
