#include <gtest/gtest.h>

#include "app/Form1.h"
#include "build_config.h"
#include "fakes/fake_process_table.h"
#include "fakes/fake_toolkit.h"

namespace varnlet::app {
namespace {

using fakes::FakeProcessTable;
using fakes::FakeToolkit;
using fakes::FaultKind;
using fakes::Journal;

struct Form1Test : ::testing::Test {
  Journal journal;
  FakeToolkit toolkit{&journal};
  FakeProcessTable processes{&journal};
  Form1::Services services{toolkit, processes};
};

TEST_F(Form1Test, ASecondInstanceEndsBeforeAnythingHappens) {
  processes.Add(R"(C:\f\firefox.exe)");
  toolkit.app.prevInstance = true;
  EXPECT_EQ(RunProgram(services), 0);
  EXPECT_TRUE(toolkit.app.ended);
  EXPECT_EQ(journal.IndexOf("CreateForm"), -1);
  EXPECT_EQ(journal.IndexOf("RunMessageLoop"), -1);
  EXPECT_EQ(processes.ownTrims(), 0);
  EXPECT_TRUE(processes.enumSizes().empty());
}

TEST_F(Form1Test, LoadHidesTheFormStartsBothTimersAndTrimsItselfFirst) {
  const auto firefox = processes.Add(R"(C:\f\firefox.exe)");
  Form1 form1(services);
  form1.Form_Initialize();
  ASSERT_FALSE(toolkit.app.ended);
  form1.Load();

  auto* form = toolkit.FindForm(std::wstring(kForm1WindowClass));
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->visible);
  EXPECT_EQ(form1.hWnd(), form->hwnd);

  std::wstring home(config::kHomePage);
  if (home.ends_with(L'/')) home.pop_back();
  EXPECT_EQ(form->Caption(), L"Varnlet!     " + home + L" =]");

  // Visible set to false, then hidden; then the own process, then the Mozilla pass.
  const long visible = journal.IndexOf("Form.Visible=false");
  const long hide = journal.IndexOf("Form.Hide");
  const long own = journal.IndexOf("EmptyWorkingSet(own)");
  const long enumerate = journal.IndexOf("EnumProcesses(16)");
  const long mozilla = journal.IndexOf("EmptyWorkingSet(" + std::to_string(firefox) + ")");
  EXPECT_LT(journal.IndexOf("CreateTimer(5000)"), visible);
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
  EXPECT_EQ(processes.Get(firefox).trims, 1);
  timer1->Fire();
  EXPECT_EQ(processes.Get(firefox).trims, 2);
  EXPECT_EQ(processes.ownTrims(), 2);
  EXPECT_EQ(processes.openHandles(), 0u);
}

TEST_F(Form1Test, AFailingStepOfTheLoadIsSkipped) {
  processes.Add(R"(C:\f\firefox.exe)");
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

}  // namespace
}  // namespace varnlet::app
