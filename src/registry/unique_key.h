#pragma once
// Owns one key handle obtained through a RegistryApi and closes it exactly once; a close that
// fails is never reported.
#include "base/unique_handle.h"
#include "platform/registry_api.h"

namespace varnlet::registry {

using UniqueKey =
    UniqueApiHandle<platform::RegistryApi, platform::RegKey, &platform::RegistryApi::RegCloseKey, platform::RegKey{0}>;

}  // namespace varnlet::registry
