#include "modem/security.hpp"

#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::security {

namespace {

constexpr int kStatusAttempts = 12;

}  // namespace

std::int32_t GetPINStatus() {
  try {
    std::string response;
    for (int attempt = 0; attempt < kStatusAttempts; ++attempt) {
      // An answer cut right after its colon names no state: ask again.
      if (!channel::SendATForInfo("AT+CPIN?", response, 0)) continue;
      // Substring tests, in this order: "SIM PIN2" and "PH-SIM PIN" also mean a PIN is needed.
      if (text::Contains(response, "READY")) return kPINReady;
      if (text::Contains(response, "SIM PIN")) return kPINNeeded;
      if (text::Contains(response, "SIM PUK")) return kPUKNeeded;
      if (text::Contains(response, "ERROR")) return kSIMStatusError;
    }
    return kSIMStatusError;
  } catch (const RuntimeError&) {
    return kSIMStatusError;
  }
}

std::int32_t EnterPIN(const std::string& pin) {
  try {
    std::string response;
    return channel::SendATCommand("AT+CPIN=" + pin, response, 0) ? 1 : 0;
  } catch (const RuntimeError&) {
    return 0;
  }
}

}  // namespace quandelstk::security
