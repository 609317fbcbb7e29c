#include "fakes/fake_shell.h"

#include <cstring>

namespace varnlet::fakes {

std::int32_t FakeShell::Shell_NotifyIconA(std::uint32_t dwMessage, const std::uint8_t* lpData) {
  std::uint32_t cbSize = 0;
  std::memcpy(&cbSize, lpData, sizeof cbSize);
  notifyCalls.push_back({dwMessage, std::vector<std::uint8_t>(lpData, lpData + cbSize)});
  if (journal_ != nullptr) journal_->Add("Shell_NotifyIconA(" + std::to_string(dwMessage) + ")");
  if (faults.ShouldFail("Shell_NotifyIconA")) return 0;
  const std::int32_t result = dwMessage < 5 ? notifyResult[dwMessage] : 0;
  if (result != 1) return result;
  if (dwMessage == 0) {
    if (iconPresent) return 0;
    iconPresent = true;
  } else if (!iconPresent) {
    // Modify, delete, focus and version all need an icon the shell holds.
    return 0;
  } else if (dwMessage == 2) {
    iconPresent = false;
  }
  return result;
}

std::intptr_t FakeShell::ShellExecuteA(platform::Hwnd hwnd, const char* lpOperation, const char* lpFile,
                                       const char* lpParameters, const char* lpDirectory, std::int32_t nShowCmd) {
  auto opt = [](const char* s) { return s != nullptr ? std::optional<std::string>(s) : std::nullopt; };
  executeCalls.push_back({hwnd, opt(lpOperation), opt(lpFile), opt(lpParameters), opt(lpDirectory), nShowCmd});
  if (journal_ != nullptr) journal_->Add("ShellExecuteA");
  if (faults.ShouldFail("ShellExecuteA")) return 2;  // SE_ERR_FNF
  return executeResult;
}

std::int32_t FakeShell::ShellExecuteFromDesktop(const wchar_t* lpFile, const wchar_t* lpOperation,
                                                std::int32_t nShowCmd) {
  desktopCalls.emplace_back(lpFile != nullptr ? lpFile : L"<null>", lpOperation != nullptr ? lpOperation : L"<null>",
                            nShowCmd);
  if (journal_ != nullptr) journal_->Add("ShellExecuteFromDesktop");
  if (faults.ShouldFail("ShellExecuteFromDesktop")) return static_cast<std::int32_t>(0x80004005);  // E_FAIL
  return 0;
}

}  // namespace varnlet::fakes
