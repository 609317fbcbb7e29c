#pragma once
// The hidden main form: owns the program's window, its two trimming timers, the tray menu and
// the tray icon, and so everything the program does between start-up and the end.
#include <cstdint>
#include <memory>
#include <string>

#include "about/Form2.h"
#include "app/autostart_switch.h"
#include "build_config.h"
#include "platform/ansi_code_page.h"
#include "platform/file_api.h"
#include "platform/file_security_api.h"
#include "platform/process_api.h"
#include "platform/registry_api.h"
#include "platform/shell_api.h"
#include "platform/user_api.h"
#include "platform/version_api.h"
#include "registry/cQueryReg.h"
#include "toolkit/toolkit.h"
#include "tray/Module1.h"

namespace varnlet::app {

// The title, the intervals and the processes are the build's (CMakeLists.txt).
inline constexpr std::wstring_view kAppTitle = config::kTitle;
inline constexpr std::uint32_t kTimer1Interval = config::kTimer1Interval;
inline constexpr std::uint32_t kTimer2Interval = config::kTimer2Interval;
// How late Windows may serve a tick of either timer, to serve it with other timers' (the build's).
inline constexpr std::uint32_t kTimerTolerance = config::kTimerTolerance;
// Efficiency mode (EcoQoS): nothing the program does is urgent, so Windows may run it slowly, on
// efficient cores and at low clock speeds, while the user's own programs run.
inline constexpr platform::ProcessPowerThrottlingState kEfficiencyMode{platform::kProcessPowerThrottlingCurrentVersion,
                                                                       platform::kProcessPowerThrottlingExecutionSpeed,
                                                                       platform::kProcessPowerThrottlingExecutionSpeed};
inline constexpr std::wstring_view kForm1WindowClass = config::kMainWindowClass;
inline constexpr std::wstring_view kTrayTip = kAppTitle;
inline constexpr std::wstring_view kBalloonTitle = kAppTitle;

// The Restart Manager starts the program again only after an installer closed it: not after a
// crash or a hang, and not after a reboot, which the Run value covers. No arguments.
inline constexpr std::uint32_t kRestartFlags =
    platform::kRestartNoCrash | platform::kRestartNoHang | platform::kRestartNoReboot;
// MsgBox style of the autostart error: one OK button and the error icon.
inline constexpr std::uint32_t kErrorBoxStyle = 16;
// MsgBox style of the refusal to start an exe others may replace: OK and the warning icon.
inline constexpr std::uint32_t kRefusalBoxStyle = 48;

// The menu control array mnuFile of zmnuSysTrayDemo.
inline constexpr std::int16_t kMenuAbout = 0;
inline constexpr std::int16_t kMenuStartWithWindows = 1;
inline constexpr std::int16_t kMenuSeparator = 2;
inline constexpr std::int16_t kMenuExit = 3;

// The maker's home page as the caption and the error box show it: without its final "/".
std::wstring_view HomePageWithoutSlash();

// The title, five blanks, the home page without its final "/", a blank and "=]".
std::wstring Form1Caption();

// The start-up balloon's text, which says how long it stays: tray::BalloonShowTime, in seconds.
std::wstring BalloonText();

class Form1 final : private toolkit::FormEvents, private tray::TrayHost {
 public:
  struct Services {
    toolkit::Toolkit& toolkit;
    platform::ProcessApi& process;
    platform::ShellApi& shell;
    platform::VersionApi& version;
    platform::UserApi& user;
    const platform::AnsiCodePage& ansi;
    about::Form2& form2;
    platform::RegistryApi& registry;
    platform::FileApi& files;
    platform::FileSecurityApi& fileSecurity;
  };

  explicit Form1(const Services& services);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1() override;

  // Ends the program at once when another instance runs.
  void Form_Initialize();
  // Asks for efficiency mode, creates the window, the timers and the menu, then runs Form_Load.
  void Load();
  void Form_Load();
  void Form_Unload(std::int16_t& Cancel) override;

  // Trims the Mozilla processes.
  void Timer1_Timer();
  // Trims the program's own process.
  void Timer2_Timer();

  void mnuFile_Click(std::int16_t Index);

  toolkit::Hwnd hWnd() const override;
  bool Ended() const override;
  void EndSession() override;
  toolkit::Menu* zmnuSysTrayDemo() { return zmnuSysTrayDemo_.get(); }
  tray::Module1& module1() { return module1_; }

  // The running executable's full path: its folder, a backslash unless the folder ends in one,
  // its base name and ".exe".
  std::wstring ExecutablePath();

  // The registry object; raises when it could not be created, so the step using it is skipped.
  registry::cQueryReg& Registry();

 private:
  void PopupTrayMenu() override;
  std::unique_ptr<toolkit::Icon> LoadTrayIcon() override;
  void ToggleStartWithWindows(std::int16_t Index, const std::wstring& exePath);

  Services services_;
  tray::Module1 module1_;
  std::unique_ptr<registry::cQueryReg> registry_;
  std::unique_ptr<toolkit::Form> form_;
  std::unique_ptr<toolkit::Timer> timer1_;
  std::unique_ptr<toolkit::Timer> timer2_;
  std::unique_ptr<toolkit::Menu> zmnuSysTrayDemo_;
};

// The program from its start to its end: Form_Initialize, the load, the message loop.
int RunProgram(const Form1::Services& services);

}  // namespace varnlet::app
