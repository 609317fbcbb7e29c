#include "tray/Module1.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "fakes/fake_shell.h"
#include "fakes/fake_toolkit.h"
#include "fakes/fake_user.h"
#include "fakes/fake_version.h"
#include "fakes/journal.h"
#include "platform/ansi_code_page.h"

namespace varnlet::tray {
namespace {

using fakes::FakeUser;

constexpr Hwnd kHwnd = 0x10010;
// NIN_SELECT, a left click on the icon: the program has nothing for it.
constexpr std::intptr_t kNinSelect = 0x400;
// The program's tip and balloon title, as the record holds them.
const std::string kTitle = platform::Windows1252().ToAnsi(config::kTitle);
// The journal's lines for the two timers' ends.
const std::string kKillBalloonTimer = "KillTimer(" + std::to_string(BalloonTimerId) + ")";
const std::string kKillRetryTimer = "KillTimer(" + std::to_string(IconRetryTimerId) + ")";

struct Host final : TrayHost {
  Hwnd hWnd() const override { return hwnd; }
  void PopupTrayMenu() override {
    ++popups;
    if (journal != nullptr) journal->Add("PopupTrayMenu");
    if (whileOpen) whileOpen();
    ended = endInMenu;
  }
  bool Ended() const override { return ended; }
  void EndSession() override {
    ++endSessions;
    ended = true;
  }
  std::unique_ptr<toolkit::Icon> LoadTrayIcon() override {
    return icons != nullptr ? icons->LoadNotifyIcon() : nullptr;
  }
  Hwnd hwnd = kHwnd;
  fakes::FakeToolkit* icons = nullptr;  // none: the caller's icon stands in
  bool endInMenu = false;               // "Salir" is chosen in the menu's window
  bool ended = false;
  std::function<void()> whileOpen;  // what reaches the window while the menu is open
  int popups = 0;
  int endSessions = 0;
  fakes::Journal* journal = nullptr;
};

// Reads the fields of a record the fake shell kept.
struct Fields {
  const NotifyIconLayout& l;
  std::vector<std::uint8_t> b;
  std::uint32_t Dword(std::size_t at) const {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
  }
  std::uint64_t Handle(std::size_t at) const {
    std::uint64_t v = 0;
    std::memcpy(&v, b.data() + at, l.handleWidth);
    return v;
  }
  std::string Text(std::size_t at, std::size_t width) const {
    return std::string(reinterpret_cast<const char*>(b.data() + at), width);
  }
  bool Zero(std::size_t from, std::size_t to) const {
    for (std::size_t i = from; i < to && i < b.size(); ++i) {
      if (b[i] != 0) return false;
    }
    return true;
  }
};

std::string Padded(const std::string& text, std::size_t width) {
  std::string field = text;
  field.push_back('\0');
  field.resize(width, ' ');
  return field;
}

struct Module1Test : ::testing::TestWithParam<const NotifyIconLayout*> {
  fakes::Journal journal;
  fakes::FakeShell shell{&journal};
  fakes::FakeVersion version;
  fakes::FakeUser user{&journal};
  platform::Windows1252 ansi;
  Host host;
  Module1 module{{shell, version, user, ansi}, host, Layout()};

