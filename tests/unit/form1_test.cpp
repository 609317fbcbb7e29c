#include "app/Form1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "build_config.h"
#include "fakes/fake_platform.h"
#include "toolkit/single_instance.h"
#include "toolkit/timer_start.h"

namespace varnlet::app {
namespace {

using fakes::FakeProcessTable;
using fakes::FakeToolkit;
using fakes::FaultKind;
using fakes::Journal;

struct Form1Test : ::testing::Test {
  fakes::FakePlatform fakes;
  Journal& journal = fakes.journal;
  FakeToolkit& toolkit = fakes.toolkit;
  FakeProcessTable& processes = fakes.processes;
  Form1::Services services = fakes.services();

  toolkit::Hwnd form1Hwnd() const { return fakes.toolkit.FindForm(std::wstring(kForm1WindowClass))->hwnd; }
};

TEST_F(Form1Test, ASecondInstanceEndsBeforeAnythingHappens) {
  processes.Add(fakes::TargetPath(R"(C:\f)"));
  toolkit.app.prevInstance = true;
  EXPECT_EQ(RunProgram(services), 0);
  EXPECT_TRUE(toolkit.app.ended);
  EXPECT_EQ(journal.IndexOf("CreateForm"), -1);
  EXPECT_EQ(journal.IndexOf("RunMessageLoop"), -1);
  EXPECT_EQ(processes.ownTrims(), 0);
  EXPECT_EQ(processes.snapshots(), 0u);

  // What creating the program's mutex gave: a refusal means an elevated copy made it.
  using toolkit::AnotherInstanceHolds;
  EXPECT_FALSE(AnotherInstanceHolds(true, 0));
  EXPECT_TRUE(AnotherInstanceHolds(true, 183));
  EXPECT_TRUE(AnotherInstanceHolds(false, 5));
  EXPECT_FALSE(AnotherInstanceHolds(false, 6));
  EXPECT_FALSE(AnotherInstanceHolds(false, 1450));
}

TEST_F(Form1Test, LoadHidesTheFormStartsBothTimersAndTrimsItselfFirst) {
  const auto target = processes.Add(fakes::TargetPath(R"(C:\f)"));
  Form1 form1(services);
  form1.Form_Initialize();
  ASSERT_FALSE(toolkit.app.ended);
  form1.Load();

  auto* form = toolkit.FindForm(std::wstring(kForm1WindowClass));
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->visible);
  EXPECT_EQ(form1.hWnd(), form->hwnd);

  const std::wstring home(HomePageWithoutSlash());
  EXPECT_EQ(home + L"/", config::kHomePage);
  EXPECT_FALSE(home.ends_with(L'/'));
  EXPECT_EQ(form->design.caption, std::wstring(kAppTitle) + L"     " + home + L" =]");

  // Visible set to false, then hidden; then the own process, then the Mozilla pass.
  const long visible = journal.IndexOf("Form.Visible=false");
  const long hide = journal.IndexOf("Form.Hide");
  const long own = journal.IndexOf("EmptyWorkingSet(own)");
  const long enumerate = journal.IndexOf("CreateToolhelp32Snapshot");
  const long mozilla = journal.IndexOf("EmptyWorkingSet(" + std::to_string(target) + ")");
  EXPECT_LT(journal.IndexOf("CreateTimer(" + std::to_string(kTimer1Interval) + ")"), visible);
  EXPECT_LT(visible, hide);
  EXPECT_LT(hide, own);
  EXPECT_LT(own, enumerate);
  EXPECT_LT(enumerate, mozilla);

