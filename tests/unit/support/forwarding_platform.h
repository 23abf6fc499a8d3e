// The tests' name for the engine's forwarding platform; add a new Platform
// call to src/platform/forwarding_platform.h.
#pragma once

#include "platform/forwarding_platform.h"

namespace setup::test {

using setup::ForwardingPlatform;

}  // namespace setup::test
