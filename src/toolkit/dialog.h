#pragma once
// What the program needs of a toolkit for its About window: a window laid out from a design
// table (labels, picture boxes, an embedded web browser) with fonts, colours and an icon, click
// events, a modal show, and unloading when the user closes it; usable from the keyboard and read
// by screen readers as dialog_access.h says. The Win32 implementation is in
// toolkit/win32/dialog_win32.h; the tests pass a recording fake.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "toolkit/browser_policy.h"
#include "toolkit/toolkit.h"
#include "toolkit/twips.h"

namespace varnlet::toolkit {

// 0x00BBGGRR, as Windows stores colours.
using Colour = std::uint32_t;
constexpr Colour Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<Colour>(r) | static_cast<Colour>(g) << 8 | static_cast<Colour>(b) << 16;
}
inline constexpr Colour kWhite = Rgb(255, 255, 255);
inline constexpr Colour kBlue = Rgb(0, 0, 255);

enum class ControlKind { Label, PictureBox, WebBrowser };
enum class TextAlign { Left, Centre };

struct FontDesign {
  std::wstring_view face;
  int centipoints = 0;  // 8.25 pt is 825
  bool bold = false;
  bool underline = false;
  friend constexpr bool operator==(const FontDesign&, const FontDesign&) = default;
};

inline constexpr std::size_t kOnForm = static_cast<std::size_t>(-1);

struct ControlDesign {
  std::wstring_view name;
  ControlKind kind = ControlKind::Label;
  // Index of the containing control in the design's table, or kOnForm.
  std::size_t container = kOnForm;
  // Relative to the container's client area.
  TwipRect rect;
  std::wstring_view text;
  FontDesign font;
  TextAlign align = TextAlign::Left;
  // A control without colours of its own takes the form's.
  std::optional<Colour> foreColour;
  std::optional<Colour> backColour;
  // A bitmap resource for a picture box, 0 for none.
  int pictureResource = 0;
  // A label that opens an address, by the name a screen reader gives that action ("Abrir"); empty
  // for any other control. Under high contrast a link takes the system's link colour.
  std::wstring_view link;
  // What a WebBrowser control's page may do; one without a policy gets no browser.
  const PagePolicy* page = nullptr;
};

struct DialogDesign {
  std::wstring_view caption;
  // Lets tests and UI automation find the window by class.
  std::wstring_view windowClass;
  int clientWidth = 0;  // twips
  int clientHeight = 0;
  Colour backColour = kWhite;
  int iconResource = 0;
  // In tab order. The table must outlive every dialog made from it.
  std::span<const ControlDesign> controls;
};

class DialogEvents {
 public:
  virtual ~DialogEvents() = default;
  // The user clicked the control at this index of the design's table.
  virtual void Click(std::size_t control) = 0;
  // The user followed a link in the page of the WebBrowser control at this index, and its policy
  // sends the address out of the program.
  virtual void FollowLink(std::size_t control, std::wstring_view url) = 0;
};

// A browser that fills its control's area and goes where it is sent, without waiting.
class WebBrowser {
 public:
  virtual ~WebBrowser() = default;
  // Starts loading the address and returns at once; false when there is no browser to ask or
  // it refused. Nothing is shown or raised either way.
  virtual bool Navigate(std::wstring_view URL) = 0;
  // The control's area is now this size, in pixels.
  virtual void Resize(int width, int height) = 0;
  // A page has arrived that its policy lets it show (not the empty page).
  virtual bool ShowsPage() const = 0;
  // The keyboard's focus goes into the page.
  virtual void Focus() = 0;
};

// Stands in where no browser could be made: a plain area that goes nowhere.
class NoBrowser final : public WebBrowser {
 public:
  bool Navigate(std::wstring_view /*URL*/) override { return false; }
  void Resize(int /*width*/, int /*height*/) override {}
  bool ShowsPage() const override { return false; }
  void Focus() override {}
};

class Dialog {
 public:
  virtual ~Dialog() = default;
  virtual Hwnd hWnd() const = 0;
  // False once the user closed the window: it is gone and its browser released.
  virtual bool Loaded() const = 0;
  // The window's icon; the handle stays valid as long as the toolkit, also after unloading.
  virtual std::uintptr_t Icon() const = 0;
  // The same picture at the system's small-icon size for the current density (its title bar's,
  // and the notification area's); valid as long as Icon().
  virtual std::uintptr_t SmallIcon() const = 0;
  // The browser of a WebBrowser control; one that could not be created leaves a plain area and
  // answers Navigate with false.
  virtual WebBrowser& Browser(std::size_t control) = 0;
  // Shows the window, with no owner, and returns when it is closed; the thread's messages keep
  // being dispatched meanwhile. While the window is already shown this only brings it forward.
  virtual void ShowModal() = 0;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Creates the window and its controls, hidden.
  virtual std::unique_ptr<Dialog> LoadDialog(const DialogDesign& design, DialogEvents& events) = 0;
};

}  // namespace varnlet::toolkit
