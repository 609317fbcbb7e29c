#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/Form1.h"
#include "build_config.h"
#include "fakes/fake_platform.h"
#include "setup/command_line.h"
#include "setup/install_folder.h"
#include "trust/refusals.h"

namespace varnlet::app {
namespace {

using fakes::FakeFileSecurity;
using namespace trust;

constexpr platform::RegKey kHklm = 0x80000002;
constexpr platform::RegKey kHkcu = 0x80000001;
// The start-up value's key and name as the in-memory registry holds them.
const std::string kRunKey = platform::Windows1252().ToAnsi(config::kRunKey);
const std::string kRunValue = platform::Windows1252().ToAnsi(config::kRunValue);
constexpr wchar_t kExe[] = L"C:\\Program Files\\Varnlet\\varnlet.exe";
constexpr char kExeAnsi[] = "C:\\Program Files\\Varnlet\\varnlet.exe";
// What the switch writes: the path holds a space, so it is quoted.
constexpr char kCommandAnsi[] = "\"C:\\Program Files\\Varnlet\\varnlet.exe\"";

std::string Stored(const std::string& text) { return text + '\0'; }

// Each folder of `rows` judged by `judge` gets its verdict.
template <class Verdict, class Judge>
void ExpectVerdicts(std::initializer_list<std::pair<const wchar_t*, Verdict>> rows, Judge judge) {
  for (const auto& [folder, verdict] : rows) EXPECT_EQ(judge(folder), verdict) << std::wstring(folder);
}

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
    if (value) fakes.registry.SetValue(kHklm, kRunKey, kRunValue, type, *value);
    form1.Form_Initialize();
    form1.Load();
    fakes.journal.Clear();
    calls.clear();
  }
  bool Mark() { return form1.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows); }
  void SetMark(bool on) { form1.zmnuSysTrayDemo()->SetChecked(kMenuStartWithWindows, on); }
  std::optional<std::string> Value() {
    const auto v = fakes.registry.GetValue(kHklm, kRunKey, kRunValue);
    return v ? std::optional<std::string>(v->data) : std::nullopt;
  }
  std::size_t Writes() {
    return fakes.journal.Count("RegSetValueExA(" + kRunValue + ",1," + std::to_string(sizeof kCommandAnsi) + ")");
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
    if (c.value) f.registry.SetValue(kHklm, kRunKey, kRunValue, c.type, *c.value);
    Form1 form(f.services());
    form.Load();
    EXPECT_EQ(form.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows), c.mark) << c.type;
    EXPECT_EQ(f.registry.openHandles(), 0u);
  }
  // A value only under HKEY_CURRENT_USER does not count: the path names HKEY_LOCAL_MACHINE.
  fakes::FakePlatform f;
  f.registry.SetValue(kHkcu, kRunKey, kRunValue, 1, Stored(kExeAnsi));
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
    if (before) f.registry.SetValue(kHklm, kRunKey, kRunValue, 1, *before);
    form.Load();
    f.registry.FailWith("RegSetValueExA", 5);
    form.mnuFile_Click(kMenuStartWithWindows);
    ASSERT_EQ(f.toolkit.msgBoxes.size(), 1u);
    const std::wstring home(HomePageWithoutSlash());
    EXPECT_EQ(f.toolkit.msgBoxes[0].prompt,
              std::wstring(L"Ocurri\u00f3 un error al tratar de agregar la aplicaci\u00f3n\r\n") + kExe +
                  L"\r\nal inicio de windows.\r\nPor favor, reporte este fallo en " + home);
    EXPECT_EQ(f.toolkit.msgBoxes[0].buttons, 16u);
    EXPECT_EQ(f.toolkit.msgBoxes[0].title, kAppTitle);
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
  f.registry.SetValue(kHklm, kRunKey, kRunValue, 1, Stored("D:\\old\\varnlet.exe"));
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
  f.registry.SetValue(kHklm, kRunKey, kRunValue, 1, Stored(kExeAnsi));
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
  ASSERT_EQ(fakes.registry.RegOpenKeyExA(kHklm, kRunKey.c_str(), 0, 0x20006, &run), 0);
  fakes.registry.RegDeleteValueA(run, kRunValue.c_str());
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
    if (!switchingOn) f.registry.SetValue(kHklm, kRunKey, kRunValue, 1, Stored(kExeAnsi));
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