  Module1Test() { host.journal = &journal; }
  const NotifyIconLayout& Layout() const { return *GetParam(); }
  Fields Call(std::size_t i) const { return Fields{Layout(), shell.notifyCalls.at(i).bytes}; }
  void Add() { module.ShellTrayAdd(kHwnd, 0x4321, config::kTitle); }
};

TEST_P(Module1Test, TheAddRecordHoldsEveryFieldAtItsOffset) {
  const NotifyIconLayout& l = Layout();
  Add();
  ASSERT_EQ(shell.notifyCalls.size(), 2u);
  EXPECT_EQ(shell.notifyCalls[0].message, kNimAdd);
  EXPECT_EQ(shell.notifyCalls[1].message, kNimSetVersion);
  // The version message carries the very same record.
  EXPECT_EQ(shell.notifyCalls[0].bytes, shell.notifyCalls[1].bytes);

  const Fields f = Call(0);
  ASSERT_EQ(f.b.size(), l.sizeShell6);
  EXPECT_EQ(f.Dword(l.cbSize), l.sizeShell6);
  EXPECT_EQ(f.Handle(l.hWnd), kHwnd);
  EXPECT_EQ(f.Dword(l.uID), TrayIconId);
  EXPECT_EQ(f.Dword(l.uFlags), 23u);
  EXPECT_EQ(f.Dword(l.uCallbackMessage), TrayCallbackMessage);
  EXPECT_EQ(f.Handle(l.hIcon), 0x4321u);
  EXPECT_EQ(f.Text(l.szTip, kTipWidth), Padded(kTitle, kTipWidth));
  EXPECT_EQ(f.Dword(l.dwState), 2u);
  EXPECT_EQ(f.Dword(l.dwStateMask), 0u);
  EXPECT_TRUE(f.Zero(l.szInfo, l.szInfo + kInfoWidth)) << "adding shows no balloon";
  EXPECT_EQ(f.Dword(l.uTimeout), 3u);
  EXPECT_TRUE(f.Zero(l.szInfoTitle, l.guidItem + 16));
  // Alignment padding of the 64-bit layout stays zero.
  EXPECT_TRUE(f.Zero(l.cbSize + 4, l.hWnd));
  EXPECT_TRUE(f.Zero(l.uCallbackMessage + 4, l.hIcon));
  EXPECT_EQ(module.PrevWndProc(), FakeUser::kOriginalProc);
  EXPECT_EQ(user.ProcOf(kHwnd), FakeUser::kTrayProc);
}

TEST_P(Module1Test, WindowHandlesAreSignExtendedIntoTheRecord) {
  const Hwnd high = 0x80001234;
  module.ShellTrayShowBalloon(high, 1, L"t", L"x");
  const Fields f = Call(0);
  const std::uint64_t expected = Layout().handleWidth == 8 ? 0xFFFFFFFF80001234ull : 0x80001234ull;
  EXPECT_EQ(f.Handle(Layout().hWnd), expected);
}

TEST_P(Module1Test, TheShellVersionChoosesTheSizeOnceForTheWholeRun) {
  const NotifyIconLayout& l = Layout();
  struct Case {
    std::optional<std::int16_t> major;
    std::size_t size;
    int resourceReads;
  };
  for (const Case c : {Case{6, l.sizeShell6, 1}, Case{10, l.sizeShell6, 1}, Case{5, l.sizeShell5, 2},
                       Case{4, l.sizeShell4, 2}, Case{std::nullopt, l.sizeShell4, 2}}) {
    fakes::FakeShell s;
    fakes::FakeVersion v;
    fakes::FakeUser u;
    v.shellMajor = c.major;
    Module1 m({s, v, u, ansi}, host, l);
    // Whichever operation comes first chooses; here the balloon.
    m.ShellTrayShowBalloon(kHwnd, 1, config::kTitle, L"text");
    EXPECT_EQ(static_cast<std::size_t>(m.NotifyIconDataSize()), c.size);
    EXPECT_EQ(v.sizeQueries, c.resourceReads);
    // Later operations reuse the size even when the shell changes under them.
    v.shellMajor = 6;
    m.ShellTrayAdd(kHwnd, 1, config::kTitle);
    m.ShellTrayRemove(kHwnd);
    EXPECT_EQ(v.sizeQueries, c.resourceReads);
    for (const auto& call : s.notifyCalls) EXPECT_EQ(call.bytes.size(), c.size);
  }
}

TEST_P(Module1Test, ADamagedVersionResourceFallsBackWithoutReadingPastIt) {
  version.rootLength = 8;  // too short to hold the major version
  EXPECT_FALSE(module.IsShellVersion(1));
  version.rootLength = 52;
  version.faults.Inject("VerQueryValueA", 1);
  EXPECT_FALSE(module.IsShellVersion(1));
  version.shellMajor = -3;  // read as a signed 16-bit number
  EXPECT_FALSE(module.IsShellVersion(1));
  EXPECT_TRUE(module.IsShellVersion(-3));
}

// At logon the taskbar may not exist yet, or the shell may time out: the window hears the shell
// all the same, and the icon is tried again (an update first, for an icon the shell added late)
// every 5 s for 5 minutes and at every TaskbarCreated. The balloon waits for the icon.
TEST_P(Module1Test, ARefusedAddIsTriedAgainUntilTheIconIsThere) {
  for (const std::int32_t answer : {0, 2, -1}) {
    fakes::FakeShell s;
    fakes::FakeUser u;
    s.notifyResult[kNimAdd] = answer;
    Module1 m({s, version, u, ansi}, host, Layout());
    m.ShellTrayAdd(kHwnd, 1, config::kTitle);
    ASSERT_EQ(s.notifyCalls.size(), 1u) << "no version for a refused icon";
    EXPECT_EQ(m.PrevWndProc(), FakeUser::kOriginalProc);
    EXPECT_EQ(u.ProcOf(kHwnd), FakeUser::kTrayProc);
    EXPECT_EQ(u.timers, (std::map<std::uintptr_t, std::uint32_t>{{IconRetryTimerId, kIconRetryInterval}}));
  }
  const NotifyIconLayout& l = Layout();
  struct Row {
    const char* arrival;
    std::function<void()> arrive;
    std::vector<std::string> calls;  // from the try that finds the icon on
  };
  // The shell answers again, with an empty notification area; or it had added the icon after
  // all (the add timed out), and the update finds it.
  const Row rows[] = {
      {"on the retry timer",
       [&] { user.FireTimer(kHwnd, IconRetryTimerId); },
       {"Shell_NotifyIconA(1)", "Shell_NotifyIconA(0)", "Shell_NotifyIconA(4)", kKillRetryTimer,
        "Shell_NotifyIconA(1)"}},
      {"at TaskbarCreated",
       [&] { user.Send(kHwnd, FakeUser::kTaskbarCreated, 0, 0); },
       {"Shell_NotifyIconA(1)", "Shell_NotifyIconA(0)", "Shell_NotifyIconA(4)", kKillRetryTimer,
        "Shell_NotifyIconA(1)"}},
      {"added late, found by the update",
       [&] {
         shell.iconPresent = true;
         user.FireTimer(kHwnd, IconRetryTimerId);
       },
       {"Shell_NotifyIconA(1)", "Shell_NotifyIconA(4)", kKillRetryTimer, "Shell_NotifyIconA(1)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arrival);
    module.ShellTrayRemove(kHwnd);
    shell.notifyCalls.clear();
    shell.iconPresent = false;
    shell.notifyResult[kNimAdd] = 0;
    Add();
    module.ShellTrayShowBalloon(kHwnd, kNiifInfo, config::kTitle, L"texto");
    ASSERT_EQ(shell.notifyCalls.size(), 1u) << "the balloon waits for the icon";
    EXPECT_TRUE(module.IconRetryTimerOn());
    // Still refused: the update, then the add, both fail; the timer goes on.
    user.FireTimer(kHwnd, IconRetryTimerId);
    ASSERT_EQ(shell.notifyCalls.size(), 3u);
    EXPECT_EQ(shell.notifyCalls[1].message, kNimModify);
    EXPECT_EQ(Call(1).Dword(l.uFlags), kNifMessage | kNifIcon | kNifTip) << "an update leaves a balloon alone";
    EXPECT_EQ(Call(1).Text(l.szTip, kTipWidth), Padded(kTitle, kTipWidth));
    EXPECT_EQ(shell.notifyCalls[2].bytes, shell.notifyCalls[0].bytes);
    EXPECT_TRUE(module.IconRetryTimerOn());

    shell.notifyResult[kNimAdd] = 1;
    journal.Clear();
    row.arrive();
    EXPECT_EQ(journal.entries(), row.calls);
    EXPECT_TRUE(shell.iconPresent);
    EXPECT_TRUE(module.IconShown());
    EXPECT_FALSE(module.IconRetryTimerOn());
    const Fields balloon = Call(shell.notifyCalls.size() - 1);
    EXPECT_EQ(balloon.Dword(l.uFlags), kNifInfo | kNifRealtime);
    EXPECT_EQ(balloon.Text(l.szInfo, 6), std::string("texto\0", 6));
    // Its 7-second hide starts when the shell reports it shown; the menu opens.
    user.Send(kHwnd, TrayCallbackMessage, TrayIconId, kNinBalloonShow);
    EXPECT_TRUE(module.BalloonTimerOn());
    const int popups = host.popups;
    user.Send(kHwnd, TrayCallbackMessage, TrayIconId, kWmRButtonUp);
    EXPECT_EQ(host.popups, popups + 1);
    // The balloon is shown once: a later TaskbarCreated puts back only the icon.
    shell.iconPresent = false;
    journal.Clear();
    user.Send(kHwnd, FakeUser::kTaskbarCreated, 0, 0);
    EXPECT_EQ(journal.entries(),
              (std::vector<std::string>{"Shell_NotifyIconA(1)", "Shell_NotifyIconA(0)", "Shell_NotifyIconA(4)"}));
  }
}

TEST_P(Module1Test, TheRetriesStopAfterFiveMinutesAndTaskbarCreatedStartsThemAgain) {
  shell.notifyResult[kNimAdd] = 0;
  Add();
  for (int i = 1; i < kIconRetries; ++i) user.FireTimer(kHwnd, IconRetryTimerId);
  EXPECT_TRUE(module.IconRetryTimerOn());
  user.FireTimer(kHwnd, IconRetryTimerId);
  EXPECT_FALSE(module.IconRetryTimerOn());
  EXPECT_EQ(shell.notifyCalls.size(), 1u + 2u * kIconRetries);
  // A shell that announces itself and still refuses: another five minutes of tries.
  user.Send(kHwnd, FakeUser::kTaskbarCreated, 0, 0);
  EXPECT_TRUE(module.IconRetryTimerOn());
  // Removed while waiting: the timer goes with the icon, and the delete is sent all the same.
  journal.Clear();
  module.ShellTrayRemove(kHwnd);
  EXPECT_EQ(journal.entries(), (std::vector<std::string>{kKillRetryTimer, "Shell_NotifyIconA(2)"}));
  EXPECT_FALSE(module.IconWanted());
}

TEST_P(Module1Test, BalloonTextsAreConvertedPaddedAndAlwaysTerminated) {
  const NotifyIconLayout& l = Layout();
  module.ShellTrayShowBalloon(kHwnd, 1, config::kTitle, L"El programa contin\u00faa");
  const Fields f = Call(0);
  EXPECT_EQ(shell.notifyCalls[0].message, kNimModify);
  // NIF_INFO | NIF_REALTIME: a notice that cannot show now is dropped; its kind keeps quiet time.
  EXPECT_EQ(f.Dword(l.uFlags), 0x50u);
  EXPECT_EQ(f.Dword(l.dwInfoFlags), 0x81u);
  EXPECT_EQ(f.Dword(l.uTimeout), 0u);
  EXPECT_EQ(f.Text(l.szInfo, kInfoWidth), Padded("El programa contin\xFA"
                                                 "a",
                                                 kInfoWidth));
  EXPECT_EQ(f.Text(l.szInfoTitle, kInfoTitleWidth), Padded(kTitle, kInfoTitleWidth));
  EXPECT_TRUE(f.Zero(l.szTip, l.szTip + kTipWidth)) << "the tip is not sent with the balloon";

  // Texts longer than their fields keep a terminating NUL as their last byte.
  module.ShellTrayShowBalloon(kHwnd, 3, std::wstring(100, L'T'), std::wstring(300, L'x'));
  const Fields longTexts = Call(1);
  EXPECT_EQ(longTexts.Dword(l.dwInfoFlags), 0x83u);
  EXPECT_EQ(longTexts.Text(l.szInfo, kInfoWidth), std::string(255, 'x') + '\0');
  EXPECT_EQ(longTexts.Text(l.szInfoTitle, kInfoTitleWidth), std::string(63, 'T') + '\0');
  module.ShellTrayAdd(kHwnd, 1, std::wstring(500, L'a'));
  EXPECT_EQ(Call(2).Text(l.szTip, kTipWidth), std::string(127, 'a') + '\0');
}

TEST_P(Module1Test, HidingTheBalloonKeepsTheTip) {
  const NotifyIconLayout& l = Layout();
  module.ShellTrayHideBalloon(kHwnd);
  const Fields f = Call(0);
  EXPECT_EQ(shell.notifyCalls[0].message, kNimModify);
  EXPECT_EQ(f.Dword(l.uFlags), kNifInfo) << "no NIF_TIP: the tip must not be emptied";
  EXPECT_TRUE(f.Zero(l.szTip, l.szTip + kTipWidth));
  EXPECT_TRUE(f.Zero(l.szInfo, l.szInfo + kInfoWidth));
  EXPECT_EQ(f.Dword(l.uTimeout), 3u);
}

TEST_P(Module1Test, TheWindowProcedureForwardsAllButTheTrayMessage) {
  Add();
  // Other messages reach the previous procedure, and its answer comes back.
  EXPECT_EQ(user.Send(kHwnd, 0x0010, 0, 0), 0x11);
  EXPECT_EQ(user.Send(kHwnd, 0x8014, 7, 9), 0x8015);
  EXPECT_EQ(user.reachedOriginal, (std::vector<std::uint32_t>{0x0010, 0x8014}));
  // Mouse notifications other than the right-button release do nothing and are not forwarded;
  // nor does a left click's NIN_SELECT.
  for (const std::intptr_t mouse : {0x200, 0x201, 0x202, 0x203, 0x204, 0x206, 0x400}) {
    EXPECT_EQ(user.Send(kHwnd, TrayCallbackMessage, TrayIconId, mouse), 0);
  }
  EXPECT_EQ(user.reachedOriginal.size(), 2u);
  EXPECT_EQ(host.popups, 0);
  EXPECT_TRUE(user.posted.empty());
}

TEST_P(Module1Test, ARightButtonReleaseOpensTheMenuThenPostsWmNull) {
  Add();
  journal.Clear();
  // The icon id in wParam is not looked at.
  EXPECT_EQ(user.Send(kHwnd, TrayCallbackMessage, 12345, 517), 0);
  EXPECT_EQ(journal.entries(), (std::vector<std::string>{"SetForegroundWindow(" + std::to_string(kHwnd) + ")",
                                                         "PopupTrayMenu", "PostMessageA(0)"}));
  EXPECT_EQ(user.posted.at(0).hwnd, kHwnd);
  EXPECT_TRUE(user.reachedOriginal.empty());
  // A failing foreground call is skipped; the menu still opens.
  user.faults.Inject("SetForegroundWindow", 1, fakes::FaultKind::Throw);
  user.Send(kHwnd, TrayCallbackMessage, 0, 517);
  EXPECT_EQ(host.popups, 2);
  // When the program ended while the menu (or a window it opened) was up, nothing follows.
  host.endInMenu = true;
  journal.Clear();
  user.Send(kHwnd, TrayCallbackMessage, 0, 517);
  EXPECT_EQ(journal.entries().back(), "PopupTrayMenu");
}

// The keyboard reaches the menu: Enter or Space (NIN_KEYSELECT), Shift+F10 or the menu key
// (WM_CONTEXTMENU). A mouse right click sends WM_CONTEXTMENU right after the release, and one
// click opens one menu. A keyboard menu gives the focus back to the icon once it is closed (and what
// it opened, the About window say, is closed too).
TEST_P(Module1Test, TheKeyboardOpensTheMenuAndAMouseClickOpensItOnce) {
  struct Row {
    std::vector<std::intptr_t> notifications;
    int popups;
    std::size_t focusBack;
  };
  const Row rows[] = {
      {{kNinKeySelect}, 1, 1},
      {{kWmRButtonUp, kWmContextMenu}, 1, 0},
      {{kWmContextMenu}, 1, 1},
      {{kNinSelect}, 0, 0},
      {{kWmRButtonUp, kWmContextMenu, kWmContextMenu}, 2, 1},
  };
  Add();
  for (const Row& row : rows) {
    host.popups = 0;
    journal.Clear();
    for (const std::intptr_t n : row.notifications) EXPECT_EQ(user.Send(kHwnd, TrayCallbackMessage, TrayIconId, n), 0);
    EXPECT_EQ(host.popups, row.popups) << row.notifications.size();
    EXPECT_EQ(journal.Count("Shell_NotifyIconA(3)"), row.focusBack) << row.notifications.size();
  }
  // The focus goes back to this icon.
  const Fields focus = Call(shell.notifyCalls.size() - 1);
  EXPECT_EQ(focus.Dword(Layout().uID), TrayIconId);
  EXPECT_EQ(focus.Handle(Layout().hWnd), kHwnd);
  EXPECT_TRUE(user.reachedOriginal.empty());
  // The trailing WM_CONTEXTMENU may arrive inside the menu's loop; the menu still opens once.
  // While an item the menu ran is still open (the About window), the menu opens again.
  host.popups = 0;
  host.whileOpen = [&] {
    host.whileOpen = nullptr;
    user.Send(kHwnd, TrayCallbackMessage, TrayIconId, kWmContextMenu);
    user.Send(kHwnd, TrayCallbackMessage, TrayIconId, kWmRButtonUp);
  };
  user.Send(kHwnd, TrayCallbackMessage, TrayIconId, kWmRButtonUp);
  EXPECT_EQ(host.popups, 2);
}

TEST_P(Module1Test, TheBalloonTimerRunsOnceFromTheFirstShow) {
  const NotifyIconLayout& l = Layout();
  Add();
  const std::size_t before = shell.notifyCalls.size();
  user.Send(kHwnd, TrayCallbackMessage, 0, kNinBalloonShow);
  EXPECT_TRUE(module.BalloonTimerOn());
  EXPECT_EQ(user.timers, (std::map<std::uintptr_t, std::uint32_t>{{BalloonTimerId, BalloonShowTime}}));
  // A second show does not restart it.
  user.Send(kHwnd, TrayCallbackMessage, 0, kNinBalloonShow);
  EXPECT_EQ(journal.Count("SetTimer(" + std::to_string(BalloonTimerId) + "," + std::to_string(BalloonShowTime) + ")"),
            1u);
  // Ticks of another id, or other messages, do nothing.
  module.BalloonTimerProc(kHwnd, platform::kWmTimer, 997, 0);
  module.BalloonTimerProc(kHwnd, 0x0112, BalloonTimerId, 0);
  EXPECT_TRUE(module.BalloonTimerOn());
  EXPECT_EQ(shell.notifyCalls.size(), before);
  // The tick: the timer stops and the balloon goes, keeping the tip.
  user.FireTimer(kHwnd, BalloonTimerId);
  EXPECT_FALSE(module.BalloonTimerOn());
  EXPECT_TRUE(user.timers.empty());
  ASSERT_EQ(shell.notifyCalls.size(), before + 1);
  EXPECT_EQ(Call(before).Dword(l.uFlags), kNifInfo);
  // A tick that comes while the timer is off does nothing.
  module.BalloonTimerProc(kHwnd, platform::kWmTimer, BalloonTimerId, 0);
  EXPECT_EQ(shell.notifyCalls.size(), before + 1);
}

TEST_P(Module1Test, TheBalloonGoneByOtherMeansStopsTheTimerAndKeepsTheTip) {
  Add();
  for (const std::intptr_t code : {kNinBalloonHide, kNinBalloonTimeout, kNinBalloonUserClick}) {
    const std::size_t before = shell.notifyCalls.size();
    user.Send(kHwnd, TrayCallbackMessage, 0, kNinBalloonShow);
    ASSERT_TRUE(module.BalloonTimerOn());
    user.Send(kHwnd, TrayCallbackMessage, 0, code);
    EXPECT_FALSE(module.BalloonTimerOn());
    EXPECT_TRUE(user.timers.empty());
    EXPECT_EQ(shell.notifyCalls.size(), before) << "nothing is sent to the shell";
  }
  // A stop while off, an interval of 0 and a refused timer all leave it off.
  module.BalloonTimerStop(kHwnd);
  module.BalloonTimerStart(kHwnd, 0);
  EXPECT_FALSE(module.BalloonTimerOn());
  user.setTimerResult = [](std::uintptr_t) { return std::uintptr_t{0}; };
  module.BalloonTimerStart(kHwnd, BalloonShowTime);
  EXPECT_FALSE(module.BalloonTimerOn());
  user.setTimerResult = [](std::uintptr_t) { return std::uintptr_t{5}; };  // not the id asked for
  module.BalloonTimerStart(kHwnd, BalloonShowTime);
  EXPECT_FALSE(module.BalloonTimerOn());
  EXPECT_EQ(journal.Count(kKillBalloonTimer), 3u);
}

TEST_P(Module1Test, RemovingKillsARunningTimerBeforeTheDelete) {
  Add();
  user.Send(kHwnd, TrayCallbackMessage, 0, kNinBalloonShow);
  journal.Clear();
  module.ShellTrayRemove(kHwnd);
  EXPECT_EQ(journal.entries(), (std::vector<std::string>{kKillBalloonTimer, "Shell_NotifyIconA(2)"}));
  EXPECT_EQ(Call(shell.notifyCalls.size() - 1).Dword(Layout().uFlags), 0u);
  journal.Clear();
  module.ShellTrayRemove(kHwnd);
  EXPECT_EQ(journal.entries(), std::vector<std::string>{"Shell_NotifyIconA(2)"});
}

TEST_P(Module1Test, SubclassingHappensOnceAndIsUndoneOnce) {
  Add();
  // A second installation must not make the tray procedure its own predecessor.
  module.SubClass(kHwnd);
  EXPECT_EQ(module.PrevWndProc(), FakeUser::kOriginalProc);
  EXPECT_EQ(user.Send(kHwnd, 0x0010, 0, 0), 0x11);
  module.UnSubClass(kHwnd);
  EXPECT_EQ(module.PrevWndProc(), 0);
  EXPECT_EQ(user.ProcOf(kHwnd), FakeUser::kOriginalProc);
  journal.Clear();
  module.UnSubClass(kHwnd);
  EXPECT_TRUE(journal.entries().empty());
  // A failing SetWindowLongA leaves the window as it was.
  user.faults.Inject("SetWindowLongA", 1);
  module.SubClass(kHwnd);
  EXPECT_EQ(module.PrevWndProc(), 0);
}

TEST_P(Module1Test, TaskbarCreatedPutsTheIconBackWithoutSubclassingAgain) {
  // Elevated, as a program that may write the machine's Run key: the unelevated shell's message
  // gets through only because the window let it, once, for the id the system gave it.
  user.elevated = true;
  Add();
  EXPECT_EQ(user.allowed, (std::vector<std::pair<Hwnd, std::uint32_t>>{{kHwnd, FakeUser::kTaskbarCreated}}));
  const auto original = shell.notifyCalls[0].bytes;
  journal.Clear();
  // A restarted shell's notification area starts empty: the update fails, the add follows.
  shell.iconPresent = false;
  EXPECT_EQ(user.SendFromShell(kHwnd, FakeUser::kTaskbarCreated),
            static_cast<std::intptr_t>(FakeUser::kTaskbarCreated) + 1);
  EXPECT_EQ(journal.entries(),
            (std::vector<std::string>{"Shell_NotifyIconA(1)", "Shell_NotifyIconA(0)", "Shell_NotifyIconA(4)"}));
  EXPECT_EQ(shell.notifyCalls.at(3).bytes, original);
  EXPECT_EQ(shell.notifyCalls.at(4).bytes, original);
  EXPECT_EQ(user.reachedOriginal, std::vector<std::uint32_t>{FakeUser::kTaskbarCreated});
  EXPECT_TRUE(shell.iconPresent);
  // After the icon was removed there is nothing to put back.
  module.ShellTrayRemove(kHwnd);
  journal.Clear();
  user.Send(kHwnd, FakeUser::kTaskbarCreated, 0, 0);
  EXPECT_EQ(journal.Count("Shell_NotifyIconA(0)") + journal.Count("Shell_NotifyIconA(1)"), 0u);
}

// A change of scaling, displays or settings hands the icon over at the size the notification area
// now asks for; each handle goes once replaced.
TEST_P(Module1Test, DisplayChangesHandOverANewIconInPlaceAndDestroyTheOldOne) {
  fakes::FakeToolkit icons;
  host.icons = &icons;
  Add();
  const auto& l = Layout();
  auto last = [&] { return Fields{l, shell.notifyCalls.back().bytes}; };
  auto lastIcon = [&] { return last().Handle(l.hIcon); };
  EXPECT_EQ(Call(0).Handle(l.hIcon), icons.nextIcon);
  EXPECT_EQ(icons.liveIcons, 1);
  // After a scaling change Explorer announces itself while it still shows the icon: the
  // update succeeds and no add follows.
  journal.Clear();
  user.Send(kHwnd, FakeUser::kTaskbarCreated, 0, 0);
  EXPECT_EQ(journal.entries(), std::vector<std::string>{"Shell_NotifyIconA(1)"});
  EXPECT_EQ(lastIcon(), icons.nextIcon);
  EXPECT_EQ(last().Dword(l.uFlags), kNifMessage | kNifIcon | kNifTip);
  const std::uint32_t changes[] = {platform::kWmSettingChange, platform::kWmDisplayChange, platform::kWmDpiChanged};
  for (int i = 0; i < 100; ++i) user.Send(kHwnd, changes[i % 3], 0, 0);
  EXPECT_EQ(journal.Count("Shell_NotifyIconA(1)"), 101u);
  EXPECT_EQ(journal.Count("Shell_NotifyIconA(0)"), 0u);
  EXPECT_EQ(lastIcon(), icons.nextIcon);
  EXPECT_EQ(icons.liveIcons, 1);
  // No new picture: the shell keeps the one it has, which stays alive.
  icons.faults.Inject("LoadNotifyIcon", 1);
  const std::uint64_t kept = lastIcon();
  user.Send(kHwnd, platform::kWmSettingChange, 0, 0);
  EXPECT_EQ(lastIcon(), kept);
  EXPECT_EQ(icons.liveIcons, 1);
  module.ShellTrayRemove(kHwnd);
  EXPECT_EQ(icons.liveIcons, 0);
}

// The end of the session: the program never holds it up, and ends at once when it comes (also
// when the Restart Manager closes it for an installer); a cancelled end changes nothing.
TEST_P(Module1Test, TheEndOfTheSessionEndsTheProgram) {
  constexpr std::intptr_t kCloseApp = 0x1;  // ENDSESSION_CLOSEAPP
  constexpr std::intptr_t kLogoff = static_cast<std::intptr_t>(0x80000000u);
  struct Row {
    std::uint32_t msg;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    std::intptr_t result;
    bool ends;
  };
  const Row rows[] = {
      {platform::kWmQueryEndSession, 0, 0, 1, false},
      {platform::kWmQueryEndSession, 0, kCloseApp, 1, false},
      {platform::kWmQueryEndSession, 0, kLogoff, 1, false},
      {platform::kWmEndSession, 0, 0, platform::kWmEndSession + 1, false},
      {platform::kWmEndSession, 1, 0, 0, true},
      {platform::kWmEndSession, 1, kCloseApp, 0, true},
      {platform::kWmEndSession, 1, kLogoff, 0, true},
  };
  Add();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.msg) + "," + std::to_string(row.wParam) + "," + std::to_string(row.lParam));
    host.endSessions = 0;
    user.reachedOriginal.clear();
    EXPECT_EQ(user.Send(kHwnd, row.msg, row.wParam, row.lParam), row.result);
    EXPECT_EQ(host.endSessions, row.ends ? 1 : 0);
    EXPECT_EQ(user.reachedOriginal.size(), row.ends || row.msg == platform::kWmQueryEndSession ? 0u : 1u);
  }
}

TEST_P(Module1Test, AFilterThatCannotBeChangedLeavesTheTrayWorking) {
  user.elevated = true;
  user.faults.Inject("ChangeWindowMessageFilterEx", 1, fakes::FaultKind::Throw);
  Add();
  EXPECT_EQ(module.PrevWndProc(), FakeUser::kOriginalProc);
  // Windows then drops the restarted shell's message: nothing the program can do about it.
  shell.iconPresent = false;
  EXPECT_EQ(user.SendFromShell(kHwnd, FakeUser::kTaskbarCreated), 0);
  EXPECT_FALSE(shell.iconPresent);
}

INSTANTIATE_TEST_SUITE_P(BothArchitectures, Module1Test, ::testing::Values(&kLayout32, &kLayout64),
                         [](const auto& p) { return p.param == &kLayout32 ? "x86" : "x64"; });

TEST(NotifyIconLayout, SizesArePrefixesOfTheRecord) {
  for (const NotifyIconLayout* l : {&kLayout32, &kLayout64}) {
    EXPECT_EQ(l->sizeShell4, l->szTip + 64);
    EXPECT_EQ(l->sizeShell5, l->guidItem);
    EXPECT_EQ(l->sizeShell6, l->guidItem + 16);
    EXPECT_EQ(l->length, l->sizeShell6);
    EXPECT_EQ(l->dwState, l->szTip + kTipWidth);
    EXPECT_EQ(l->uTimeout, l->szInfo + kInfoWidth);
    EXPECT_EQ(l->dwInfoFlags, l->szInfoTitle + kInfoTitleWidth);
  }
  EXPECT_EQ(kLayout32.length, 504u);
  EXPECT_EQ(kLayout32.sizeShell4, 88u);
  EXPECT_EQ(kLayout32.sizeShell5, 488u);
}

}  // namespace
}  // namespace varnlet::tray
