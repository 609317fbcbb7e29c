#include "fakes/fake_dialog.h"

#include <algorithm>
#include <stdexcept>

namespace varnlet::fakes {
namespace {

std::string Narrow(std::wstring_view text) {
  std::string out;
  for (const wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace

FakeDialog::FakeDialog(FakeDialogs& d, toolkit::Hwnd h, const toolkit::DialogDesign& des, toolkit::DialogEvents& e)
    : FakeWindowState{d, h, des, e} {
  // As the real toolkit does, a browser control without a page policy is not made.
  const bool wanted = std::any_of(des.controls.begin(), des.controls.end(), [](const toolkit::ControlDesign& c) {
    return c.kind == toolkit::ControlKind::WebBrowser && c.page != nullptr;
  });
  browserCreated = wanted && !maker.faults.ShouldFail("BrowserCreate");
  if (browserCreated) ++maker.browsersMade;
  maker.current = this;
}

FakeDialog::~FakeDialog() {
  if (loaded) Close();
  if (maker.current == this) maker.current = nullptr;
}

std::uintptr_t FakeDialog::Icon() const { return maker.icon; }
std::uintptr_t FakeDialog::SmallIcon() const { return maker.smallIcon; }

toolkit::WebBrowser& FakeDialog::Browser(std::size_t control) {
  if (control >= design.controls.size() || design.controls[control].kind != toolkit::ControlKind::WebBrowser) {
    throw std::out_of_range("not a browser control");
  }
  return *this;
}

bool FakeDialog::Navigate(std::wstring_view URL) {
  maker.Log("Navigate(" + Narrow(URL) + ")");
  maker.navigations.emplace_back(URL);
  if (!loaded || !browserCreated) return false;
  return !maker.faults.ShouldFail("Navigate");
}

void FakeDialog::ShowModal() {
  maker.Log("ShowModal");
  if (!loaded || visible) return;
  visible = true;
  if (maker.whileShown) maker.whileShown(*this);
  maker.Log("ShowModal returns");
}

std::size_t FakeDialog::IndexOf(std::wstring_view controlName) const {
  const auto& controls = design.controls;
  const auto it = std::find_if(controls.begin(), controls.end(), [&](const auto& c) { return c.name == controlName; });
  if (it == controls.end()) throw std::invalid_argument("no such control");
  return static_cast<std::size_t>(it - controls.begin());
}

void FakeDialog::Click(std::wstring_view controlName) { events.Click(IndexOf(controlName)); }

void FakeDialog::FollowLink(std::wstring_view controlName, std::wstring_view url) {
  events.FollowLink(IndexOf(controlName), url);
}

void FakeDialog::Close() {
  if (!loaded) return;
  loaded = false;
  visible = false;
  if (browserCreated) ++maker.browsersReleased;
  ++maker.unloads;
  maker.Log("Unload");
}

std::unique_ptr<toolkit::Dialog> FakeDialogs::LoadDialog(const toolkit::DialogDesign& design,
                                                         toolkit::DialogEvents& events) {
  // A window that cannot be created raises, whichever way the fault is asked for.
  if (faults.ShouldFail("LoadDialog")) throw std::runtime_error("injected: the window cannot be created");
  ++loads;
  Log("LoadDialog");
  const toolkit::Hwnd hwnd = nextHwnd;
  nextHwnd += 0x10;
  return std::make_unique<FakeDialog>(*this, hwnd, design, events);
}

}  // namespace varnlet::fakes
