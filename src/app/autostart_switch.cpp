#include "app/autostart_switch.h"

#include "base/error_skipping.h"
#include "base/errors.h"
#include "registry/text_formats.h"

namespace varnlet::app {
namespace {

using trust::JudgeRunValueTarget;
using trust::RunValueTarget;

// A write or delete that raised did not happen: it counts as failed, never as done.
constexpr registry::RegStatus kRaised = -1;

class Click {
 public:
  Click(registry::cQueryReg* registry, platform::FileSecurityApi& fileSecurity, std::wstring_view exePath)
      : registry_(registry), fileSecurity_(fileSecurity), exePath_(exePath) {}

  std::wstring Read() {
    std::wstring value;
    SkipErrors([&] { value = Registry().GetRegString(key_, name_); });
    return value;
  }
  // Windows runs the value at every user's logon: only an exe that no standard user can replace is
  // written, judged once per click, before the first write.
  bool Trusted() {
    if (!target_) {
      target_ = RunValueTarget{};
      SkipErrors([&] { target_ = JudgeRunValueTarget(exePath_, fileSecurity_); });
    }
    return target_->trust == ExecutableTrust::Trusted;
  }
  ExecutableTrust Trust() const { return target_ ? target_->trust : ExecutableTrust::Unknown; }
  // The final path judged, quoted: Windows runs the value as a command line, and unquoted, a
  // program placed at a prefix of a path with a space ("C:\Program.exe") would run instead.
  registry::RegStatus Write() {
    registry::RegStatus status = kRaised;
    SkipErrors([&] {
      const registry::Variant command(registry::QuotedIfSpaced(target_->path));
      // The key path names HKEY_LOCAL_MACHINE, which decides whatever root is passed.
      status = Registry().SetReg(key_, name_, command, registry::kHkeyLocalMachine);
    });
    return status;
  }
  registry::RegStatus Delete() {
    registry::RegStatus status = kRaised;
    SkipErrors([&] { status = Registry().DeleteValue(key_, name_); });
    return status;
  }

 private:
  registry::cQueryReg& Registry() {
    if (registry_ == nullptr) throw Error("the registry object was not created");
    return *registry_;
  }

  registry::cQueryReg* registry_;
  platform::FileSecurityApi& fileSecurity_;
  std::wstring exePath_;
  const std::wstring key_{kAutostartKey};
  const std::wstring name_{kAutostartValue};
  std::optional<RunValueTarget> target_;
};

}  // namespace

bool AutostartRegistered(registry::cQueryReg& registry) {
  return !registry.GetRegString(std::wstring(kAutostartKey), std::wstring(kAutostartValue)).empty();
}

AutostartOutcome ClickAutostart(registry::cQueryReg* registry, platform::FileSecurityApi& fileSecurity,
                                std::wstring_view exePath, bool on, const std::function<bool()>& reportWriteFailure) {
  Click click(registry, fileSecurity, exePath);
  const auto shows = [](bool checked) { return AutostartOutcome{false, checked, std::nullopt}; };
  const AutostartOutcome ended{true, false, std::nullopt};
  // A value already there (perhaps from a copy in another folder, or unquoted from an earlier
  // version) is written again with this exe.
  if (!click.Read().empty() && click.Trusted() && click.Write() != 0 && !reportWriteFailure()) return ended;
  if (!on) {
    return shows(!(click.Read().empty() || click.Delete() == 0));
  }
  if (!click.Trusted()) return {false, false, click.Trust()};
  if (click.Write() == 0) return shows(true);
  if (!reportWriteFailure()) return ended;
  // The mark tells what the registry holds, not what was asked for.
  return shows(!click.Read().empty());
}

std::wstring AutostartErrorText(std::wstring_view exePath, std::wstring_view homePage) {
  std::wstring text = L"Ocurri\u00f3 un error al tratar de agregar la aplicaci\u00f3n\r\n";
  text += exePath;
  text += L"\r\nal inicio de windows.\r\nPor favor, reporte este fallo en ";
  text += homePage;
  return text;
}

}  // namespace varnlet::app
