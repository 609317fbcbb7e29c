#pragma once
// A recording shell: keeps every notification-area record it is handed (only the cbSize bytes
// the real shell would read) and every ShellExecuteA call.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "fakes/fault_injector.h"
#include "fakes/journal.h"
#include "platform/shell_api.h"

namespace varnlet::fakes {

class FakeShell final : public platform::ShellApi {
 public:
  struct NotifyCall {
    std::uint32_t message;
    std::vector<std::uint8_t> bytes;  // the first cbSize bytes of the record
  };
  struct ExecuteCall {
    platform::Hwnd hwnd;
    std::optional<std::string> operation, file, parameters, directory;
    std::int32_t showCmd;
  };

  explicit FakeShell(Journal* journal = nullptr) : journal_(journal) {}

  std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage, const std::uint8_t* lpData) override;
  std::intptr_t ShellExecuteA(platform::Hwnd hwnd, const char* lpOperation, const char* lpFile,
                              const char* lpParameters, const char* lpDirectory, std::int32_t nShowCmd) override;
  std::int32_t ShellExecuteFromDesktop(const wchar_t* lpFile, const wchar_t* lpOperation,
                                       std::int32_t nShowCmd) override;

  std::vector<NotifyCall> notifyCalls;
  std::vector<ExecuteCall> executeCalls;
  // The documents handed to the desktop's shell, with their verb and show command.
  std::vector<std::tuple<std::wstring, std::wstring, std::int32_t>> desktopCalls;
  // What Shell_NotifyIconA answers for each message (NIM_ADD 0, NIM_MODIFY 1, ...); 1 by default.
  std::int32_t notifyResult[5] = {1, 1, 1, 1, 1};
  std::intptr_t executeResult = 42;
  // Whether the notification area shows our icon: adding it twice, or any other message for it
  // when it is not there, is refused, as the shell does. A test sets it to stand for an icon the
  // shell added although its add had failed (timed out).
  bool iconPresent = false;
  FaultInjector faults;

 private:
  Journal* journal_;
};

}  // namespace varnlet::fakes
