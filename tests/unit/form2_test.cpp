#include "about/Form2.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "about/page_policy.h"
#include "about/resource_ids.h"
#include "build_config.h"
#include "fakes/fake_dialog.h"
#include "fakes/fake_shell.h"
#include "toolkit/dialog_access.h"
#include "toolkit/dialog_colours.h"

namespace varnlet::about {
namespace {

using fakes::FakeDialog;
using fakes::FakeDialogs;
using fakes::FakeShell;
using fakes::FaultKind;
using fakes::Journal;
using toolkit::ControlKind;
using toolkit::kOnForm;
using toolkit::PixelRect;
using toolkit::TwipRect;

const toolkit::ControlDesign& Control(ControlIndex i) { return Form2Controls()[i]; }

std::string HomePageAnsi() { return platform::Windows1252().ToAnsi(config::kHomePage); }

// ---- The layout table ----

TEST(Form2Layout, WindowIsAWhite5220By3060TwipDialogWithTheProgramIcon) {
  const toolkit::DialogDesign& design = Form2Design();
  EXPECT_EQ(design.caption, L"Acerca de " + std::wstring(config::kTitle));
  EXPECT_EQ(design.clientWidth, 5220);
  EXPECT_EQ(design.clientHeight, 3060);
  EXPECT_EQ(design.backColour, toolkit::Rgb(255, 255, 255));
  EXPECT_EQ(design.iconResource, IDI_VARNLET);
  EXPECT_EQ(design.controls.size(), 8u);
  EXPECT_EQ(design.controls.data(), Form2Controls().data());
}

TEST(Form2Layout, ControlsAreInTabOrderWithTheirTwips) {
  struct Expected {
    std::wstring_view name;
    ControlKind kind;
    TwipRect rect;
  };
  const Expected expected[] = {
      {L"Picture1", ControlKind::PictureBox, {360, 240, 720, 720}},
      {L"Label1", ControlKind::Label, {1200, 360, 3615, 270}},
      {L"Label2", ControlKind::Label, {3840, 720, 375, 195}},
      {L"Label3", ControlKind::Label, {1440, 1080, 1050, 195}},
      {L"Label5", ControlKind::Label, {0, 1680, 5175, 195}},
      {L"Picture2", ControlKind::PictureBox, {2520, 1080, 735, 255}},
      {L"Label4", ControlKind::Label, {0, 0, 675, 195}},
      {L"WebBrowser1", ControlKind::WebBrowser, {120, 1920, 4935, 1095}},
  };
  ASSERT_EQ(std::size(expected), Form2Controls().size());
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Form2Controls()[i].name, expected[i].name);
    EXPECT_EQ(Form2Controls()[i].kind, expected[i].kind);
    EXPECT_EQ(Form2Controls()[i].rect, expected[i].rect);
  }
}

TEST(Form2Layout, Label4SitsInsidePicture2AndEverythingElseOnTheForm) {
  for (std::size_t i = 0; i < kControlCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Form2Controls()[i].container, i == kLabel4 ? std::size_t{kPicture2} : kOnForm);
  }
  // The container comes first in tab order, so it exists when the label is made.
  EXPECT_LT(std::size_t{kPicture2}, std::size_t{kLabel4});
}

TEST(Form2Layout, TextsAreExact) {
  EXPECT_EQ(Control(kLabel1).text, std::wstring(config::kTitle) + L" ");
  EXPECT_EQ(Control(kLabel2).text, L"v" + std::wstring(config::kVersion));
  EXPECT_EQ(Control(kLabel3).text, L"Creado por:");
  EXPECT_EQ(Control(kLabel5).text, L"Si gust\u00F3 el programa, \u00A1comp\u00E1rtelo!");
  EXPECT_EQ(Control(kLabel4).text, config::kMaker);
  EXPECT_FALSE(config::kMaker.empty());
  EXPECT_TRUE(Control(kPicture1).text.empty());
  EXPECT_TRUE(Control(kPicture2).text.empty());
  EXPECT_TRUE(Control(kWebBrowser1).text.empty());  // no address at design time
}