// What is written is the final path of the file judged, not the text the program was started by.
TEST_F(MenuCommands, TheValueNamesTheFinalPathOfTheExeJudged) {
  fakes.toolkit.app.path = L"\\\\?\\C:\\Program Files\\Varnlet";
  Start(std::nullopt);
  Click();
  EXPECT_EQ(Value(), Stored(kCommandAnsi));
  EXPECT_TRUE(Mark());
  EXPECT_EQ(fakes.fileSecurity.openHandles(), 0u);
}

// Who may change a path decides whether Windows is told to run it at every logon.
TEST(AutostartTrust, OnlyAnExeNoStandardUserCanReplaceIsAddedToTheStartOfWindows) {
  using platform::AceKind;
  using platform::FileSecurity;
  constexpr std::uint8_t kInherited = 0x13;  // object and container inherit, inherited
  constexpr std::uint32_t kFull = 0x1F01FF, kModify = 0x1301BF, kReadExecute = 0x1200A9, kAddFile = 0x2;
  const std::wstring ti = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  const std::wstring user = L"S-1-5-21-1-2-3-1001", users = L"S-1-5-32-545", authenticated = L"S-1-5-11";
  const FileSecurity programFiles{ti,
                                  true,
                                  {{AceKind::Allowed, 0, kFull, ti},
                                   {AceKind::Allowed, 0, kModify, L"S-1-5-18"},
                                   {AceKind::Allowed, 0, kModify, L"S-1-5-32-544"},
                                   {AceKind::Allowed, 0, kReadExecute, users},
                                   {AceKind::Allowed, 0x1B, 0x10000000, L"S-1-3-0"}}};  // CREATOR OWNER, inherit-only
  // A drive's root: every signed-in user may make folders in it, and what they make inherits Modify.
  const FileSecurity driveRoot{L"S-1-5-18",
                               true,
                               {{AceKind::Allowed, 0x03, kFull, L"S-1-5-32-544"},
                                {AceKind::Allowed, 0x03, kFull, L"S-1-5-18"},
                                {AceKind::Allowed, 0x03, kReadExecute, users},
                                {AceKind::Allowed, 0x0B, kModify, authenticated},
                                {AceKind::Allowed, 0, 0x4, authenticated}}};
  FileSecurity madeUnderTheRoot{L"S-1-5-32-544", true, {{AceKind::Allowed, kInherited, kModify, authenticated}}};
  FileSecurity ownedByTheUser = FakeFileSecurity::AdministratorsOnly();
  ownedByTheUser.owner = user;
  FileSecurity denyThenAllow = FakeFileSecurity::AdministratorsOnly();
  denyThenAllow.dacl.insert(denyThenAllow.dacl.begin(), {AceKind::Denied, 0, kFull, users});
  denyThenAllow.dacl.push_back({AceKind::Allowed, 0, kModify, users});
  FileSecurity addFilesOnly = FakeFileSecurity::AdministratorsOnly();
  addFilesOnly.dacl.push_back({AceKind::Allowed, 0, kAddFile, L"S-1-1-0"});
  const FileSecurity noDacl{L"S-1-5-32-544", false, {}};

  struct Row {
    const char* what;
    const FileSecurity& security;
    PathPart part;
    bool safe;
  };
  for (const Row& r : {Row{"Program Files", programFiles, PathPart::Ancestor, true},
                       Row{"Program Files, holding the exe", programFiles, PathPart::OwnFolder, true},
                       Row{"the drive's root, above", driveRoot, PathPart::Ancestor, true},
                       Row{"the drive's root, holding the exe", driveRoot, PathPart::OwnFolder, false},
                       Row{"a folder made under the root", madeUnderTheRoot, PathPart::OwnFolder, false},
                       Row{"a folder made under the root, above", madeUnderTheRoot, PathPart::Ancestor, false},
                       Row{"a file the user owns", ownedByTheUser, PathPart::File, false},
                       Row{"a deny before an allow", denyThenAllow, PathPart::File, false},
                       Row{"anyone may add files, above", addFilesOnly, PathPart::Ancestor, true},
                       Row{"anyone may add files beside the exe", addFilesOnly, PathPart::OwnFolder, false},
                       Row{"no DACL", noDacl, PathPart::Ancestor, false}}) {
    EXPECT_EQ(OnlyAdministratorsMayChange(r.security, r.part), r.safe) << r.what;
  }

  FakeFileSecurity files;
  files.driveTypes = {{L'N', 4}, {L'E', 2}};
  // Disks plugged in from outside, reached over the network or made of a file call themselves
  // fixed; their bus tells, or their answer to whether they may be unplugged or emptied.
  files.devices = {{L'U', {platform::StorageBus::Usb}},     {L'F', {platform::StorageBus::Ieee1394}},
                   {L'S', {platform::StorageBus::Sd}},      {L'M', {platform::StorageBus::Mmc}},
                   {L'I', {platform::StorageBus::Iscsi}},   {L'V', {platform::StorageBus::FileBackedVirtual}},
                   {L'R', {platform::StorageBus{11}, true}}};
  files.hotplug = {{L'H', {false, true}}, {L'P', {true, false}}};
  files.security[L"C:\\"] = driveRoot;
  files.security[L"C:\\Program Files"] = programFiles;
  files.security[L"C:\\Tools"] = madeUnderTheRoot;
  // A folder anyone may make in the root, turned into a junction to the genuine install.
  files.links[L"C:\\j"] = L"C:\\Program Files\\Varnlet";
  files.security[L"C:\\j"] = madeUnderTheRoot;
  files.links[L"C:\\Program Files\\Varnlet\\linked.exe"] = L"C:\\Tools\\varnlet.exe";
  // A profile's folders and what is unzipped there: the user may change them, nobody else but the
  // administrators may. The profile itself is the system's, granting the user full control; what
  // the user makes there is the user's own. The same under a folder every user may change; and
  // folders that a domain's users, or two accounts, may change.
  FileSecurity profile{L"S-1-5-32-544",
                       true,
                       {{AceKind::Allowed, kInherited, kFull, L"S-1-5-18"},
                        {AceKind::Allowed, kInherited, kFull, L"S-1-5-32-544"},
                        {AceKind::Allowed, kInherited, kFull, user}}};
  files.security[L"C:\\Users\\ana"] = profile;
  profile.owner = user;
  files.security[L"C:\\Users\\ana\\Downloads"] = profile;
  files.security[L"C:\\Tools\\Mine"] = profile;
  FileSecurity shared = profile;
  shared.dacl.push_back({AceKind::Allowed, 0, kModify, L"S-1-5-21-1-2-3-513"});
  files.security[L"C:\\Users\\ana\\Domain"] = shared;
  shared.dacl.back().sid = L"S-1-5-21-1-2-3-1002";
  files.security[L"C:\\Users\\ana\\Two"] = shared;
  const std::wstring tooLong = L"C:\\Program Files\\Varnlet\\" + std::wstring(240, L'x') + L"\\varnlet.exe";
  struct PathRow {
    const wchar_t* path;
    ExecutableTrust trust;
    // What would be written: the final path of the file judged.
    const wchar_t* written = L"";
  };
  for (const PathRow& r : {
           PathRow{kExe, ExecutableTrust::Trusted, kExe},
           PathRow{L"\\\\?\\C:\\Program Files\\Varnlet\\varnlet.exe", ExecutableTrust::Trusted, kExe},
           // The system drops a trailing dot: the genuine folder, and its ordinary path is written.
           PathRow{L"C:\\Program Files.\\Varnlet\\varnlet.exe", ExecutableTrust::Trusted, kExe},
           // With "\\?\" the dot stays: a folder of its own that no ordinary path can name.
           PathRow{L"\\\\?\\C:\\Program Files.\\Varnlet\\varnlet.exe", ExecutableTrust::UnusualPath},
           PathRow{L"\\\\?\\C:\\Program Files\\Varnlet\\con.exe", ExecutableTrust::UnusualPath},
           PathRow{tooLong.c_str(), ExecutableTrust::UnusualPath},
           PathRow{L"C:\\j\\varnlet.exe", ExecutableTrust::Linked},
           PathRow{L"C:\\Program Files\\Varnlet\\linked.exe", ExecutableTrust::Linked},
           PathRow{L"C:\\Tools\\varnlet.exe", ExecutableTrust::WritableByOthers},
           PathRow{L"C:\\varnlet.exe", ExecutableTrust::WritableByOthers},
           PathRow{L"C:\\Users\\ana\\Downloads\\varnlet.exe", ExecutableTrust::OneUserAccount},
           PathRow{L"C:\\Tools\\Mine\\varnlet.exe", ExecutableTrust::WritableByOthers},
           PathRow{L"C:\\Users\\ana\\Domain\\varnlet.exe", ExecutableTrust::WritableByOthers},
           PathRow{L"C:\\Users\\ana\\Two\\varnlet.exe", ExecutableTrust::WritableByOthers},
           PathRow{L"N:\\Apps\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"e:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"U:\\Apps\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"F:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"S:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"M:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"I:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"V:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"R:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"H:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"P:\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"\\\\server\\share\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"\\\\?\\UNC\\server\\share\\varnlet.exe", ExecutableTrust::NotLocal},
           PathRow{L"varnlet.exe", ExecutableTrust::UnusualPath},
           PathRow{L"C:\\Program Files\\..\\Tools\\varnlet.exe", ExecutableTrust::UnusualPath},
       }) {
    const RunValueTarget target = JudgeRunValueTarget(r.path, files);
    EXPECT_EQ(target.trust, r.trust) << std::wstring(r.path);
    EXPECT_EQ(target.path, r.written) << std::wstring(r.path);
    EXPECT_EQ(files.openHandles(), 0u) << std::wstring(r.path);
  }
  // Before an installer writes anything: the folder it is about to make, or finds, and those above.
  files.absent = {L"C:\\Program Files\\Fresh", L"C:\\Tools\\Fresh", L"C:\\Users\\ana\\Downloads\\Fresh", L"C:\\New"};
  ExpectVerdicts<ExecutableTrust>(
      {
          {L"C:\\Program Files\\Fresh", ExecutableTrust::Trusted},
          {L"C:\\Program Files\\Varnlet", ExecutableTrust::Trusted},
          {L"C:\\Tools\\Fresh", ExecutableTrust::WritableByOthers},
          {L"C:\\Users\\ana\\Downloads\\Fresh", ExecutableTrust::OneUserAccount},
          {L"C:\\Program Files\\Fresh.", ExecutableTrust::UnusualPath},
          {L"C:\\j", ExecutableTrust::Linked},
          {L"C:\\j\\Sub", ExecutableTrust::Linked},
          {L"C:\\New\\Varnlet", ExecutableTrust::Unknown},
          {L"U:\\Apps", ExecutableTrust::NotLocal},
          {L"C:\\", ExecutableTrust::Unknown},
      },
      [&](const wchar_t* folder) { return JudgeRunValueFolder(folder, files); });
  files.absent.clear();
  for (const char* call : {"GetSecurityInfo", "GetFileAttributesW", "CreateFileW", "GetFinalPathNameByHandleW",
                           "GetFileAttributesByHandle", "QueryStorageDeviceProperty", "GetStorageHotplugInfo"}) {
    FakeFileSecurity failing = files;
    failing.faults().Inject(call, 0);
    EXPECT_EQ(JudgeRunValueTarget(kExe, failing).trust, ExecutableTrust::Unknown) << call;
    EXPECT_EQ(failing.openHandles(), 0u) << call;
  }
  // What could not be read further up hides no reason already found.
  files.faults().Inject("QueryStorageBusType", 0);
  EXPECT_EQ(JudgeRunValueTarget(L"C:\\Users\\ana\\Downloads\\varnlet.exe", files).trust,
            ExecutableTrust::OneUserAccount);
}

