#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "build_config.h"
#include "fakes/fake_platform.h"

namespace varnlet::app {
namespace {

constexpr platform::RegKey kHklm = 0x80000002;
constexpr platform::RegKey kHkcu = 0x80000001;
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kExe[] = L"C:\\Program Files\\Varnlet\\varnlet.exe";
constexpr char kExeAnsi[] = "C:\\Program Files\\Varnlet\\varnlet.exe";
// What the switch writes: the path holds a space, so it is quoted.
constexpr char kCommandAnsi[] = "\"C:\\Program Files\\Varnlet\\varnlet.exe\"";

std::string Stored(const std::string& text) { return text + '\0'; }

struct MenuCommands : ::testing::Test {
  fakes::FakePlatform fakes;
  Form1 form1{fakes.services()};
  // Every registry call, in order.
  std::vector<std::string> calls;

  MenuCommands() {
    fakes.registry.AfterCall([this](const std::string& call) { calls.push_back(call); });
  }

  // Starts the program with the autostart value as given (nothing when empty optional).
  void Start(std::optional<std::string> value, std::uint32_t type = 1) {
    if (value) fakes.registry.SetValue(kHklm, kRunKey, "Varnlet", type, *value);
    form1.Form_Initialize();
    form1.Load();
    fakes.journal.Clear();
    calls.clear();
  }
  bool Mark() { return form1.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows); }
  void SetMark(bool on) { form1.zmnuSysTrayDemo()->SetChecked(kMenuStartWithWindows, on); }
  std::optional<std::string> Value() {
    const auto v = fakes.registry.GetValue(kHklm, kRunKey, "Varnlet");
    return v ? std::optional<std::string>(v->data) : std::nullopt;
  }
  std::size_t Writes() {
    return fakes.journal.Count("RegSetValueExA(Varnlet,1," + std::to_string(sizeof kCommandAnsi) + ")");
  }
  std::size_t Count(const std::string& call) const {
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
  }
  long IndexOf(const std::string& call) const {
    const auto it = std::find(calls.begin(), calls.end(), call);
    return it == calls.end() ? -1 : static_cast<long>(it - calls.begin());
  }
  void Click() { form1.mnuFile_Click(kMenuStartWithWindows); }
};

TEST_F(MenuCommands, TheMarkAtStartShowsWhetherTheValueHoldsText) {
  struct Case {
    std::optional<std::string> value;
    std::uint32_t type;
    bool mark;
  };
  for (const Case& c : {Case{Stored(kExeAnsi), 1, true}, Case{Stored(""), 1, false}, Case{std::nullopt, 1, false},
                        Case{std::string("\x01\0\0\0", 4), 4, false}, Case{Stored("x"), 2, true}}) {
    fakes::FakePlatform f;
    if (c.value) f.registry.SetValue(kHklm, kRunKey, "Varnlet", c.type, *c.value);
    Form1 form(f.services());
    form.Load();
    EXPECT_EQ(form.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows), c.mark) << c.type;
    EXPECT_EQ(f.registry.openHandles(), 0u);
  }
  // A value only under HKEY_CURRENT_USER does not count: the path names HKEY_LOCAL_MACHINE.
  fakes::FakePlatform f;
  f.registry.SetValue(kHkcu, kRunKey, "Varnlet", 1, Stored(kExeAnsi));
  Form1 form(f.services());
  form.Load();
  EXPECT_FALSE(form.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows));
}

TEST_F(MenuCommands, SwitchingOnWritesThePathOnceQuotedWhenItHoldsASpace) {
  Start(std::nullopt);
  Click();
  EXPECT_EQ(Value(), Stored(kCommandAnsi));
  EXPECT_EQ(Writes(), 1u);
  EXPECT_TRUE(Mark());
  EXPECT_TRUE(fakes.toolkit.msgBoxes.empty());
  EXPECT_EQ(fakes.registry.openHandles(), 0u);
}