  // Each tick runs its own pass.
  auto* timer1 = toolkit.TimerWithInterval(kTimer1Interval);
  auto* timer2 = toolkit.TimerWithInterval(kTimer2Interval);
  ASSERT_NE(timer1, nullptr);
  ASSERT_NE(timer2, nullptr);
  timer2->Fire();
  EXPECT_EQ(processes.ownTrims(), 2);
  EXPECT_EQ(processes.Get(target).trims, 1);
  timer1->Fire();
  EXPECT_EQ(processes.Get(target).trims, 2);
  EXPECT_EQ(processes.ownTrims(), 2);
  EXPECT_EQ(processes.openHandles(), 0u);
}

TEST_F(Form1Test, LoadAsksForEfficiencyModeFirstAndMakesBothTimersCoalescable) {
  Form1 form1(services);
  form1.Form_Initialize();
  form1.Load();
  ASSERT_EQ(processes.powerThrottling.size(), 1u);
  const platform::ProcessPowerThrottlingState& mode = processes.powerThrottling[0];
  EXPECT_EQ(mode.Version, platform::kProcessPowerThrottlingCurrentVersion);
  EXPECT_EQ(mode.ControlMask, platform::kProcessPowerThrottlingExecutionSpeed);
  EXPECT_EQ(mode.StateMask, platform::kProcessPowerThrottlingExecutionSpeed);
  EXPECT_LT(journal.IndexOf("SetProcessInformation(4)"), journal.IndexOf("CreateForm"));
  for (const std::uint32_t interval : {kTimer1Interval, kTimer2Interval}) {
    ASSERT_NE(toolkit.TimerWithInterval(interval), nullptr);
    EXPECT_EQ(toolkit.TimerWithInterval(interval)->tolerance, config::kTimerTolerance);
  }
  EXPECT_GT(kTimerTolerance, 0u);
  EXPECT_LT(kTimerTolerance, std::min(kTimer1Interval, kTimer2Interval));
}

// Windows 7 to 10 1703 have no efficiency mode: the program starts as it always did.
TEST_F(Form1Test, WithoutEfficiencyModeTheProgramStartsAsBefore) {
  const auto target = processes.Add(fakes::TargetPath(R"(C:\f)"));
  processes.offersEfficiencyMode = false;
  toolkit.whileRunning = [&] { toolkit.FindForm(std::wstring(kForm1WindowClass))->Close(); };
  EXPECT_EQ(RunProgram(services), 0);
  EXPECT_TRUE(processes.powerThrottling.empty());
  EXPECT_NE(journal.IndexOf("Shell_NotifyIconA(0)"), -1);
  EXPECT_EQ(processes.ownTrims(), 1);
  EXPECT_EQ(processes.Get(target).trims, 1);
  EXPECT_EQ(toolkit.timers.size(), 0u);  // both ran until the end
}

// The toolkit's timers: coalescable with the tolerance where the system has the call, the plain
// timer where it lacks it (Windows 7) or refuses.
TEST(TimerStart, CoalescableWhereOfferedThePlainTimerWhereNot) {
  fakes::FakeUser user;
  EXPECT_EQ(toolkit::StartTimer(user, 0x10, 1, kTimer1Interval, kTimerTolerance), 1u);
  EXPECT_EQ(user.tolerances, (std::map<std::uintptr_t, std::uint32_t>{{1, kTimerTolerance}}));
  EXPECT_EQ(user.timers.at(1), kTimer1Interval);

  user.hasCoalescableTimers = false;
  EXPECT_EQ(toolkit::StartTimer(user, 0x10, 2, kTimer2Interval, kTimerTolerance), 2u);
  EXPECT_EQ(user.timers.at(2), kTimer2Interval);
  EXPECT_EQ(user.tolerances.count(2), 0u);

  user.hasCoalescableTimers = true;
  user.faults.Inject("SetCoalescableTimer", 0, FaultKind::Fail);
  EXPECT_EQ(toolkit::StartTimer(user, 0x10, 3, kTimer2Interval, kTimerTolerance), 3u);
  EXPECT_EQ(user.timers.at(3), kTimer2Interval);
  EXPECT_EQ(user.tolerances.count(3), 0u);
}

TEST_F(Form1Test, AFailingStepOfTheLoadIsSkipped) {
  processes.Add(fakes::TargetPath(R"(C:\f)"));
  toolkit.faults.Inject("Form.SetVisible", 0, FaultKind::Throw);
  processes.faults().Inject("EmptyWorkingSet", 1, FaultKind::Throw);  // the own trim raises
  Form1 form1(services);
  form1.Form_Initialize();
  form1.Load();
  // Hiding was skipped with the failing statement; the Mozilla pass still ran.
  EXPECT_EQ(journal.IndexOf("Form.Hide"), -1);
  EXPECT_EQ(processes.trimmed().size(), 1u);
}

TEST_F(Form1Test, ClosingTheMainFormEndsTheProgram) {
  // Even without a tray icon the program ends with its main form: nothing else could end it.
  toolkit.whileRunning = [&] { toolkit.FindForm(std::wstring(kForm1WindowClass))->Close(); };
  EXPECT_EQ(RunProgram(services), 0);
  EXPECT_TRUE(toolkit.app.ended);
  EXPECT_EQ(toolkit.app.endCalls, 1);
  EXPECT_LT(journal.IndexOf("RunMessageLoop"), journal.IndexOf("App.End"));
}

TEST_F(Form1Test, LoadAddsTheIconThenTheBalloonBeforeTrimming) {
  RunProgram(services);
  const long add = journal.IndexOf("Shell_NotifyIconA(0)");
  const long version = journal.IndexOf("Shell_NotifyIconA(4)");
  const long subclass = journal.IndexOf("SetWindowLongA(" + std::to_string(fakes::FakeUser::kTrayProc) + ")");
  const long balloon = journal.IndexOf("Shell_NotifyIconA(1)");
  const long own = journal.IndexOf("EmptyWorkingSet(own)");
  // The window hears the shell before the icon exists.
  EXPECT_LT(journal.IndexOf("Form.Hide"), subclass);
  EXPECT_LT(subclass, add);
  EXPECT_LT(add, version);
  EXPECT_LT(version, balloon);
  EXPECT_LT(balloon, own);
  // Registered for a restart after an installer closed it, never after a crash, a hang or a
  // reboot; no arguments.
  ASSERT_EQ(processes.restartRegistrations.size(), 1u);
  EXPECT_EQ(processes.restartRegistrations[0].commandLine, L"");
  EXPECT_EQ(processes.restartRegistrations[0].flags, 1u | 2u | 8u);

  const auto& l = tray::kNativeLayout;
  const auto& addRecord = fakes.shell.notifyCalls.at(0).bytes;
  std::uint64_t icon = 0;
  std::memcpy(&icon, addRecord.data() + l.hIcon, l.handleWidth);
  // The program's icon loaded at the notification area's size; the About window's was taken
  // first, which loaded that window and requested its page.
  EXPECT_EQ(icon, toolkit.nextIcon);
  EXPECT_EQ(fakes.dialogs.loads, 1);
  EXPECT_LT(journal.IndexOf("LoadDialog"), add);
  EXPECT_EQ(fakes.dialogs.navigations.size(), 1u);
  const std::string tip = fakes.ansi.ToAnsi(kTrayTip);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(addRecord.data() + l.szTip), tip.size() + 1), tip + '\0');

  const auto& balloonRecord = fakes.shell.notifyCalls.at(2).bytes;
  const std::string text = fakes.ansi.ToAnsi(BalloonText());
  EXPECT_EQ(text,
            "El programa contin\xFA"
            "a ejecut\xE1ndose en la barra de tareas.\r\n"
            "Puede continuar trabajando normalmente.\r\n\r\n"
            "Este mensaje desaparecer\xE1 autom\xE1ticamente en " +
                std::to_string(tray::BalloonShowTime / 1000) + " segundos.");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(balloonRecord.data() + l.szInfo), text.size() + 1), text + '\0');
  std::uint32_t kind = 0;
  std::memcpy(&kind, balloonRecord.data() + l.dwInfoFlags, 4);
  EXPECT_EQ(kind, 0x81u);  // NIIF_INFO, respecting quiet time
}