// The installers' folder: made anew with its rights from the start, or the previous install's
// own; never someone else's, never through a link, never under a folder others may change.
TEST(InstallFolder, OnlyANewFolderOrThePreviousInstallsOwnIsUsed) {
  using setup::InstallFolderVerdict;
  using setup::MissingParents;
  const std::wstring previous = L"C:\\Program Files\\Varnlet";
  FakeFileSecurity files;
  files.absent = {L"C:\\Program Files\\Varnlet", L"C:\\New"};
  files.attributes[L"C:\\Program Files\\Old\\varnlet.exe"] = 0x20;
  files.attributes[L"C:\\Program Files\\Old\\LEAME.txt"] = 0x20;
  files.attributes[L"C:\\Program Files\\Crowded\\varnlet.exe"] = 0x20;
  files.attributes[L"C:\\Program Files\\Crowded\\plugins"] = platform::kFileAttributeDirectory;
  files.security[L"C:\\Tools\\Varnlet"] = {L"S-1-5-21-1-2-3-1001", true, {}};
  files.links[L"C:\\Linked"] = L"C:\\Program Files\\Old";
  files.links[L"C:\\Program Files\\Old\\helper.dll"] = L"C:\\Tools\\helper.dll";
  files.attributes[L"C:\\Program Files\\Old\\helper.dll"] = 0x420;
  files.attributes[L"C:\\File"] = 0x20;
  // A folder a user made under the root, which every signed-in user may change; and an installed
  // version's folder whose list lets them change it.
  files.security[L"C:\\Shared"] = {
      L"S-1-5-21-1-2-3-1001", true, {{platform::AceKind::Allowed, 0x13, 0x1301BF, L"S-1-5-11"}}};
  files.absent.insert(L"C:\\Shared\\Fresh");
  files.security[L"C:\\Program Files\\Open"] = FakeFileSecurity::AdministratorsOnly();
  files.security[L"C:\\Program Files\\Open"].dacl.push_back({platform::AceKind::Allowed, 0, 0x1301BF, L"S-1-5-11"});
  struct Row {
    const wchar_t* folder;
    const wchar_t* previous;
    InstallFolderVerdict verdict;
    MissingParents missingParents = MissingParents::MadeWithRights;
  };
  for (const Row& r : {
           Row{L"C:\\Program Files\\Varnlet", L"", InstallFolderVerdict::Create},
           Row{L"C:\\New\\Deeper\\Varnlet", L"", InstallFolderVerdict::Create},
           Row{L"C:\\Program Files\\Old", L"c:\\program files\\old\\", InstallFolderVerdict::Linked},
           Row{L"C:\\Program Files\\Crowded", L"C:\\Program Files\\Crowded", InstallFolderVerdict::Occupied},
           Row{L"C:\\Program Files\\Old", L"", InstallFolderVerdict::Occupied},
           Row{L"C:\\Tools\\Varnlet", L"C:\\Tools\\Varnlet", InstallFolderVerdict::NotAdministrators},
           Row{L"C:\\Tools\\Varnlet", L"", InstallFolderVerdict::Occupied},
           Row{L"C:\\Program Files\\Open", L"C:\\Program Files\\Open", InstallFolderVerdict::NotAdministrators},
           Row{L"C:\\Shared\\Fresh", L"", InstallFolderVerdict::AboveChangeable},
           Row{L"C:\\Shared\\Fresh", L"", InstallFolderVerdict::AboveChangeable, MissingParents::Refused},
           Row{L"C:\\Shared\\Old", L"C:\\Shared\\Old", InstallFolderVerdict::AboveChangeable},
           // The MSI makes no folder above its own with rights of its own.
           Row{L"C:\\New\\Deeper\\Varnlet", L"", InstallFolderVerdict::ParentMissing, MissingParents::Refused},
           Row{L"C:\\Program Files\\Varnlet", L"", InstallFolderVerdict::Create, MissingParents::Refused},
           Row{L"C:\\Linked\\Varnlet", L"", InstallFolderVerdict::Linked},
           Row{L"C:\\Linked", L"C:\\Linked", InstallFolderVerdict::Linked},
           Row{L"C:\\", L"C:\\", InstallFolderVerdict::Occupied},
           Row{L"C:\\File\\Varnlet", L"", InstallFolderVerdict::Unusable},
           Row{L"C:\\Program Files\\Varnlet.", L"", InstallFolderVerdict::Unusable},
           Row{L"\\\\server\\share\\Varnlet", L"", InstallFolderVerdict::Unusable},
           Row{L"Varnlet", L"", InstallFolderVerdict::Unusable},
       }) {
    EXPECT_EQ(setup::JudgeInstallFolder(r.folder, r.previous, files, r.missingParents), r.verdict)
        << std::wstring(r.folder);
    EXPECT_EQ(files.openHandles(), 0u) << std::wstring(r.folder);
  }
  files.attributes.erase(L"C:\\Program Files\\Old\\helper.dll");
  files.links.erase(L"C:\\Program Files\\Old\\helper.dll");
  EXPECT_EQ(setup::JudgeInstallFolder(L"C:\\Program Files\\Old", L"C:\\Program Files\\Old", files),
            InstallFolderVerdict::Reuse);

  // Judged again once the MSI made or kept it, before a file is written into it.
  ExpectVerdicts<InstallFolderVerdict>(
      {
          {L"C:\\Program Files\\Old", InstallFolderVerdict::Reuse},
          {L"C:\\Program Files\\Varnlet", InstallFolderVerdict::Unusable},
          {L"C:\\Program Files\\Crowded", InstallFolderVerdict::Occupied},
          {L"C:\\Program Files\\Open", InstallFolderVerdict::NotAdministrators},
          {L"C:\\Shared\\Old", InstallFolderVerdict::AboveChangeable},
          {L"C:\\Linked", InstallFolderVerdict::Linked},
      },
      [&](const wchar_t* folder) { return setup::JudgeFolderBeforeWriting(folder, files); });
  // Nothing that cannot be read passes, a folder above included (the second descriptor read).
  for (const auto& [call, nth] : std::initializer_list<std::pair<const char*, int>>{{"GetFileAttributesW", 0},
                                                                                    {"CreateFileW", 0},
                                                                                    {"GetFileAttributesByHandle", 0},
                                                                                    {"GetSecurityInfo", 0},
                                                                                    {"GetSecurityInfo", 2},
                                                                                    {"ListFolder", 0}}) {
    for (const fakes::FaultKind kind : {fakes::FaultKind::Fail, fakes::FaultKind::Throw}) {
      FakeFileSecurity failing = files;
      failing.faults().Inject(call, nth, kind);
      EXPECT_EQ(setup::JudgeFolderBeforeWriting(L"C:\\Program Files\\Old", failing), InstallFolderVerdict::Unusable)
          << call << " " << nth;
      EXPECT_EQ(failing.openHandles(), 0u) << call;
    }
  }

  // Every missing folder is made with the descriptor, and only those.
  const wchar_t* sddl = L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  EXPECT_EQ(setup::CreateInstallFolder(L"C:\\New\\Deeper\\Varnlet", sddl, files), 0u);
  EXPECT_EQ(files.foldersMade,
            (std::vector<std::pair<std::wstring, std::wstring>>{
                {L"C:\\New", sddl}, {L"C:\\New\\Deeper", sddl}, {L"C:\\New\\Deeper\\Varnlet", sddl}}));
  // One that appeared after the verdict is someone else's; one that leads elsewhere is refused.
  EXPECT_EQ(setup::CreateInstallFolder(L"C:\\New\\Deeper\\Varnlet", sddl, files),
            static_cast<std::uint32_t>(platform::kErrorAlreadyExists));
  files.absent.insert(L"C:\\Program Files\\Old\\Varnlet");
  EXPECT_EQ(setup::CreateInstallFolder(L"C:\\Linked\\Varnlet", sddl, files),
            static_cast<std::uint32_t>(platform::kErrorCantResolveFilename));
  EXPECT_EQ(files.openHandles(), 0u);
}

