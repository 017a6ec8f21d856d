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

// The same with the code page given, for tests; the two above use the system's (GetACP()).
std::string FromBstr(BSTR text, UINT code_page);
BSTR ToBstr(const std::string& text, UINT code_page);

// The WideCharToMultiByte flags for a code page: no best fit where the code page allows the flag.
// UTF-8, GB18030, UTF-7, Symbol and the ISO-2022 and ISCII pages refuse it (ERROR_INVALID_FLAGS),
// and with it every conversion would fail.
DWORD NarrowingFlags(UINT code_page);

}  // namespace quandelstk::automation
