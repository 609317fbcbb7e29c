#include "app/Form1.h"

#include "build_config.h"
#include "toolkit/error_skipping.h"
#include "trim/working_set_trimmer.h"

namespace varnlet::app {

std::wstring Form1Caption() {
  std::wstring_view home = config::kHomePage;
  if (!home.empty() && home.back() == L'/') home.remove_suffix(1);
  std::wstring caption(kAppTitle);
  caption += L"     ";
  caption += home;
  caption += L" =]";
  return caption;
}

Form1::Form1(Services services) : services_(services) {}

Form1::~Form1() = default;

void Form1::Form_Initialize() {
  toolkit::Application& app = services_.toolkit.App();
  if (app.PrevInstance()) app.End();
}

void Form1::Load() {
  form_ = services_.toolkit.CreateForm({Form1Caption(), std::wstring(kForm1WindowClass)}, *this);
  // Enabled from the load: the first ticks come 5 s and 3 s after it.
  timer1_ = services_.toolkit.CreateTimer(kTimer1Interval, [this] { Timer1_Timer(); });
  timer2_ = services_.toolkit.CreateTimer(kTimer2Interval, [this] { Timer2_Timer(); });
  Form_Load();
}

void Form1::Form_Load() {
  using toolkit::SkipErrors;
  SkipErrors([&] {
    form_->SetVisible(false);
    form_->Hide();
  });
  SkipErrors([&] { Timer2_Timer(); });
  SkipErrors([&] { Timer1_Timer(); });
}

void Form1::Form_Unload(std::int16_t& Cancel) {
  Cancel = 0;
  // The program ends whenever its main form unloads: nothing else could reach or end it.
  services_.toolkit.App().End();
}

void Form1::Timer1_Timer() { trim::TrimMozillaProcesses(services_.process); }

void Form1::Timer2_Timer() {
  toolkit::SkipErrors([&] { trim::TrimOwnProcess(services_.process); });
}

toolkit::Hwnd Form1::hWnd() const { return form_ ? form_->hWnd() : 0; }

int RunProgram(Form1::Services services) {
  Form1 form1(services);
  form1.Form_Initialize();
  if (services.toolkit.App().Ended()) return 0;
  form1.Load();
  if (!services.toolkit.App().Ended()) services.toolkit.RunMessageLoop();
  return 0;
}

}  // namespace varnlet::app