// /D= names the folder whether NSIS would read it (last, unquoted) or a launcher quoted it;
// anything else of a /D= names none and is refused, never passed over for the default folder.
TEST(InstallFolder, TheFolderParameterIsReadInEveryFormOrRefused) {
  using setup::FolderParameter;
  struct Row {
    std::wstring_view line;
    FolderParameter expected;
    std::wstring_view folder;
  };
  for (const Row& row :
       {Row{L"setup.exe /S /AUTOSTART=1", FolderParameter::None, L""},
        Row{L"\"C:\\Some /D=where\\setup.exe\" /S", FolderParameter::None, L""},
        Row{L"setup.exe /S /D=C:\\My Apps\\Varnlet  ", FolderParameter::Given, L"C:\\My Apps\\Varnlet"},
        Row{L"setup.exe /S \"/D=C:\\My Apps\\Varnlet\"", FolderParameter::Given, L"C:\\My Apps\\Varnlet"},
        Row{L"setup.exe /S /D=\"C:\\My Apps\\Varnlet\"", FolderParameter::Given, L"C:\\My Apps\\Varnlet"},
        Row{L"\"C:\\x y\\setup.exe\" \"/d=C:\\Tools\" /S", FolderParameter::Given, L"C:\\Tools"},
        Row{L"setup.exe /S \"/D=C:\\My Apps", FolderParameter::Malformed, L""},
        Row{L"setup.exe /S /D=\"\"", FolderParameter::Malformed, L""},
        Row{L"setup.exe /S /D=", FolderParameter::Malformed, L""},
        Row{L"setup.exe \"/S /D=C:\\X\"", FolderParameter::Malformed, L""},
        Row{L"setup.exe /D=\"C:\\A\"x", FolderParameter::Malformed, L""},
        Row{L"setup.exe /D=C:\\A\\\" /S", FolderParameter::Malformed, L""},
        Row{L"setup.exe \"/D=C:\\A\" \"/D=C:\\B\"", FolderParameter::Malformed, L""},
        Row{L"setup.exe /S/D=\"C:\\A\"", FolderParameter::None, L""}}) {
    std::wstring folder = L"stale";
    EXPECT_EQ(setup::InstallFolderParameter(row.line, folder), row.expected) << testing::PrintToString(row.folder);
    EXPECT_EQ(folder, row.expected == FolderParameter::Given ? row.folder : L"");
  }
}