// Should the icon not load at the notification area's size, the About window's small icon stands
// in; without that window too, the program file's shared icon.
TEST(Form1StandInIcon, WithoutAFreshIconTheTrayShowsAStandIn) {
  for (const bool aboutWindow : {true, false}) {
    fakes::FakePlatform fakes;
    fakes.toolkit.faults.Inject("LoadNotifyIcon");
    if (!aboutWindow) fakes.dialogs.faults.Inject("LoadDialog", 1);
    RunProgram(fakes.services());
    const auto& l = tray::kNativeLayout;
    std::uint64_t icon = 0;
    std::memcpy(&icon, fakes.shell.notifyCalls.at(0).bytes.data() + l.hIcon, l.handleWidth);
    EXPECT_EQ(icon, aboutWindow ? fakes.dialogs.smallIcon : fakes.toolkit.programIcon);
  }
}

// However the program ends ("Salir"; the end of the session or the Restart Manager closing it for
// an installer, also while the About window or the error box is open) and whatever became of the
// icon, it ends once, removes the icon, then gives the window its procedure back, and leaves
// nothing behind.
TEST_F(Form1Test, EveryWayOfEndingEndsTheProgramInEveryStateOfTheIcon) {
  constexpr std::intptr_t kCloseApp = 0x1;  // ENDSESSION_CLOSEAPP
  struct State {
    const char* name;
    bool refusedAtStart;
    std::function<void(fakes::FakePlatform&, toolkit::Hwnd)> meanwhile;
  };
  const State states[] = {
      {"shown", false, [](fakes::FakePlatform&, toolkit::Hwnd) {}},
      {"never added", true, [](fakes::FakePlatform&, toolkit::Hwnd) {}},
      {"added late", true,
       [](fakes::FakePlatform& f, toolkit::Hwnd hwnd) {
         f.shell.notifyResult[tray::kNimAdd] = 1;
         f.user.FireTimer(hwnd, tray::IconRetryTimerId);
       }},
      {"added late by a shell that timed out", true,
       [](fakes::FakePlatform& f, toolkit::Hwnd) { f.shell.iconPresent = true; }},
      {"added again after the shell restarted", false,
       [](fakes::FakePlatform& f, toolkit::Hwnd hwnd) {
         f.shell.iconPresent = false;
         f.user.Send(hwnd, fakes::FakeUser::kTaskbarCreated, 0, 0);
       }},
  };
  enum class End { Salir, Session, SessionInAbout, SessionInErrorBox };
  const char* const endNames[] = {"Salir", "the end of the session", "the end of the session in About",
                                  "the end of the session in the error box"};
  for (const State& state : states) {
    for (const End end : {End::Salir, End::Session, End::SessionInAbout, End::SessionInErrorBox}) {
      SCOPED_TRACE(std::string(state.name) + ", " + endNames[static_cast<int>(end)]);
      fakes::FakePlatform f;
      f.shell.notifyResult[tray::kNimAdd] = state.refusedAtStart ? 0 : 1;
      toolkit::Hwnd hwnd = 0;
      auto endSession = [&] {
        EXPECT_EQ(f.user.Send(hwnd, platform::kWmQueryEndSession, 0, kCloseApp), 1);
        EXPECT_FALSE(f.toolkit.app.ended);
        f.user.Send(hwnd, platform::kWmEndSession, 1, kCloseApp);
      };
      f.dialogs.whileShown = [&](fakes::FakeDialog&) { endSession(); };
      f.toolkit.whileMsgBox = endSession;
      f.toolkit.whileRunning = [&] {
        auto* form = f.toolkit.FindForm(std::wstring(kForm1WindowClass));
        hwnd = form->hwnd;
        state.meanwhile(f, hwnd);
        if (end == End::Session) return endSession();
        if (end == End::SessionInErrorBox) f.registry.DenyAccess(0x80000002, f.ansi.ToAnsi(config::kRunKey));
        f.toolkit.menuChoice = end == End::Salir            ? kMenuExit
                               : end == End::SessionInAbout ? kMenuAbout
                                                            : kMenuStartWithWindows;
        f.user.Send(hwnd, tray::TrayCallbackMessage, tray::TrayIconId, tray::kWmRButtonUp);
        EXPECT_EQ(f.toolkit.lastPopupDefault, kMenuExit) << "the menu opens in every state";
        EXPECT_EQ(f.toolkit.msgBoxes.size(), end == End::SessionInErrorBox ? 1u : 0u);
        if (end != End::Salir) return;
        // "Salir" posts kWmClose; the form then unloads.
        ASSERT_EQ(f.user.posted.size(), 2u);
        EXPECT_EQ(f.user.posted[0].msg, platform::kWmClose);
        EXPECT_EQ(f.user.posted[1].msg, platform::kWmNull);
        EXPECT_FALSE(f.toolkit.app.ended) << "the exit is posted, not performed inside the menu";
        form->Close();
      };
      EXPECT_EQ(RunProgram(f.services()), 0);
      EXPECT_TRUE(f.toolkit.app.ended);
      EXPECT_EQ(f.toolkit.app.endCalls, 1);
      EXPECT_FALSE(f.shell.iconPresent);
      EXPECT_EQ(f.journal.Count("Shell_NotifyIconA(2)"), 1u);
      const long remove = f.journal.IndexOf("Shell_NotifyIconA(2)");
      const long restore = f.journal.IndexOf("SetWindowLongA(" + std::to_string(fakes::FakeUser::kOriginalProc) + ")");
      EXPECT_LT(remove, restore);
      EXPECT_LT(restore, f.journal.IndexOf("App.End"));
      EXPECT_EQ(f.user.ProcOf(hwnd), fakes::FakeUser::kOriginalProc);
      EXPECT_TRUE(f.user.timers.empty());
      // Nothing posted, nothing left to run after the message: the session may end right then.
      if (end != End::Salir) {
        EXPECT_TRUE(f.user.posted.empty());
      }
    }
  }
}

TEST_F(Form1Test, TheMenuTreeHasItsFourItems) {
  Form1 form1(services);
  form1.Load();
  const auto* menu = dynamic_cast<const fakes::FakeMenu*>(form1.zmnuSysTrayDemo());
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->items.size(), 4u);
  EXPECT_EQ(menu->items[0].caption, L"Acerca de...");
  EXPECT_EQ(menu->items[1].caption, L"Iniciar con Windows");
  EXPECT_EQ(menu->items[2].caption, L"-");
  EXPECT_EQ(menu->items[3].caption, L"Salir");
  // The separator does nothing.
  fakes.user.posted.clear();
  form1.mnuFile_Click(kMenuSeparator);
  EXPECT_TRUE(fakes.user.posted.empty());
}

}  // namespace
}  // namespace varnlet::app
