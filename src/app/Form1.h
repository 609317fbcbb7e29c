#pragma once
// The hidden main form: owns the program's window, its two trimming timers and, through them,
// everything the program does between start-up and the end.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/process_api.h"
#include "toolkit/toolkit.h"

namespace varnlet::app {

inline constexpr std::wstring_view kAppTitle = L"Varnlet!";
inline constexpr std::uint32_t kTimer1Interval = 5000;
inline constexpr std::uint32_t kTimer2Interval = 3000;
inline constexpr std::wstring_view kForm1WindowClass = L"Varnlet.Form1";

// "Varnlet!", five blanks, the home page without its final "/", a blank and "=]".
std::wstring Form1Caption();

class Form1 final : private toolkit::FormEvents {
 public:
  struct Services {
    toolkit::Toolkit& toolkit;
    platform::ProcessApi& process;
  };

  explicit Form1(Services services);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1() override;

  // Ends the program at once when another instance runs.
  void Form_Initialize();
  // Creates the window and the timers, then runs Form_Load.
  void Load();
  void Form_Load();
  void Form_Unload(std::int16_t& Cancel) override;

  // Trims the Mozilla processes.
  void Timer1_Timer();
  // Trims the program's own process.
  void Timer2_Timer();

  toolkit::Hwnd hWnd() const;
  toolkit::Form* form() { return form_.get(); }

 private:
  Services services_;
  std::unique_ptr<toolkit::Form> form_;
  std::unique_ptr<toolkit::Timer> timer1_;
  std::unique_ptr<toolkit::Timer> timer2_;
};

// The program from its start to its end: Form_Initialize, the load, the message loop.
int RunProgram(Form1::Services services);

}  // namespace varnlet::app