// Every refusal has a reason of its own in each language, which the installers read too; a
// number no verdict has is never taken for one that goes on, and a folder refused is never
// offered again.
TEST(Refusals, EachVerdictHasItsOwnReasonInBothLanguages) {
  for (const Language language : {Language::Spanish, Language::English}) {
    std::vector<std::wstring_view> reasons;
    for (int trust = 1; trust <= 6; ++trust) reasons.push_back(Reason(static_cast<ExecutableTrust>(trust), language));
    for (int verdict = 2; verdict <= 7; ++verdict) {
      reasons.push_back(Reason(static_cast<InstallFolderVerdict>(verdict), language));
    }
    for (std::size_t i = 0; i < reasons.size(); ++i) {
      EXPECT_FALSE(reasons[i].empty());
      EXPECT_EQ(std::count(reasons.begin(), reasons.end(), reasons[i]), 1) << i;
    }
    EXPECT_EQ(Reason(static_cast<ExecutableTrust>(99), language), Reason(ExecutableTrust::Unknown, language));
    EXPECT_EQ(Reason(static_cast<InstallFolderVerdict>(-1), language),
              Reason(InstallFolderVerdict::Unusable, language));
    const std::wstring folder = L"C:\\Program Files\\Varnlet";
    const std::wstring text = FolderRefusal(folder, InstallFolderVerdict::Occupied, language);
    EXPECT_EQ(text.find(folder), text.rfind(folder)) << text;
    EXPECT_NE(text.find(Reason(InstallFolderVerdict::Occupied, language)), std::wstring::npos);
  }
  EXPECT_NE(Reason(ExecutableTrust::Linked, Language::Spanish), Reason(ExecutableTrust::Linked, Language::English));
  // The program's box gives the verdict's own reason, as a sentence.
  for (int trust = 1; trust <= 6; ++trust) {
    const std::wstring_view reason = Reason(static_cast<ExecutableTrust>(trust), Language::Spanish);
    const std::wstring box = AutostartRefusalText(L"C:\\x\\varnlet.exe", static_cast<ExecutableTrust>(trust), L"");
    EXPECT_NE(box.find(std::wstring(reason.substr(1)) + L". "), std::wstring::npos) << trust;
    EXPECT_EQ(box.find(L"Se mantiene"), std::wstring::npos) << "no value was there";
  }
  EXPECT_EQ(LanguageOf(0x0409), Language::English);
  EXPECT_EQ(LanguageOf(0x0809), Language::English);
  EXPECT_EQ(LanguageOf(0x0C0A), Language::Spanish);
  EXPECT_EQ(LanguageOf(0x0407), Language::Spanish);
}

