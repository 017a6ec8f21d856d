// One line per event on standard error (the journal under systemd), whole lines from any thread.
#pragma once

#include <string>

namespace quandelstk::gateway {

void Log(const std::string& line);

}  // namespace quandelstk::gateway
