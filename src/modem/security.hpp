// The SIM's PIN: asking whether the SIM waits for one, and giving it one.
//
// A SIM that refuses "AT+CPIN=" for any reason counts as refusing the PIN: EnterPIN gives 0 for
// every answer without a final "OK", whether "+CME ERROR: 16" (incorrect password) or another code
// such as "+CME ERROR: 3" (operation not allowed), and Init reports PINWrong. Init never retries a
// PIN, so the host is the one to decide what to try next; telling it "not accepted" for an error
// we cannot interpret is the answer that never leaves it believing the SIM is ready when it is not.
#pragma once

#include <cstdint>
#include <string>

namespace quandelstk::security {

// Results of GetPINStatus.
inline constexpr std::int32_t kPINReady = 0;
inline constexpr std::int32_t kPINNeeded = 1;
inline constexpr std::int32_t kPUKNeeded = 2;
inline constexpr std::int32_t kSIMStatusError = 3;

// Asks "AT+CPIN?" up to twelve times until the answer names a state: READY 0, SIM PIN 1, SIM PUK 2,
// ERROR 3. No usable answer, or a run-time error, gives 3.
std::int32_t GetPINStatus();

// Sends "AT+CPIN=" and the PIN as given (no quotes): 1 when the modem answers OK, else 0.
// A run-time error gives 0.
std::int32_t EnterPIN(const std::string& pin);

}  // namespace quandelstk::security