// A refused exe writes nothing, and never touches a value another copy (or the installer) wrote:
// switched on, the mark shows whether a value is there and the box says why and what that value
// starts. Switching off is what the user asked for, whichever program the value starts: it goes.
TEST_F(MenuCommands, ARefusedExeWritesNothingAndTheMarkShowsTheValueThere) {
  const std::wstring exe = L"C:\\Users\\ana\\Downloads\\varnlet.exe";
  struct Row {
    const char* what;
    const wchar_t* folder;
    std::optional<std::string> before;
    bool on;
    ExecutableTrust trust;
    std::optional<std::string> after;
    const wchar_t* kept;
  };
  const std::string installed = Stored(kCommandAnsi);
  const std::string own = Stored("N:\\Apps\\varnlet.exe");
  for (const Row& r : {
           Row{"no value, on", L"C:\\Users\\ana\\Downloads", std::nullopt, true, ExecutableTrust::OneUserAccount,
               std::nullopt, L""},
           Row{"the installed copy's value, on", L"C:\\Users\\ana\\Downloads", installed, true,
               ExecutableTrust::OneUserAccount, installed, kExe},
           Row{"the installed copy's value, off", L"C:\\Users\\ana\\Downloads", installed, false,
               ExecutableTrust::OneUserAccount, std::nullopt, L""},
           Row{"its own value on a network drive, on", L"N:\\Apps", own, true, ExecutableTrust::NotLocal, own,
               L"N:\\Apps\\varnlet.exe"},
           Row{"its own value on a network drive, off", L"N:\\Apps", own, false, ExecutableTrust::NotLocal,
               std::nullopt, L""},
       }) {
    SCOPED_TRACE(r.what);
    fakes::FakePlatform f;
    f.toolkit.app.path = r.folder;
    f.fileSecurity.driveTypes[L'N'] = 4;
    f.fileSecurity.security[L"C:\\Users\\ana"] = {L"S-1-5-21-1-2-3-1001", true, {}};
    if (r.before) f.registry.SetValue(kHklm, kRunKey, kRunValue, 1, *r.before);
    Form1 form(f.services());
    form.Load();
    // The click flips the mark to what it asks for.
    form.zmnuSysTrayDemo()->SetChecked(kMenuStartWithWindows, !r.on);
    f.journal.Clear();
    form.mnuFile_Click(kMenuStartWithWindows);
    const auto value = f.registry.GetValue(kHklm, kRunKey, kRunValue);
    EXPECT_EQ(value ? std::optional(value->data) : std::nullopt, r.after);
    EXPECT_EQ(form.zmnuSysTrayDemo()->Checked(kMenuStartWithWindows), r.after.has_value());
    const auto& made = f.journal.entries();
    EXPECT_TRUE(std::none_of(made.begin(), made.end(), [](const std::string& c) {
      return c.starts_with("RegSetValueExA");
    })) << "nothing written, not even on the way out";
    if (!r.on) {
      EXPECT_TRUE(f.toolkit.msgBoxes.empty());
      continue;
    }
    const std::wstring exePath = std::wstring(r.folder) + L"\\varnlet.exe";
    ASSERT_EQ(f.toolkit.msgBoxes.size(), 1u);
    EXPECT_EQ(f.toolkit.msgBoxes[0].prompt, AutostartRefusalText(exePath, r.trust, r.kept));
    EXPECT_EQ(f.toolkit.msgBoxes[0].buttons, kRefusalBoxStyle);
    EXPECT_EQ(f.toolkit.msgBoxes[0].title, kAppTitle);
  }
  // The box as the user reads it, for a copy in Downloads while the installed copy starts.
  const std::wstring title(kAppTitle);
  const std::wstring box = AutostartRefusalText(exe, ExecutableTrust::OneUserAccount, kExe);
  EXPECT_TRUE(box.starts_with(title + L" no se agreg\u00f3 al inicio de Windows:\r\n" + exe +
                              L"\r\n\r\nEl programa, o una carpeta por encima de \u00e9l, pertenece a una cuenta de "
                              L"usuario"))
      << testing::PrintToString(box);
  EXPECT_NE(box.find(L"Se mantiene el valor de inicio que ya existe, con el que Windows inicia este programa:\r\n" +
                     std::wstring(kExe) + L"\r\n\r\nInstale " + title + L" con su instalador"),
            std::wstring::npos);
}