TEST_F(MenuCommands, AFailedWriteShowsTheBoxAndTheMarkTellsTheTruth) {
  for (const std::optional<std::string>& before : {std::optional<std::string>{}, std::optional(Stored(""))}) {
    fakes::FakePlatform f;
    Form1 form(f.services());
    if (before) f.registry.SetValue(kHklm, kRunKey, "Varnlet", 1, *before);
    form.Load();
    f.registry.FailWith("RegSetValueExA", 5);
    form.mnuFile_Click(kMenuStartWithWindows);
    ASSERT_EQ(f.toolkit.msgBoxes.size(), 1u);
    const std::wstring home(HomePageWithoutSlash());
    EXPECT_EQ(f.toolkit.msgBoxes[0].prompt,
              std::wstring(L"Ocurri\u00f3 un error al tratar de agregar la aplicaci\u00f3n\r\n") + kExe +
                  L"\r\nal inicio de windows.\r\nPor favor, reporte este fallo en " + home);
    EXPECT_EQ(f.toolkit.msgBoxes[0].buttons, 16u);
    EXPECT_EQ(f.toolkit.msgBoxes[0].title, L"Varnlet!");
    // Nothing was written, so the menu must not claim that the program starts with Windows.
    EXPECT_FALSE(form.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows));
  }
}

TEST_F(MenuCommands, AStaleValueIsWrittenTwiceWithThisPath) {
  Start(Stored("D:\\old\\varnlet.exe"));
  SetMark(false);  // changed by nobody but the menu, so the start left it on; the table's row says off
  Click();
  EXPECT_EQ(Writes(), 2u);
  EXPECT_EQ(Value(), Stored(kCommandAnsi));
  EXPECT_TRUE(Mark());
  EXPECT_TRUE(fakes.toolkit.msgBoxes.empty());

  // Both writes failing: one box after each, and the mark follows the stale value still there.
  fakes::FakePlatform f;
  Form1 form(f.services());
  f.registry.SetValue(kHklm, kRunKey, "Varnlet", 1, Stored("D:\\old\\varnlet.exe"));
  form.Load();
  form.zmnuSysTrayDemo()->SetChecked(kMenuStartWithWindows, false);
  f.registry.FailWith("RegSetValueExA", 5, 0);
  form.mnuFile_Click(kMenuStartWithWindows);
  EXPECT_EQ(f.toolkit.msgBoxes.size(), 2u);
  EXPECT_TRUE(form.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows));
}

// The value an earlier version wrote, unquoted, counts as on and goes as today's would.
TEST_F(MenuCommands, SwitchingOffRewritesThenDeletes) {
  Start(Stored(kExeAnsi));
  ASSERT_TRUE(Mark());
  Click();
  EXPECT_EQ(Writes(), 1u);
  EXPECT_EQ(Count("RegDeleteValueA"), 1u);
  EXPECT_LT(IndexOf("RegSetValueExA"), IndexOf("RegDeleteValueA"));
  EXPECT_FALSE(Value());
  EXPECT_FALSE(Mark());
  EXPECT_TRUE(fakes.toolkit.msgBoxes.empty());
  EXPECT_EQ(fakes.registry.openHandles(), 0u);
}

TEST_F(MenuCommands, AFailedDeleteBringsTheMarkBackWithoutABox) {
  Start(Stored(kExeAnsi));
  fakes.registry.FailWith("RegDeleteValueA", 5);
  Click();
  EXPECT_TRUE(Mark());
  EXPECT_TRUE(fakes.toolkit.msgBoxes.empty());
  EXPECT_TRUE(Value());

  // With the rewrite failing too, the box about adding comes first, then the mark returns.
  fakes::FakePlatform f;
  f.registry.SetValue(kHklm, kRunKey, "Varnlet", 1, Stored(kExeAnsi));
  Form1 form(f.services());
  form.Load();
  f.registry.FailWith("RegSetValueExA", 5);
  f.registry.FailWith("RegDeleteValueA", 5);
  form.mnuFile_Click(kMenuStartWithWindows);
  EXPECT_EQ(f.toolkit.msgBoxes.size(), 1u);
  EXPECT_TRUE(form.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows));
}

TEST_F(MenuCommands, SwitchingOffAValueAlreadyGoneWritesNothing) {
  Start(Stored(kExeAnsi));
  // Another program removed it meanwhile.
  platform::RegKey run = 0;
  ASSERT_EQ(fakes.registry.RegOpenKeyExA(kHklm, kRunKey, 0, 0x20006, &run), 0);
  fakes.registry.RegDeleteValueA(run, "Varnlet");
  fakes.registry.RegCloseKey(run);
  calls.clear();
  Click();
  EXPECT_EQ(Count("RegSetValueExA"), 0u);
  EXPECT_EQ(Count("RegDeleteValueA"), 0u);
  EXPECT_FALSE(Mark());
  EXPECT_TRUE(fakes.toolkit.msgBoxes.empty());
}

