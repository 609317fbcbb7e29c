#include "platform/win32/file_security_win32.h"
#include "setup/win32/setup_file_security.h"

namespace varnlet::setup {

platform::FileSecurityApi& SetupFileSecurity() {
  static platform::FileSecurityApiWin32 files;
  return files;
}

}  // namespace varnlet::setup