TEST(Form2Layout, LabelsUseVerdanaInTheirSizesAndStyles) {
  const toolkit::FontDesign title{L"Verdana", 1200, true, false};
  const toolkit::FontDesign regular{L"Verdana", 825, false, false};
  const toolkit::FontDesign bold{L"Verdana", 825, true, false};
  const toolkit::FontDesign link{L"Verdana", 825, true, true};
  EXPECT_EQ(Control(kLabel1).font, title);
  EXPECT_EQ(Control(kLabel2).font, regular);
  EXPECT_EQ(Control(kLabel3).font, regular);
  EXPECT_EQ(Control(kLabel5).font, bold);
  EXPECT_EQ(Control(kLabel4).font, link);
}

TEST(Form2Layout, OnlyLabel5IsCentredAndOnlyLabel4HasColoursOfItsOwn) {
  for (std::size_t i = 0; i < kControlCount; ++i) {
    SCOPED_TRACE(i);
    const auto& c = Form2Controls()[i];
    EXPECT_EQ(c.align, i == kLabel5 ? toolkit::TextAlign::Centre : toolkit::TextAlign::Left);
    if (c.kind == ControlKind::Label && i != kLabel4) {
      EXPECT_FALSE(c.foreColour.has_value());
      EXPECT_FALSE(c.backColour.has_value());
    }
  }
  EXPECT_EQ(Control(kLabel4).foreColour, toolkit::Rgb(0, 0, 255));
  EXPECT_EQ(Control(kLabel4).backColour, toolkit::Rgb(255, 255, 255));
  EXPECT_EQ(Control(kPicture1).backColour, toolkit::Rgb(255, 255, 255));
  EXPECT_EQ(Control(kPicture2).backColour, toolkit::Rgb(255, 255, 255));
  for (std::size_t i = 0; i < kControlCount; ++i) EXPECT_EQ(!Form2Controls()[i].link.empty(), i == kLabel4) << i;
  EXPECT_EQ(Control(kPicture1).pictureResource, IDB_PICTURE1);
  EXPECT_EQ(Control(kPicture2).pictureResource, 0);
}

// ---- The keyboard and screen readers ----

// Tab stops on the link, and on the banner while it shows a page; Enter and Space act on the link,
// which a screen reader reads as a link; the banner is a pane, or nothing while it is empty; the
// rest is the system's to say (labels as texts).
TEST(Form2Access, TheLinkAndTheBannerWithAPageAreTheStopsAndSayWhatTheyAre) {
  using toolkit::AccessOf;
  for (std::size_t i = 0; i < kControlCount; ++i) {
    SCOPED_TRACE(i);
    for (const bool page : {false, true}) {
      const toolkit::ControlAccess access = AccessOf(Control(static_cast<ControlIndex>(i)), page);
      EXPECT_EQ(access.tabStop, i == kLabel4 || (i == kWebBrowser1 && page));
      EXPECT_EQ(access.pressable, i == kLabel4);
      EXPECT_EQ(access.role, i == kLabel4 ? toolkit::kRoleLink : i == kWebBrowser1 ? toolkit::kRolePane : 0u);
      EXPECT_EQ(access.defaultAction, i == kLabel4 ? L"Abrir" : L"");
      EXPECT_EQ(access.hidden, i == kWebBrowser1 && !page);
    }
  }
  // Round in both directions, from the focus's stop or from none; nowhere when nothing is a stop.
  using toolkit::NextTabStop;
  std::vector<bool> stops(kControlCount);
  stops[kLabel4] = stops[kWebBrowser1] = true;
  EXPECT_EQ(NextTabStop(stops, kLabel4, false), std::size_t{kWebBrowser1});
  EXPECT_EQ(NextTabStop(stops, kWebBrowser1, false), std::size_t{kLabel4});
  EXPECT_EQ(NextTabStop(stops, kLabel4, true), std::size_t{kWebBrowser1});
  EXPECT_EQ(NextTabStop(stops, std::nullopt, false), std::size_t{kLabel4});
  EXPECT_EQ(NextTabStop(stops, std::nullopt, true), std::size_t{kWebBrowser1});
  stops[kWebBrowser1] = false;
  EXPECT_EQ(NextTabStop(stops, kLabel4, false), std::size_t{kLabel4});
  EXPECT_EQ(NextTabStop(stops, kLabel4, true), std::size_t{kLabel4});
  EXPECT_EQ(NextTabStop(std::vector<bool>(kControlCount), std::nullopt, false), std::nullopt);
  EXPECT_EQ(NextTabStop({}, std::nullopt, true), std::nullopt);
}

