// USSD (Send here): one USSD string out, the network's text back.
#include "channel/exchange.hpp"
#include "channel/poll.hpp"
#include "channel/session.hpp"
#include "channel/text.hpp"
#include "quandelstk/ussd.hpp"
#include "ussd/trap_log.hpp"

namespace quandelstk {

namespace {

using text::Add16;
using text::Find;

// The network may take a while to answer a code; the text that completes the answer is waited for
// no longer than the command itself.
constexpr std::int16_t kCommandTimeoutSeconds = 15;
constexpr std::string_view kDQ = "\"";

}  // namespace

std::string USSD::Send(const std::string& Command) {
  try {
    if (!channel::IsPortOpen()) return "";
    // No coding scheme: the modem applies its default.
    std::string answer;
    if (!channel::SendATForInfoLine("AT+CUSD=1,\"" + Command + "\"", answer, kCommandTimeoutSeconds))
      return "";
    // 0 done, 1 the network waits for a choice, 2 the network ended the dialogue: each carries a text.
    // 4 (not supported) and error answers carry none.
    for (const char* status : {"+CUSD: 0", "+CUSD: 1", "+CUSD: 2"})
      if (text::Contains(answer, status)) return ParseUSSDResponse(answer);
    return "";
  } catch (const RuntimeError& e) {
    ussd::LogTrapped(e, "USSD");
    return "";
  }
}

std::string USSD::ParseUSSDResponse(std::string& answer) {
  // The "+CUSD:" line may have ended before its text did (a text with line breaks of its own), so
  // this reads on until the closing quote is there. A status line without a text never completes;
  // the command's own deadline ends the wait. The pause between reads ends as soon as input arrives.
  const channel::Instant started = channel::CurrentSession().CommandStartTime;
  for (;;) {
    const std::int16_t p = Find(answer, "+CUSD:");
    if (p == 0) return "";
    const std::int16_t line_end = Find(answer, "\r", Add16(p, 1));
    const std::int16_t q1 = Find(answer, kDQ, p);
    const std::int16_t q2 = Find(answer, kDQ, Add16(q1, 1));
    if (line_end != 0 && q1 != 0 && q2 != 0) return text::Trim(text::Mid(answer, Add16(q1, 1), q2 - q1 - 1));
    if (channel::TimeIsUp(started, kCommandTimeoutSeconds)) return "";
    channel::Gsm().WaitForInput(channel::PollWaitMs(kCommandTimeoutSeconds));
    answer += channel::Gsm().Input();
  }
}

}  // namespace quandelstk
