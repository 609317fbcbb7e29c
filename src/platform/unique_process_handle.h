#pragma once
// Owns one process or snapshot handle obtained through a ProcessApi and closes it exactly once.
// Neither 0 (a failed open) nor kInvalidHandleValue (a failed snapshot) is a handle.
#include "base/unique_handle.h"
#include "platform/process_api.h"

namespace varnlet::platform {

using UniqueProcessHandle =
    UniqueApiHandle<ProcessApi, ProcessHandle, &ProcessApi::CloseHandle, ProcessHandle{0}, kInvalidHandleValue>;

}  // namespace varnlet::platform
