// Before Init opens a real device: the reasons a serial port cannot be used that people meet on
// Linux, each named with what to do, instead of a modem that "did not answer".
#pragma once

#include <string>

namespace quandelstk::cli {

// Raises a RuntimeError (8010 no permission, 8015 not a serial port, 8005 held by another program)
// whose description says what to do; returns when the device can be opened and locked.
void CheckSerialDevice(const std::string& path);

// The description for an open that failed with this errno, "" when it names no such reason.
std::string OpenFailureAdvice(const std::string& path, int error);

}  // namespace quandelstk::cli
