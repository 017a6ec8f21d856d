// The texts the toolkit shows: an input request's prompt, a response, a sent-message notice. All
// three are the first quoted text of their "+STGI:" answer.
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

// "" when the exchange fails, when there is no "+STGI:" or no quoted text, or (trapped by the
// callers) when the quote is never closed.
std::string FetchToolkitText(const std::string& command) {
  std::string answer;
  if (!channel::SendATCommand(command, answer, stk::kLongTimeout)) return "";
  const std::int16_t p = Find(answer, "+STGI:");
  if (p == 0) return "";
  const std::int16_t q1 = Find(answer, stk::kDQ, Add16(p, 1));
  const std::int16_t q2 = Find(answer, stk::kDQ, Add16(q1, 1));
  return text::Trim(text::Replace(text::Mid(answer, Add16(q1, 1), Sub16(q2, q1)), stk::kDQ, ""));
}

std::string TrappedText(const std::string& command) {
  try {
    return FetchToolkitText(command);
  } catch (const RuntimeError&) {
    return "";
  }
}

}  // namespace

std::string SIMToolKit::InputRequestDisplay() {
  return TrappedText("AT+STGI=3");
}

std::string SIMToolKit::ResponseDisplay() {
  return TrappedText("AT+STGI=1");
}

std::string SIMToolKit::SMSSentDisplay() {
  return TrappedText("AT+STGI=9");
}

}  // namespace quandelstk
