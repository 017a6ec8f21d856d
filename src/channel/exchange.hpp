// The exchange primitives: write one command line, then poll until the answer's marker arrives or
// the timeout (whole seconds, 0 means 7) runs out. On a timeout the response is left unchanged;
// on every way out the thread's ReceiveBuffer is left empty.
#pragma once

#include <cstdint>
#include <string>

#include "channel/session.hpp"

namespace quandelstk::channel {

// Ends on CR LF "OK" CR LF, "ERROR" CR LF, "+CME ERROR:" or "+CMS ERROR:"; true only for the first.
bool SendATCommand(const std::string& command, std::string& response, std::int16_t timeout);
// Ends on ":" or "ERROR" CR LF; true when the text holds ":".
bool SendATForInfo(const std::string& command, std::string& response, std::int16_t timeout);
// Ends on ">" or "ERROR" CR LF; true when the text holds ">".
bool SendATForPrompt(const std::string& command, std::string& response, std::int16_t timeout);
// Waits for the first ":" (or "ERROR" CR LF), then for a CR LF after it (or "ERROR" CR LF), on one
// deadline; true when a CR LF follows the first ":".
bool SendATForInfoLine(const std::string& command, std::string& response, std::int16_t timeout);

bool IsPortOpen();
// More whole seconds than timeout have passed since start (a reading of the monotonic exchange
// clock, ClockNow()). Pauses 100 ms (500 ms from 60 s) on every call, as the classic polling loops
// expect of it.
bool IsTimedOut(const Instant& start, std::int16_t timeout);

}  // namespace quandelstk::channel