// ---- Colours: the design's, or the system's under high contrast ----

TEST(Form2Colours, HighContrastTakesTheSystemsColoursAndOtherwiseTheDesignsStay) {
  // A dark high-contrast theme: white text, so a label in the button text colour on the design's
  // white would vanish.
  const toolkit::SystemColours dark{toolkit::Rgb(0, 0, 0), toolkit::Rgb(255, 255, 255), toolkit::Rgb(255, 255, 0),
                                    toolkit::Rgb(254, 254, 254)};
  const toolkit::Colour white = toolkit::kWhite;
  const toolkit::Colour blue = toolkit::kBlue;
  const toolkit::Colour black = toolkit::Rgb(0, 0, 0);
  const toolkit::Colour yellow = toolkit::Rgb(255, 255, 0);
  const toolkit::Colour buttonText = dark.buttonText;
  using C = toolkit::ControlColours;
  // Picture1, Label1, Label2, Label3, Label5, Picture2, Label4, WebBrowser1.
  const toolkit::DialogColours design{
      white,
      {C{buttonText, white}, C{buttonText, white}, C{buttonText, white}, C{buttonText, white}, C{buttonText, white},
       C{buttonText, white}, C{blue, white}, C{buttonText, white}}};
  const toolkit::DialogColours system{black,
                                      {C{white, black}, C{white, black}, C{white, black}, C{white, black},
                                       C{white, black}, C{white, black}, C{yellow, black}, C{white, black}}};
  EXPECT_EQ(toolkit::ChooseColours(Form2Design(), false, dark), design);
  EXPECT_EQ(toolkit::ChooseColours(Form2Design(), true, dark), system);
}

// ---- Twips to pixels ----

struct PixelCase {
  int dpi;
  PixelRect client;
  PixelRect controls[kControlCount];
};

const PixelCase kPixelCases[] = {
    {96,
     {0, 0, 348, 204},
     {{24, 16, 48, 48},
      {80, 24, 241, 18},
      {256, 48, 25, 13},
      {96, 72, 70, 13},
      {0, 112, 345, 13},
      {168, 72, 49, 17},
      {0, 0, 45, 13},
      {8, 128, 329, 73}}},
    {144,
     {0, 0, 522, 306},
     {{36, 24, 72, 72},
      {120, 36, 362, 27},
      {384, 72, 38, 20},
      {144, 108, 105, 20},
      {0, 168, 518, 20},
      {252, 108, 74, 26},
      {0, 0, 68, 20},
      {12, 192, 494, 110}}},
};

TEST(Form2Pixels, EveryControlAt96And144Dpi) {
  for (const PixelCase& pc : kPixelCases) {
    SCOPED_TRACE(pc.dpi);
    EXPECT_EQ(toolkit::ToPixels({0, 0, kClientWidthTwips, kClientHeightTwips}, pc.dpi), pc.client);
    for (std::size_t i = 0; i < kControlCount; ++i) {
      SCOPED_TRACE(Form2Controls()[i].name.size());
      EXPECT_EQ(toolkit::ToPixels(Form2Controls()[i].rect, pc.dpi), pc.controls[i]) << i;
    }
  }
}

