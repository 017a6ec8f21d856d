// After the toolkit is switched off: the short-message settings the SMS class expects, again.
#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/stk.hpp"
#include "stk/toolkit_answers.hpp"

namespace quandelstk {

using channel::SendATCommand;

namespace {

constexpr int kMessageServiceAttempts = 12;
constexpr std::int32_t kNotReadyPauseMs = 7000;

// A SIM that is still starting up answers "+CMS ERROR: 515"; that answer alone is worth waiting for.
// A timed-out attempt leaves the answer before it, so a 515 followed by silence counts as another 515.
bool SelectMessageService() {
  std::string answer;
  for (int attempt = 1; attempt <= kMessageServiceAttempts; ++attempt) {
    if (SendATCommand("AT+CSMS=0", answer, stk::kDefaultTimeout)) return true;
    if (!text::Contains(answer, "+CMS ERROR: 515")) return false;
    if (attempt == kMessageServiceAttempts) return false;
    CurrentPlatform().Sleep(kNotReadyPauseMs);
  }
  return false;
}

}  // namespace

bool SIMToolKit::RestoreSMSSettings() {
  try {
    if (!SelectMessageService()) return false;
    std::string answer;
    // Signal 0 means the radio is not back yet: the settings below would not hold.
    if (!SendATCommand("AT+CSQ", answer, stk::kDefaultTimeout) || text::Contains(answer, "+CSQ: 0"))
      return false;
    if (!SendATCommand("AT+CSDH=1", answer, stk::kDefaultTimeout)) return false;
    if (!SendATCommand("AT+CMGF=1", answer, stk::kDefaultTimeout)) return false;
    SendATCommand("AT+CNMI=0,0,0,2,0", answer, stk::kDefaultTimeout);
    return true;
  } catch (const RuntimeError&) {
    // A line that failed under us is not trusted any further: Init must open it again.
    if (channel::IsPortOpen()) channel::Gsm().PortOpen(false);
    return false;
  }
}

}  // namespace quandelstk
