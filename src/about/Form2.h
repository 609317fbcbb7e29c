#pragma once
// The About window: product name, version, the maker's name as a link to the home page, a
// picture, and a web banner showing the advertising page. One instance serves the whole
// program: it is loaded hidden when the main form takes its icon, shown modally from the tray
// menu, unloaded when the user closes it and loaded again by the next show.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "base/joined_text.h"
#include "build_config.h"
#include "platform/ansi_code_page.h"
#include "platform/shell_api.h"
#include "toolkit/dialog.h"

namespace varnlet::about {

inline constexpr std::wstring_view kCaptionLead = L"Acerca de ";
inline constexpr JoinedText<kCaptionLead.size() + config::kTitle.size()> kCaptionText{kCaptionLead, config::kTitle};
// "Acerca de " and the build's title.
inline constexpr std::wstring_view kForm2Caption = kCaptionText.View();
inline constexpr std::wstring_view kForm2WindowClass = config::kAboutWindowClass;
inline constexpr int kClientWidthTwips = 5220;
inline constexpr int kClientHeightTwips = 3060;
// ShellExecuteA's show command for the home page: SW_SHOWMAXIMIZED.
inline constexpr std::int32_t kShowMaximized = 3;

// Indices into the layout table, which is in tab order.
enum ControlIndex : std::size_t {
  kPicture1,
  kLabel1,
  kLabel2,
  kLabel3,
  kLabel5,
  kPicture2,
  kLabel4,
  kWebBrowser1,
  kControlCount
};

// The window's layout: caption, client size, colours, icon and the controls in tab order.
const toolkit::DialogDesign& Form2Design();
const std::array<toolkit::ControlDesign, kControlCount>& Form2Controls();

class Form2 final : private toolkit::DialogEvents {
 public:
  struct Services {
    toolkit::Dialogs& dialogs;
    platform::ShellApi& shell;
    const platform::AnsiCodePage& ansi;
    // Whether the process runs elevated: then the banner is never sent to the advertising page,
    // and the home page opens through the shell's own process, as the signed-in user, never as a
    // child of this one.
    bool elevated = false;
  };

  explicit Form2(const Services& services);
  Form2(const Form2&) = delete;
  Form2& operator=(const Form2&) = delete;
  ~Form2() override;

  // The window's icon handle, for the tray record. Loads the window, hidden, when it is not
  // loaded, which runs Form_Load and so requests the advertising page (not when elevated).
  std::uintptr_t Icon();
  // The same picture at the notification area's size for the current density; loads the window
  // as Icon() does.
  std::uintptr_t SmallIcon();
  // Shows the window modally with no owner, loading it first when it is not loaded; returns when
  // the user has closed it, which unloads it.
  void ShowModal();
  bool Loaded() const;
  // 0 while not loaded.
  toolkit::Hwnd hWnd() const;

  void Form_Load();
  void Label4_Click();
  void Picture2_Click();
  // The user followed a link of the banner's page: it opens in the user's browser, as the home
  // page does.
  void WebBrowser1_FollowLink(std::wstring_view url);

 private:
  void Click(std::size_t control) override;
  void FollowLink(std::size_t control, std::wstring_view url) override;
  void EnsureLoaded();
  void OpenInUsersBrowser(std::wstring_view url);

  Services services_;
  std::unique_ptr<toolkit::Dialog> dialog_;
};

}  // namespace varnlet::about
