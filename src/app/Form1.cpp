#include "app/Form1.h"

#include "base/error_skipping.h"
#include "base/errors.h"
#include "build_config.h"
#include "trim/working_set_trimmer.h"

namespace varnlet::app {

std::wstring_view HomePageWithoutSlash() {
  std::wstring_view home = config::kHomePage;
  if (!home.empty() && home.back() == L'/') home.remove_suffix(1);
  return home;
}

std::wstring Form1Caption() {
  std::wstring caption(kAppTitle);
  caption += L"     ";
  caption += HomePageWithoutSlash();
  caption += L" =]";
  return caption;
}

std::wstring BalloonText() {
  return L"El programa contin\u00faa ejecut\u00e1ndose en la barra de tareas.\r\n"
         L"Puede continuar trabajando normalmente.\r\n\r\n"
         L"Este mensaje desaparecer\u00e1 autom\u00e1ticamente en " +
         std::wstring(config::kBalloonShowSeconds) + L" segundos.";
}

Form1::Form1(const Services& services)
    : services_(services), module1_({services.shell, services.version, services.user, services.ansi}, *this) {}

Form1::~Form1() = default;

void Form1::Form_Initialize() {
  toolkit::Application& app = services_.toolkit.App();
  if (app.PrevInstance()) app.End();
}

void Form1::Load() {
  // Before any work, so that all of it runs throttled. A system without the mode (Windows 7 to
  // 10 1703) refuses or lacks the call, and the program runs as it always did.
  SkipErrors([&] {
    platform::ProcessPowerThrottlingState mode = kEfficiencyMode;
    services_.process.SetProcessInformation(services_.process.GetCurrentProcess(), platform::kProcessPowerThrottling,
                                            &mode, sizeof mode);
  });
  form_ = services_.toolkit.CreateForm({Form1Caption(), std::wstring(kForm1WindowClass)}, *this);
  // Enabled from the load: the first ticks come one interval after it.
  timer1_ = services_.toolkit.CreateTimer(kTimer1Interval, kTimerTolerance, [this] { Timer1_Timer(); });
  timer2_ = services_.toolkit.CreateTimer(kTimer2Interval, kTimerTolerance, [this] { Timer2_Timer(); });
  zmnuSysTrayDemo_ =
      services_.toolkit.CreateMenu(L"mnuFile", {{L"Acerca de..."}, {L"Iniciar con Windows"}, {L"-"}, {L"Salir"}},
                                   [this](std::int16_t index) { mnuFile_Click(index); });
  Form_Load();
}

void Form1::Form_Load() {
  SkipErrors(
      [&] { registry_ = std::make_unique<registry::cQueryReg>(services_.registry, services_.files, services_.ansi); });
  SkipErrors([&] {
    form_->SetVisible(false);
    form_->Hide();
  });
  // Taking the About window's icon loads that window, hidden, so its page is requested now. The
  // tray loads the same picture itself at the notification area's size, and again whenever that
  // changes; this one, at the small-icon size, stands in should that load fail.
  std::uintptr_t icon = 0;
  SkipErrors([&] {
    icon = services_.form2.Icon();
    if (const std::uintptr_t small = services_.form2.SmallIcon(); small != 0) icon = small;
  });
  // Should the About window fail, the program file's own icon (the same picture) keeps the
  // program reachable.
  if (icon == 0) SkipErrors([&] { icon = services_.toolkit.ProgramIcon(); });
  SkipErrors([&] { module1_.ShellTrayAdd(hWnd(), icon, kTrayTip); });
  SkipErrors([&] { module1_.ShellTrayShowBalloon(hWnd(), tray::kNiifInfo, kBalloonTitle, BalloonText()); });
  SkipErrors([&] { Timer2_Timer(); });
  SkipErrors([&] { Timer1_Timer(); });
  SkipErrors([&] { zmnuSysTrayDemo_->SetChecked(kMenuStartWithWindows, AutostartRegistered(Registry())); });
  // An installer that must replace the running program closes it and starts it again.
  SkipErrors([&] { services_.process.RegisterApplicationRestart(L"", kRestartFlags); });
}

void Form1::Form_Unload(std::int16_t& Cancel) {
  Cancel = 0;
  // The icon goes before the window procedure is put back, and both before the end. An icon is
  // removed even when the window could not be subclassed, or while the shell had not yet taken
  // it (an add that timed out may have gone through), so none is left behind in the
  // notification area. A step that fails must not keep the program from ending.
  if (module1_.PrevWndProc() != 0 || module1_.IconWanted()) SkipErrors([&] { module1_.ShellTrayRemove(hWnd()); });
  if (module1_.PrevWndProc() != 0) SkipErrors([&] { module1_.UnSubClass(hWnd()); });
  // The program ends whenever its main form unloads, tray or no tray: nothing else could
  // reach or end it.
  services_.toolkit.App().End();
}

void Form1::Timer1_Timer() { trim::TrimMozillaProcesses(services_.process); }

void Form1::Timer2_Timer() {
  SkipErrors([&] { trim::TrimOwnProcess(services_.process); });
}

std::wstring Form1::ExecutablePath() {
  toolkit::Application& app = services_.toolkit.App();
  std::wstring path = app.Path();
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path + app.EXEName() + L".exe";
}

void Form1::mnuFile_Click(std::int16_t Index) {
  std::wstring exePath;
  SkipErrors([&] { exePath = ExecutablePath(); });
  switch (Index) {
    case kMenuAbout:
      SkipErrors([&] { services_.form2.ShowModal(); });
      break;
    case kMenuStartWithWindows:
      ToggleStartWithWindows(Index, exePath);
      break;
    case kMenuExit:
      // Posted, not sent: the program ends after this handler and the popup menu have returned.
      SkipErrors([&] { services_.user.PostMessageA(hWnd(), platform::kWmClose, 0, 0); });
      break;
    default:
      break;
  }
}

registry::cQueryReg& Form1::Registry() {
  if (!registry_) throw Error("the registry object was not created");
  return *registry_;
}

void Form1::ToggleStartWithWindows(std::int16_t Index, const std::wstring& exePath) {
  toolkit::Menu& menu = *zmnuSysTrayDemo_;
  SkipErrors([&] { menu.SetChecked(Index, !menu.Checked(Index)); });
  bool on = false;
  SkipErrors([&] { on = menu.Checked(Index); });
  const AutostartOutcome outcome = ClickAutostart(registry_.get(), services_.fileSecurity, exePath, on, [&] {
    SkipErrors(
        [&] { services_.toolkit.MsgBox(AutostartErrorText(exePath, HomePageWithoutSlash()), kErrorBoxStyle, L""); });
    return !Ended();
  });
  // The mark tells what the registry holds, also after a click the program's end cut short.
  SkipErrors([&] { menu.SetChecked(Index, outcome.checked); });
  if (outcome.ended || !outcome.refused) return;
  SkipErrors([&] {
    services_.toolkit.MsgBox(AutostartRefusalText(exePath, *outcome.refused, outcome.keptProgram), kRefusalBoxStyle,
                             L"");
  });
}

std::unique_ptr<toolkit::Icon> Form1::LoadTrayIcon() { return services_.toolkit.LoadNotifyIcon(); }

void Form1::PopupTrayMenu() {
  if (form_ && zmnuSysTrayDemo_) form_->PopupMenu(*zmnuSysTrayDemo_, kMenuExit);
}

toolkit::Hwnd Form1::hWnd() const { return form_ ? form_->hWnd() : 0; }

bool Form1::Ended() const { return services_.toolkit.App().Ended(); }

void Form1::EndSession() {
  if (Ended()) return;
  std::int16_t cancel = 0;
  Form_Unload(cancel);
}

int RunProgram(const Form1::Services& services) {
  Form1 form1(services);
  form1.Form_Initialize();
  if (services.toolkit.App().Ended()) return 0;
  form1.Load();
  if (!services.toolkit.App().Ended()) services.toolkit.RunMessageLoop();
  return 0;
}

}  // namespace varnlet::app
