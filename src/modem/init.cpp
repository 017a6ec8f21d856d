// Modem.Init: open the port, find the speed the modem answers at, learn its maker, settle the SIM
// PIN and leave the modem in the text mode the other classes expect.
#include "channel/exchange.hpp"
#include "channel/log.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"
#include "modem/direct_exchange.hpp"
#include "modem/security.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"

namespace quandelstk {

namespace {

using channel::SendATCommand;

constexpr const char* kFastSettings = "115200,N,8,1";
constexpr const char* kSlowSettings = "9600,N,8,1";
constexpr int kProbeAttempts = 4;  // once at 115200, then three times at 9600
constexpr std::int16_t kMakerTimeoutSeconds = 3;
constexpr int kMessageServiceAttempts = 12;
constexpr std::int32_t kNotReadyPauseMs = 7000;
constexpr int kSerialNumberQueries = 3;
constexpr std::int32_t kSerialNumberPauseMs = 1000;

// Each attempt reopens the port and says "AT". "OK" in the text when the wait ends is an answer,
// even when its CR LF never came and the wait ran to its limit.
bool ProbeSpeed() {
  for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
    if (channel::Gsm().PortOpen()) channel::Gsm().PortOpen(false);
    channel::Gsm().PortOpen(true);
    std::string text;
    modem::DirectExchange("AT", text);
    if (text::Contains(text, "OK")) return true;
    channel::Gsm().Settings(kSlowSettings);
  }
  return false;
}

// A SIM still starting up answers "+CMS ERROR: 515"; after twelve of those we go on regardless.
// A timed-out attempt leaves response as the previous exchange left it, and that text is what is
// examined: a 515 before a silence counts as another 515.
bool SelectMessageService(std::string& response) {
  for (int attempt = 0; attempt < kMessageServiceAttempts; ++attempt) {
    if (SendATCommand("AT+CSMS=0", response, 0)) return true;
    if (!text::Contains(response, "+CMS ERROR: 515")) return false;
    CurrentPlatform().Sleep(kNotReadyPauseMs);
  }
  return true;
}

InitStatus SettleSIM(const std::string& pin) {
  switch (security::GetPINStatus()) {
    case security::kPINReady:
      return InitStatus::OK;
    case security::kPINNeeded:
      if (pin.empty()) return InitStatus::PINRequired;
      return security::EnterPIN(pin) == 1 ? InitStatus::OK : InitStatus::PINWrong;
    case security::kPUKNeeded:
      return InitStatus::SIMBlocked;
    default:
      return InitStatus::SIMError;
  }
}

// The steps of Init up to its result; the caller closes the port for every result but OK.
InitStatus Initialise(std::int16_t port, const std::string& pin) {
  channel::Session& session = channel::CurrentSession();
  // One response for all of Init's exchanges, so that a timed-out one leaves the text before it.
  std::string response;

  channel::Gsm().CommPort(port);
  channel::Gsm().Settings(kFastSettings);
  if (!ProbeSpeed()) return InitStatus::Fail;

  // A maker query that gets no answer keeps what an earlier Init learnt.
  if (SendATCommand("AT+CGMI", response, kMakerTimeoutSeconds))
    session.ModemMaker = text::Contains(response, "WAVECOM") ? "WAVECOM" : "UNKNOWN";

  if (const InitStatus sim = SettleSIM(pin); sim != InitStatus::OK) return sim;

  if (!SelectMessageService(response)) return InitStatus::Fail;

  std::string direct;
  if (!modem::DirectExchange("AT+CSDH=1", direct)) return InitStatus::Fail;
  SendATCommand("AT+CSCS=\"GSM\"", response, 0);
  if (!modem::DirectExchange("AT+CMGF=1", direct)) return InitStatus::Fail;

  if (!SendATCommand("AT+CNMI=2,0,0,2,0", response, 0)) SendATCommand("AT+CNMI=0,0,0,0,0", response, 0);
  // Keeps the message link open between messages; sent to WAVECOM modems only.
  if (session.ModemMaker == "WAVECOM") SendATCommand("AT+CMMS=2", response, 0);
  if (SendATCommand("AT+VGT=200", response, 0)) SendATCommand("AT+VGR=100", response, 0);

  // The IMEI is asked for three times and not kept, with a pause after each answer.
  for (int i = 0; i < kSerialNumberQueries; ++i) {
    SendATCommand("AT+CGSN", response, 0);
    CurrentPlatform().Sleep(kSerialNumberPauseMs);
  }
  return InitStatus::OK;
}

}  // namespace

InitStatus Modem::Init(std::int16_t intPort, const std::string& PIN) {
  try {
    const InitStatus status = Initialise(intPort, PIN);
    if (status != InitStatus::OK) ShutDown();
    return status;
  } catch (const RuntimeError& e) {
    // Closed directly, not through ShutDown; a failure here or in the log reaches the caller.
    if (channel::Gsm().PortOpen()) channel::Gsm().PortOpen(false);
    channel::WriteLog("Error " + text::Str(e.Number()) + " (" + e.Description() +
                      ") in procedure Init of Class Module Modem");
    return InitStatus::Fail;
  }
}

}  // namespace quandelstk
