#include "about/Form2.h"

#include <string>

#include "about/page_policy.h"
#include "about/resource_ids.h"
#include "base/error_skipping.h"
#include "build_config.h"

namespace varnlet::about {
namespace {

using toolkit::ControlDesign;
using toolkit::ControlKind;
using toolkit::FontDesign;
using toolkit::kBlue;
using toolkit::kOnForm;
using toolkit::kWhite;
using toolkit::TextAlign;

constexpr std::wstring_view kVerdana = L"Verdana";
constexpr FontDesign kTitleFont{kVerdana, 1200, true, false};
constexpr FontDesign kTextFont{kVerdana, 825, false, false};
constexpr FontDesign kBoldFont{kVerdana, 825, true, false};
constexpr FontDesign kLinkFont{kVerdana, 825, true, true};

const AdsPagePolicy kAdsPagePolicy{config::kAdsPage};

// The product's name as Label1 shows it: the build's title and a blank.
constexpr JoinedText<config::kTitle.size() + 1> kProductName{config::kTitle, L" "};

// Every field is set, so the table reads as the window does.
constexpr ControlDesign Label(std::wstring_view name, std::size_t container, toolkit::TwipRect rect,
                              std::wstring_view text, FontDesign font, TextAlign align = TextAlign::Left) {
  return {name, ControlKind::Label, container, rect, text, font, align, std::nullopt, std::nullopt, 0, {}, nullptr};
}

constexpr ControlDesign PictureBox(std::wstring_view name, toolkit::TwipRect rect, int pictureResource) {
  return {name,   ControlKind::PictureBox, kOnForm, rect,   {}, {}, TextAlign::Left, std::nullopt,
          kWhite, pictureResource,         {},      nullptr};
}

constexpr ControlDesign Link(ControlDesign c, toolkit::Colour fore, toolkit::Colour back) {
  c.foreColour = fore;
  c.backColour = back;
  c.link = L"Abrir";
  return c;
}

constexpr std::array<ControlDesign, kControlCount> kControls{{
    PictureBox(L"Picture1", {360, 240, 720, 720}, IDB_PICTURE1),
    Label(L"Label1", kOnForm, {1200, 360, 3615, 270}, kProductName.View(), kTitleFont),
    Label(L"Label2", kOnForm, {3840, 720, 375, 195}, config::kVersionLabel, kTextFont),
    Label(L"Label3", kOnForm, {1440, 1080, 1050, 195}, L"Creado por:", kTextFont),
    Label(L"Label5", kOnForm, {0, 1680, 5175, 195}, L"Si gustó el programa, ¡compártelo!", kBoldFont,
          TextAlign::Centre),
    PictureBox(L"Picture2", {2520, 1080, 735, 255}, 0),
    Link(Label(L"Label4", kPicture2, {0, 0, 675, 195}, config::kMaker, kLinkFont), kBlue, kWhite),
    // No address at design time: Form_Load sends it to the advertising page.
    {L"WebBrowser1",
     ControlKind::WebBrowser,
     kOnForm,
     {120, 1920, 4935, 1095},
     {},
     {},
     TextAlign::Left,
     std::nullopt,
     std::nullopt,
     0,
     {},
     &kAdsPagePolicy},
}};

constexpr toolkit::DialogDesign kDesign{kForm2Caption, kForm2WindowClass, kClientWidthTwips, kClientHeightTwips,
                                        kWhite,        IDI_VARNLET,       kControls};

// Elevated, the banner never shows a page: without a page policy no browser control is made, so
// neither the control nor OLE costs anything for the whole run, and the banner is a plain area.
constexpr auto kElevatedControls = [] {
  auto controls = kControls;
  controls[kWebBrowser1].page = nullptr;
  return controls;
}();
constexpr toolkit::DialogDesign kElevatedDesign{kForm2Caption, kForm2WindowClass, kClientWidthTwips, kClientHeightTwips,
                                                kWhite,        IDI_VARNLET,       kElevatedControls};

}  // namespace

const toolkit::DialogDesign& Form2Design() { return kDesign; }
const std::array<toolkit::ControlDesign, kControlCount>& Form2Controls() { return kControls; }

Form2::Form2(const Services& services) : services_(services) {}

Form2::~Form2() = default;

void Form2::EnsureLoaded() {
  if (dialog_ && !dialog_->Loaded()) dialog_.reset();
  if (dialog_) return;
  dialog_ = services_.dialogs.LoadDialog(services_.elevated ? kElevatedDesign : kDesign, *this);
  // Form_Load's errors pass to whoever caused the load; the window stays loaded.
  Form_Load();
}

std::uintptr_t Form2::Icon() {
  EnsureLoaded();
  return dialog_->Icon();
}

std::uintptr_t Form2::SmallIcon() {
  EnsureLoaded();
  return dialog_->SmallIcon();
}

void Form2::ShowModal() {
  EnsureLoaded();
  dialog_->ShowModal();
  if (!dialog_->Loaded()) dialog_.reset();
}

bool Form2::Loaded() const { return dialog_ && dialog_->Loaded(); }

toolkit::Hwnd Form2::hWnd() const { return Loaded() ? dialog_->hWnd() : 0; }

void Form2::Form_Load() {
  // Elevated, nothing from the web is parsed with an administrator's rights: the banner stays an
  // empty area.
  if (services_.elevated) return;
  // Only the address; the outcome is not examined and nothing waits for the page.
  dialog_->Browser(kWebBrowser1).Navigate(config::kAdsPage);
}

void Form2::OpenInUsersBrowser(std::wstring_view url) {
  SkipErrors([&] {
    if (services_.elevated) {
      // An elevated browser would carry an administrator's rights onto the web. Where the shell
      // cannot take the request, nothing opens.
      const std::wstring file(url);
      services_.shell.ShellExecuteFromDesktop(file.c_str(), L"open", kShowMaximized);
      return;
    }
    const std::string file = services_.ansi.ToAnsi(url);
    services_.shell.ShellExecuteA(hWnd(), "open", file.c_str(), nullptr, nullptr, kShowMaximized);
  });
}

void Form2::Label4_Click() { OpenInUsersBrowser(config::kHomePage); }

void Form2::Picture2_Click() { Label4_Click(); }

void Form2::WebBrowser1_FollowLink(std::wstring_view url) { OpenInUsersBrowser(url); }

void Form2::FollowLink(std::size_t control, std::wstring_view url) {
  if (control == kWebBrowser1) WebBrowser1_FollowLink(url);
}

void Form2::Click(std::size_t control) {
  switch (control) {
    case kLabel4:
      Label4_Click();
      break;
    case kPicture2:
      Picture2_Click();
      break;
    default:
      break;
  }
}

}  // namespace varnlet::about
