// USSDListen: wait for a notification the network starts on its own.
#include <string_view>

#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "quandelstk/ussd.hpp"
#include "ussd/trap_log.hpp"

namespace quandelstk {

namespace {

// The part of s after its first sep; a text without sep has no second part (error 9).
std::string AfterFirst(const std::string& s, std::string_view sep) {
  const std::size_t at = s.find(sep);
  if (at == std::string::npos)
    throw RuntimeError(err::kSubscriptOutOfRange, "Subscript out of range: the +CUSD: line has no comma");
  return s.substr(at + sep.size());
}

// 1-based position of the last sep in s, 0 when there is none.
std::int16_t FindLast(const std::string& s, std::string_view sep) {
  const std::size_t at = s.rfind(sep);
  return at == std::string::npos ? 0 : text::CheckedInt16(static_cast<std::int64_t>(at) + 1);
}

}  // namespace

bool USSD::USSDListen(std::int16_t iTimeOutSeconds) {
  try {
    // A plain "AT" is answered by OK, which has no colon: the wait for an information line is in
    // effect a wait for an unsolicited "+CUSD:" line.
    std::string answer;
    if (!channel::SendATForInfoLine("AT", answer, iTimeOutSeconds)) return false;
    if (!text::Contains(answer, "+CUSD:")) return false;
    // From the quote that opens the text: the text may hold commas, the last one comes before the
    // coding scheme.
    const std::string quoted = AfterFirst(answer, ",");
    const std::int16_t k = FindLast(quoted, ",");
    notification_ = text::Trim(text::Mid(quoted, 2, k - 3));
    return true;
  } catch (const RuntimeError& e) {
    ussd::LogTrapped(e, "USSDListen");
    return false;
  }
}

}  // namespace quandelstk
