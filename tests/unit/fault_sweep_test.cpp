// Every call the program makes through its boundaries, failed in turn during each phase of a
// run: start-up, a trimming pass, each tray operation and each menu command. Whatever fails,
// nothing may escape a handler, no handle may be left open, the program must still end cleanly,
// and where the program promises a particular answer to that failure, it gives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "base/error_skipping.h"
#include "build_config.h"
#include "fakes/fake_platform.h"

namespace varnlet::app {
namespace {

using fakes::FakeUser;
using fakes::FaultInjector;
using fakes::FaultKind;

constexpr platform::RegKey kHklm = 0x80000002;
// The start-up value's key and name as the in-memory registry holds them.
const std::string kRunKey = platform::Windows1252().ToAnsi(config::kRunKey);
const std::string kRunValue = platform::Windows1252().ToAnsi(config::kRunValue);

struct Session {
  fakes::FakePlatform f;
  std::unique_ptr<Form1> form1;
  toolkit::Hwnd hwnd = 0;
  std::uint32_t target = 0;
  std::uint32_t notepad = 0;
  // How the faulted call misbehaves.
  FaultKind kind = FaultKind::Fail;

  Session() {
    target = f.processes.Add(fakes::TargetPath(R"(C:\Program Files\Mozilla)"));
    notepad = f.processes.Add(R"(C:\Windows\notepad.exe)");
  }

  // The fakes' fault injectors, by the boundary they stand for.
  std::map<std::string, FaultInjector*> Injectors() {
    return {{"process", &f.processes.faults()}, {"shell", &f.shell.faults},         {"version", &f.version.faults},
            {"user", &f.user.faults},           {"registry", &f.registry.faults()}, {"toolkit", &f.toolkit.faults},
            {"dialogs", &f.dialogs.faults},     {"files", &f.files.faults()}};
  }

