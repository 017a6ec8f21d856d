// Text between the host's automation strings (UTF-16 BSTR) and the core's 8-bit text, through the
// system ANSI code page: one byte per character, as the modem line carries it. A character the code
// page cannot hold becomes the code page's default character ("?").
#pragma once

#include "automation/com.hpp"

#include <string>

namespace quandelstk::automation {

std::string FromBstr(BSTR text);
// Raises std::bad_alloc when no string can be allocated.
BSTR ToBstr(const std::string& text);

}  // namespace quandelstk::automation