TEST(Form2Pixels, FifteenTwipsMakeOnePixelAt96Dpi) {
  EXPECT_EQ(toolkit::TwipsToPixels(15, 96), 1);
  EXPECT_EQ(toolkit::TwipsToPixels(5220, 96), 348);
  EXPECT_EQ(toolkit::TwipsToPixels(3060, 96), 204);
  EXPECT_EQ(toolkit::TwipsToPixels(1440, 120), 120);
  // Half a pixel rounds up, as MulDiv does.
  EXPECT_EQ(toolkit::TwipsToPixels(5, 144), 1);
  EXPECT_EQ(toolkit::TwipsToPixels(4, 144), 0);
}

TEST(Form2Pixels, EveryControlStaysInsideItsContainerAtCommonScales) {
  for (const int dpi : {96, 120, 144, 168, 192, 288}) {
    SCOPED_TRACE(dpi);
    for (const auto& c : Form2Controls()) {
      const PixelRect r = toolkit::ToPixels(c.rect, dpi);
      const PixelRect box =
          c.container == kOnForm
              ? toolkit::ToPixels({0, 0, kClientWidthTwips, kClientHeightTwips}, dpi)
              : toolkit::ToPixels(
                    {0, 0, Form2Controls()[c.container].rect.width, Form2Controls()[c.container].rect.height}, dpi);
      EXPECT_GE(r.left, 0);
      EXPECT_GE(r.top, 0);
      EXPECT_GT(r.width, 0);
      EXPECT_GT(r.height, 0);
      EXPECT_LE(r.left + r.width, box.width);
      EXPECT_LE(r.top + r.height, box.height);
    }
  }
}

TEST(Form2Pixels, FontHeightsFollowTheDpi) {
  EXPECT_EQ(toolkit::FontPixelHeight(825, 96), 11);
  EXPECT_EQ(toolkit::FontPixelHeight(1200, 96), 16);
  EXPECT_EQ(toolkit::FontPixelHeight(825, 144), 17);  // 16.5 rounds up
  EXPECT_EQ(toolkit::FontPixelHeight(1200, 144), 24);
  EXPECT_EQ(toolkit::FontPixelHeight(825, 192), 22);
}

// ---- The handlers and the lifecycle ----

struct Form2Test : ::testing::Test {
  Journal journal;
  FakeDialogs dialogs{&journal};
  FakeShell shell{&journal};
  platform::Windows1252 ansi;
  Form2 form2{{dialogs, shell, ansi}};

  // Closes the window from inside the modal show, as the user's close button does.
  void CloseWhenShown() {
    dialogs.whileShown = [](FakeDialog& d) { d.Close(); };
  }
};

TEST_F(Form2Test, IconLoadsTheWindowHiddenAndRequestsTheAdsPageOnce) {
  EXPECT_FALSE(form2.Loaded());
  EXPECT_EQ(dialogs.loads, 0);  // nothing happens before first use

  EXPECT_EQ(form2.Icon(), dialogs.icon);
  EXPECT_EQ(form2.Icon(), dialogs.icon);
  EXPECT_TRUE(form2.Loaded());
  ASSERT_NE(dialogs.current, nullptr);
  EXPECT_FALSE(dialogs.current->visible);
  EXPECT_EQ(dialogs.current->design.caption, kForm2Caption);
  EXPECT_EQ(dialogs.loads, 1);
  ASSERT_EQ(dialogs.navigations.size(), 1u);
  EXPECT_EQ(dialogs.navigations[0], config::kAdsPage);
  EXPECT_EQ(journal.entries(),
            (std::vector<std::string>{
                "LoadDialog", "Navigate(" + std::string(config::kAdsPage.begin(), config::kAdsPage.end()) + ")"}));
}