// "Salir" chosen from the tray while the error box is open ends the program inside the box's
// loop: when the box returns, the handler takes no further step, so no registry call follows.
TEST_F(MenuCommands, SalirDuringTheErrorBoxEndsTheHandlerThere) {
  for (const bool switchingOn : {true, false}) {
    fakes::FakePlatform f;
    Form1 form(f.services());
    if (!switchingOn) f.registry.SetValue(kHklm, kRunKey, "Varnlet", 1, Stored(kExeAnsi));
    form.Form_Initialize();
    form.Load();
    f.registry.FailWith("RegSetValueExA", 5);
    std::vector<std::string> afterEnd;
    f.registry.AfterCall([&](const std::string& call) {
      if (f.toolkit.app.ended) afterEnd.push_back(call);
    });
    f.toolkit.whileMsgBox = [&] {
      f.toolkit.menuChoice = kMenuExit;
      f.user.Send(form.hWnd(), tray::TrayCallbackMessage, tray::TrayIconId, tray::kWmRButtonUp);
      for (const auto& p : f.user.posted) {
        if (p.msg == platform::kWmClose) f.toolkit.FindForm(std::wstring(kForm1WindowClass))->Close();
      }
    };
    form.mnuFile_Click(kMenuStartWithWindows);
    SCOPED_TRACE(switchingOn ? "switching on" : "switching off");
    EXPECT_EQ(f.toolkit.msgBoxes.size(), 1u);
    EXPECT_TRUE(f.toolkit.app.ended);
    EXPECT_FALSE(f.shell.iconPresent);
    EXPECT_TRUE(afterEnd.empty()) << afterEnd.front();
    EXPECT_EQ(f.registry.openHandles(), 0u);
  }
}

TEST_F(MenuCommands, ARaisingWriteCountsAsFailed) {
  Start(std::nullopt);
  fakes.registry.faults().Inject("RegSetValueExA", 1, fakes::FaultKind::Throw);
  Click();
  EXPECT_EQ(fakes.toolkit.msgBoxes.size(), 1u);
  EXPECT_FALSE(Mark());
}

TEST_F(MenuCommands, TheExecutablePathGetsOneBackslash) {
  fakes.toolkit.app.path = L"C:\\";
  fakes.toolkit.app.exeName = L"varnlet";
  EXPECT_EQ(form1.ExecutablePath(), L"C:\\varnlet.exe");
  fakes.toolkit.app.path = L"D:\\Apps\\Tray";
  EXPECT_EQ(form1.ExecutablePath(), L"D:\\Apps\\Tray\\varnlet.exe");
  // The path is built at every click: a program in a drive's root registers that path.
  fakes.toolkit.app.path = L"C:\\";
  Start(std::nullopt);
  Click();
  // Without a space the path stays unquoted.
  EXPECT_EQ(Value(), Stored("C:\\varnlet.exe"));
}

TEST_F(MenuCommands, AboutShowsTheWindowModallyWhileTheTimersTrim) {
  const auto firefox = fakes.processes.Add(R"(C:\f\firefox.exe)");
  Start(std::nullopt);
  fakes.dialogs.whileShown = [&](fakes::FakeDialog&) {
    fakes.toolkit.TimerWithInterval(kTimer1Interval)->Fire();
    fakes.toolkit.TimerWithInterval(kTimer2Interval)->Fire();
  };
  form1.mnuFile_Click(kMenuAbout);
  const long shown = fakes.journal.IndexOf("ShowModal");
  const long trimmed = fakes.journal.IndexOf("EmptyWorkingSet(" + std::to_string(firefox) + ")");
  const long own = fakes.journal.IndexOf("EmptyWorkingSet(own)");
  const long closed = fakes.journal.IndexOf("ShowModal returns");
  EXPECT_LT(shown, trimmed);
  EXPECT_LT(shown, own);
  EXPECT_LT(trimmed, closed);
  EXPECT_LT(own, closed);
  EXPECT_TRUE(fakes.user.posted.empty());
}

}  // namespace
}  // namespace varnlet::app
