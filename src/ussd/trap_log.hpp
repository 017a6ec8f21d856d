// The record a USSD method writes to the daily log when it traps a run-time failure.
#pragma once

#include <string>

#include "channel/log.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::ussd {

// "Error 8012 (Port not open: ...) in procedure Cancel of Class Module USSD". A failure to write
// the log reaches the caller.
inline void LogTrapped(const RuntimeError& e, const std::string& procedure) {
  channel::WriteLog("Error " + text::Str(e.Number()) + " (" + e.Description() + ") in procedure " +
                    procedure + " of Class Module USSD");
}

}  // namespace quandelstk::ussd
