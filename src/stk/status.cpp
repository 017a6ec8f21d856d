// STKStatusGet: which toolkit indication the modem has pending.
#include "channel/exchange.hpp"
#include "channel/text.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/stk.hpp"
#include "stk/toolkit_answers.hpp"

namespace quandelstk {

using text::Add16;
using text::Find;
using text::Sub16;

namespace {

constexpr const char* kQuery = "AT+STIN?";

STKStatus StatusOfIndication(std::int16_t indication) {
  switch (indication) {
    case 0:
      return STKStatus::STKMainMenu;
    case 1:
      return STKStatus::STKResponse;
    case 3:
      return STKStatus::STKInputRequest;
    case 6:
      return STKStatus::STKSubMenu;
    case 9:
      return STKStatus::STKSMSSent;
    case 98:
      return STKStatus::STKTimeOut;
    case 99:
      return STKStatus::STKSessionEnd;
    default:
      return STKStatus::STKUnknown;
  }
}

}  // namespace

STKStatus SIMToolKit::STKStatusGet() {
  try {
    std::string answer;
    if (!channel::SendATCommand(kQuery, answer, stk::kLongTimeout)) return STKStatus::STKUnknown;
    // An unsolicited "+STIN:" that waited in the line comes before the echo; the answer's own line
    // follows the echo. Without echo the first one found is taken.
    const std::int16_t e = Find(answer, kQuery);
    const std::int16_t s = Find(answer, "+STIN:", Add16(e, 1));
    if (s == 0) return STKStatus::STKUnknown;
    const std::int16_t r = Find(answer, "\r", Add16(s, 1));
    const std::string number = text::Trim(text::Mid(answer, Add16(s, 6), Sub16(r, Add16(s, 6))));
    return StatusOfIndication(text::ToInt16(number));
  } catch (const RuntimeError&) {
    // Text that is no number, or a line without its end.
    return STKStatus::STKUnknown;
  }
}

}  // namespace quandelstk