  // What the user does through the tray: a right-button release on the icon.
  void RightClick(std::optional<std::int16_t> choice) {
    f.toolkit.menuChoice = choice;
    f.user.Send(hwnd, tray::TrayCallbackMessage, tray::TrayIconId, tray::kWmRButtonUp);
    f.toolkit.menuChoice.reset();
  }
  // The message loop delivering what was posted to the form's window.
  void DeliverPosted() {
    auto posted = std::move(f.user.posted);
    f.user.posted.clear();
    for (const auto& p : posted) {
      if (p.hwnd == hwnd && p.msg == platform::kWmClose && !f.toolkit.app.ended) {
        if (auto* form = f.toolkit.FindForm(std::wstring(kForm1WindowClass))) form->Close();
      }
    }
  }
  bool Mark() { return form1->zmnuSysTrayDemo()->Checked(kMenuStartWithWindows); }
  bool RunValue() {
    const auto v = f.registry.GetValue(kHklm, kRunKey, kRunValue);
    return v && v->data.size() > 1;
  }
  // What the key dump returned, and left in the temporary folder.
  std::optional<registry::RegStatus> dumpStatus;
  std::size_t LeftInTemp() const { return f.files.CountStartingWith(f.files.tempDirectory); }
};

constexpr char kDumpFile[] = "C:\\out\\dump.dat";

struct Phase {
  std::string name;
  std::function<void(Session&)> act;
};

const std::vector<Phase>& Phases() {
  static const std::vector<Phase> phases = {
      {"start-up",
       [](Session& r) {
         r.form1 = std::make_unique<Form1>(r.f.services());
         r.form1->Form_Initialize();
         r.form1->Load();
         r.hwnd = r.form1->hWnd();
       }},
      {"trimming",
       [](Session& r) {
         r.f.toolkit.TimerWithInterval(kTimer1Interval)->Fire();
         r.f.toolkit.TimerWithInterval(kTimer2Interval)->Fire();
       }},
      {"balloon",
       [](Session& r) {
         r.f.user.Send(r.hwnd, tray::TrayCallbackMessage, tray::TrayIconId, tray::kNinBalloonShow);
         r.f.user.FireTimer(r.hwnd, tray::BalloonTimerId);
         r.f.user.Send(r.hwnd, tray::TrayCallbackMessage, tray::TrayIconId, tray::kNinBalloonShow);
         r.f.user.Send(r.hwnd, tray::TrayCallbackMessage, tray::TrayIconId, tray::kNinBalloonUserClick);
       }},
      {"popup", [](Session& r) { r.RightClick(std::nullopt); }},
      {"taskbar-created",
       [](Session& r) {
         r.f.shell.iconPresent = false;  // the restarted shell's tray is empty
         r.f.user.Send(r.hwnd, FakeUser::kTaskbarCreated, 0, 0);
       }},
      {"about", [](Session& r) { r.RightClick(kMenuAbout); }},
      {"autostart-on", [](Session& r) { r.RightClick(kMenuStartWithWindows); }},
      {"autostart-off", [](Session& r) { r.RightClick(kMenuStartWithWindows); }},
      {"autostart-refused",
       [](Session& r) {
         // A key the user may not write: the error box comes up.
         r.f.registry.DenyAccess(kHklm, kRunKey);
         r.RightClick(kMenuStartWithWindows);
       }},
      {"separator", [](Session& r) { r.RightClick(kMenuSeparator); }},
      {"key-dump",
       [](Session& r) {
         // The registry class's key dump, which the program carries without calling it.
         r.f.registry.SetValue(0x80000001, "Software\\Varnlet", "v", 1, std::string("x\0", 2));
         r.f.registry.SetBackupPrivilege(true);
         SkipErrors(
             [&] { r.dumpStatus = r.form1->Registry().RegSaveKey(L"HKCU\\Software\\Varnlet", L"C:\\out\\dump.dat"); });
       }},
      {"exit",
       [](Session& r) {
         r.RightClick(kMenuExit);
         r.DeliverPosted();
       }},
  };
  return phases;
}

// Runs every phase, with `call` of `boundary` failing (in the given way) during phase `faulted`
// only, and `afterFault` right after that phase; then closes the form as the system would at
// log-off if the program has not ended.
void RunAll(Session& r, std::size_t faulted, const std::string& boundary, const std::string& call, FaultKind kind,
            const std::function<void(Session&)>& afterFault) {
  const auto& phases = Phases();
  for (std::size_t i = 0; i < phases.size(); ++i) {
    r.kind = kind;
    if (i == faulted) r.Injectors().at(boundary)->Inject(call, 0, kind);
    phases[i].act(r);
    if (i == faulted) {
      r.Injectors().at(boundary)->Clear();
      if (afterFault) afterFault(r);
    }
  }
  if (!r.f.toolkit.app.ended) {
    if (auto* form = r.f.toolkit.FindForm(std::wstring(kForm1WindowClass))) form->Close();
  }
  r.form1.reset();
}

// Which calls each phase makes, found by a run without faults.
std::map<std::size_t, std::vector<std::pair<std::string, std::string>>> CallsByPhase() {
  Session r;
  std::map<std::size_t, std::vector<std::pair<std::string, std::string>>> calls;
  const auto& phases = Phases();
  for (std::size_t i = 0; i < phases.size(); ++i) {
    for (auto& [name, injector] : r.Injectors()) injector->ForgetSeen();
    phases[i].act(r);
    for (auto& [name, injector] : r.Injectors()) {
      for (const auto& call : injector->Seen()) calls[i].emplace_back(name, call);
    }
  }
  return calls;
}

// What the program promises when a given call fails in a given phase, beyond the invariants;
// checked right after that phase.
using Expectation = std::function<void(Session&)>;
std::map<std::string, Expectation> Promises() {
  return {
      {"start-up/shell/Shell_NotifyIconA",
       [](Session& r) {
         // No icon yet: the window hears the shell and the icon is tried again; the start-up
         // trimming happened all the same.
         EXPECT_FALSE(r.f.shell.iconPresent);
         EXPECT_EQ(r.f.user.ProcOf(r.hwnd), FakeUser::kTrayProc);
         EXPECT_TRUE(r.form1->module1().IconRetryTimerOn());
         EXPECT_EQ(r.f.processes.Get(r.target).trims, 1);
         EXPECT_EQ(r.f.processes.ownTrims(), 1);
       }},
      {"start-up/user/SetWindowLongA",
       [](Session& r) {
         // The window could not be subclassed, but the shell took the icon.
         EXPECT_TRUE(r.f.shell.iconPresent);
         EXPECT_EQ(r.form1->module1().PrevWndProc(), 0);
       }},
      {"start-up/version/GetFileVersionInfoSizeA",
       [](Session& r) {
         // Without a version resource the oldest record size is used.
         for (const auto& call : r.f.shell.notifyCalls) EXPECT_EQ(call.bytes.size(), tray::kNativeLayout.sizeShell4);
       }},
      {"start-up/registry/RegOpenKeyExA", [](Session& r) { EXPECT_FALSE(r.Mark()); }},
      {"trimming/process/OpenProcess", [](Session& r) { EXPECT_EQ(r.f.processes.Get(r.target).trims, 1); }},
      // A path that cannot be read, or a query that raises, skips the process for that pass.
      {"trimming/process/QueryFullProcessImageNameA",
       [](Session& r) { EXPECT_EQ(r.f.processes.Get(r.target).trims, 1); }},
      // Without the list the tick trims nothing; a list that breaks off keeps what it read.
      {"trimming/process/CreateToolhelp32Snapshot",
       [](Session& r) { EXPECT_EQ(r.f.processes.Get(r.target).trims, 1); }},
      {"trimming/process/Process32FirstW", [](Session& r) { EXPECT_EQ(r.f.processes.Get(r.target).trims, 1); }},
      {"trimming/process/Process32NextW", [](Session& r) { EXPECT_EQ(r.f.processes.Get(r.target).trims, 2); }},
      {"balloon/user/SetTimer",
       [](Session& r) {
         // The timer never ran, so nothing hid the balloon.
         EXPECT_FALSE(r.form1->module1().BalloonTimerOn());
         EXPECT_EQ(r.f.journal.Count("KillTimer(" + std::to_string(tray::BalloonTimerId) + ")"), 0u);
       }},
      {"popup/user/SetForegroundWindow", [](Session& r) { EXPECT_EQ(r.f.journal.Count("PopupMenu(3)"), 1u); }},
      {"autostart-on/registry/RegSetValueExA",
       [](Session& r) {
         // One box for the failed write, and the mark says what the registry holds: nothing.
         EXPECT_EQ(r.f.toolkit.msgBoxes.size(), 1u);
         EXPECT_FALSE(r.RunValue());
         EXPECT_FALSE(r.Mark());
       }},
      {"autostart-off/registry/RegDeleteValueA",
       [](Session& r) {
         // The delete failed silently: the value stays, the mark comes back on, no box.
         EXPECT_TRUE(r.RunValue());
         EXPECT_TRUE(r.Mark());
         EXPECT_TRUE(r.f.toolkit.msgBoxes.empty());
       }},
      {"autostart-refused/toolkit/MsgBox",
       [](Session& r) {
         // The box could not be shown; the handler went on and the mark still tells the truth.
         EXPECT_FALSE(r.Mark());
         EXPECT_FALSE(r.RunValue());
       }},
      // The dump's folder could not be made: nothing is saved and the reason is the result.
      {"key-dump/files/CreateDirectoryA",
       [](Session& r) {
         EXPECT_NE(r.dumpStatus, std::optional<registry::RegStatus>(0));
         const auto& calls = r.f.journal.entries();
         EXPECT_TRUE(std::none_of(calls.begin(), calls.end(),
                                  [](const std::string& c) { return c.starts_with("RegSaveKeyA("); }));
         EXPECT_FALSE(r.f.files.Exists(kDumpFile));
       }},
      // A folder that cannot go keeps nothing of the dump: the file in it went first.
      {"key-dump/files/RemoveDirectoryA",
       [](Session& r) {
         EXPECT_EQ(r.dumpStatus, std::optional<registry::RegStatus>(0));
         EXPECT_TRUE(r.f.files.Exists(kDumpFile));
         EXPECT_EQ(r.LeftInTemp(), 1u);
       }},
      {"key-dump/files/CopyFileA",
       [](Session& r) {
         EXPECT_EQ(r.dumpStatus, std::optional<registry::RegStatus>(0));
         EXPECT_FALSE(r.f.files.Exists(kDumpFile));
       }},
      {"exit/user/PostMessageA",
       [](Session& r) {
         // Salir could not post its close: the program runs on, and the user may try again.
         EXPECT_FALSE(r.f.toolkit.app.ended);
       }},
      {"exit/shell/Shell_NotifyIconA", [](Session& r) { EXPECT_TRUE(r.f.toolkit.app.ended); }},
  };
}

// The lines skipped steps leave, as the program hands them to the debugger.
std::vector<std::string>& SkippedLines() {
  static std::vector<std::string> lines;
  return lines;
}

TEST(FaultSweep, EveryCallFailingInEveryPhaseLeavesNothingBehind) {
  SetSkippedStepHook([](std::string_view line) noexcept { SkippedLines().emplace_back(line); });
  std::size_t skipped = 0;
  const auto calls = CallsByPhase();
  const auto promises = Promises();
  std::set<std::string> promised;
  std::size_t runs = 0;
  for (const auto& [phase, list] : calls) {
    for (const auto& [boundary, call] : list) {
      for (const FaultKind kind : {FaultKind::Fail, FaultKind::Throw}) {
        const std::string key = Phases()[phase].name + "/" + boundary + "/" + call;
        SCOPED_TRACE(key + (kind == FaultKind::Throw ? " (raises)" : " (fails)"));
        Session r;
        SkippedLines().clear();
        const auto promise = promises.find(key);
        if (promise != promises.end()) promised.insert(key);
        try {
          RunAll(r, phase, boundary, call, kind, promise != promises.end() ? promise->second : nullptr);
        } catch (const std::exception& e) {
          ADD_FAILURE() << "an error escaped: " << e.what();
          continue;
        }
        ++runs;
        // A raised fault that a handler skipped says where, and which error it was.
        for (const std::string& line : SkippedLines()) {
          if (kind != FaultKind::Throw || line.find("injected fault in " + call) == std::string::npos) continue;
          ++skipped;
          EXPECT_TRUE(line.starts_with("Varnlet: skipped a step of ")) << line;
          EXPECT_NE(line.find(".cpp:"), std::string::npos) << line;
        }
        EXPECT_TRUE(r.f.toolkit.app.ended);
        EXPECT_EQ(r.f.processes.openHandles(), 0u);
        EXPECT_EQ(r.f.processes.badCloses(), 0u);
        EXPECT_EQ(r.f.registry.openHandles(), 0u);
        EXPECT_EQ(r.f.registry.badCloses(), 0u);
        // The notification area and the window are left as they were found, unless the very
        // call that undoes them is the one failing at the end.
        const bool undoing =
            Phases()[phase].name == "exit" && (call == "Shell_NotifyIconA" || call == "SetWindowLongA");
        if (!undoing) {
          EXPECT_FALSE(r.f.shell.iconPresent);
          EXPECT_EQ(r.f.user.ProcOf(r.hwnd), FakeUser::kOriginalProc);
        }
        EXPECT_FALSE(r.form1) << "the form is gone";
        // The key dump leaves nothing in the temporary folder, unless removing it is what fails.
        if (call != "DeleteFileA" && call != "RemoveDirectoryA") {
          EXPECT_EQ(r.LeftInTemp(), 0u);
        }
      }
    }
  }
  // Every promise met a call the program really makes in that phase.
  for (const auto& [key, expectation] : promises) EXPECT_TRUE(promised.count(key)) << key << " was never exercised";
  EXPECT_GT(runs, 100u);
  EXPECT_GT(skipped, 20u) << "raised faults leave a line where a handler skips them";
  SetSkippedStepHook(nullptr);
}

TEST(FaultSweep, EveryBoundaryIsExercised) {
  std::set<std::string> boundaries;
  std::set<std::string> calls;
  for (const auto& [phase, list] : CallsByPhase()) {
    for (const auto& [boundary, call] : list) {
      boundaries.insert(boundary);
      calls.insert(call);
    }
  }
  EXPECT_EQ(boundaries,
            (std::set<std::string>{"dialogs", "files", "process", "registry", "shell", "toolkit", "user", "version"}));
  for (const char* call : {"CreateToolhelp32Snapshot",
                           "Process32FirstW",
                           "Process32NextW",
                           "OpenProcess",
                           "QueryFullProcessImageNameA",
                           "EmptyWorkingSet",
                           "CloseHandle",
                           "Shell_NotifyIconA",
                           "GetFileVersionInfoSizeA",
                           "GetFileVersionInfoA",
                           "VerQueryValueA",
                           "SetWindowLongA",
                           "CallWindowProcA",
                           "SetForegroundWindow",
                           "SetTimer",
                           "KillTimer",
                           "PostMessageA",
                           "RegisterApplicationRestart",
                           "SetProcessInformation",
                           "RegisterWindowMessageA",
                           "ChangeWindowMessageFilterEx",
                           "RegOpenKeyExA",
                           "RegCreateKeyA",
                           "RegCloseKey",
                           "RegQueryValueExA",
                           "RegSetValueExA",
                           "RegDeleteValueA",
                           "GetUserNameA",
                           "LoadDialog",
                           "Navigate",
                           "MsgBox",
                           "Form.PopupMenu",
                           "GetTempPathA",
                           "CreateDirectoryA",
                           "RegSaveKeyA",
                           "SetFileAttributesA",
                           "CopyFileA",
                           "DeleteFileA",
                           "RemoveDirectoryA"}) {
    EXPECT_TRUE(calls.count(call)) << call;
  }
}

}  // namespace
}  // namespace varnlet::app