TEST_F(Form2Test, Label4AndPicture2EachOpenTheHomePageMaximisedWithTheWindowsHandle) {
  form2.Icon();
  for (const wchar_t* name : {L"Label4", L"Picture2"}) {
    SCOPED_TRACE(name == std::wstring_view(L"Label4") ? "Label4" : "Picture2");
    shell.executeCalls.clear();
    dialogs.current->Click(name);
    ASSERT_EQ(shell.executeCalls.size(), 1u);
    const FakeShell::ExecuteCall& call = shell.executeCalls[0];
    EXPECT_EQ(call.hwnd, dialogs.current->hwnd);
    EXPECT_NE(call.hwnd, 0u);
    EXPECT_EQ(call.operation, "open");
    EXPECT_EQ(call.file, HomePageAnsi());
    EXPECT_EQ(call.parameters, std::nullopt);
    EXPECT_EQ(call.directory, std::nullopt);
    EXPECT_EQ(call.showCmd, 3);
  }
}

// A link the user followed in the banner opens as the home page does: in the user's browser.
TEST_F(Form2Test, ALinkFollowedInTheBannerOpensInTheUsersBrowser) {
  form2.Icon();
  dialogs.current->FollowLink(L"WebBrowser1", L"https://shop.example/offer?id=7");
  ASSERT_EQ(shell.executeCalls.size(), 1u);
  EXPECT_EQ(shell.executeCalls[0].hwnd, dialogs.current->hwnd);
  EXPECT_EQ(shell.executeCalls[0].operation, "open");
  EXPECT_EQ(shell.executeCalls[0].file, "https://shop.example/offer?id=7");
  EXPECT_EQ(shell.executeCalls[0].showCmd, 3);
  dialogs.current->FollowLink(L"Label4", L"https://shop.example/");  // only the banner has links
  EXPECT_EQ(shell.executeCalls.size(), 1u);
}

TEST_F(Form2Test, ClicksElsewhereDoNothing) {
  form2.Icon();
  for (const wchar_t* name : {L"Picture1", L"Label1", L"Label2", L"Label3", L"Label5", L"WebBrowser1"}) {
    dialogs.current->Click(name);
  }
  EXPECT_TRUE(shell.executeCalls.empty());
}

TEST_F(Form2Test, TheLinksFailuresAreSkippedAndItsResultIgnored) {
  form2.Icon();
  shell.faults.Inject("ShellExecuteA", 1, FaultKind::Fail);
  EXPECT_NO_THROW(dialogs.current->Click(L"Label4"));
  shell.faults.Inject("ShellExecuteA", 1, FaultKind::Throw);
  EXPECT_NO_THROW(dialogs.current->Click(L"Picture2"));
  EXPECT_EQ(shell.executeCalls.size(), 2u);
  EXPECT_TRUE(form2.Loaded());  // no message, no unload: nothing happens
  EXPECT_EQ(dialogs.unloads, 0);
}

// Elevated, the banner is never sent anywhere, at start or when the window is shown again; the
// home page opens through the desktop's shell as the signed-in user, never as a child of this
// process; where the shell cannot take it, nothing opens.
TEST_F(Form2Test, ElevatedNoPageIsRequestedAndTheLinkOpensThroughTheDesktopsShellOrNotAtAll) {
  Form2 elevated({dialogs, shell, ansi, true});
  elevated.Icon();
  CloseWhenShown();
  elevated.ShowModal();
  elevated.ShowModal();
  EXPECT_EQ(dialogs.loads, 2);
  EXPECT_TRUE(dialogs.navigations.empty());
  // Nor is a browser control made that would never show a page: the banner is a plain area.
  EXPECT_EQ(dialogs.browsersMade, 0);
  dialogs.whileShown = nullptr;
  elevated.Icon();
  dialogs.current->Click(L"Label4");
  shell.faults.Inject("ShellExecuteFromDesktop", 1, FaultKind::Fail);
  dialogs.current->Click(L"Picture2");
  ASSERT_EQ(shell.desktopCalls.size(), 2u);
  EXPECT_EQ(shell.desktopCalls[0], std::make_tuple(std::wstring(config::kHomePage), std::wstring(L"open"), 3));
  EXPECT_TRUE(shell.executeCalls.empty());
}

