// The reachability test: a voice call, a pause, the call's state, a hang-up.
#include "channel/exchange.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/sms.hpp"

namespace quandelstk {

using channel::SendATCommand;

namespace {

constexpr std::int16_t kMaxWaitSeconds = 32;  // the wait is 16-bit milliseconds
constexpr std::int16_t kDefaultWaitSeconds = 10;

void HangUp() {
  std::string ignored;
  SendATCommand("ATH", ignored, 0);
}

// Call states of "+CLCC:": 0 active, 1 held, 3 alerting count as reachable; 2 dialling and the
// states of incoming calls do not.
bool IsReachableState(const std::string& state) {
  return state == "0" || state == "1" || state == "3";
}

}  // namespace

bool SMS::IsOnline(std::string& sNumber) {
  std::int16_t wait = kDefaultWaitSeconds;
  return IsOnline(sNumber, wait);
}

bool SMS::IsOnline(std::string& sNumber, std::int16_t& iWait_Second) {
  if (!channel::IsPortOpen()) return false;
  // Checked before dialling: a wait that cannot be honoured must not leave a call ringing.
  if (iWait_Second < 0 || iWait_Second > kMaxWaitSeconds)
    throw RuntimeError(
        err::kInvalidProcedureCall,
        "Invalid procedure call or argument: IsOnline waits 0 to 32 seconds, not " + text::Str(iWait_Second));

  channel::Gsm().Output("ATD" + sNumber + ";\r");
  CurrentPlatform().Sleep(iWait_Second * 1000);
  // Read once, outside the shared receive buffer: the dial command's own answers.
  if (text::Contains(channel::Gsm().Input(), "NO CARRIER")) return false;  // no call left to end

  std::string response;
  if (!SendATCommand("AT+CLCC", response, 0)) {
    HangUp();
    return false;
  }
  const std::int16_t p = text::Find(response, "+CLCC:");
  const auto fields = p == 0 ? std::vector<std::string>{} : text::Split(text::Mid(response, p), ",");
  HangUp();
  // No call listed any more (a busy far end), or a line too short to hold a state.
  if (fields.size() < 3) return false;
  return IsReachableState(fields[2]);
}

}  // namespace quandelstk
