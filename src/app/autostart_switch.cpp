#include "app/autostart_switch.h"

#include "base/error_skipping.h"
#include "base/errors.h"
#include "registry/text_formats.h"

namespace varnlet::app {
namespace {

using trust::JudgeRunValueTarget;
using trust::RunValueTarget;

// The Run value, each access a step of its own whose error is skipped: a read that raised reads
// as no value, a write or delete that raised did not happen.
class RunValue {
 public:
  explicit RunValue(registry::cQueryReg* registry) : registry_(registry) {}

  std::wstring Read() {
    std::wstring value;
    SkipErrors([&] { value = Registry().GetRegString(key_, name_); });
    return value;
  }
  bool There() { return !Read().empty(); }
  // True when written.
  bool Write(const std::wstring& command) {
    bool written = false;
    // The key path names HKEY_LOCAL_MACHINE, which decides whatever root is passed.
    SkipErrors([&] {
      written = Registry().SetReg(key_, name_, registry::Variant(command), registry::kHkeyLocalMachine) == 0;
    });
    return written;
  }
  void Delete() {
    SkipErrors([&] { Registry().DeleteValue(key_, name_); });
  }

 private:
  registry::cQueryReg& Registry() {
    if (registry_ == nullptr) throw Error("the registry object was not created");
    return *registry_;
  }

  registry::cQueryReg* registry_;
  const std::wstring key_{kAutostartKey};
  const std::wstring name_{kAutostartValue};
};

// Windows runs the value at every user's logon: only an exe that no standard user can replace is
// written. A judgement that raised trusts nothing.
RunValueTarget JudgeExe(std::wstring_view exePath, platform::FileSecurityApi& fileSecurity) {
  RunValueTarget target;
  SkipErrors([&] { target = JudgeRunValueTarget(exePath, fileSecurity); });
  return target;
}

// The final path judged, quoted: Windows runs the value as a command line, and unquoted, a program
// placed at a prefix of a path with a space ("C:\Program.exe") would run instead.
std::wstring CommandFor(const RunValueTarget& exe) { return registry::QuotedIfSpaced(exe.path); }

AutostartOutcome Showing(RunValue& value) { return {false, value.There(), std::nullopt, {}}; }

}  // namespace

bool AutostartRegistered(registry::cQueryReg& registry) {
  return !registry.GetRegString(std::wstring(kAutostartKey), std::wstring(kAutostartValue)).empty();
}

AutostartOutcome ClickAutostart(registry::cQueryReg* registry, platform::FileSecurityApi& fileSecurity,
                                std::wstring_view exePath, bool on, const std::function<bool()>& reportWriteFailure) {
  RunValue value(registry);
  const std::wstring before = value.Read();
  const RunValueTarget exe = JudgeExe(exePath, fileSecurity);
  const bool trusted = exe.trust == ExecutableTrust::Trusted;
  // Ended in a box, the click takes no further step; no write since the first read removed the
  // value, so that read still tells whether it is there.
  const auto ended = [&before] { return AutostartOutcome{true, !before.empty(), std::nullopt, {}}; };

  // A value already there (perhaps from a copy in another folder, or unquoted from an earlier
  // version) is written again with this exe, when this exe may be run at all.
  if (!before.empty() && trusted) {
    const bool rewritten = value.Write(CommandFor(exe));
    if (!rewritten && !reportWriteFailure()) return ended();
  }

  if (!on) {
    // The user asked not to start with Windows: the value goes, whichever program it starts.
    if (value.There()) value.Delete();
    return Showing(value);
  }

  if (!trusted) {
    // Nothing is written, and another copy's value stays as it is: the box names what it starts.
    return {false, !before.empty(), exe.trust, ProgramOf(before)};
  }

  const bool written = value.Write(CommandFor(exe));
  if (!written && !reportWriteFailure()) return ended();
  return Showing(value);
}

std::wstring ProgramOf(std::wstring_view command) {
  const std::size_t start = command.find_first_not_of(L' ');
  if (start == std::wstring_view::npos) return {};
  command.remove_prefix(start);
  if (command.front() != L'"') return std::wstring(command);
  command.remove_prefix(1);
  return std::wstring(command.substr(0, command.find(L'"')));
}

std::wstring AutostartErrorText(std::wstring_view exePath, std::wstring_view homePage) {
  std::wstring text = L"Ocurri\u00f3 un error al tratar de agregar la aplicaci\u00f3n\r\n";
  text += exePath;
  text += L"\r\nal inicio de windows.\r\nPor favor, reporte este fallo en ";
  text += homePage;
  return text;
}

}  // namespace varnlet::app