TEST_F(Form2Test, LoadCloseAndLoadAgainNavigatesTwice) {
  form2.Icon();
  CloseWhenShown();
  form2.ShowModal();
  // Shown as loaded, without a second load; closing unloaded it and released its browser.
  EXPECT_EQ(dialogs.loads, 1);
  EXPECT_EQ(dialogs.navigations.size(), 1u);
  EXPECT_FALSE(form2.Loaded());
  EXPECT_EQ(form2.hWnd(), 0u);
  EXPECT_EQ(dialogs.unloads, 1);
  EXPECT_EQ(dialogs.browsersReleased, 1);
  EXPECT_EQ(dialogs.current, nullptr);

  form2.ShowModal();
  EXPECT_EQ(dialogs.loads, 2);
  ASSERT_EQ(dialogs.navigations.size(), 2u);
  EXPECT_EQ(dialogs.navigations[1], config::kAdsPage);
  EXPECT_EQ(dialogs.browsersReleased, 2);
  // Each load navigates before the window is shown.
  const auto& e = journal.entries();
  ASSERT_EQ(e.size(), 10u);
  EXPECT_EQ(e[0], "LoadDialog");
  EXPECT_EQ(e[2], "ShowModal");
  EXPECT_EQ(e[4], "ShowModal returns");
  EXPECT_EQ(e[5], "LoadDialog");
  EXPECT_EQ(e[6].rfind("Navigate(", 0), 0u);
  EXPECT_EQ(e[7], "ShowModal");
}

TEST_F(Form2Test, AShowWhileShownReturnsWithoutUnloadingTheWindow) {
  form2.Icon();
  int shown = 0;
  dialogs.whileShown = [&](FakeDialog& d) {
    ++shown;
    form2.ShowModal();  // "Acerca de..." again from the tray menu while the window is open
    EXPECT_TRUE(form2.Loaded());
    EXPECT_EQ(dialogs.current, &d);
    d.Close();
  };
  form2.ShowModal();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(dialogs.loads, 1);
  EXPECT_FALSE(form2.Loaded());
}

TEST_F(Form2Test, ABrowserThatCannotBeCreatedLeavesTheWindowWorking) {
  dialogs.faults.Inject("BrowserCreate", 1);
  EXPECT_EQ(form2.Icon(), dialogs.icon);
  EXPECT_TRUE(form2.Loaded());
  EXPECT_EQ(dialogs.navigations.size(), 1u);  // asked, and the refusal ignored
  dialogs.current->Click(L"Label4");
  EXPECT_EQ(shell.executeCalls.size(), 1u);
}

TEST_F(Form2Test, ARefusedNavigationIsIgnored) {
  dialogs.faults.Inject("Navigate", 1, FaultKind::Fail);
  EXPECT_NO_THROW(form2.Icon());
  EXPECT_TRUE(form2.Loaded());
}

TEST_F(Form2Test, AnErrorInFormLoadPassesToTheCallerAndTheWindowStaysLoaded) {
  dialogs.faults.Inject("Navigate", 1, FaultKind::Throw);
  EXPECT_THROW(form2.Icon(), std::runtime_error);
  EXPECT_TRUE(form2.Loaded());
  // Loaded already: the next read neither loads nor navigates again.
  EXPECT_EQ(form2.Icon(), dialogs.icon);
  EXPECT_EQ(dialogs.loads, 1);
  EXPECT_EQ(dialogs.navigations.size(), 1u);
}

