#pragma once
// The shell32 calls: the notification-area icon and opening a document with its handler, from
// this process or from the shell's own.
#include <cstdint>

#include "platform/window_types.h"

namespace varnlet::platform {

class ShellApi {
 public:
  virtual ~ShellApi() = default;
  // lpData points at a NOTIFYICONDATAA record laid out for this build's architecture; the shell
  // reads only its first cbSize bytes. Returns the system's BOOL (exactly 1 on success).
  virtual std::int32_t Shell_NotifyIconA(std::uint32_t dwMessage, const std::uint8_t* lpData) = 0;
  // Null strings are passed as null pointers. Returns the system's instance value (> 32 on success).
  virtual std::intptr_t ShellExecuteA(Hwnd hwnd, const char* lpOperation, const char* lpFile, const char* lpParameters,
                                      const char* lpDirectory, std::int32_t nShowCmd) = 0;
  // Asks the shell's desktop process (Explorer, which runs as the signed-in user, unelevated) to
  // open a document with a verb, as IShellDispatch2::ShellExecute of the desktop's folder view
  // does; what it starts is no child of this process. Returns the HRESULT: 0 when the shell took
  // the request, an error when the desktop's shell cannot be reached.
  virtual std::int32_t ShellExecuteFromDesktop(const wchar_t* lpFile, const wchar_t* lpOperation,
                                               std::int32_t nShowCmd) = 0;
};

}  // namespace varnlet::platform
