// The platform a thread gets until a host installs another: the operating system's own.
#pragma once

#include <memory>

#include "quandelstk/platform.hpp"

namespace quandelstk::platform {

std::shared_ptr<Platform> DefaultPlatform();

}  // namespace quandelstk::platform
