// The few commands of Init that are written to the serial control directly: the "AT" probe,
// "AT+CSDH=1" and "AT+CMGF=1". They keep their own start time and text, so the thread's
// ReceiveBuffer and CommandStartTime stay as the last exchange primitive left them.
#pragma once

#include <string>

namespace quandelstk::modem {

// Writes command CR and polls into text (cleared first) for up to 7 seconds until it holds
// "OK" CR LF. True when it arrived in time; text holds everything read either way.
bool DirectExchange(const std::string& command, std::string& text);

}  // namespace quandelstk::modem
