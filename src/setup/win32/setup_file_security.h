#pragma once
// The path calls the installers' checks make. The shipped library reads the system's answers; a
// library built for the tests answers owners and lists from a model, since Wine keeps none.
#include "platform/file_security_api.h"

namespace varnlet::setup {

platform::FileSecurityApi& SetupFileSecurity();

}  // namespace varnlet::setup
