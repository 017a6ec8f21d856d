// Answers as a modem in text mode sends them, and small checks shared by the SMS tests.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "quandelstk/errors.hpp"
#include "support/scripted_modem.hpp"

namespace quandelstk::testing {

inline std::string Ok(const std::string& lines = "") {
  return lines + "\r\nOK\r\n";
}

// The SIM storage selected and listed: nothing unread, then the given read listing.
inline void StoreReadListing(ScriptedModem& modem, const std::string& read_listing) {
  modem.On("AT+CPMS=\"SM\"", Ok("\r\n+CPMS: 2,20,2,20,2,20\r\n"));
  modem.On("AT+CMGL=\"REC UNREAD\"", Ok());
  modem.On("AT+CMGL=\"REC READ\"", Ok(read_listing));
}

inline std::string Listed(int index) {
  return "\r\n+CMGL: " + std::to_string(index) +
         ",\"REC READ\",\"+15550100456\",,\"08/12/25,14:30:00+32\",145,5\r\nhello\r\n";
}

// The number of the RuntimeError that call raises (0 when it raises none).
inline std::int32_t ErrorNumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace quandelstk::testing