// ---- What the banner's page may do ----

TEST(AdsPagePolicy, OnlyTheBannerHasOneAndItRunsNothingOfThePage) {
  for (std::size_t i = 0; i < kControlCount; ++i) EXPECT_EQ(Form2Controls()[i].page != nullptr, i == kWebBrowser1);
  const toolkit::PagePolicy& policy = *Control(kWebBrowser1).page;
  namespace dl = toolkit::download_control;
  EXPECT_EQ(policy.DownloadControl(), dl::kDownloadImages | dl::kSilent | dl::kNoScripts | dl::kNoJava |
                                          dl::kNoDownloadActiveX | dl::kNoRunActiveX | dl::kNoBehaviors |
                                          dl::kNoClientPull);
  EXPECT_EQ(policy.FeatureControls().size(), 11u);
}

TEST(AdsPagePolicy, ThePageStaysOnHttpsOnItsHostAndWhatTheUserFollowsOpensOutside) {
  using enum toolkit::NavigationVerdict;
  const AdsPagePolicy policy{L"https://ads.varnlet.example/ads.php"};
  struct Row {
    std::wstring_view url;
    toolkit::NavigationVerdict byPage, byUser;
  };
  const Row rows[] = {
      {L"https://ads.varnlet.example/ads.php", Allow, OpenOutside},
      {L"HTTPS://Ads.Varnlet.Example/banner/2.html?x=1#top", Allow, OpenOutside},
      {L"https://ads.varnlet.example", Allow, OpenOutside},
      {L"about:blank", Allow, Cancel},
      {L"http://ads.varnlet.example/ads.php", Cancel, OpenOutside},
      {L"https://shop.example/a%20b?q=1&r=[2]", Cancel, OpenOutside},
      {L"https://ads.varnlet.example.evil/ads.php", Cancel, OpenOutside},
      {L"https://ads.varnlet.example:8443/ads.php", Cancel, OpenOutside},
      {L"https://ads.varnlet.example@evil.example/", Cancel, OpenOutside},
      {L"https://ads.varnlet.example\\@evil.example/", Cancel, Cancel},
      {L"https://shop.example/\" -new-window file:///C:/x", Cancel, Cancel},
      {L"https://shop.example/a b", Cancel, Cancel},
      {L"https://shop.example/caf\u00E9", Cancel, Cancel},
      {L"file:///C:/windows/win.ini", Cancel, Cancel},
      {L"javascript:alert(1)", Cancel, Cancel},
      {L"mailto:a@shop.example", Cancel, Cancel},
      {L"https://", Cancel, Cancel},
      {L"", Cancel, Cancel},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(policy.Navigation(row.url, false), row.byPage) << std::wstring(row.url);
    EXPECT_EQ(policy.Navigation(row.url, true), row.byUser) << std::wstring(row.url);
  }
  // A page that is not https:// allows nothing, itself included.
  EXPECT_EQ(AdsPagePolicy{L"http://ads.varnlet.example/"}.Navigation(L"http://ads.varnlet.example/", false), Cancel);
}

// Only an HTML page on the host stays; the empty page that replaces any other always does.
TEST(AdsPagePolicy, OnlyAnHtmlPageOnItsHostIsShown) {
  const AdsPagePolicy policy{L"https://ads.varnlet.example/ads.php"};
  EXPECT_TRUE(policy.MayShow(L"https://ads.varnlet.example/frame.html", true));
  EXPECT_FALSE(policy.MayShow(L"https://ads.varnlet.example/offer.pdf", false)) << "another viewer";
  EXPECT_FALSE(policy.MayShow(L"https://tracker.example/landing", true));
  EXPECT_TRUE(policy.MayShow(toolkit::kBlankPage, true));
  EXPECT_TRUE(policy.MayShow(toolkit::kBlankPage, false));
}

}  // namespace
}  // namespace varnlet::about
