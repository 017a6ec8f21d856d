// The Modem queries: signal strength, operator, network registration, IMSI and own number.
// Each is one short dialogue and a small cut of the answer; see each for its error handling.
#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk {

namespace {

using text::Add16;
using text::Find;
using text::Sub16;

constexpr int kRegistrationAttempts = 3;
constexpr std::int16_t kRegistrationTimeoutSeconds = 3;
constexpr std::int32_t kRegistrationPauseMs = 1000;

// Home network (1) or roaming (5), with registration reporting 0 or 1 only: with reporting 2 the
// answer carries location fields and does not match.
bool IsRegistered(const std::string& answer) {
  for (const char* state : {"+CREG: 0,1", "+CREG: 1,1", "+CREG: 0,5", "+CREG: 1,5"})
    if (text::Contains(answer, state)) return true;
  return false;
}

bool MakerIsWavecom() {
  return channel::CurrentSession().ModemMaker == "WAVECOM";
}

}  // namespace

// Trap: a malformed answer gives -1.
std::int16_t Modem::SignalStrength() {
  try {
    std::string response;
    if (!channel::SendATForInfoLine("AT+CSQ", response, 0)) return -1;
    const std::int16_t p = Find(response, "+CSQ:");
    const std::int16_t k = Find(response, ",", Add16(p, 5));
    if (p == 0) return -1;
    // The received-signal code between "+CSQ:" and the next comma; no comma is a negative length.
    const std::int16_t rssi =
        text::ToInt16(text::Trim(text::Mid(response, Add16(p, 5), Sub16(k, Add16(p, 5)))));
    if (rssi == 0) return 0;
    if (rssi == 1) return 1;
    if (rssi >= 2 && rssi <= 30) return 2;
    if (rssi == 31) return 3;
    return -1;  // 99: not known
  } catch (const RuntimeError&) {
    return -1;
  }
}

// Trap: a malformed answer gives "".
std::string Modem::OperatorName() {
  try {
    std::string response;
    // Neither result changes the course: after a timeout the parse runs on the text before it.
    channel::SendATCommand("AT+COPS=3,0", response, 0);
    channel::SendATForInfoLine("AT+COPS?", response, 0);
    std::string fields = response;
    const std::int16_t p = Find(response, "+COPS:");
    if (p > 0) {
      const std::int16_t e = Find(response, "\r\n", p);
      fields = text::Replace(text::Mid(response, Add16(p, 6), Sub16(e, Add16(p, 6))), "\"", "");
    }
    // An unregistered modem answers with the mode alone: fewer than three fields is an error.
    return text::Trim(text::Piece(text::Split(fields, ","), 2));
  } catch (const RuntimeError&) {
    return "";
  }
}

// Trap: any run-time error gives false.
bool Modem::IsConnectToGSM() {
  try {
    std::string response;
    for (int attempt = 0; attempt < kRegistrationAttempts; ++attempt) {
      if (channel::SendATCommand("AT+CREG?", response, kRegistrationTimeoutSeconds) && IsRegistered(response))
        return true;
      CurrentPlatform().Sleep(kRegistrationPauseMs);
    }
    return false;
  } catch (const RuntimeError&) {
    return false;
  }
}

// No trap.
std::string Modem::GetIMSI() {
  if (!MakerIsWavecom()) return "";
  std::string response;
  if (!channel::SendATCommand("AT+CIMI", response, 0)) return "";
  // The line after the echo, or after the leading CR LF when echo is off.
  std::string imsi = text::Trim(text::Piece(text::Split(response, "\r\n"), 1));
  return text::IsNumeric(imsi) ? imsi : "";
}

// No trap: a SIM without an own number answers OK alone, and the missing second field raises 9.
std::string Modem::GetMSISDN() {
  if (!MakerIsWavecom()) return "";
  std::string response;
  if (!channel::SendATCommand("AT+CNUM", response, 0)) return "";
  std::string number = text::Replace(text::Trim(text::Piece(text::Split(response, ","), 1)), "\"", "");
  return text::IsNumeric(number) ? number : "";
}

}  // namespace quandelstk