TEST(AutostartSwitch, TheProgramAValueStartsIsItsQuotedPathOrTheWholeValue) {
  EXPECT_EQ(ProgramOf(L"\"C:\\Program Files\\Varnlet\\varnlet.exe\" /min"), L"C:\\Program Files\\Varnlet\\varnlet.exe");
  EXPECT_EQ(ProgramOf(L"  C:\\Apps\\varnlet.exe"), L"C:\\Apps\\varnlet.exe");
  EXPECT_EQ(ProgramOf(L"\"C:\\Apps\\unclosed.exe"), L"C:\\Apps\\unclosed.exe");
  EXPECT_EQ(ProgramOf(L"   "), L"");
  EXPECT_EQ(ProgramOf(L""), L"");
}

TEST_F(MenuCommands, AboutShowsTheWindowModallyWhileTheTimersTrim) {
  const auto target = fakes.processes.Add(fakes::TargetPath(R"(C:\f)"));
  Start(std::nullopt);
  fakes.dialogs.whileShown = [&](fakes::FakeDialog&) {
    fakes.toolkit.TimerWithInterval(kTimer1Interval)->Fire();
    fakes.toolkit.TimerWithInterval(kTimer2Interval)->Fire();
  };
  form1.mnuFile_Click(kMenuAbout);
  const long shown = fakes.journal.IndexOf("ShowModal");
  const long trimmed = fakes.journal.IndexOf("EmptyWorkingSet(" + std::to_string(target) + ")");
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
