// Modem.ShutDown and Modem.Reboot: closing the port and restarting the radio.
#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk {

namespace {

constexpr std::int16_t kRestartTimeoutSeconds = 60;
constexpr int kRegistrationChecks = 12;
constexpr std::int32_t kRegistrationPauseMs = 1000;

}  // namespace

bool Modem::ShutDown() {
  try {
    channel::Gsm().PortOpen(false);
    return true;
  } catch (const RuntimeError& e) {
    // Closing a port that is not open (8012) is a failure; "already open" means: close it again.
    // A failure of that second close reaches the caller.
    if (e.Number() != err::kPortAlreadyOpen) return false;
    channel::Gsm().PortOpen(false);
    return true;
  }
}

// No trap: a serial failure reaches the caller.
bool Modem::Reboot() {
  std::string response;
  if (!channel::SendATCommand("AT+CFUN=1", response, kRestartTimeoutSeconds)) return false;
  // The modem re-registers after the restart; give it up to twelve chances.
  for (int check = 0; check < kRegistrationChecks; ++check) {
    CurrentPlatform().Sleep(kRegistrationPauseMs);
    if (IsConnectToGSM()) return true;
  }
  return false;
}

}  // namespace quandelstk
